#include "platform/fake/FakeDesktop.h"

#include <algorithm>
#include <atomic>

#include "base/Exceptions.h"

namespace tw {

namespace {

std::atomic<uint64_t> nextIdentity{1};

// Error code and text the system gives for a process identifier that names no process.
constexpr int kErrorInvalidParameter = 87;
constexpr const char* kInvalidParameterText = "The parameter is incorrect.";

// What AccessibleObjectFromWindow hands out: a fresh object for the window's
// node, as a real provider does, sharing the node's identity.
class FakeAccessibleProxy final : public Accessible {
public:
    explicit FakeAccessibleProxy(FakeAccessiblePtr node) : node_(std::move(node)) {}
    uint64_t Identity() const override { return node_->Identity(); }
    AccCountResult ChildCount() override { return node_->ChildCount(); }
    AccChildrenResult Children(int32_t count) override { return node_->Children(count); }
    std::unique_ptr<AccessibleEnumerator> Enumerator() override { return node_->Enumerator(); }
    AccVariantResult Navigate(int32_t direction, const AccVariant& from) override {
        return node_->Navigate(direction, from);
    }
    AccVariantResult GetChild(int32_t childId) override { return node_->GetChild(childId); }
    AccIntResult Role() override { return node_->Role(); }
    AccTextResult Value() override { return node_->Value(); }
    AccIntResult State() override { return node_->State(); }

private:
    FakeAccessiblePtr node_;
};

class FakeEnumerator final : public AccessibleEnumerator {
public:
    FakeEnumerator(std::vector<AccVariant> elements, int failAt, HResult failHr,
                   std::function<void()> onNext)
        : elements_(std::move(elements)),
          failAt_(failAt),
          failHr_(failHr),
          onNext_(std::move(onNext)) {}

