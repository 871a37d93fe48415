// The X11 desktop against a private Xvfb: this test plays the clients and,
// where needed, a window manager itself, so every rule is checked without
// the timing of real programs (those run in tests/e2e).
#include "platform/linux/X11Desktop.h"

#include <gtest/gtest.h>
#include <unistd.h>

// After GoogleTest: Xlib defines macros such as None and Bool.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/WriteLog.h"
#include "e2e/XvfbServer.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

std::vector<WindowHandle> Collect(const std::function<void(const WindowCallback&)>& enumerate) {
    std::vector<WindowHandle> windows;
    enumerate([&](WindowHandle w) {
        windows.push_back(w);
        return true;
    });
    return windows;
}

class X11DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (server_.Display().empty())
            GTEST_SKIP() << "Xvfb could not be started";
        client_ = XOpenDisplay(server_.Display().c_str());
        ASSERT_NE(client_, nullptr);
        root_ = DefaultRootWindow(client_);
        desktop_ = X11Desktop::Open(server_.Display().c_str());
        ASSERT_NE(desktop_, nullptr);
    }
    void TearDown() override {
        desktop_.reset();
        if (client_)
            XCloseDisplay(client_);
    }

    Atom A(const char* name) { return XInternAtom(client_, name, False); }

    Window NewWindow(Window parent = 0) {
        Window w = XCreateSimpleWindow(client_, parent ? parent : root_, 0, 0, 200, 100, 0, 0, 0);
        XSync(client_, False);
        return w;
    }
    void SetProperty(Window w, const char* name, std::vector<long> values, Atom type = XA_WINDOW) {
        XChangeProperty(client_, w, A(name), type, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(values.data()), int(values.size()));
        XSync(client_, False);
    }
    void SetCardinal(Window w, const char* name, long value) {
        SetProperty(w, name, {value}, XA_CARDINAL);
    }
    void SetClass(Window w, const char* instance, const char* className) {
        XClassHint hint{const_cast<char*>(instance), const_cast<char*>(className)};
        XSetClassHint(client_, w, &hint);
        XSync(client_, False);
    }
    // A window manager as far as EWMH can tell: a check window pointing at itself.
    Window AnnounceWindowManager() {
        Window check = NewWindow();
        SetProperty(check, "_NET_SUPPORTING_WM_CHECK", {long(check)});
        SetProperty(root_, "_NET_SUPPORTING_WM_CHECK", {long(check)});
        return check;
    }
    void Focus(Window w) {
        XMapWindow(client_, w);
        XSync(client_, False);
        XSetInputFocus(client_, w, RevertToParent, CurrentTime);
        XSync(client_, False);
    }

    test::XvfbServer server_;
    Display* client_ = nullptr;
    Window root_ = 0;
    std::unique_ptr<X11Desktop> desktop_;
};

TEST_F(X11DesktopTest, ForegroundWithoutWindowManagerIsTheFocusedTopLevel) {
    EXPECT_FALSE(desktop_->WindowManagerRunning());
    Window top = NewWindow();
    Window inner = NewWindow(top);
    XMapWindow(client_, inner);
    Focus(top);
    EXPECT_EQ(desktop_->ForegroundWindow(), top);
    // Focus on a subwindow still names its top-level.
    Focus(inner);
    EXPECT_EQ(desktop_->ForegroundWindow(), top);
    XSetInputFocus(client_, None, RevertToNone, CurrentTime);
    XSync(client_, False);
    EXPECT_EQ(desktop_->ForegroundWindow(), kNullWindow);
    // With focus on the pointer root, the window under the pointer.
    XSetInputFocus(client_, PointerRoot, RevertToPointerRoot, CurrentTime);
    XWarpPointer(client_, None, top, 0, 0, 0, 0, 10, 10);
    XSync(client_, False);
    EXPECT_EQ(desktop_->ForegroundWindow(), top);
    XWarpPointer(client_, None, root_, 0, 0, 0, 0, 1000, 900);
    XSync(client_, False);
    EXPECT_EQ(desktop_->ForegroundWindow(), kNullWindow);
}

TEST_F(X11DesktopTest, ReparentedClientIsFoundByItsWmState) {
    // A manager that frames its clients without announcing itself.
    Window frame = NewWindow();
    Window decoration = NewWindow(frame);
    Window client = NewWindow(frame);
    SetCardinal(client, "WM_STATE", 1);
    Focus(frame);
    EXPECT_EQ(desktop_->ForegroundWindow(), client);
    const auto tops = desktop_->TopLevelWindows();
    EXPECT_NE(std::find(tops.begin(), tops.end(), client), tops.end());
    EXPECT_EQ(std::find(tops.begin(), tops.end(), frame), tops.end());
    EXPECT_EQ(std::find(tops.begin(), tops.end(), decoration), tops.end());
}

