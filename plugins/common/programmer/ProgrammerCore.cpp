#include "programmer/ProgrammerCore.h"

#include "kovsim/Guard.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kovsim {
namespace {

constexpr const char* kSection = "Simulator";
constexpr std::uint16_t kDefaultParallelPort = 0x378;

constexpr const char* kAuxMenu = "Insert chip\n"
                                 "Remove chip\n"
                                 "Press start button\n"
                                 "Expose chip to ultraviolet light\n"
                                 "Toggle fault: no chip\n"
                                 "Toggle fault: wrong ID\n"
                                 "Toggle fault: stuck bit\n"
                                 "Toggle fault: program failure\n"
                                 "Clear all faults\n"
                                 "Show socket status";

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

bool ParseHex(std::string text, std::uint32_t& value) {
    text = Trim(text);
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text = text.substr(2);
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return ec == std::errc{} && end == text.data() + text.size();
}

std::string PortText(std::uint32_t port) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "ParallelPort:%04X", port & 0xFFFF);
    return buf;
}

void CopyOut(char* buffer, int size, const std::string& text) {
    if (!buffer || size <= 0) return;
    std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

} // namespace

std::string ProductNameFor(const std::string& editionId) {
    if (editionId == "KESTRA") return "Kestra";
    if (editionId == "BOLVANE") return "Bolvane";
    if (editionId == "TORMEX") return "TORMEX";
    return "kov";
}

Programmer::Programmer(const ProgrammerModel& model)
    : model_(model), socket_(model.model, model.persistent) {}

int Programmer::SetupFramework(const FrameStruct* frame) {
    std::string unsaved;
    socket_.Commit(unsaved); // a chip changed under an earlier load is kept, not dropped
    // A fresh programmer for every load: nothing of an earlier run in this process survives.
    socket_ = SimSocket(model_.model, model_.persistent);
    initialised_ = false;
    faultText_.clear();
    faultTextSeen_ = false;
    family_ = "None";
    package_.clear();
    lastSaveFailure_.clear();
    return framework_.Accept(frame) ? 1 : 0;
}

int Programmer::SetOem(const char* editionId) {
    productName_ = ProductNameFor(editionId ? editionId : "");
    return 1;
}

int Programmer::Name(char* buffer, int size) const {
    CopyOut(buffer, size, productName_ + " " + model_.model);
    return 1;
}

std::string Programmer::Answer(const std::string& port) const {
    std::string text = Upper(Trim(port));
    switch (model_.port) {
    case Port::Demo:
        return "DEMO";
    case Port::Usb:
        return text.empty() || text.find("USB") != std::string::npos ? "USB" : "";
    case Port::Parallel: {
        std::uint32_t where = kDefaultParallelPort;
        std::string configured = framework_.ReadString3(kSection, model_.model, "Port");
        if (!configured.empty() && !ParseHex(configured, where)) {
            framework_.Log(1, std::string(model_.model) + ": the port address '" + configured +
                                  "' is not a hexadecimal number; using 0378");
            where = kDefaultParallelPort;
        }
        if (text.empty()) return PortText(where);
        if (text.rfind("PARALLELPORT", 0) != 0) return "";
        std::size_t colon = text.find(':');
        std::uint32_t asked = 0;
        if (colon == std::string::npos || !ParseHex(text.substr(colon + 1), asked) || asked != where)
            return "";
        return PortText(where);
    }
    }
    return "";
}

int Programmer::Init(char* port, int size, int* version) {
    if (version) *version = 0x0100;
    if (!port || size <= 0) return 0;
    std::string asked(port, strnlen(port, 255));
    if (framework_.ReadBool3(kSection, model_.model, "Absent")) {
        framework_.Log(6, std::string(model_.model) + ": switched absent by the session; no answer on '" +
                              asked + "'");
        return 0;
    }
    std::string answer = Answer(asked);
    if (answer.empty()) {
        framework_.Log(6, std::string(model_.model) + ": no programmer answers on '" + asked + "'");
        return 0;
    }
    CopyOut(port, std::min(size + 1, 256), answer);
    initialised_ = true;
    framework_.Log(6, std::string(model_.model) + ": programmer found on " + answer);
    return 1;
}

int Programmer::TurnOff() {
    Commit();
    initialised_ = false;
    framework_.Log(6, std::string(model_.model) + ": turned off");
    return 1;
}