    AccFetchResult Next() override {
        onNext_();
        const int index = position_++;
        if (index == failAt_)
            return {failHr_, 0, AccVariant::Empty()};
        if (index >= int(elements_.size()))
            return {kSFalse, 0, AccVariant::Empty()};
        return {kSOk, 1, elements_[size_t(index)]};
    }

private:
    std::vector<AccVariant> elements_;
    int failAt_;
    HResult failHr_;
    std::function<void()> onNext_;
    int position_ = 0;
};

}  // namespace

// ---- FakeAccessible ----

FakeAccessible::FakeAccessible() : identity_(nextIdentity++) {}

FakeAccessiblePtr FakeAccessible::Make() {
    return FakeAccessiblePtr(new FakeAccessible());
}

FakeAccessiblePtr FakeAccessible::Add(FakeAccessiblePtr child) {
    elements_.push_back(AccVariant::Object(std::move(child)));
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::AddChildId(int32_t childId, FakeAccessiblePtr object) {
    elements_.push_back(AccVariant::ChildId(childId));
    if (object)
        childResults_[childId] = {kSOk, AccVariant::Object(std::move(object))};
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::AddElement(AccVariant element) {
    elements_.push_back(std::move(element));
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::Role(int32_t role, HResult hr) {
    role_ = {hr, role};
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::RoleNotInteger() {
    role_ = {kSOk, std::nullopt};
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::Value(std::string value, HResult hr) {
    value_ = {hr, std::move(value)};
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::State(int32_t state, HResult hr) {
    state_ = {hr, state};
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::StateNotInteger() {
    state_ = {kSOk, std::nullopt};
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::RaisesOnRead(std::string message) {
    raiseOnRead_ = std::move(message);
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::ChildCountResult(HResult hr, std::optional<int32_t> count) {
    childCountHr_ = hr;
    childCount_ = count;
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::ChildrenResult(HResult hr, std::optional<int32_t> handedOut) {
    childrenHr_ = hr;
    childrenHandedOut_ = handedOut;
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::WithEnumerator() {
    hasEnumerator_ = true;
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::EnumeratorFailsAt(int failAt, HResult failHr) {
    hasEnumerator_ = true;
    enumeratorFailAt_ = failAt;
    enumeratorFailHr_ = failHr;
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::Navigation(std::vector<AccVariant> chain, HResult endHr) {
    navigation_ = std::move(chain);
    navigationEndHr_ = endHr;
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::FirstChildFails(HResult hr) {
    firstChildHr_ = hr;
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::ChildResult(int32_t childId, HResult hr, AccVariant element) {
    childResults_[childId] = {hr, std::move(element)};
    return shared_from_this();
}

FakeAccessiblePtr FakeAccessible::Identity(uint64_t identity) {
    identity_ = identity;
    return shared_from_this();
}

int FakeAccessible::CallCount(std::string_view operation) const {
    auto it = calls_.find(operation);
    return it == calls_.end() ? 0 : it->second;
}

void FakeAccessible::Count(std::string_view operation) const {
    auto it = calls_.find(operation);
    if (it == calls_.end()) {
        calls_.emplace(std::string(operation), 1);
    } else {
        ++it->second;
    }
}

AccCountResult FakeAccessible::ChildCount() {
    Count("ChildCount");
    return {childCountHr_, childCount_.value_or(int32_t(elements_.size()))};
}

AccChildrenResult FakeAccessible::Children(int32_t count) {
    Count("Children");
    AccChildrenResult result{childrenHr_, {}};
    int32_t available = int32_t(elements_.size());
    if (childrenHandedOut_) {
        available = std::min(available, *childrenHandedOut_);
    } else if (childrenHr_ == kSFalse) {
        available = std::max(available - 1, 0);
    } else if (childrenHr_ != kSOk) {
        available = 0;
    }
    const size_t n = size_t(std::clamp(count, 0, std::max(available, 0)));
    result.children.assign(elements_.begin(), elements_.begin() + std::ptrdiff_t(n));
    return result;
}

std::unique_ptr<AccessibleEnumerator> FakeAccessible::Enumerator() {
    Count("Enumerator");
    if (!hasEnumerator_)
        return nullptr;
    // The enumerator may outlive a visit; it keeps its own copy of the elements.
    std::weak_ptr<FakeAccessible> self = weak_from_this();
    return std::make_unique<FakeEnumerator>(elements_, enumeratorFailAt_, enumeratorFailHr_,
                                            [self] {
                                                if (auto node = self.lock())
                                                    node->Count("Next");
                                            });
}

AccVariantResult FakeAccessible::Navigate(int32_t direction, const AccVariant& from) {
    Count("Navigate");
    const std::vector<AccVariant>& chain = navigation_ ? *navigation_ : elements_;
    if (direction == kNavDirFirstChild) {
        if (firstChildHr_)
            return {*firstChildHr_, AccVariant::Empty()};
        if (chain.empty())
            return {navigationEndHr_, AccVariant::Empty()};
        return {kSOk, chain.front()};
    }
    if (direction != kNavDirNext)
        return {kENotImpl, AccVariant::Empty()};
    auto it = std::find(chain.begin(), chain.end(), from);
    if (it == chain.end())
        return {kEInvalidArg, AccVariant::Empty()};
    if (++it == chain.end())
        return {navigationEndHr_, AccVariant::Empty()};
    return {kSOk, *it};
}

AccVariantResult FakeAccessible::GetChild(int32_t childId) {
    Count("GetChild");
    auto it = childResults_.find(childId);
    if (it != childResults_.end())
        return it->second;
    // A simple element: no object of its own.
    return {kSFalse, AccVariant::Empty()};
}

AccIntResult FakeAccessible::Role() {
    Count("Role");
    if (raiseOnRead_)
        throw EOleSysError(kEFail, *raiseOnRead_);
    return role_;
}

AccTextResult FakeAccessible::Value() {
    Count("Value");
    return value_;
}

AccIntResult FakeAccessible::State() {
    Count("State");
    return state_;
}

// ---- FakeWindow ----

FakeWindow& FakeWindow::Class(std::string className) {
    className_ = std::move(className);
    return *this;
}

FakeWindow& FakeWindow::Text(std::string text) {
    text_ = std::move(text);
    return *this;
}

FakeWindow& FakeWindow::TextTimesOut(bool timesOut) {
    textTimesOut_ = timesOut;
    return *this;
}

FakeWindow& FakeWindow::Process(uint32_t processId) {
    processId_ = processId;
    return *this;
}

FakeWindow& FakeWindow::Accessible(FakeAccessiblePtr root) {
    accessible_ = std::move(root);
    return *this;
}

FakeWindow& FakeWindow::Child(std::string className) {
    FakeWindow& child = desktop_.NewWindow(handle_, std::move(className));
    // Child windows belong to their top-level window's process.
    child.processId_ = processId_;
    children_.push_back(child.handle_);
    return child;
}

FakeWindow& FakeWindow::WithChild(std::string className, std::string text) {
    FakeWindow& child = Child(std::move(className));
    if (!text.empty())
        child.Text(std::move(text));
    return *this;
}

// ---- FakeDesktop ----

FakeDesktop::FakeDesktop() = default;
FakeDesktop::~FakeDesktop() = default;

FakeWindow& FakeDesktop::NewWindow(WindowHandle parent, std::string className) {
    const WindowHandle handle = nextHandle_;
    nextHandle_ += 0x10;
    auto window = std::unique_ptr<FakeWindow>(new FakeWindow(*this, handle, parent));
    window->className_ = std::move(className);
    FakeWindow& ref = *window;
    windows_.emplace(handle, std::move(window));
    return ref;
}

FakeWindow& FakeDesktop::AddWindow(std::string className, uint32_t processId) {
    FakeWindow& window = NewWindow(kNullWindow, std::move(className));
    window.processId_ = processId;
    topLevel_.push_back(window.handle_);
    return window;
}

FakeWindow* FakeDesktop::Find(WindowHandle window) {
    auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : it->second.get();
}

FakeWindow& FakeDesktop::Window(WindowHandle window) {
    FakeWindow* found = Find(window);
    Require(found != nullptr, "FakeDesktop");
    return *found;
}

bool FakeDesktop::Exists(WindowHandle window) const {
    return windows_.count(window) != 0;
}

void FakeDesktop::Vanish(WindowHandle window) {
    FakeWindow* found = Find(window);
    if (!found)
        return;
    const std::vector<WindowHandle> children = found->children_;
    for (WindowHandle child : children)
        Vanish(child);
    if (FakeWindow* parent = Find(found->parent_)) {
        std::erase(parent->children_, window);
    }
    std::erase(topLevel_, window);
    windows_.erase(window);
}

FakeDesktop& FakeDesktop::SetForeground(WindowHandle window) {
    foreground_ = window;
    return *this;
}

uint32_t FakeDesktop::StartProcess(std::string imagePath) {
    const uint32_t pid = nextProcessId_++;
    processes_[pid] = ProcessImageResult{true, std::move(imagePath), 0, {}};
    return pid;
}

uint32_t FakeDesktop::StartProtectedProcess(int errorCode, std::string errorText) {
    const uint32_t pid = nextProcessId_++;
    processes_[pid] = ProcessImageResult{false, {}, errorCode, std::move(errorText)};
    return pid;
}

FakeDesktop& FakeDesktop::MapDrive(char letter, std::string deviceName) {
    drives_[std::string(1, letter) + ":"] = std::move(deviceName);
    return *this;
}

FakeDesktop& FakeDesktop::SetDriveLetters(bool hasDriveLetters) {
    hasDriveLetters_ = hasDriveLetters;
    return *this;
}

void FakeDesktop::SetCallHook(CallHook hook) {
    hook_ = std::move(hook);
}

void FakeDesktop::Hook(std::string_view operation, WindowHandle window) {
    if (hook_)
        hook_(operation, window);
}

WindowHandle FakeDesktop::ForegroundWindow() {
    Hook("ForegroundWindow", foreground_);
    return foreground_;
}

void FakeDesktop::EnumTopLevelWindows(const WindowCallback& callback) {
    Hook("EnumTopLevelWindows", kNullWindow);
    // Like the system, the list is taken first: a window closed meanwhile is still reported.
    const std::vector<WindowHandle> snapshot = topLevel_;
    for (WindowHandle window : snapshot) {
        if (!callback(window))
            return;
    }
}

void FakeDesktop::CollectDescendants(const FakeWindow& window,
                                     std::vector<WindowHandle>& out) const {
    for (WindowHandle child : window.children_) {
        out.push_back(child);
        auto it = windows_.find(child);
        if (it != windows_.end())
            CollectDescendants(*it->second, out);
    }
}

void FakeDesktop::EnumChildWindows(WindowHandle parent, const WindowCallback& callback) {
    Hook("EnumChildWindows", parent);
    std::vector<WindowHandle> snapshot;
    if (parent == kNullWindow) {
        snapshot = topLevel_;
    } else if (FakeWindow* window = Find(parent)) {
        CollectDescendants(*window, snapshot);
    }
    for (WindowHandle window : snapshot) {
        if (!callback(window))
            return;
    }
}

std::string FakeDesktop::ClassName(WindowHandle window) {
    Hook("ClassName", window);
    FakeWindow* found = Find(window);
    if (!found)
        return {};
    return found->className_.substr(0, kClassNameBufferSize - 1);
}

std::optional<std::string> FakeDesktop::WindowTextTimeout(WindowHandle window, int timeoutMs) {
    Hook("WindowTextTimeout", window);
    textReadTimeouts_.push_back(timeoutMs);
    FakeWindow* found = Find(window);
    if (!found || found->textTimesOut_)
        return std::nullopt;
    return found->text_.value_or(std::string()).substr(0, kWindowTextBufferSize - 1);
}

uint32_t FakeDesktop::WindowProcessId(WindowHandle window) {
    Hook("WindowProcessId", window);
    FakeWindow* found = Find(window);
    return found ? found->processId_ : 0;
}

ProcessImageResult FakeDesktop::ProcessImagePath(uint32_t processId) {
    Hook("ProcessImagePath", kNullWindow);
    auto it = processes_.find(processId);
    if (it == processes_.end()) {
        return ProcessImageResult{false, {}, kErrorInvalidParameter, kInvalidParameterText};
    }
    return it->second;
}

std::optional<std::string> FakeDesktop::QueryDosDevice(std::string_view drive) {
    Hook("QueryDosDevice", kNullWindow);
    driveQueries_.emplace_back(drive);
    auto it = drives_.find(drive);
    // A name that does not fit the caller's buffer fails like an unmapped drive.
    if (it == drives_.end() || it->second.size() >= kClassNameBufferSize)
        return std::nullopt;
    return it->second;
}

bool FakeDesktop::PostCloseRequest(WindowHandle window) {
    Hook("PostCloseRequest", window);
    if (!Find(window))
        return false;
    closeRequests_.push_back(window);
    return true;
}

std::unique_ptr<tw::Accessible> FakeDesktop::AccessibleObjectFromWindow(WindowHandle window) {
    Hook("AccessibleObjectFromWindow", window);
    FakeWindow* found = Find(window);
    if (!found || !found->accessible_)
        return nullptr;
    return std::make_unique<FakeAccessibleProxy>(found->accessible_);
}

}  // namespace tw
