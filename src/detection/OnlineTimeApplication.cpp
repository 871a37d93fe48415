#include "detection/OnlineTimeApplication.h"

#include "base/Exceptions.h"
#include "base/WriteLog.h"
#include "detection/AccessibilityDefs.h"

namespace tw {

namespace {
constexpr std::string_view kUnit = "OnlineTimeApplicationObjects";
}  // namespace

const char* AppTypeDisplayName(TAppType appType) noexcept {
    switch (appType) {
        case atDesktopApplication:
            return "Desktop Application";
        case atInternetExplorer:
            return "MS Internet Explorer";
        case atFirefox:
            return "Mozila FireFox";
        case atChrome:
            return "Google Chrome";
        case atOpera:
            return "Opera";
    }
    return "";
}

void TOnlineTimeApplication::Execute(bool closeMatching, const TMonitoredList* list) {
    // Checked before anything runs: inside the handler below the failure
    // would only be logged and the sweep would silently close nothing.
    Require(!closeMatching || list != nullptr, kUnit);
    try {
        appType_ = atDesktopApplication;
        browserUrl_.clear();
        appName_.clear();
        windowFound_ = false;
        windowHandle_ = kNullWindow;

        closeMatching_ = closeMatching;
        sweepList_ = closeMatching ? list : nullptr;
        try {
            if (closeMatching_) {
                desktop_.EnumTopLevelWindows(
                    [this](tw::WindowHandle window) { return EnumTopLevelWindowProc(window); });
            } else {
                EnumTopLevelWindowProc(desktop_.ForegroundWindow());
            }
        } catch (...) {
            closeMatching_ = false;
            sweepList_ = nullptr;
            throw;
        }
        closeMatching_ = false;
        sweepList_ = nullptr;
    } catch (const Exception& e) {
        LogException(e, "; TOnlineTimeApplication.Execute: ");
    }
}

bool TOnlineTimeApplication::EnumTopLevelWindowProc(tw::WindowHandle window) {
    bool goOn = true;
    if (!closeMatching_) {
        if (windowFound_)
            return goOn;
        windowFound_ = true;
        goOn = false;
    }
    windowHandle_ = window;
    appType_ = atDesktopApplication;
    appName_ = GetWindowProcessPath(window);
    browserUrl_.clear();

    desktop_.EnumChildWindows(
        window, [this](tw::WindowHandle child) { return EnumChildWindowProc(child, *this); });

    if (closeMatching_) {
        int index = -1;
        uint8_t matchKind = 0;
        if (FindMonitoredItem(sweepList_, index, matchKind, nullptr)) {
            desktop_.PostCloseRequest(window);
        }
    }
    return goOn;
}

std::string TOnlineTimeApplication::GetWindowProcessPath(tw::WindowHandle window) {
    const uint32_t processId = desktop_.WindowProcessId(window);
    ProcessImageResult image = desktop_.ProcessImagePath(processId);
    if (!image.opened)
        return "Error: " + image.errorText;
    if (!desktop_.HasDriveLetters())
        return std::move(image.devicePath);
    return DevicePathToDosPath(image.devicePath);
}

std::string TOnlineTimeApplication::DevicePathToDosPath(std::string_view devicePath) {
    // A and B are floppy drives: asking for them can make the system wait for a medium.
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        const std::string drive{letter, ':'};
        const std::optional<std::string> device = desktop_.QueryDosDevice(drive);
        // An unmapped drive says nothing, whatever an earlier drive answered.
        if (!device || device->empty())
            continue;
        if (!devicePath.starts_with(*device))
            continue;
        // The device name must end where a path component ends: volume 1
        // is not a prefix of volume 10's paths.
        const std::string_view rest = devicePath.substr(device->size());
        if (!rest.empty() && rest.front() != '\\' && rest.front() != '/')
            continue;
        return drive + std::string(rest);
    }
    return {};
}

bool TOnlineTimeApplication::FindMonitoredItem(const TMonitoredList* list, int& index,
                                               uint8_t& matchKind, std::string* name) const {
    if (name)
        name->clear();
    Require(list != nullptr, kUnit);
    index = list->Match(appName_, browserUrl_, matchKind);
    if (index == -1)
        return false;
    if (name)
        *name = list->Items(index)->Caption;
    return true;
}

}  // namespace tw