int Programmer::MiscRead(std::uint16_t* status) {
    if (!status || !initialised_) return -1;
    *status = socket_.ReadStartSignal();
    return 0;
}

const KovDeviceSpecRecord* Programmer::DeviceSpec() {
    std::memset(&spec_, 0, sizeof spec_);
    spec_.Version = KOV_DEVICE_SPEC_VERSION;
    std::string socket =
        package_.empty() || package_.rfind("DIP", 0) == 0 ? "DIP48 ZIF" : package_ + " adapter";
    CopyOut(spec_.SocketModule, sizeof spec_.SocketModule, socket);
    CopyOut(spec_.FamilyModule, sizeof spec_.FamilyModule, family_);
    return &spec_;
}

const char* Programmer::AuxMenu() const {
    return kAuxMenu;
}

int Programmer::AuxDispatch(int command) {
    std::string model = model_.model;
    FaultSet faults = socket_.Faults();
    std::string action;
    switch (command) {
    case 1:
        socket_.Insert();
        action = "chip inserted";
        break;
    case 2:
        socket_.Remove();
        action = "chip removed";
        break;
    case 3:
        socket_.PressStart();
        action = "start button pressed";
        break;
    case 4:
        if (!socket_.EraseAll()) {
            framework_.Box("There is no chip in the socket of the " + model + ".", model,
                           KOV_MB_OK | KOV_MB_ICONEXCLAMATION);
            return 0;
        }
        Commit();
        action = "chip erased with ultraviolet light";
        break;
    case 5:
        faults.noChip = !faults.noChip;
        action = std::string("fault 'no chip' ") + (faults.noChip ? "on" : "off");
        break;
    case 6:
        faults.wrongId = !faults.wrongId;
        action = std::string("fault 'wrong ID' ") + (faults.wrongId ? "on" : "off");
        break;
    case 7:
        faults.stuckBit = !faults.stuckBit;
        action = std::string("fault 'stuck bit' ") + (faults.stuckBit ? "on" : "off");
        break;
    case 8:
        faults.programFail = !faults.programFail;
        action = std::string("fault 'program failure' ") + (faults.programFail ? "on" : "off");
        break;
    case 9:
        faults = FaultSet{};
        action = "all faults cleared";
        break;
    case 10:
        framework_.Box(socket_.Describe(), model + " socket", KOV_MB_OK | KOV_MB_ICONINFORMATION);
        return 1;
    default:
        return 0;
    }
    socket_.SetFaults(faults, socket_.Seed());
    framework_.Log(6, model + ": " + action);
    return 1;
}

std::filesystem::path Programmer::StateFolder() const {
    std::string configured = framework_.ReadString(kSection, "StateFolder");
    if (!configured.empty()) return configured;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        return std::filesystem::path(state) / "kov" / "sockets";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::filesystem::path(home) / ".local" / "state" / "kov" / "sockets";
    return {};
}

void Programmer::RefreshFaults() {
    std::string text =
        framework_.ReadString(kSection, "Faults") + "\n" + framework_.ReadString(kSection, "Seed");
    if (faultTextSeen_ && text == faultText_) return;
    faultText_ = text;
    faultTextSeen_ = true;
    std::vector<std::string> problems;
    FaultSet faults = ParseFaults(framework_.ReadString(kSection, "Faults"), problems);
    for (const std::string& p : problems)
        framework_.Log(1, std::string(model_.model) + ": ignoring the unknown fault '" + p +
                              "' of Simulator.Faults");
    std::uint64_t seed = 1;
    std::string seedText = Trim(framework_.ReadString(kSection, "Seed"));
    if (!seedText.empty()) {
        auto [end, ec] = std::from_chars(seedText.data(), seedText.data() + seedText.size(), seed, 10);
        if (ec != std::errc{} || end != seedText.data() + seedText.size()) {
            framework_.Log(1, std::string(model_.model) + ": Simulator.Seed '" + seedText +
                                  "' is not a decimal number; using 1");
            seed = 1;
        }
    }
    socket_.SetFaults(faults, seed);
}

void Programmer::Notify(const std::string& text) {
    framework_.Log(1, std::string(model_.model) + ": " + text);
    framework_.Box(text, std::string(model_.model) + " socket", KOV_MB_OK | KOV_MB_ICONEXCLAMATION);
}