TEST_F(X11DesktopTest, AnnouncedWindowManagerIsTrustedUntilItsCheckWindowGoes) {
    Window active = NewWindow();
    Window other = NewWindow();
    Window check = AnnounceWindowManager();
    SetProperty(root_, "_NET_ACTIVE_WINDOW", {long(active)});
    SetProperty(root_, "_NET_CLIENT_LIST", {long(active)});
    Focus(other);
    EXPECT_TRUE(desktop_->WindowManagerRunning());
    EXPECT_EQ(desktop_->ForegroundWindow(), active);
    EXPECT_EQ(Collect([&](auto& cb) { desktop_->EnumTopLevelWindows(cb); }),
              (std::vector<WindowHandle>{active}));

    // A dead manager leaves its properties on the root: they no longer count.
    XDestroyWindow(client_, check);
    XSync(client_, False);
    EXPECT_FALSE(desktop_->WindowManagerRunning());
    EXPECT_EQ(desktop_->ForegroundWindow(), other);
    // The root's children, not the stale list.
    EXPECT_EQ(desktop_->TopLevelWindows(), (std::vector<WindowHandle>{active, other}));
}

TEST_F(X11DesktopTest, ProcessFromWmPidElseFromTheServer) {
    Window withPid = NewWindow();
    Window withoutPid = NewWindow();
    SetCardinal(withPid, "_NET_WM_PID", 1);
    EXPECT_EQ(desktop_->WindowProcessId(withPid), 1u);
    // This test's own connection created the window.
    EXPECT_EQ(desktop_->WindowProcessId(withoutPid), uint32_t(getpid()));

    const ProcessImageResult self = desktop_->ProcessImagePath(uint32_t(getpid()));
    ASSERT_TRUE(self.opened);
    char expected[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", expected, sizeof expected - 1), 0);
    EXPECT_EQ(self.devicePath, expected);

    for (uint32_t pid : {0u, 0x7FFFFFF0u}) {
        const ProcessImageResult gone = desktop_->ProcessImagePath(pid);
        EXPECT_FALSE(gone.opened);
        EXPECT_NE(gone.errorCode, 0);
        EXPECT_FALSE(gone.errorText.empty());
    }
}

struct BrowserCase {
    const char* instance;
    const char* className;
    const char* childClass;  // null: not a browser
};

void PrintTo(const BrowserCase& c, std::ostream* out) {
    *out << c.instance << "." << c.className;
}

class X11BrowserTest : public X11DesktopTest, public ::testing::WithParamInterface<BrowserCase> {};

TEST_P(X11BrowserTest, BrowsersGetOneChildOfTheExpectedClass) {
    const BrowserCase& c = GetParam();
    Window top = NewWindow();
    SetClass(top, c.instance, c.className);
    SetCardinal(top, "_NET_WM_PID", 4242);
    EXPECT_EQ(desktop_->ClassName(top), c.className);
    const auto children = Collect([&](auto& cb) { desktop_->EnumChildWindows(top, cb); });
    if (!c.childClass) {
        EXPECT_TRUE(children.empty());
        return;
    }
    ASSERT_EQ(children.size(), 1u);
    const WindowHandle child = children[0];
    EXPECT_TRUE(X11Desktop::IsSyntheticChild(child));
    EXPECT_NE(child, WindowHandle(top));
    EXPECT_EQ(desktop_->ClassName(child), c.childClass);
    EXPECT_EQ(desktop_->WindowProcessId(child), 4242u);
    EXPECT_EQ(desktop_->WindowTextTimeout(child, 1000), std::nullopt);
    EXPECT_TRUE(Collect([&](auto& cb) { desktop_->EnumChildWindows(child, cb); }).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Classes, X11BrowserTest,
    ::testing::Values(BrowserCase{"Navigator", "firefox", "MozillaWindowClass"},
                      BrowserCase{"Navigator", "Firefox-esr", "MozillaWindowClass"},
                      BrowserCase{"chromium", "Chromium", "Chrome_AutocompleteEditView"},
                      BrowserCase{"opera", "Opera", "OperaWindowClass"},
                      BrowserCase{"xterm", "XTerm", nullptr},
                      BrowserCase{"firefoxish", "Firefoxish", nullptr}),
    [](const auto& tp) {
        return test::CaseName(std::string(tp.param.instance) + " " + tp.param.className);
    });

TEST_F(X11DesktopTest, WindowTextPrefersTheUtf8Name) {
    Window w = NewWindow();
    // WM_NAME as STRING is Latin-1: "caf\xe9" reads back as UTF-8.
    XStoreName(client_, w, "caf\xe9");
    XSync(client_, False);
    EXPECT_EQ(desktop_->WindowTextTimeout(w, 1000), "caf\xc3\xa9");
    const std::string utf8 = "\xd0\x9f\xd1\x80\xd0\xbe\xd0\xb1\xd0\xb0";
    XChangeProperty(client_, w, A("_NET_WM_NAME"), A("UTF8_STRING"), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(utf8.data()), int(utf8.size()));
    XSync(client_, False);
    EXPECT_EQ(desktop_->WindowTextTimeout(w, 1000), utf8);
}

TEST_F(X11DesktopTest, VanishedWindowsMakeCallsFailNotTheProgram) {
    Window w = NewWindow();
    SetClass(w, "Navigator", "firefox");
    XDestroyWindow(client_, w);
    XSync(client_, False);
    EXPECT_EQ(desktop_->ClassName(w), "");
    EXPECT_EQ(desktop_->ClassName(w | X11Desktop::kSyntheticChildBit), "");
    EXPECT_EQ(desktop_->WindowTextTimeout(w, 1000), std::nullopt);
    EXPECT_EQ(desktop_->WindowProcessId(w), 0u);
    EXPECT_TRUE(Collect([&](auto& cb) { desktop_->EnumChildWindows(w, cb); }).empty());
    EXPECT_FALSE(desktop_->PostCloseRequest(w));
    // Handles that no X window can carry are refused without asking the server.
    EXPECT_EQ(desktop_->ClassName(WindowHandle(1) << 40), "");
    EXPECT_FALSE(desktop_->ConnectionLost());
}

TEST_F(X11DesktopTest, CloseWithoutWindowManagerUsesTheDeleteProtocol) {
    Window taker = NewWindow();
    Window refuser = NewWindow();
    Atom deleteAtom = A("WM_DELETE_WINDOW");
    XSetWMProtocols(client_, taker, &deleteAtom, 1);
    XSync(client_, False);
    EXPECT_TRUE(desktop_->PostCloseRequest(taker));
    EXPECT_FALSE(desktop_->PostCloseRequest(refuser));
    XEvent event{};
    ASSERT_TRUE(XCheckTypedWindowEvent(client_, taker, ClientMessage, &event));
    EXPECT_EQ(event.xclient.message_type, A("WM_PROTOCOLS"));
    EXPECT_EQ(Atom(event.xclient.data.l[0]), deleteAtom);
    EXPECT_FALSE(XCheckTypedWindowEvent(client_, refuser, ClientMessage, &event));
}

TEST_F(X11DesktopTest, CloseWithWindowManagerGoesThroughTheRoot) {
    AnnounceWindowManager();
    Window target = NewWindow();
    // Only one client may redirect the root: here it is the test, as the manager.
    XSelectInput(client_, root_, SubstructureRedirectMask);
    XSync(client_, False);
    EXPECT_TRUE(desktop_->PostCloseRequest(target));
    XEvent event{};
    ASSERT_TRUE(XCheckTypedEvent(client_, ClientMessage, &event));
    EXPECT_EQ(event.xclient.message_type, A("_NET_CLOSE_WINDOW"));
    EXPECT_EQ(event.xclient.window, target);
}

TEST_F(X11DesktopTest, LostConnectionIsLoggedOnceAndFindsNothing) {
    test::TempDir dir;
    SetLogFileName(dir.Path() + "log.txt");
    Window w = NewWindow();
    Focus(w);
    ASSERT_EQ(desktop_->ForegroundWindow(), w);
    XCloseDisplay(client_);
    client_ = nullptr;
    server_.Stop();

    EXPECT_EQ(desktop_->ForegroundWindow(), kNullWindow);
    EXPECT_TRUE(desktop_->ConnectionLost());
    EXPECT_TRUE(desktop_->TopLevelWindows().empty());
    EXPECT_EQ(desktop_->ClassName(w), "");
    EXPECT_EQ(desktop_->WindowProcessId(w), 0u);
    EXPECT_FALSE(desktop_->PostCloseRequest(w));
    const std::string log = test::ReadFileText(dir.Path() + "log.txt");
    SetLogFileName("");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find("lost"), std::string::npos);
}

}  // namespace
}  // namespace tw
