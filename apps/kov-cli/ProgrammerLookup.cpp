#include "ProgrammerLookup.h"

#include <strings.h>

#include <cctype>
#include <exception>
#include <filesystem>

#include "branding/Edition.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "plugins/LibraryModule.h"
#include "plugins/ProgDLL.h"

namespace fs = std::filesystem;

namespace {

bool Same(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string Upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string ProgrammersFolder() {
    return GlobalConfig ? GlobalConfig->ProgrammersFolder() : JoinFolderPath(InstallFolder, "prog");
}

std::string Models(const std::vector<TProgrammerEntry>& entries) {
    std::string text;
    for (const TProgrammerEntry& e : entries)
        text += (text.empty() ? "" : ", ") + e.model + " (" + e.interface + ")";
    return text.empty() ? "none" : text;
}

// A library given by its path: listed as discovery would list it, or by its own name when that
// does not begin with the product name.
bool EntryForPath(const std::string& path, TProgrammerEntry& entry, std::string& error) {
    std::error_code ec;
    const std::string full = fs::absolute(path, ec).string();
    if (!fs::is_regular_file(full, ec)) {
        error = "no programmer library " + path;
        return false;
    }
    try {
        TProgDLL host(full, EditionId);
        const std::string name = host.ProgrammerName();
        if (name.empty()) {
            error = "the library " + path + " names no programmer";
            return false;
        }
        if (!ProgrammerEntryFor(full, name, host.ProgrammerId(), entry)) {
            entry = {name, InterfaceForLibrary(LibraryFileName(full)), full, host.ProgrammerId(), name};
        }
        return true;
    } catch (const std::exception& e) {
        error = "the programmer library " + path + " cannot be used: " + e.what();
        return false;
    }
}

} // namespace

TProgrammerArgument SplitProgrammerArgument(const std::string& text) {
    const std::size_t slash = text.rfind('/');
    const std::size_t colon = text.find(':', slash == std::string::npos ? 0 : slash);
    if (colon == std::string::npos) return {text, ""};
    return {text.substr(0, colon), text.substr(colon + 1)};
}

bool FindProgrammer(const std::string& library, const std::string& interface, TProgrammerEntry& entry,
                    std::string& error) {
    if (library.find('/') != std::string::npos) return EntryForPath(library, entry, error);
    const std::vector<TProgrammerEntry> entries = ListProgrammerLibraries(ProgrammersFolder());
    const std::string kind = interface.substr(0, interface.find(':'));
    std::vector<TProgrammerEntry> found;
    for (const TProgrammerEntry& e : entries) {
        const std::string file = LibraryFileName(e.path);
        const bool named =
            Same(library, e.model) || Same(library, file) || Same(library, fs::path(file).stem().string());
        if (named && (kind.empty() || Same(kind, e.interface))) found.push_back(e);
    }
    if (found.size() == 1) {
        entry = found.front();
        return true;
    }
    if (found.empty()) {
        error = "no programmer " + library + (kind.empty() ? "" : " on " + kind) + " in " +
                ProgrammersFolder() + "; the programmers there: " + Models(entries);
    } else {
        error =
            "the programmer " + library + " has several libraries: " + Models(found) + "; give LIB:INTERFACE";
    }
    return false;
}

bool InterfaceTextFor(const TProgrammerEntry& entry, const std::string& interface, std::string& text) {
    if (interface.empty()) {
        text = ProgrammerInterfaceText(entry.interface, TProgrammerSearch::AutoSearch);
        return true;
    }
    const std::size_t colon = interface.find(':');
    std::string kind = interface.substr(0, colon);
    if (Upper(kind) == "USB") kind = "USB";
    if (Upper(kind) == "PARALLELPORT") kind = "ParallelPort";
    std::string port =
        colon == std::string::npos ? std::string(TProgrammerSearch::AutoSearch) : interface.substr(colon + 1);
    if (kind == "ParallelPort" && !Same(port, TProgrammerSearch::AutoSearch)) {
        // Port addresses are hexadecimal here, as the session stores them.
        if (port.size() < 2 || port[0] != '0' || (port[1] != 'x' && port[1] != 'X')) port = "0x" + port;
        int address = 0;
        if (!ParsePortAddress(port, address)) return false;
    }
    text = ProgrammerInterfaceText(kind, port);
    // An interface kov does not know is handed to the library as it was given.
    if (text.empty() && kind != "ParallelPort") text = interface;
    return true;
}

std::string DeviceSpec(const TDeviceEntry& device) {
    return device.manufacturer + "/" + device.device + "/" + device.package + "/" +
           std::to_string(device.pinCount) + "/" + std::to_string(device.dataWidth);
}

std::vector<TDeviceEntry> MatchDevices(const std::vector<TDeviceEntry>& devices, const std::string& spec) {
    std::vector<TDeviceEntry> found;
    const std::string wanted = Upper(spec);
    for (const TDeviceEntry& device : devices) {
        const std::string key = Upper(DeviceSpec(device));
        // Comparing whole texts lets names hold slashes of their own.
        if (key == wanted || (key.size() > wanted.size() && key.compare(0, wanted.size(), wanted) == 0 &&
                              key[wanted.size()] == '/')) {
            found.push_back(device);
        }
    }
    return found;
}
