#include "ui/DisplayCheck.h"

#include <dlfcn.h>

#include <QLibraryInfo>
#include <cstdlib>
#include <filesystem>

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Opens and closes a connection through the client library the toolkit itself would use, so the
// answer matches its own (including authorisation).
bool CanConnect(const char* library, const char* connect, const char* fails, const char* close, bool withScreen) {
    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return false;
    bool ok = false;
    void* open = dlsym(handle, connect);
    void* release = dlsym(handle, close);
    if (open && release) {
        void* connection = withScreen ? reinterpret_cast<void* (*)(const char*, int*)>(open)(nullptr, nullptr)
                                      : reinterpret_cast<void* (*)(const char*)>(open)(nullptr);
        if (connection) {
            ok = true;
            if (fails) {
                auto hasError = reinterpret_cast<int (*)(void*)>(dlsym(handle, fails));
                ok = hasError && hasError(connection) == 0;
            }
            reinterpret_cast<void (*)(void*)>(release)(connection);
        }
    }
    dlclose(handle);
    return ok;
}

bool XReachable() {
    return CanConnect("libxcb.so.1", "xcb_connect", "xcb_connection_has_error", "xcb_disconnect", true);
}

bool WaylandReachable() {
    return CanConnect("libwayland-client.so.0", "wl_display_connect", nullptr, "wl_display_disconnect", false);
}

bool HasWaylandPlugin() {
    std::error_code error;
    const std::filesystem::path folder =
        QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString() + "/platforms";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        if (entry.path().filename().string().rfind("libqwayland", 0) == 0) return true;
    }
    return false;
}

std::string XReason(const std::string& display) {
    if (display.empty()) return "DISPLAY is not set";
    if (!XReachable()) return "cannot connect to the X display \"" + display + "\"";
    return {};
}

}  // namespace

std::string NoDisplayReason(const std::string& platform) {
    std::string name = platform.empty() ? Env("QT_QPA_PLATFORM") : platform;
    name = name.substr(0, name.find(';'));
    name = name.substr(0, name.find(':'));
    const std::string display = Env("DISPLAY");
    const std::string wayland = Env("WAYLAND_DISPLAY");

    if (name == "xcb") return XReason(display);
    if (name.rfind("wayland", 0) == 0) {
        if (wayland.empty()) return "WAYLAND_DISPLAY is not set";
        if (!WaylandReachable()) return "cannot connect to the Wayland display \"" + wayland + "\"";
        return {};
    }
    // offscreen, minimal, vnc, eglfs, ... need no desktop session.
    if (!name.empty()) return {};

    const bool waylandUsable = !wayland.empty() && HasWaylandPlugin() && WaylandReachable();
    if (waylandUsable && Env("XDG_SESSION_TYPE") == "wayland") return {};
    if (!display.empty()) return XReason(display);
    if (waylandUsable) return {};
    if (!wayland.empty()) return "cannot use the Wayland display \"" + wayland + "\" and DISPLAY is not set";
    return "neither DISPLAY nor WAYLAND_DISPLAY is set";
}
