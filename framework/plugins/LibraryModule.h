#pragma once
#include <string>

// One shared library loaded by path (dlopen with an absolute path, RTLD_NOW | RTLD_LOCAL).
// Unloads itself when destroyed.
class TLibraryModule {
public:
    TLibraryModule() = default;
    ~TLibraryModule() { Close(); }
    TLibraryModule(const TLibraryModule&) = delete;
    TLibraryModule& operator=(const TLibraryModule&) = delete;

    // False when the library could not be loaded; the loader's text is then available through
    // LastSystemErrorText() and LastSystemErrorCode() (core/Globals.h).
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }

    // The export of exactly that name, or null.
    void* Symbol(const std::string& name) const;
    // The export as written, else with a leading underscore, or null.
    void* SymbolOrUnderscore(const std::string& name) const;

    template <class Fn>
    Fn* Function(const std::string& name) const {
        return reinterpret_cast<Fn*>(Symbol(name));
    }
    template <class Fn>
    Fn* FunctionOrUnderscore(const std::string& name) const {
        return reinterpret_cast<Fn*>(SymbolOrUnderscore(name));
    }

    // The module's file name as the loader reports it ("" when not loaded).
    std::string ModuleFileName() const;

private:
    void* handle_ = nullptr;
};

// The file name part of a path ("/opt/kov/devs/eprom.so" -> "eprom.so").
std::string LibraryFileName(const std::string& path);
