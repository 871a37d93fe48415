#pragma once

#include <glib-object.h>

#include <memory>

// Owners for what GLib and libatspi hand over, so that every way out of a
// function gives it back: objects (g_object_unref), errors, strings, arrays
// and hash tables.
namespace tw {

struct GObjectUnref {
    void operator()(gpointer object) const noexcept { g_object_unref(object); }
};
// One reference to a GObject (an AtspiAccessible, a state set, a match rule).
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError* error) const noexcept { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GFree {
    void operator()(gpointer memory) const noexcept { g_free(memory); }
};
using GCharPtr = std::unique_ptr<gchar, GFree>;

// An array with its elements' storage; elements that own something are
// given back by whoever reads them.
struct GArrayFree {
    void operator()(GArray* array) const noexcept { g_array_free(array, TRUE); }
};
using GArrayPtr = std::unique_ptr<GArray, GArrayFree>;

struct GHashTableUnref {
    void operator()(GHashTable* table) const noexcept { g_hash_table_unref(table); }
};
using GHashTablePtr = std::unique_ptr<GHashTable, GHashTableUnref>;

}  // namespace tw
