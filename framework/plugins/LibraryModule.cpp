#include "plugins/LibraryModule.h"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/Globals.h"

namespace {

// The number that goes with a dynamic-loader error (errno values are positive and distinct).
constexpr int LoaderErrorCode = 1;

// A library cut short (a copy or an update that was interrupted) has its segments' bytes past
// the end of the file: the dynamic loader maps them anyway and the process dies of a bus error
// when they are touched. Such a file is refused beforehand; "" when it is whole or no ELF file
// of this machine's class (the loader then says what is wrong with it).
std::string IncompleteLibrary(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    struct stat st {};
    std::string problem;
    ElfW(Ehdr) header{};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        ::pread(fd, &header, sizeof header, 0) == static_cast<ssize_t>(sizeof header) &&
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_ident[EI_CLASS] == (__ELF_NATIVE_CLASS == 64 ? ELFCLASS64 : ELFCLASS32)) {
        const auto size = static_cast<std::uint64_t>(st.st_size);
        const std::uint64_t tableEnd = std::uint64_t{header.e_phoff} + std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr));
        std::uint64_t needed = tableEnd;
        if (header.e_phentsize == sizeof(ElfW(Phdr)) && tableEnd <= size) {
            for (unsigned i = 0; i < header.e_phnum; ++i) {
                ElfW(Phdr) segment{};
                if (::pread(fd, &segment, sizeof segment, static_cast<off_t>(header.e_phoff + i * sizeof segment)) !=
                    static_cast<ssize_t>(sizeof segment)) {
                    break;
                }
                if (segment.p_type == PT_LOAD)
                    needed = std::max<std::uint64_t>(needed, std::uint64_t{segment.p_offset} + segment.p_filesz);
            }
        }
        if (needed > size) {
            problem = path + ": the file is incomplete (" + std::to_string(size) + " bytes of at least " +
                      std::to_string(needed) + ")";
        }
    }
    ::close(fd);
    return problem;
}

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
    const std::string incomplete = IncompleteLibrary(target);
    if (!incomplete.empty()) {
        SetLastSystemError(LoaderErrorCode, incomplete);
        return false;
    }
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
