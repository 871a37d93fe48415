#include "detection/AccessibilityDefs.h"

#include <set>
#include <tuple>

#include "base/Exceptions.h"
#include "base/WriteLog.h"
#include "detection/OnlineTimeApplication.h"

namespace tw {

namespace {

constexpr std::string_view kUnit = "AccessibilityDefs";

constexpr std::string_view kAddressPrefixes[] = {"http://", "https://", "ftp://", "ftps://"};

// An enumerator that never reports its end would hold the probe forever.
constexpr int kMaxEnumeratedChildren = 100000;

// Keeps text up to the first zero byte and within a buffer of `size` bytes.
std::string FromBuffer(std::string_view text, size_t size) {
    text = text.substr(0, size - 1);
    return std::string(text.substr(0, text.find('\0')));
}

// The depth-first walk; each object is reported before its children.
class AccessibleWalk {
public:
    AccessibleWalk(TAccessibleInfoEnumProc callback, void* data, int maxDepth)
        : callback_(callback), data_(data), maxDepth_(maxDepth) {}

    // Answers whether the walk goes on.
    bool VisitAccessible(Accessible* object, int depth) {
        if (!object)
            return true;
        if (depth > maxDepth_)
            return true;
        if (!callback_(*object, data_, depth))
            return false;

        const AccCountResult count = object->ChildCount();
        if (count.hr != kSOk || count.count <= 0)
            return true;

        // The child array, when it answers with full success.
        AccChildrenResult children = object->Children(count.count);
        if (children.hr == kSOk) {
            for (const AccVariant& child : children.children) {
                if (!VisitAccessibleChild(child, depth + 1, *object, depth))
                    return false;
            }
            return true;
        }

        // Else the enumerator, one element per fetch.
        if (std::unique_ptr<AccessibleEnumerator> enumerator = object->Enumerator()) {
            for (int i = 0; i < kMaxEnumeratedChildren; ++i) {
                AccFetchResult fetch = enumerator->Next();
                if (Failed(fetch.hr))
                    throw EOleSysError(fetch.hr);
                if (fetch.fetched == 0)
                    break;
                const bool goOn = VisitAccessibleChild(fetch.element, depth + 1, *object, depth);
                fetch.element = AccVariant::Empty();
                if (!goOn)
                    return false;
            }
            return true;
        }

        // Else navigation; its elements keep the object's own depth.
        AccVariantResult first =
            object->Navigate(kNavDirFirstChild, AccVariant::ChildId(kChildIdSelf));
        if (first.hr != kSOk)
            return true;
        AccVariant current = std::move(first.element);
        // A provider whose chain runs in a circle would otherwise hold the probe forever.
        std::set<std::tuple<int, uint64_t>> seen;
        while (!current.IsEmpty()) {
            seen.insert(Key(current));
            if (!VisitAccessibleChild(current, depth, *object, depth))
                return false;
            AccVariantResult next = object->Navigate(kNavDirNext, current);
            if (next.hr != kSOk)
                break;
            if (next.element == current)
                break;
            if (seen.count(Key(next.element)))
                break;
            current = std::move(next.element);
        }
        return true;
    }

    bool VisitAccessibleChild(const AccVariant& child, int depth, Accessible& parent,
                              int parentDepth) {
        if (parentDepth >= maxDepth_)
            return true;
        switch (child.kind) {
            case AccVariant::Kind::Empty:
                return true;
            case AccVariant::Kind::ChildId: {
                AccVariantResult result = parent.GetChild(child.childId);
                // Anything but full success is a simple element: never reported.
                if (result.hr != kSOk)
                    return true;
                switch (result.element.kind) {
                    case AccVariant::Kind::Empty:
                        return true;
                    case AccVariant::Kind::Object:
                        return VisitAccessible(result.element.object.get(), depth);
                    default:
                        throw EIntfCastError("Interface not supported");
                }
            }
            case AccVariant::Kind::Object:
                return VisitAccessible(child.object.get(), depth);
            case AccVariant::Kind::NonAccessible:
            case AccVariant::Kind::Other:
                return true;
        }
        return true;
    }

private:
    static std::tuple<int, uint64_t> Key(const AccVariant& element) {
        switch (element.kind) {
            case AccVariant::Kind::ChildId:
                return {int(element.kind), uint32_t(element.childId)};
            case AccVariant::Kind::Object:
                return {int(element.kind), element.object ? element.object->Identity() : 0};
            default:
                return {int(element.kind), element.identity};
        }
    }

