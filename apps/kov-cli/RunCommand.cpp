#include "RunCommand.h"

#include <strings.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>

#include "CliProgress.h"
#include "ProgrammerCommands.h"
#include "ProgrammerLookup.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "core/Statusstack.h"
#include "files/FileLoadSave.h"
#include "files/FileTypes.h"
#include "kov_plugin.h"
#include "main/DeviceOperations.h"
#include "plugins/DevDLL.h"
#include "plugins/DevGeometry.h"
#include "plugins/DeviceSelect.h"
#include "plugins/LibraryModule.h"
#include "plugins/ProgDLL.h"
#include "plugins/ProgrammerSearch.h"

using namespace kovfiles;
namespace fs = std::filesystem;

namespace {

enum class OpKind { Load, Erase, BlankCheck, Program, Verify, Read, Checksum, BufferChecksum };

struct CliOperation {
    OpKind kind;
    std::string option; // as given, for messages
    std::string file;   // --load and --read: the file, "" for a read into the buffer only
    int type = ftAutoDetect;
};

struct RunOptions {
    std::string programmer;
    std::string demo;
    std::string device;
    std::string splits;
    std::string current;
    bool byteSwap = false;
    std::vector<CliOperation> operations;
};

void Result(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int Refuse(int status, const std::string& message) {
    PrintError("kov-cli: " + message);
    return status;
}

// "FILE@TYPE": the type when the part after the last "@" names one, else the whole is the file.
std::pair<std::string, int> SplitFileType(const std::string& text) {
    const std::size_t at = text.rfind('@');
    if (at != std::string::npos && at > 0) {
        const int type = FindFileTypeByNameOrAlias(text.substr(at + 1));
        if (type > ftAutoDetect) return {text.substr(0, at), type};
    }
    return {text, ftAutoDetect};
}

// Two counts "A:B", each 1 to 8.
bool ParsePair(const std::string& text, int& first, int& second) {
    int a = 0, b = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d:%d%c", &a, &b, &tail) != 2) return false;
    if (a < 1 || a > MaxSplitsSets || b < 1 || b > MaxSplitsSets) return false;
    first = a;
    second = b;
    return true;
}

std::string PairError(const std::string& text) {
    int a = 0, b = 0;
    return ParsePair(text, a, b) ? std::string() : "two numbers from 1 to 8 as A:B, not " + text;
}

// The type a read is saved in: the one given, else the one whose "DefaultExtension" the name has.
int SaveTypeFor(const CliOperation& op) {
    if (op.type != ftAutoDetect) return op.type;
    std::string ext = fs::path(op.file).extension().string();
    if (ext.size() < 2) return ftAutoDetect;
    ext = ext.substr(1);
    for (const TFileType& t : FileTypes()) {
        if (!t.canSave || !t.write) continue;
        const std::string wanted = FormatSetting(t.name, "DefaultExtension");
        if (!wanted.empty() && strcasecmp(wanted.c_str(), ext.c_str()) == 0) return t.index;
    }
    return ftAutoDetect;
}

// What the operations need from the window, without one: nothing to lock or show.
class CliHost : public TOperationHost {};

class Runner {
public:
    Runner(CliFramework& fw, const RunOptions& o) : fw_(fw), o_(o), ops_(host_, &host_) {
        flow_.StatusOwner = &host_;
    }

    int Run();

private:
    int CheckOperations();
    int StartProgrammer();
    int SelectDevice();
    int ApplyDeviceOptions();
    bool Perform(const CliOperation& op);
    bool Load(const CliOperation& op);
    bool DeviceCommand(const CliOperation& op, TDeviceCommand command);
    bool SaveRead(const CliOperation& op);
    bool Checksum();
    bool BufferChecksum();
    // Tells why an operation failed when a question went unanswered or Ctrl+C stopped it; false
    // when neither happened.
    bool Explained(const std::string& what);
    bool Fail(const std::string& message);

    CliFramework& fw_;
    const RunOptions& o_;
    CliHost host_;
    TDeviceOperations ops_;
    TProgrammerSearch search_;
    TDeviceSelection selection_;
    TFileFlow flow_;
};

int Runner::Run() {
    if (int status = CheckOperations()) return status;
    for (int (Runner::*step)() :
         {&Runner::StartProgrammer, &Runner::SelectDevice, &Runner::ApplyDeviceOptions}) {
        const int status = (this->*step)();
        // Ctrl+C may have cut the step short (the device list stops building at Abort).
        if (Interrupted()) return Refuse(RunInterrupted, "interrupted before the first operation");
        if (status) return status;
    }
    for (std::size_t i = 0; i < o_.operations.size(); ++i) {
        const int position = static_cast<int>(std::min<std::size_t>(i + 1, 99));
        if (Interrupted())
            return Refuse(position, "interrupted: " + o_.operations[i].option + " was not started");
        fw_.Port().TakeDeclined();
        if (!Perform(o_.operations[i])) {
            PrintError("kov-cli: operation " + std::to_string(i + 1) + " (" + o_.operations[i].option +
                       ") failed");
            return position;
        }
    }
    return 0;
}

// Everything that can be told from the command line and the session is checked before the
// programmer starts, so that a mistake in the last operation does not leave a chip half done.
int Runner::CheckOperations() {
    for (std::size_t i = 0; i < o_.operations.size(); ++i) {
        const CliOperation& op = o_.operations[i];
        const int position = static_cast<int>(std::min<std::size_t>(i + 1, 99));
        if (op.kind == OpKind::Load) {
            std::error_code ec;
            if (!fs::is_regular_file(op.file, ec))
                return Refuse(position, op.option + ": cannot open " + op.file);
        }
        if (op.kind == OpKind::Read && !op.file.empty()) {
            const int type = SaveTypeFor(op);
            if (type == ftAutoDetect) {
                return Refuse(position, op.option + ": cannot tell the type to save " + op.file +
                                            " in from its name; give FILE@TYPE");
            }
            if (!FileTypeByIndex(type)->canSave) {
                return Refuse(position, op.option + ": " + FileTypeName(type) + " files cannot be saved");
            }
        }
    }
    return 0;
}

int Runner::StartProgrammer() {
    search_.StatusOwner = &host_;
    const bool chosen = !o_.programmer.empty() || !o_.demo.empty();
    if (!chosen) {
        if (search_.StartProgrammer()) {
            ops_.ProgLib = search_.TakeProgrammer();
        } else {
            return Refuse(RunNoProgrammer,
                          "no programmer: the session names none or the one it names did not answer; give "
                          "--programmer LIB[:INTERFACE] or --demo MODEL (kov-cli programmers lists them)");
        }
    } else {
        const TProgrammerArgument argument =
            SplitProgrammerArgument(o_.demo.empty() ? o_.programmer : o_.demo);
        TProgrammerEntry entry;
        std::string error;
        if (!FindProgrammer(argument.library, argument.interface, entry, error))
            return Refuse(RunNoProgrammer, error);
        if (!o_.demo.empty()) {
            if (!search_.LoadDemo(entry.id))
                return Refuse(RunNoProgrammer, "the demo programmer did not start");
        } else {
            std::string interface;
            if (!InterfaceTextFor(entry, argument.interface, interface)) {
                return Refuse(RunNoProgrammer,
                              "not a port address (hexadecimal, 0 to FFFF): " + argument.interface);
            }
            StatusLine status("Attempting to communicate with programmer", &host_);
            if (!search_.LoadProgrammer(entry.path, interface)) {
                return Refuse(RunNoProgrammer, "the programmer " + entry.model + " did not answer" +
                                                   (interface.empty() ? "" : " on " + interface));
            }
        }
        ops_.ProgLib = search_.TakeProgrammer();
    }
    PrintError("Programmer: " + ops_.ProgLib->ProgrammerName() + (o_.demo.empty() ? "" : " (demo)"));
    return 0;
}

int Runner::SelectDevice() {
    selection_.SetProgrammer(ops_.ProgLib.get());
    selection_.PrepareDeviceHost = [this](TDevDLL& host) { ops_.PrepareDeviceHost(host); };
    ops_.BeginDeviceSelection();
    bool selected = false;
    std::string error;
    {
        TOperationLock lock(host_);
        if (o_.device.empty()) {
            selected = selection_.ChooseDevice();
            if (!selected) {
                error = "no device: the session remembers none or it could not be selected; give --device "
                        "(kov-cli devices lists them)";
            }
        } else {
            selection_.SetupDevList(GlobalConfig->DevicesFolder());
            const TDeviceList* list = selection_.DeviceList();
            const std::vector<TDeviceEntry> found =
                list ? MatchDevices(list->Devices(), o_.device) : std::vector<TDeviceEntry>{};
            if (found.size() == 1) {
                const TDeviceEntry& d = found.front();
                try {
                    selected = selection_.LoadAndSelectDevice(d.library, d.manufacturer, d.dataWidth,
                                                              d.pinCount, d.package, d.device);
                } catch (const std::exception& e) {
                    error = e.what();
                }
                if (!selected && error.empty()) error = "the device library did not select " + DeviceSpec(d);
            } else if (found.empty()) {
                error = "no device " + o_.device + " is offered to " + ops_.ProgLib->ProgrammerName() +
                        " (kov-cli devices lists them)";
            } else {
                error = "--device " + o_.device + " names several devices:";
                for (const TDeviceEntry& d : found)
                    error += "\n  " + DeviceSpec(d);
            }
        }
    }
    ops_.EndDeviceSelection(selected);
    if (!selected) return Refuse(RunNoDevice, error);
    const TChosenDevice& d = selection_.Selected();
    PrintError("Device: " + d.manufacturer + "/" + d.device + "/" + d.package + "/" +
               std::to_string(d.pinCount) + "/" + std::to_string(d.dataWidth) + " (" +
               LibraryFileName(d.library) + ")");
    ops_.ApplySessionSplits();
    return 0;
}

int Runner::ApplyDeviceOptions() {
    if (!o_.splits.empty() || !o_.current.empty()) {
        if (!ops_.SplitsOffered())
            return Refuse(RunSetupRefused, "the device library does not offer splits and sets");
        TSplitsSets v = ops_.Splits.Values();
        if (!o_.splits.empty()) {
            ParsePair(o_.splits, v.Splits, v.Sets);
            v.SplitDevice = v.SetDevice = 1;
        }
        if (!o_.current.empty()) ParsePair(o_.current, v.SplitDevice, v.SetDevice);
        if (v.SplitDevice > v.Splits || v.SetDevice > v.Sets) {
            return Refuse(RunSetupRefused, "--current " + std::to_string(v.SplitDevice) + ":" +
                                               std::to_string(v.SetDevice) + " lies outside " +
                                               std::to_string(v.Splits) + " splits and " +
                                               std::to_string(v.Sets) + " sets");
        }
        ops_.Splits.SetSplits(v.Splits);
        ops_.Splits.SetSets(v.Sets);
        ops_.Splits.SelectDevice(v.SplitDevice, v.SetDevice);
        const bool applied = ops_.ApplySplitsToGeometry();
        ops_.ReapplyDevicePointers();
        const TDevGeometry* g = GlobalDevDLL->Geometry();
        if (!applied || g->Splits() != static_cast<std::uint32_t>(v.Splits) ||
            g->SplitNumber() != static_cast<std::uint32_t>(v.SplitDevice) ||
            g->Sets() != static_cast<std::uint32_t>(v.Sets) ||
            g->SetNumber() != static_cast<std::uint32_t>(v.SetDevice)) {
            return Refuse(RunSetupRefused, "the device does not take these splits and sets");
        }
        PrintError(ops_.SplitsCaption());
    }
    if (o_.byteSwap) {
        const TByteSwapButton swap = ops_.ByteSwapButton();
        if (!swap.offered)
            return Refuse(RunSetupRefused, "--byte-swap: byte swapping is offered for 16-bit devices only");
        if (!swap.on) ops_.ToggleByteSwap();
    }
    return 0;
}

bool Runner::Fail(const std::string& message) {
    PrintError("kov-cli: " + message);
    return false;
}

bool Runner::Explained(const std::string& what) {
    if (Interrupted()) {
        Fail(what + " was interrupted");
        return true;
    }
    const std::vector<std::string> declined = fw_.Port().TakeDeclined();
    if (declined.empty()) return false;
    Fail(what + " needs an answer to \"" + declined.front() +
         "\"; answer questions with --yes, or suppress them in the session");
    return true;
}

bool Runner::Perform(const CliOperation& op) {
    switch (op.kind) {
    case OpKind::Load:
        return Load(op);
    case OpKind::Erase:
        return DeviceCommand(op, TDeviceCommand::Erase);
    case OpKind::BlankCheck:
        return DeviceCommand(op, TDeviceCommand::BlankCheck);
    case OpKind::Program:
        return DeviceCommand(op, TDeviceCommand::Program);
    case OpKind::Verify:
        return DeviceCommand(op, TDeviceCommand::Verify);
    case OpKind::Read:
        return DeviceCommand(op, TDeviceCommand::Read) && SaveRead(op);
    case OpKind::Checksum:
        return Checksum();
    case OpKind::BufferChecksum:
        return BufferChecksum();
    }
    return false;
}

bool Runner::Load(const CliOperation& op) {
    std::error_code ec;
    const std::string path = fs::absolute(op.file, ec).string();
    int type = op.type;
    if (type == ftAutoDetect) {
        type = flow_.DetectConfirmed(path);
        if (type == ftAutoDetect) {
            if (Explained("loading " + op.file)) return false;
            return Fail("cannot tell the file type of " + op.file + "; give FILE@TYPE");
        }
    }
    if (!flow_.LoadFile(path, FileTypeName(type), DefaultPointer, DefaultPointer, DefaultPointer,
                        DefaultPointer, true)) {
        if (Explained("loading " + op.file)) return false;
        return Fail("loading " + op.file + " failed");
    }
    // Programming the erase value where a file was meant is never what a script wants.
    if (flow_.LoadedCount() == 0) return Fail("no data was loaded from " + op.file);
    ops_.BufferChecksumCommand();
    Result("Loaded " + op.file + " (" + FileTypeName(type) + "): " + std::to_string(flow_.LoadedCount()) +
           (FileTypeByIndex(type)->countsFuses ? " fuses" : " bytes") + ", buffer checksum " +
           Hex(static_cast<std::uint32_t>(GlobalBuffer->Checksum), 8));
    return true;
}

bool Runner::DeviceCommand(const CliOperation& op, TDeviceCommand command) {
    const std::string name = DeviceCommandName(command);
    if (!ops_.Availability().Enabled(command)) {
        return Fail(op.option + ": the device library offers no " + name + " for " +
                    selection_.Selected().device);
    }
    const int result = ops_.RunCommand(command);
    if (result != KOV_SUCCESS) {
        if (Explained(name)) return false;
        return Fail(name + " failed (the device library returned " + std::to_string(result) + ")");
    }
    Result(name + ": passed, device checksum " + Hex(ops_.DeviceChecksum(), 8));
    return true;
}

bool Runner::SaveRead(const CliOperation& op) {
    if (op.file.empty()) return true;
    // CheckOperations made sure there is one.
    const int type = SaveTypeFor(op);
    std::error_code ec;
    const std::string path = fs::absolute(op.file, ec).string();
    if (!flow_.SaveFile(path, FileTypeName(type), DefaultPointer, DefaultPointer, DefaultPointer,
                        DefaultPointer)) {
        if (Explained("saving " + op.file)) return false;
        return Fail("saving " + op.file + " failed");
    }
    Result("Saved " + flow_.SavedName() + " (" + FileTypeName(type) + ")");
    return true;
}

bool Runner::Checksum() {
    if (!ops_.DeviceChecksumCommand()) {
        if (Explained("Checksum")) return false;
        return Fail("the device library gave no device checksum");
    }
    Result("Device checksum: " + Hex(ops_.DeviceChecksum(), 8));
    return true;
}

bool Runner::BufferChecksum() {
    const int problems = fw_.Port().Problems();
    ops_.BufferChecksumCommand();
    if (fw_.Port().Problems() != problems) return Fail("the buffer checksum could not be calculated");
    Result("Buffer checksum: " + Hex(static_cast<std::uint32_t>(GlobalBuffer->Checksum), 8));
    return true;
}

// The status bar of the window: with --verbose every new top status line is printed.
class StatusEcho : public TStatusListener {
public:
    explicit StatusEcho(bool on) : on_(on) {
        if (on_ && GlobalStatusStack) GlobalStatusStack->AddStatusListener(this);
    }
    ~StatusEcho() override {
        if (on_ && GlobalStatusStack) GlobalStatusStack->RemoveStatusListener(this);
    }
    StatusEcho(const StatusEcho&) = delete;
    StatusEcho& operator=(const StatusEcho&) = delete;
    void StatusChanged(int, const std::string& text, const void*) override {
        if (text != last_) PrintError("Status: " + text);
        last_ = text;
    }

private:
    bool on_;
    std::string last_;
};

int RunCommand(const CliOptions& options, const RunOptions& o) {
    CliFramework fw(options);
    if (!fw.Started()) return RunStartFailed;
    if (!GlobalConfig->LoadProblem().empty()) {
        // Running on defaults instead of the session's settings could program a chip unasked.
        return Refuse(RunStartFailed, "the session file cannot be read: " + GlobalConfig->LoadProblem());
    }
    InstallInterruptHandler();
    TCliProgressLine progress;
    StatusEcho statusEcho(options.verbose);
    int status = 0;
    {
        Runner runner(fw, o);
        status = runner.Run();
    }
    if (status != 0) fw.PrintLog();
    return status;
}

} // namespace

void AddRunCommand(CLI::App& app, CliOptions& options, int& status) {
    auto o = std::make_shared<RunOptions>();
    CLI::App* cmd = app.add_subcommand(
        "run", "Start the programmer, select the device and perform the operations in the order given. Exit "
               "status 0 when "
               "every operation succeeded, else the position of the first one that failed (1 to 99), 130 "
               "when interrupted "
               "before the first one, 200 when the session cannot be used, 201 without programmer, 202 "
               "without device, "
               "203 when --splits, --current or --byte-swap cannot be used with the device.");
    auto programmer =
        cmd->add_option("--programmer", o->programmer,
                        "Programmer library: model, file of the programmer folder or path, optionally "
                        "with the interface (USB, ParallelPort, ParallelPort:378 with a hexadecimal "
                        "port); default: the session's last programmer")
            ->type_name("LIB[:INTERFACE]");
    cmd->add_option("--demo", o->demo,
                    "Run the demo programmer in place of the programmer MODEL (nothing is remembered)")
        ->type_name("MODEL")
        ->excludes(programmer);
    cmd->add_option(
           "--device", o->device,
           "The device; leading fields suffice when they name one device (default: the session's last "
           "device)")
        ->type_name("MANUFACTURER/DEVICE/PACKAGE/PINS/WIDTH");
    cmd->add_option("--splits", o->splits, "Devices side by side (P) and one after another (Q), 1 to 8 each")
        ->type_name("P:Q")
        ->check(CLI::Validator(PairError, ""));
    cmd->add_option("--current", o->current, "The split device K and set device M the operations refer to")
        ->type_name("K:M")
        ->check(CLI::Validator(PairError, ""));
    cmd->add_flag("--byte-swap", o->byteSwap, "Swap the bytes of each 16-bit word between buffer and device");

    auto files = [o](OpKind kind, const std::string& option, bool loading) {
        return [o, kind, option, loading](const std::string& value) {
            auto [file, type] = SplitFileType(value);
            if (loading && file.empty()) throw CLI::ValidationError(option, "needs a file");
            o->operations.push_back({kind, option, file, type});
        };
    };
    auto flag = [o](OpKind kind, const std::string& option) {
        return [o, kind, option](std::int64_t) { o->operations.push_back({kind, option, {}, ftAutoDetect}); };
    };
    cmd->add_option_function<std::string>(
           "--load", files(OpKind::Load, "--load", true),
           "Load FILE into the buffer (TYPE: a file type name or alias; detected when "
           "not given)")
        ->type_name("FILE[@TYPE]")
        ->trigger_on_parse();
    cmd->add_flag_function("--erase", flag(OpKind::Erase, "--erase"), "Erase the device")->trigger_on_parse();
    cmd->add_flag_function("--blank-check", flag(OpKind::BlankCheck, "--blank-check"),
                           "Blank-check the device")
        ->trigger_on_parse();
    cmd->add_flag_function("--program", flag(OpKind::Program, "--program"),
                           "Program the buffer into the device")
        ->trigger_on_parse();
    cmd->add_flag_function("--verify", flag(OpKind::Verify, "--verify"),
                           "Verify the device against the buffer")
        ->trigger_on_parse();
    cmd->add_option_function<std::string>(
           "--read", files(OpKind::Read, "--read", false),
           "Read the device into the buffer and, given FILE, save the buffer there "
           "(TYPE: given, or the one whose DefaultExtension FILE has)")
        ->type_name("[FILE[@TYPE]]")
        ->expected(0, 1)
        ->trigger_on_parse();
    cmd->add_flag_function("--checksum", flag(OpKind::Checksum, "--checksum"), "Print the device checksum")
        ->trigger_on_parse();
    cmd->add_flag_function("--buffer-checksum", flag(OpKind::BufferChecksum, "--buffer-checksum"),
                           "Recalculate and print the buffer checksum")
        ->trigger_on_parse();
    cmd->callback([&options, &status, o] {
        if (o->operations.empty())
            throw CLI::ValidationError("run", "no operation given (kov-cli run --help lists them)");
        status = RunCommand(options, *o);
    });
}
