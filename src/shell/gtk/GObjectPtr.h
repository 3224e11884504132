#pragma once

#include <glib-object.h>
#include <glib.h>

#include <memory>

namespace velmora::gtkshell {

// Owning references to GLib objects and strings, released when they go out of scope.
struct GObjectUnref {
    void operator()(gpointer object) const {
        if (object) g_object_unref(object);
    }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFreeDeleter {
    void operator()(gpointer p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

struct GErrorDeleter {
    void operator()(GError* e) const {
        if (e) g_error_free(e);
    }
};
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

} // namespace velmora::gtkshell