    TAccessibleInfoEnumProc callback_;
    void* data_;
    int maxDepth_;
};

}  // namespace

bool HasAddressPrefix(std::string_view value) noexcept {
    for (std::string_view prefix : kAddressPrefixes) {
        if (value.starts_with(prefix))
            return true;
    }
    return false;
}

bool EnumChildWindowProc(WindowHandle child, TOnlineTimeApplication& probe) {
    WindowSystem& desktop = probe.Desktop();
    const std::string className = GetWindowClassName(desktop, child);

    if (className == "MozillaWindowClass") {
        probe.SetAppType(atFirefox);
        EnumWindowAccessibleInfo(desktop, child, OnWindowAccessibleInfoEnum, &probe,
                                 kFirefoxMaxDepth);
        return false;
    }
    if (className == "OperaWindowClass") {
        probe.SetAppType(atOpera);
        EnumWindowAccessibleInfo(desktop, child, OnWindowAccessibleInfoEnum, &probe,
                                 kOperaMaxDepth);
        return false;
    }
    if (className == "Chrome_AutocompleteEditView") {
        probe.SetAppType(atChrome);
        probe.SetBrowserUrl(GetWindowTextTimeout(desktop, child));
        return false;
    }
    if (className == "Edit" && probe.AppType() == atInternetExplorer) {
        if (probe.BrowserUrl().empty())
            probe.SetBrowserUrl(GetWindowTextTimeout(desktop, child));
        return false;
    }
    // The address bar's container: its first "Edit" after it holds the address.
    if (className == "AddressDisplay Control" || className == "Address Band Root") {
        probe.SetAppType(atInternetExplorer);
    }
    return true;
}

void EnumWindowAccessibleInfo(WindowSystem& desktop, WindowHandle window,
                              TAccessibleInfoEnumProc callback, void* data, int maxDepth) {
    Require(callback != nullptr, kUnit);
    std::unique_ptr<Accessible> root = desktop.AccessibleObjectFromWindow(window);
    if (!root)
        return;
    AccessibleWalk walk(callback, data, maxDepth);
    (void)walk.VisitAccessible(root.get(), 0);
}

bool OnWindowAccessibleInfoEnum(Accessible& object, void* data, int /*depth*/) {
    Require(data != nullptr, kUnit);
    auto& probe = *static_cast<TOnlineTimeApplication*>(data);
    bool goOn = true;
    try {
        const AccIntResult roleResult = object.Role();
        const std::optional<int32_t> role =
            roleResult.hr == kSOk ? roleResult.value : std::optional<int32_t>(0);
        if (!role)
            return goOn;

        const AccTextResult valueResult = object.Value();
        // Values arrive as UTF-8, the program's own text form.
        const std::string value = valueResult.hr == kSOk ? valueResult.value : std::string();
        if (!HasAddressPrefix(value))
            return goOn;

        if (probe.AppType() == atFirefox) {
            if (*role == kRoleSystemText) {
                probe.SetBrowserUrl(value);
                goOn = false;
            }
        } else if (probe.AppType() == atOpera) {
            if (*role == kRoleSystemText) {
                const AccIntResult stateResult = object.State();
                const std::optional<int32_t> state =
                    stateResult.hr == kSOk ? stateResult.value : std::optional<int32_t>(0);
                if (state && *state == kOperaAddressState) {
                    probe.SetBrowserUrl(value);
                    goOn = false;
                }
            }
        }
    } catch (const Exception& e) {
        LogException(e, "; OnWindowAccessibleInfoEnum:");
    }
    return goOn;
}

std::string GetWindowTextTimeout(WindowSystem& desktop, WindowHandle window) {
    try {
        std::optional<std::string> text = desktop.WindowTextTimeout(window, kWindowTextTimeoutMs);
        if (!text)
            return {};
        return FromBuffer(*text, kWindowTextBufferSize);
    } catch (const std::exception&) {
        return {};
    }
}

std::string GetWindowClassName(WindowSystem& desktop, WindowHandle window) {
    return FromBuffer(desktop.ClassName(window), kClassNameBufferSize);
}

}  // namespace tw
