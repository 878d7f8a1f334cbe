#include "ProgrammerCommands.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "ProgrammerLookup.h"
#include "RunCommand.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "plugins/DeviceList.h"
#include "plugins/LibraryModule.h"
#include "plugins/ProgrammerSearch.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

int RunProgrammers(const CliOptions& options) {
    CliFramework fw(options);
    if (!fw.Started()) return 1;
    const std::string folder = GlobalConfig->ProgrammersFolder();
    const std::vector<TProgrammerEntry> entries = ListProgrammerLibraries(folder);
    if (entries.empty()) return fw.Fail("no programmer library in " + folder);
    for (const TProgrammerEntry& e : entries) {
        const std::string path = std::filesystem::path(e.path).lexically_normal().string();
        std::printf("%s\t%s\t%s\t%d\n", e.model.c_str(), e.interface.c_str(), path.c_str(), e.id);
    }
    return 0;
}

struct DevicesOptions {
    std::string programmer;
    std::string search;
};

int RunDevices(const CliOptions& options, const DevicesOptions& o) {
    CliFramework fw(options);
    if (!fw.Started()) return 1;
    std::string library = o.programmer;
    if (library.empty()) library = GlobalConfig->GetString("LastProgrammer", "DLLName");
    if (library.empty()) {
        return fw.Fail("the session names no programmer; give --programmer (kov-cli programmers lists them)");
    }
    const TProgrammerArgument argument = SplitProgrammerArgument(library);
    TProgrammerEntry entry;
    std::string error;
    if (!FindProgrammer(argument.library, argument.interface, entry, error)) return fw.Fail(error);

    TDeviceList list;
    list.Build(GlobalConfig->DevicesFolder(), entry.id);
    const std::string wanted = Lower(o.search);
    int shown = 0;
    for (const TDeviceEntry& d : list.Devices()) {
        if (!wanted.empty()) {
            const std::string text =
                Lower(d.deviceType + '\n' + d.manufacturer + '\n' + d.device + '\n' + d.package);
            if (text.find(wanted) == std::string::npos) continue;
        }
        std::printf("%s\t%s\t%s\t%s\t%d\t%d\t%s\n", d.deviceType.c_str(), d.manufacturer.c_str(),
                    d.device.c_str(), d.package.c_str(), d.pinCount, d.dataWidth,
                    LibraryFileName(d.library).c_str());
        ++shown;
    }
    if (shown == 0) {
        return fw.Fail(o.search.empty() ? "no device library offers devices to " + entry.model
                                        : "no device of " + entry.model + " matches \"" + o.search + "\"");
    }
    return 0;
}

} // namespace

void AddProgrammerCommands(CLI::App& app, CliOptions& options, int& status) {
    {
        CLI::App* cmd = app.add_subcommand(
            "programmers",
            "List the programmer libraries of the programmer folder, one per line: model, interface, "
            "library path, programmer id (tab-separated)");
        cmd->callback([&options, &status] { status = RunProgrammers(options); });
    }
    {
        auto o = std::make_shared<DevicesOptions>();
        CLI::App* cmd = app.add_subcommand(
            "devices",
            "List the devices the device libraries offer to a programmer, one per line: type, "
            "manufacturer, device, package, pins, width, library (tab-separated); exit status 1 when "
            "none is listed");
        cmd->add_option("--programmer", o->programmer,
                        "Programmer model, library file or path (default: the session's last programmer)");
        cmd->add_option("--search", o->search,
                        "Only devices whose type, manufacturer, name or package contain TEXT")
            ->type_name("TEXT");
        cmd->callback([&options, &status, o] { status = RunDevices(options, *o); });
    }
    AddRunCommand(app, options, status);
}
