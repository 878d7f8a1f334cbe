// Builds the device list from a generated devices folder (50 libraries, 20,000 devices by default)
// and measures, in one run:
//   peer      loading every library and reading its records, nothing else (the floor any build
//             has to pay);
//   build     the same plus the device tree with its merges;
//   dialog    everything the selection dialog does before it shows: build, "All" branch, sort,
//             the six lists filled and their first entries chosen (the goal: well under a second);
//   typing    one key typed into the manufacturer and device fields (completion, narrowing and
//             the refilled lists), mean and worst over a few hundred keys.
// The libraries are copies of the table-driven test library (tests/plugins/devlist_table.so),
// each with its own device table.
// Usage: bench_device_list [LIBRARIES [DEVICES]]
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/Config.h"
#include "core/Globals.h"
#include "plugins/DevDLL.h"
#include "plugins/DeviceList.h"
#include "plugins/DeviceSelect.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

fs::path TableLibrary() {
    if (const char* path = std::getenv("KOV_DEVLIST_TABLE")) return path;
    return fs::path(KOV_BENCH_PLUGIN_DIR) / "devlist_table.so";
}

// A devices folder as a real installation has it: a few device types, a hundred and more makers of
// very different size, several packages per device, and some devices offered by two libraries.
int Generate(const fs::path& devs, int libraries, int devices) {
    const char* types[] = {"EPROM", "FLASH", "EEPROM", "PLD", "MCU", "SRAM", "NVRAM", "SERIAL"};
    const char* packages[] = {"DIP", "PLCC", "SOIC", "TSOP", "QFP"};
    const int pins[] = {8, 20, 24, 28, 32, 40, 44, 48};
    std::mt19937 random(7);
    fs::create_directories(devs);
    int written = 0;
    std::vector<std::string> previous;
    for (int lib = 0; lib < libraries; ++lib) {
        const fs::path path = devs / ("family" + std::to_string(lib) + ".so");
        fs::copy_file(TableLibrary(), path, fs::copy_options::overwrite_existing);
        std::ofstream table(path.string() + ".table");
        const int count = devices / libraries + (lib < devices % libraries ? 1 : 0);
        const std::string type = types[lib % 8];
        std::vector<std::string> lines;
        for (int i = 0; i < count; ++i, ++written) {
            // Zipf-like makers: a few large ones, many small ones.
            const int maker = static_cast<int>(std::pow(random() % 10000 / 10000.0, 3) * 140);
            std::string line = "1|D" + std::to_string(written) + "|Maker" + std::to_string(maker) + "|" + type + "|" +
                               std::to_string(i % 4 == 0 ? 16 : 8) + "|" + packages[(i / 3) % 5] + "|" +
                               std::to_string(pins[i % 8]) + "|0";
            // One device in twenty is also offered by the previous library, under its device type.
            if (i % 20 == 0 && static_cast<std::size_t>(i) < previous.size()) {
                std::string again = previous[static_cast<std::size_t>(i)];
                const std::size_t typeAt = again.find('|', again.find('|', again.find('|') + 1) + 1) + 1;
                line = again.replace(typeAt, again.find('|', typeAt) - typeAt, type);
            }
            table << line << "\n";
            lines.push_back(std::move(line));
        }
        previous = std::move(lines);
    }
    return written;
}

double Peer(const fs::path& devs, long& records) {
    const auto start = Clock::now();
    records = 0;
    for (const std::string& path : DeviceLibraryFiles(devs.string())) {
        TDevDLL library(path, nullptr);
        std::vector<TLibraryDeviceRecord> list;
        library.EnumerateDevices(list);
        records += static_cast<long>(list.size());
    }
    return Seconds(start);
}

// About forty names spread over the list.
std::vector<std::string> Sample(const std::vector<std::string>& names) {
    std::vector<std::string> some;
    for (std::size_t i = 0; i < names.size(); i += std::max<std::size_t>(1, names.size() / 40)) some.push_back(names[i]);
    return some;
}

struct Typing {
    double mean = 0;
    double worst = 0;
    int keys = 0;
};

