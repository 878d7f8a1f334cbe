#include "plugins/LibraryModule.h"

#include <dlfcn.h>
#include <link.h>

#include <filesystem>
#include <system_error>

#include "core/Globals.h"

namespace {

// The number that goes with a dynamic-loader error (errno values are positive and distinct).
constexpr int LoaderErrorCode = 1;

}  // namespace

bool TLibraryModule::Open(const std::string& path) {
    Close();
    if (path.empty()) {
        SetLastSystemError(LoaderErrorCode, "empty library path");
        return false;
    }
    // An absolute path keeps the loader from searching its own folders for a bare name.
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    const std::string target = ec ? path : absolute.string();
    dlerror();
    handle_ = dlopen(target.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* text = dlerror();
        SetLastSystemError(LoaderErrorCode, text ? text : "unknown dynamic loader error");
        return false;
    }
    return true;
}

void TLibraryModule::Close() {
    if (handle_) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

void* TLibraryModule::Symbol(const std::string& name) const {
    if (!handle_ || name.empty()) return nullptr;
    return dlsym(handle_, name.c_str());
}

void* TLibraryModule::SymbolOrUnderscore(const std::string& name) const {
    void* symbol = Symbol(name);
    return symbol ? symbol : Symbol("_" + name);
}

std::string TLibraryModule::ModuleFileName() const {
    if (!handle_) return {};
    link_map* map = nullptr;
    if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
    return map->l_name;
}

std::string LibraryFileName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
