#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>

#include <memory>

// Owners for what Xlib hands over, so that every way out of a function
// gives it back.
namespace tw {

struct XFreeDeleter {
    void operator()(void* memory) const noexcept { XFree(memory); }
};
// Memory Xlib allocated for an answer (property data, child lists, protocols).
template <typename T>
using XOwned = std::unique_ptr<T, XFreeDeleter>;

struct XFreeStringListDeleter {
    void operator()(char** list) const noexcept { XFreeStringList(list); }
};
// A list of strings from Xutf8TextPropertyToTextList.
using XStringList = std::unique_ptr<char*, XFreeStringListDeleter>;

// The client ids XResQueryClientIds answers, freed with their count.
class XResClientIds {
public:
    XResClientIds(long count, XResClientIdValue* ids) noexcept : count_(count), ids_(ids) {}
    ~XResClientIds() {
        if (ids_)
            XResClientIdsDestroy(count_, ids_);
    }
    XResClientIds(const XResClientIds&) = delete;
    XResClientIds& operator=(const XResClientIds&) = delete;

    long Count() const noexcept { return ids_ ? count_ : 0; }
    XResClientIdValue& operator[](long i) const noexcept { return ids_[i]; }

private:
    long count_;
    XResClientIdValue* ids_;
};

}  // namespace tw