int Programmer::Attach(const KovSimChipInfo* chip) {
    if (!chip || !chip->Maker || !chip->Name || !chip->Package || chip->Width < 1 || chip->Width > 16 ||
        chip->Words == 0 || chip->Words > (1u << 24))
        return 0;
    ChipSpec spec;
    spec.maker = chip->Maker;
    spec.name = chip->Name;
    spec.package = chip->Package;
    spec.family = chip->Family ? chip->Family : "";
    spec.width = chip->Width;
    spec.words = chip->Words;
    spec.mfrId = chip->MfrId;
    spec.devId = chip->DevId;
    spec.writeReplaces = chip->WriteReplaces != 0;
    if (model_.persistent) {
        std::filesystem::path folder = StateFolder();
        if (folder.empty())
            framework_.Log(
                1, std::string(model_.model) +
                       ": no folder for the socket state (set Simulator.StateFolder); chips are not kept");
        socket_.SetStateFolder(folder);
    }
    RefreshFaults();
    std::vector<std::string> notices;
    socket_.Attach(spec, notices);
    for (const std::string& n : notices)
        Notify(n);
    family_ = spec.family.empty() ? "None" : spec.family;
    package_ = spec.package;
    framework_.Log(6, std::string(model_.model) + ": " + spec.maker + " " + spec.name + " (" + spec.package +
                          ") in the socket");
    return 1;
}

void Programmer::BeginOperation() {
    RefreshFaults();
}

double Programmer::TimeScale() {
    std::string text = Trim(framework_.ReadString(kSection, "TimeScale"));
    if (text.empty()) return 1.0;
    char* end = nullptr;
    double scale = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(scale) || scale < 0 || scale > 1000) {
        framework_.Log(1, std::string(model_.model) + ": Simulator.TimeScale '" + text +
                              "' is not a number from 0 to 1000; using 1");
        return 1.0;
    }
    return scale;
}

int Programmer::Commit() {
    std::string error;
    if (socket_.Commit(error)) {
        lastSaveFailure_.clear();
        return 1;
    }
    framework_.Log(1, std::string(model_.model) + ": " + error);
    if (error != lastSaveFailure_) {
        lastSaveFailure_ = error;
        framework_.Box(error, std::string(model_.model) + " socket", KOV_MB_OK | KOV_MB_ICONEXCLAMATION);
    }
    return 0;
}

Programmer& Prog() {
    static Programmer programmer(ThisProgrammer());
    return programmer;
}

namespace {

int BusProgrammerId() {
    return ThisProgrammer().id;
}
const char* BusModel() {
    return ThisProgrammer().model;
}
int BusAttach(const KovSimChipInfo* chip) {
    return Guard([&] { return Prog().Attach(chip); }, 0);
}
void BusBegin() {
    Guard(
        [] {
            Prog().BeginOperation();
            return 0;
        },
        0);
}
int BusPresent() {
    return Prog().Socket().Present() ? 1 : 0;
}
int BusReadIds(std::uint16_t* mfr, std::uint16_t* dev) {
    return mfr && dev && Prog().Socket().ReadIds(*mfr, *dev) ? 1 : 0;
}
int BusRead(std::uint32_t first, std::uint32_t count, std::uint16_t* words) {
    return words && Prog().Socket().Read(first, count, words) ? 1 : 0;
}
int BusWrite(std::uint32_t address, std::uint16_t value) {
    return Prog().Socket().Write(address, value) ? 1 : 0;
}
int BusErase(std::uint32_t first, std::uint32_t count) {
    return Prog().Socket().Erase(first, count) ? 1 : 0;
}
int BusEraseAll() {
    return Prog().Socket().EraseAll() ? 1 : 0;
}
std::uint64_t BusGetExtra(int cell) {
    return Prog().Socket().Extra(cell);
}
int BusSetExtra(int cell, std::uint64_t value) {
    return Prog().Socket().SetExtra(cell, value) ? 1 : 0;
}
double BusTimeScale() {
    return Guard([] { return Prog().TimeScale(); }, 0.0);
}
int BusCommit() {
    return Guard([] { return Prog().Commit(); }, 0);
}

const KovSimBus kBus{KOVSIM_BUS_VERSION, BusProgrammerId, BusModel,    BusAttach,    BusBegin,
                     BusPresent,         BusReadIds,      BusRead,     BusWrite,     BusErase,
                     BusEraseAll,        BusGetExtra,     BusSetExtra, BusTimeScale, BusCommit};

} // namespace

const KovSimBus* Bus() {
    return &kBus;
}

} // namespace kovsim
