#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Exceptions.h"

// The accessibility tree of a window, as the browser-address walk reads it.
// Every call can fail; results carry a COM-style result code so the walk can
// apply its rule "only 0 counts as success" (1, partial success, included).
namespace tw {

using HResult = int32_t;

inline constexpr HResult kSOk = 0;
inline constexpr HResult kSFalse = 1;  // partial success / nothing there
inline constexpr HResult kENotImpl = int32_t(0x80004001u);
inline constexpr HResult kENoInterface = int32_t(0x80004002u);
inline constexpr HResult kEFail = int32_t(0x80004005u);
inline constexpr HResult kEInvalidArg = int32_t(0x80070057u);
inline constexpr HResult kRpcEDisconnected = int32_t(0x80010108u);

inline constexpr bool Failed(HResult hr) noexcept {
    return hr < 0;
}

// Short text for a result code, used in error messages ("OLE error 8000FFFF" for unknown ones).
std::string HResultText(HResult hr);

// A failed accessibility call that the walk does not tolerate.
class EOleSysError : public Exception {
public:
    EOleSysError(HResult code, std::string message) : Exception(std::move(message)), code_(code) {}
    explicit EOleSysError(HResult code) : EOleSysError(code, HResultText(code)) {}
    const char* ClassName() const noexcept override { return "EOleSysError"; }
    HResult ErrorCode() const noexcept { return code_; }

private:
    HResult code_;
};

// An interface that does not provide what the caller asked for.
TW_DECLARE_EXCEPTION(EIntfCastError, Exception);

inline constexpr int32_t kChildIdSelf = 0;
inline constexpr int32_t kRoleSystemText = 42;
inline constexpr int32_t kStateSystemHotTracked = 0x80;
inline constexpr int32_t kStateSystemFocused = 0x4;
inline constexpr int32_t kStateSystemFocusable = 0x100000;
inline constexpr int32_t kNavDirNext = 5;
inline constexpr int32_t kNavDirFirstChild = 7;

class Accessible;

// One element of a child list or of a navigation: nothing, a simple child
// addressed by its identifier through its parent, an accessible object, an
// object that is not accessible, or a value of some other kind.
struct AccVariant {
    enum class Kind : uint8_t { Empty, ChildId, Object, NonAccessible, Other };

    Kind kind = Kind::Empty;
    int32_t childId = 0;                 // Kind::ChildId
    std::shared_ptr<Accessible> object;  // Kind::Object
    uint64_t identity = 0;               // Kind::NonAccessible and Kind::Other

    static AccVariant Empty() { return {}; }
    static AccVariant ChildId(int32_t id) { return {Kind::ChildId, id, nullptr, 0}; }
    static AccVariant Object(std::shared_ptr<Accessible> object);
    static AccVariant NonAccessible(uint64_t identity) {
        return {Kind::NonAccessible, 0, nullptr, identity};
    }
    static AccVariant Other(uint64_t identity) { return {Kind::Other, 0, nullptr, identity}; }

    bool IsEmpty() const noexcept { return kind == Kind::Empty; }
};

// Same kind and same element: equal child identifiers, or objects with the
// same identity (two proxies of one node compare equal).
bool operator==(const AccVariant& a, const AccVariant& b) noexcept;

struct AccCountResult {
    HResult hr = kEFail;
    int32_t count = 0;
};

// AccessibleChildren: the code and the elements obtained (at most the number asked for).
struct AccChildrenResult {
    HResult hr = kEFail;
    std::vector<AccVariant> children;
};

// One fetch of the child enumerator: 0 fetched marks the end (hr is then usually 1).
struct AccFetchResult {
    HResult hr = kEFail;
    int fetched = 0;
    AccVariant element;
};

struct AccVariantResult {
    HResult hr = kEFail;
    AccVariant element;
};

// Role and state: nullopt when the answer is not a 32-bit integer (a role given as text).
struct AccIntResult {
    HResult hr = kEFail;
    std::optional<int32_t> value;
};

// Value as UTF-8 text.
struct AccTextResult {
    HResult hr = kEFail;
    std::string value;
};

// The enumerator alternative to the child array, fetching one element per call.
class AccessibleEnumerator {
public:
    virtual ~AccessibleEnumerator() = default;
    virtual AccFetchResult Next() = 0;
};

class Accessible {
public:
    virtual ~Accessible() = default;

    // Stable for the node behind this object: the navigation loop compares
    // elements by it, and two proxies of one node share it.
    virtual uint64_t Identity() const = 0;

    virtual AccCountResult ChildCount() = 0;
    // Children starting at index 0, at most `count` of them.
    virtual AccChildrenResult Children(int32_t count) = 0;
    // Null when the object offers no enumerator.
    virtual std::unique_ptr<AccessibleEnumerator> Enumerator() = 0;
    // Direction kNavDirFirstChild or kNavDirNext, starting from `from`
    // (a child identifier, kChildIdSelf for the object itself, or an object).
    virtual AccVariantResult Navigate(int32_t direction, const AccVariant& from) = 0;
    // The object behind a child identifier: on success an Object, a
    // NonAccessible or Empty; a simple element answers 1 and Empty.
    virtual AccVariantResult GetChild(int32_t childId) = 0;

    // Of the object itself (CHILDID_SELF).
    virtual AccIntResult Role() = 0;
    virtual AccTextResult Value() = 0;
    virtual AccIntResult State() = 0;
};

inline AccVariant AccVariant::Object(std::shared_ptr<Accessible> object) {
    return {Kind::Object, 0, std::move(object), 0};
}

}  // namespace tw
