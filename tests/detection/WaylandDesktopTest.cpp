// The Wayland desktop under the real probe, with a scripted compositor and
// neither XWayland nor an accessibility bus: what the compositor says is
// what the probe and the sweep act on.
#include "platform/linux/WaylandDesktop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "detection/LogCapture.h"
#include "detection/OnlineTimeApplication.h"
#include "platform/linux/CompositorRoute.h"
#include "platform/linux/AtspiForeground.h"
#include "platform/linux/DesktopFactory.h"
#include "platform/linux/ProcessImage.h"
#include "platform/linux/X11Desktop.h"
#include "support/ListEntries.h"

namespace tw {
namespace {

class ScriptedCompositor final : public CompositorRoute {
public:
    std::vector<CompositorWindow> windows;
    std::optional<uint64_t> focused;
    std::vector<uint64_t> refuseClose;
    std::vector<uint64_t> closed;

    const char* Name() const override { return "scripted"; }
    std::optional<CompositorWindow> Focused() override {
        for (const CompositorWindow& w : windows) {
            if (focused == w.id)
                return w;
        }
        return std::nullopt;
    }
    std::vector<CompositorWindow> Windows() override { return windows; }
    bool Close(uint64_t id) override {
        for (uint64_t refused : refuseClose) {
            if (refused == id)
                return false;
        }
        closed.push_back(id);
        return true;
    }
};

std::string ProgramOf(uint32_t pid) {
    return ReadProcessImage(pid).devicePath;
}

class WaylandDesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No accessibility bus: browser addresses stay empty, nothing waits for one.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
        auto owned = std::make_unique<ScriptedCompositor>();
        compositor = owned.get();
        // Two processes whose program files differ: this test and its parent.
        compositor->windows = {
            {11, uint32_t(::getpid()), "chromium", "Page - Chromium", false},
            {12, uint32_t(::getppid()), "org.gnome.gedit", "notes.txt", false},
            {13, uint32_t(::getpid()), "firefox-esr", "Page - Firefox", false},
            {14, uint32_t(::getppid()), "XTerm", "xterm", true},
        };
        desktop = std::make_unique<WaylandDesktop>(nullptr, std::move(owned), nullptr);
    }

    ScriptedCompositor* compositor = nullptr;
    std::unique_ptr<WaylandDesktop> desktop;
};

TEST_F(WaylandDesktopTest, ProbeNamesTheFocusedWindowAndItsBrowserKind) {
    struct Case {
        std::optional<uint64_t> focused;
        TAppType type;
        uint32_t pid;
        const char* route;
    };
    const Case cases[] = {
        {11, atChrome, uint32_t(::getpid()), "scripted"},
        {12, atDesktopApplication, uint32_t(::getppid()), "scripted"},
        {13, atFirefox, uint32_t(::getpid()), "scripted"},
        {14, atDesktopApplication, uint32_t(::getppid()), "scripted"},
        {std::nullopt, atDesktopApplication, 0, "none"},
    };
    TOnlineTimeApplication probe(*desktop);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.focused ? int(*c.focused) : 0);
        compositor->focused = c.focused;
        probe.Execute(false, nullptr);
        EXPECT_EQ(probe.AppType(), c.type);
        EXPECT_STREQ(desktop->ForegroundRoute(), c.route);
        if (c.pid == 0) {
            EXPECT_EQ(probe.WindowHandle(), kNullWindow);
            continue;
        }
        EXPECT_EQ(probe.AppName(), ProgramOf(c.pid));
        // The same window keeps its handle from one probe to the next.
        const WindowHandle first = probe.WindowHandle();
        probe.Execute(false, nullptr);
        EXPECT_EQ(probe.WindowHandle(), first);
        EXPECT_EQ(desktop->WindowProcessId(first), c.pid);
    }
}

TEST_F(WaylandDesktopTest, SweepClosesOnlyListedWindowsAndLogsARefusalOnce) {
    test::LogCapture log;
    TMonitoredList list;
    test::AddEntry(list, mitApplication, ProgramOf(uint32_t(::getppid())), "Parent");
    compositor->refuseClose = {14};

    TOnlineTimeApplication probe(*desktop);
    probe.Execute(true, &list);
    probe.Execute(true, &list);
    EXPECT_EQ(compositor->closed, (std::vector<uint64_t>{12, 12}));

    // Window 14 could not be closed: said once, not on every sweep.
    int refusals = 0;
    for (const std::string& line : log.Lines())
        refusals += line.find("\"xterm\" of XTerm cannot be closed") != std::string::npos;
    EXPECT_EQ(refusals, 1);

    // A window gone from the compositor's list is gone from the desktop too.
    const uint32_t handlesBefore = [&] {
        uint32_t n = 0;
        desktop->EnumTopLevelWindows([&](WindowHandle) { return ++n, true; });
        return n;
    }();
    compositor->windows.pop_back();
    uint32_t handlesAfter = 0;
    WindowHandle any = kNullWindow;
    desktop->EnumTopLevelWindows([&](WindowHandle w) { return any = w, ++handlesAfter, true; });
    EXPECT_EQ(handlesAfter + 1, handlesBefore);
    EXPECT_FALSE(desktop->PostCloseRequest(WaylandDesktop::kWaylandBit | 0x3FFFFFFF));
    EXPECT_NE(any, kNullWindow);
}

TEST(SessionKindTest, WaylandOnlyWhereTheSessionSaysOrADisplayIsAnnounced) {
    struct Case {
        const char* waylandDisplay;
        const char* sessionType;
        SessionKind expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, SessionKind::X11},
        {"wayland-0", nullptr, SessionKind::Wayland},
        {"", "", SessionKind::X11},
        {nullptr, "wayland", SessionKind::Wayland},
        {"wayland-0", "x11", SessionKind::X11},  // a nested compositor in an X session
        {"wayland-0", "tty", SessionKind::Wayland},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DetectSessionKind(c.waylandDisplay, c.sessionType), c.expected)
            << (c.waylandDisplay ? c.waylandDisplay : "null") << " / "
            << (c.sessionType ? c.sessionType : "null");
    }
}

}  // namespace
}  // namespace tw
