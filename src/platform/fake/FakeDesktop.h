#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Accessibility.h"
#include "platform/WindowSystem.h"

// A desktop scripted by tests and simulations: windows with classes, texts
// and owning processes, child trees, accessibility trees that answer with
// chosen result codes, a drive table, windows that vanish or do not answer,
// and a record of every close request.
namespace tw {

class FakeAccessible;
using FakeAccessiblePtr = std::shared_ptr<FakeAccessible>;

// One scripted accessible object. By default it answers like a well-behaved
// provider: its elements through the child array, navigation over the same
// elements, no enumerator, role 0, empty value, state 0. Each setter returns
// the object itself so trees can be written as one expression:
//   Acc()->Add(Acc()->Role(kRoleSystemText)->Value("http://example.com/"))
class FakeAccessible : public Accessible, public std::enable_shared_from_this<FakeAccessible> {
public:
    static FakeAccessiblePtr Make();

    // Elements, in order, as the child array, the enumerator and navigation give them.
    FakeAccessiblePtr Add(FakeAccessiblePtr child);
    // A simple element addressed through this parent; with an object,
    // GetChild(id) answers that object.
    FakeAccessiblePtr AddChildId(int32_t childId, FakeAccessiblePtr object = nullptr);
    FakeAccessiblePtr AddElement(AccVariant element);

    FakeAccessiblePtr Role(int32_t role, HResult hr = kSOk);
    FakeAccessiblePtr RoleNotInteger();  // a role given as text
    FakeAccessiblePtr Value(std::string value, HResult hr = kSOk);
    FakeAccessiblePtr State(int32_t state, HResult hr = kSOk);
    FakeAccessiblePtr StateNotInteger();
    // Reading the role raises EOleSysError with this message (a provider that crashes).
    FakeAccessiblePtr RaisesOnRead(std::string message);

    // Child count: the code, and a count other than the number of elements.
    FakeAccessiblePtr ChildCountResult(HResult hr, std::optional<int32_t> count = std::nullopt);
    // The code the child array answers with, and how many elements it hands
    // out: by default all on success, all but the last on partial success
    // (1), none on failure.
    FakeAccessiblePtr ChildrenResult(HResult hr, std::optional<int32_t> handedOut = std::nullopt);
    // Offers an enumerator over the elements; a fetch at `failAt` answers `failHr`.
    FakeAccessiblePtr WithEnumerator();
    FakeAccessiblePtr EnumeratorFailsAt(int failAt, HResult failHr = kEFail);
    // Navigation over this chain instead of the elements. Next from the last
    // element, or first child of an empty chain, answers `endHr`.
    FakeAccessiblePtr Navigation(std::vector<AccVariant> chain, HResult endHr = kSFalse);
    FakeAccessiblePtr FirstChildFails(HResult hr = kEFail);
    // What GetChild(childId) answers.
    FakeAccessiblePtr ChildResult(int32_t childId, HResult hr, AccVariant element);
    // Objects with the same identity are the same node to the walk.
    FakeAccessiblePtr Identity(uint64_t identity);

    // How often an operation ("ChildCount", "Children", "Enumerator",
    // "Next", "Navigate", "GetChild", "Role", "Value", "State") was called.
    int CallCount(std::string_view operation) const;

    // Accessible
    uint64_t Identity() const override { return identity_; }
    AccCountResult ChildCount() override;
    AccChildrenResult Children(int32_t count) override;
    std::unique_ptr<AccessibleEnumerator> Enumerator() override;
    AccVariantResult Navigate(int32_t direction, const AccVariant& from) override;
    AccVariantResult GetChild(int32_t childId) override;
    AccIntResult Role() override;
    AccTextResult Value() override;
    AccIntResult State() override;

private:
    FakeAccessible();
    void Count(std::string_view operation) const;

    uint64_t identity_;
    std::vector<AccVariant> elements_;
    AccIntResult role_{kSOk, 0};
    AccTextResult value_{kSOk, {}};
    AccIntResult state_{kSOk, 0};
    std::optional<std::string> raiseOnRead_;
    HResult childCountHr_ = kSOk;
    std::optional<int32_t> childCount_;
    HResult childrenHr_ = kSOk;
    std::optional<int32_t> childrenHandedOut_;
    bool hasEnumerator_ = false;
    int enumeratorFailAt_ = -1;
    HResult enumeratorFailHr_ = kEFail;
    std::optional<std::vector<AccVariant>> navigation_;
    HResult navigationEndHr_ = kSFalse;
    std::optional<HResult> firstChildHr_;
    std::map<int32_t, AccVariantResult> childResults_;
    mutable std::map<std::string, int, std::less<>> calls_;
};

// A new scripted accessible object.
inline FakeAccessiblePtr Acc() {
    return FakeAccessible::Make();
}

class FakeDesktop;

// Builder for one scripted window; references stay valid while the desktop lives.
class FakeWindow {
public:
    WindowHandle Handle() const noexcept { return handle_; }