// Types each name of the list, one key after the other, into the field.
template <class Change>
void TypeNames(TDeviceSelection& selection, const std::vector<std::string>& names, Change change, Typing& typing) {
    for (const std::string& name : names) {
        for (std::size_t n = 1; n <= name.size(); ++n) {
            const auto start = Clock::now();
            selection.KeyPressed(name.substr(n - 1, 1));
            change(name.substr(0, n));
            const double t = Seconds(start);
            typing.mean += t;
            typing.worst = std::max(typing.worst, t);
            ++typing.keys;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int libraries = argc > 1 ? std::atoi(argv[1]) : 50;
    const int devices = argc > 2 ? std::atoi(argv[2]) : 20000;
    if (libraries <= 0 || devices <= 0) {
        std::fprintf(stderr, "usage: bench_device_list [LIBRARIES [DEVICES]]\n");
        return 2;
    }
    if (!fs::exists(TableLibrary())) {
        std::fprintf(stderr, "%s is missing: build the target devlist_table (or name the file in KOV_DEVLIST_TABLE)\n",
                     TableLibrary().c_str());
        return 2;
    }

    const fs::path root = fs::temp_directory_path() / ("kov-bench-devices-" + std::to_string(::getpid()));
    for (const char* folder : {"framework", "devs", "prog", "sessions", "help"}) fs::create_directories(root / folder);
    const int written = Generate(root / "devs", libraries, devices);
    InitializeGlobals({(root / "framework" / "kov").string(), {}});
    const std::string devs = GlobalConfig->DevicesFolder();

    long records = 0;
    double peer = 1e9;
    double build = 1e9;
    double dialog = 1e9;
    std::size_t listed = 0;
    // Best of three, so that a neighbour's burst on the shared machine weighs less.
    for (int round = 0; round < 3; ++round) {
        peer = std::min(peer, Peer(devs, records));
        auto start = Clock::now();
        TDeviceList list;
        list.Build(devs, 4);
        build = std::min(build, Seconds(start));
        listed = list.Devices().size();
        TDeviceSelection selection;
        start = Clock::now();
        selection.SetupDevList(devs);
        selection.FormShow();
        dialog = std::min(dialog, Seconds(start));
        selection.FormHide();
    }

    TDeviceSelection selection;
    selection.SetupDevList(devs);
    selection.FormShow();
    const auto& makers = selection.GetList(TDeviceSelection::ManuListBox).items;
    const std::vector<std::string> someMakers = Sample(makers);
    Typing makerTyping;
    TypeNames(selection, someMakers, [&](const std::string& t) { selection.ManufacturerChange(t); }, makerTyping);
    // The device field of the largest maker under "All".
    std::size_t largest = 0;
    std::size_t largestCount = 0;
    for (std::size_t i = 0; i < makers.size(); ++i) {
        selection.ChooseItem(TDeviceSelection::ManuListBox, static_cast<int>(i));
        const std::size_t n = selection.GetList(TDeviceSelection::DeviceListBox).items.size();
        if (n > largestCount) largest = i, largestCount = n;
    }
    selection.ChooseItem(TDeviceSelection::ManuListBox, static_cast<int>(largest));
    const auto& names = selection.GetList(TDeviceSelection::DeviceListBox).items;
    const std::vector<std::string> someDevices = Sample(names);
    Typing deviceTyping;
    TypeNames(selection, someDevices, [&](const std::string& t) { selection.DeviceChange(t); }, deviceTyping);
    selection.FormHide();

    std::printf("device list: %d libraries, %d device records written, %ld read, %zu devices listed\n", libraries,
                written, records, listed);
    std::printf("  peer (load and read the libraries only)   %8.1f ms\n", peer * 1e3);
    std::printf("  build (peer + device tree)                 %8.1f ms   ratio build/peer %.2f\n", build * 1e3,
                build / peer);
    std::printf("  dialog (build, All, sort, lists filled)    %8.1f ms   ratio dialog/peer %.2f   goal < 1000 ms: %s\n",
                dialog * 1e3, dialog / peer, dialog < 1.0 ? "met" : "MISSED");
    std::printf("  typing a manufacturer (%3d keys, %zu makers)   mean %7.1f us   worst %7.1f us\n", makerTyping.keys,
                makers.size(), makerTyping.mean / makerTyping.keys * 1e6, makerTyping.worst * 1e6);
    std::printf("  typing a device (%3d keys, %zu devices listed) mean %7.1f us   worst %7.1f us\n",
                deviceTyping.keys, largestCount, deviceTyping.mean / deviceTyping.keys * 1e6,
                deviceTyping.worst * 1e6);

    FinalizeGlobals();
    std::error_code error;
    fs::remove_all(root, error);
    return 0;
}
