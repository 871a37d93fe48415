#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/WindowSystem.h"
#include "storage/ActivityLogger.h"
#include "storage/MonitoredObjects.h"

// The foreground probe: which program owns a top-level window and, for the
// recognised browsers, which address it shows. Foreground mode examines the
// window with the input focus; sweep mode examines every top-level window and
// asks those on a list to close.
namespace tw {

enum TAppType : uint8_t {
    atDesktopApplication = 0,
    atInternetExplorer = 1,
    atFirefox = 2,
    atChrome = 3,
    atOpera = 4,
};

// The name the activity log stores for a kind of program ("Google Chrome").
const char* AppTypeDisplayName(TAppType appType) noexcept;

// The activity log reads the result through TActivitySource.
class TOnlineTimeApplication final : public TActivitySource {
public:
    // The desktop belongs to the owner and must outlive the probe.
    explicit TOnlineTimeApplication(WindowSystem& desktop) : desktop_(desktop) {}
    TOnlineTimeApplication(const TOnlineTimeApplication&) = delete;
    TOnlineTimeApplication& operator=(const TOnlineTimeApplication&) = delete;

    // One probe of the foreground window (closeMatching false, list unused),
    // or one sweep closing every window that `list` matches (closeMatching
    // true; a sweep without a list is a precondition failure). Errors of the
    // program's own kind are logged and end the probe quietly.
    void Execute(bool closeMatching, const TMonitoredList* list);

    // Examines one top-level window; answers whether the enumeration goes on.
    bool EnumTopLevelWindowProc(tw::WindowHandle window);

    // The program file behind a window, in drive-letter form where the
    // desktop has drive letters; "Error: " and the system's text when the
    // process cannot be opened.
    std::string GetWindowProcessPath(tw::WindowHandle window);

    // "\Device\HarddiskVolume2\x.exe" to "D:\x.exe" by the drives C: to Z:;
    // empty when no drive maps the path.
    std::string DevicePathToDosPath(std::string_view devicePath);

    // Whether AppName and BrowserUrl match an entry of `list` (required).
    // `index` gets the entry or -1, `matchKind` 2 for an address match and
    // 1 otherwise, and `name` (when given) the entry's caption or empty.
    bool FindMonitoredItem(const TMonitoredList* list, int& index, uint8_t& matchKind,
                           std::string* name) const;

    const char* GetAppTypeName() const override { return AppTypeDisplayName(appType_); }

    bool WindowFound() const noexcept { return windowFound_; }
    const std::string& AppName() const override { return appName_; }
    TAppType AppType() const noexcept { return appType_; }
    const std::string& BrowserUrl() const override { return browserUrl_; }
    bool CloseMatching() const noexcept { return closeMatching_; }
    const TMonitoredList* SweepList() const noexcept { return sweepList_; }
    tw::WindowHandle WindowHandle() const noexcept { return windowHandle_; }

    // Browser recognition records what it finds; the scan timer puts the
    // matched entry's key in place of the full address.
    void SetAppType(TAppType appType) noexcept { appType_ = appType; }
    void SetBrowserUrl(std::string url) { browserUrl_ = std::move(url); }

    WindowSystem& Desktop() const noexcept { return desktop_; }

private:
    WindowSystem& desktop_;
    bool windowFound_ = false;
    std::string appName_;
    TAppType appType_ = atDesktopApplication;
    std::string browserUrl_;
    bool closeMatching_ = false;
    const TMonitoredList* sweepList_ = nullptr;
    tw::WindowHandle windowHandle_ = kNullWindow;
};

}  // namespace tw