    FakeWindow& Class(std::string className);
    FakeWindow& Text(std::string text);
    // Reading the text never answers in time.
    FakeWindow& TextTimesOut(bool timesOut = true);
    FakeWindow& Process(uint32_t processId);
    // The window's accessible object; without one AccessibleObjectFromWindow fails.
    FakeWindow& Accessible(FakeAccessiblePtr root);
    // Adds a child window after the existing ones and returns the child.
    FakeWindow& Child(std::string className);
    // Adds a child window and returns this window, for flat lists of children.
    FakeWindow& WithChild(std::string className, std::string text = {});

private:
    friend class FakeDesktop;
    FakeWindow(FakeDesktop& desktop, WindowHandle handle, WindowHandle parent)
        : desktop_(desktop), handle_(handle), parent_(parent) {}

    FakeDesktop& desktop_;
    WindowHandle handle_;
    WindowHandle parent_;
    std::string className_;
    std::optional<std::string> text_;
    bool textTimesOut_ = false;
    uint32_t processId_ = 0;
    FakeAccessiblePtr accessible_;
    std::vector<WindowHandle> children_;
};

class FakeDesktop : public WindowSystem {
public:
    FakeDesktop();
    ~FakeDesktop() override;
    FakeDesktop(const FakeDesktop&) = delete;
    FakeDesktop& operator=(const FakeDesktop&) = delete;

    // A top-level window, after the existing ones in enumeration order.
    FakeWindow& AddWindow(std::string className, uint32_t processId = 0);
    FakeWindow& Window(WindowHandle window);
    bool Exists(WindowHandle window) const;
    // Removes a window and its descendants; its handle then answers like a stale one.
    void Vanish(WindowHandle window);

    FakeDesktop& SetForeground(WindowHandle window);

    // A process whose program file is `imagePath`; returns its identifier.
    uint32_t StartProcess(std::string imagePath);
    // A process that cannot be opened (access denied by default).
    uint32_t StartProtectedProcess(int errorCode = 5, std::string errorText = "Access is denied.");

    // Drive letters ("C" to the device "\Device\HarddiskVolume1").
    FakeDesktop& MapDrive(char letter, std::string deviceName);
    // Off: paths are used as they are, like on Linux.
    FakeDesktop& SetDriveLetters(bool hasDriveLetters);

    // Called before each window-system operation with its name and window,
    // so a test can change the desktop midway (a window that vanishes).
    using CallHook = std::function<void(std::string_view operation, WindowHandle window)>;
    void SetCallHook(CallHook hook);

    const std::vector<WindowHandle>& CloseRequests() const noexcept { return closeRequests_; }
    // The time-outs asked for by each text read, in order.
    const std::vector<int>& TextReadTimeouts() const noexcept { return textReadTimeouts_; }
    // Drive names asked of QueryDosDevice, in order.
    const std::vector<std::string>& DriveQueries() const noexcept { return driveQueries_; }

    // WindowSystem
    WindowHandle ForegroundWindow() override;
    void EnumTopLevelWindows(const WindowCallback& callback) override;
    void EnumChildWindows(WindowHandle parent, const WindowCallback& callback) override;
    std::string ClassName(WindowHandle window) override;
    std::optional<std::string> WindowTextTimeout(WindowHandle window, int timeoutMs) override;
    uint32_t WindowProcessId(WindowHandle window) override;
    ProcessImageResult ProcessImagePath(uint32_t processId) override;
    bool HasDriveLetters() const override { return hasDriveLetters_; }
    std::optional<std::string> QueryDosDevice(std::string_view drive) override;
    bool PostCloseRequest(WindowHandle window) override;
    std::unique_ptr<tw::Accessible> AccessibleObjectFromWindow(WindowHandle window) override;

private:
    friend class FakeWindow;
    FakeWindow& NewWindow(WindowHandle parent, std::string className);
    FakeWindow* Find(WindowHandle window);
    void Hook(std::string_view operation, WindowHandle window);
    void CollectDescendants(const FakeWindow& window, std::vector<WindowHandle>& out) const;

    WindowHandle nextHandle_ = 0x10010;
    uint32_t nextProcessId_ = 1000;
    std::map<WindowHandle, std::unique_ptr<FakeWindow>> windows_;
    std::vector<WindowHandle> topLevel_;
    WindowHandle foreground_ = kNullWindow;
    std::map<uint32_t, ProcessImageResult> processes_;
    std::map<std::string, std::string, std::less<>> drives_;
    bool hasDriveLetters_ = true;
    CallHook hook_;
    std::vector<WindowHandle> closeRequests_;
    std::vector<int> textReadTimeouts_;
    std::vector<std::string> driveQueries_;
};

}  // namespace tw
