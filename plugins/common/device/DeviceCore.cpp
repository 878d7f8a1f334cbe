#include "device/DeviceCore.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace kovsim {
namespace {

constexpr std::size_t kReportedMismatches = 16; // logged
constexpr std::size_t kShownMismatches = 8;     // in the message box

const AlgorithmTraits kUv{false,
                          false,
                          true,
                          false,
                          1.0,
                          100,
                          25,
                          0,
                          NarrowOrder::LowByteFirst,
                          "Erase it with ultraviolet light first."};
const AlgorithmTraits kAmd{
    false, false, true, false, 0.5, 8, 2, 8000, NarrowOrder::LowByteFirst, "Erase it first."};
const AlgorithmTraits kSst{
    false, false, true, false, 0.5, 20, 1, 100, NarrowOrder::LowByteFirst, "Erase it first."};
const AlgorithmTraits kAtmel{
    false, false, true, false, 0.5, 50, 1, 10000, NarrowOrder::LowByteFirst, "Erase it first."};
const AlgorithmTraits kI2c{true, false, false, true, 25, 0, 1, 0, NarrowOrder::LowByteFirst, ""};
const AlgorithmTraits kMicrowire{true, false, false, true, 30, 5000, 1, 10, NarrowOrder::HighByteFirst, ""};
const AlgorithmTraits kGal{false, true, false, false, 20, 500, 1, 100, NarrowOrder::LowByteFirst, ""};
const AlgorithmTraits kPic12{
    false, false, true, false, 40, 2000, 1, 10, NarrowOrder::LowByteFirst, "Erase it first."};
const AlgorithmTraits kPic14{
    false, false, true, false, 40, 4000, 1, 10, NarrowOrder::LowByteFirst, "Erase it first."};

unsigned BytesPerWord(unsigned width) {
    return width > 8 ? 2 : 1;
}

// Work in blocks of about one percent, so the progress box moves and Abort is seen in time.
std::uint32_t ChunkFor(std::uint64_t count) {
    return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(count / 100, 1, 4096));
}

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

// Shows the progress box for one operation and turns the chip's time into real waiting, scaled
// by the session, while it keeps the box (and its Abort button) alive.
class Pacer {
public:
    Pacer(const DeviceEngine& engine, const std::string& function, std::uint64_t total)
        : framework_(engine.Framework()), function_(function), caption_(engine.Caption()),
          total_(total ? total : 1), scale_(engine.Bus() ? engine.Bus()->TimeScale() : 0.0),
          going_(framework_.OpenProgress(function_, caption_)) {}
    ~Pacer() { framework_.CloseProgress(function_, caption_); }
    Pacer(const Pacer&) = delete;
    Pacer& operator=(const Pacer&) = delete;

    // `done` of the total is finished after `chipUs` of chip time; false once Abort was pressed.
    bool Step(std::uint64_t done, double chipUs) {
        int percent = static_cast<int>(std::min<std::uint64_t>(done, total_) * 100 / total_);
        if (!going_ || !framework_.StepProgress(percent, nullptr)) return false;
        debtUs_ += chipUs * scale_;
        while (debtUs_ >= 1000.0) {
            double slice = std::min(debtUs_, 40000.0);
            std::this_thread::sleep_for(std::chrono::microseconds(static_cast<long long>(slice)));
            debtUs_ -= slice;
            if (!framework_.StepProgress(percent, nullptr)) return false;
        }
        return true;
    }

private:
    const FrameworkLink& framework_;
    std::string function_;
    std::string caption_;
    std::uint64_t total_;
    double scale_;
    bool going_;
    double debtUs_ = 0;
};

} // namespace

const AlgorithmTraits& TraitsOf(Algorithm algorithm) {
    switch (algorithm) {
    case Algorithm::UvEprom:
        return kUv;
    case Algorithm::FlashAmd:
        return kAmd;
    case Algorithm::FlashSst:
        return kSst;
    case Algorithm::FlashAtmel:
        return kAtmel;
    case Algorithm::I2cEeprom:
        return kI2c;
    case Algorithm::Microwire:
        return kMicrowire;
    case Algorithm::Gal:
        return kGal;
    case Algorithm::Pic12:
        return kPic12;
    case Algorithm::Pic14:
        return kPic14;
    }
    return kUv;
}

int DeviceFamily::EraseChip(DeviceEngine& engine) {
    const AlgorithmTraits& traits = TraitsOf(engine.Selected().part->algorithm);
    if (!engine.Wait("Erasing " + engine.PartName(), traits.eraseMs)) return kAborted;
    if (engine.Bus()->EraseAll() != 1) {
        engine.Framework().Box("Erasing the " + engine.PartName() + " failed.", engine.Caption(),
                               KOV_MB_OK | KOV_MB_ICONERROR);
        return kFailed;
    }
    return KOV_SUCCESS;
}

DeviceEngine::DeviceEngine(DeviceFamily& family) : family_(family), entries_(ExpandFamily(family.Data())) {}

DeviceEngine::~DeviceEngine() {
    if (programmerHandle_) dlclose(programmerHandle_);
}

int DeviceEngine::SetupFramework(const FrameStruct* frame) {
    return framework_.Accept(frame) ? 1 : 0;
}

int DeviceEngine::SetupProgrammer(const char* path) {
    selected_ = nullptr;
    bus_ = nullptr;
    if (programmerHandle_) {
        dlclose(programmerHandle_);
        programmerHandle_ = nullptr;
    }
    if (!path || !*path) return 0;
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle) return 0;
    auto* busFn = reinterpret_cast<KovSimBusFn*>(dlsym(handle, KOVSIM_BUS_SYMBOL));
    const KovSimBus* bus = busFn ? busFn() : nullptr;
    bool complete = bus && bus->Version == KOVSIM_BUS_VERSION && bus->ProgrammerId && bus->Model &&
                    bus->Attach && bus->BeginOperation && bus->Present && bus->ReadIds && bus->Read &&
                    bus->Write && bus->Erase && bus->EraseAll && bus->GetExtra && bus->SetExtra &&
                    bus->TimeScale && bus->Commit;
    if (!complete) {
        dlclose(handle);
        return 0;
    }
    programmerHandle_ = handle;
    bus_ = bus;
    return 1;
}

const KovDeviceRecord* DeviceEngine::NextDevice() {
    if (nextDevice_ >= entries_.size()) return nullptr;
    record_ = MakeRecord(family_.Data(), entries_[nextDevice_++]);
    return &record_;
}

int DeviceEngine::Select(const char* name, const char* maker, const char* package, int pins, int width) {
    selected_ = nullptr;
    haveLast_ = false;
    misc_.clear();
    if (!name || !maker || !package) return kFailed;
    const DeviceEntry* found = nullptr;
    for (const DeviceEntry& e : entries_) {
        if (std::strcmp(e.part->name, name) == 0 && std::strcmp(e.part->maker, maker) == 0 &&
            std::strcmp(e.package->name, package) == 0 && int(e.package->pins) == pins &&
            int(e.width) == width) {
            found = &e;
            break;
        }
    }
    std::string lib = family_.Data().library;
    if (!found) {
        framework_.Log(1, lib + ": no device " + maker + " " + name + " in " + package + " with " +
                              std::to_string(pins) + " pins and " + std::to_string(width) + " bits");
        return kFailed;
    }
    if (!bus_) {
        framework_.Log(1, lib + ": no programmer library is bound, so no device can be selected");
        return kFailed;
    }
    std::string model = bus_->Model();
    if (!OfferedTo(*found, static_cast<std::uint32_t>(bus_->ProgrammerId()))) {
        std::string text = "The " + model + " programmer cannot program the " + DisplayName(*found) + ".";
        framework_.Log(1, text);
        framework_.Box(text, "Device not supported", KOV_MB_OK | KOV_MB_ICONEXCLAMATION);
        return kFailed;
    }
    const Part& part = *found->part;
    const AlgorithmTraits& traits = TraitsOf(part.algorithm);
    KovSimChipInfo chip{
        part.maker,        part.name,  found->package->name, family_.Data().category,     NativeWidth(part),
        NativeWords(part), part.mfrId, part.devId,           traits.writeReplaces ? 1 : 0};
    if (bus_->Attach(&chip) != 1) {
        framework_.Log(1, lib + ": the " + model + " refused the " + DisplayName(*found));
        return kFailed;
    }
    selected_ = found;
    traits_ = &traits;
    narrow_ = found->width < NativeWidth(part);
    family_.OnSelected(*this);
    framework_.Log(5, lib + ": selected " + DisplayName(*found) + ", " + std::to_string(found->words) +
                          " words of " + std::to_string(found->width) + " bits");
    return KOV_SUCCESS;
}

std::uint32_t DeviceEngine::EraseValue() const {
    if (!selected_) return 0xFFFFFFFFu;
    std::uint32_t mask = WordMask();
    if (BytesPerWord(selected_->width) == 1) return (mask & 0xFF) * 0x01010101u;
    return mask | (mask << 16);
}

std::string DeviceEngine::PartName() const {
    return selected_ ? selected_->part->name : std::string("device");
}

std::string DeviceEngine::Caption() const {
    std::string model = bus_ ? bus_->Model() : "";
    return model.empty() ? PartName() : model + " - " + PartName();
}

std::uint16_t DeviceEngine::WordMask() const {
    unsigned width = selected_ ? selected_->width : 8;
    return static_cast<std::uint16_t>((1u << width) - 1);
}

double DeviceEngine::WriteUs() const {
    // An I2C EEPROM writes a whole page in one 5 ms cycle.
    if (selected_ && selected_->part->algorithm == Algorithm::I2cEeprom && selected_->part->param)
        return 5000.0 / selected_->part->param;
    return traits_ ? traits_->programUs : 0;
}

std::uint32_t DeviceEngine::ChipWords() const {
    return selected_ ? NativeWords(*selected_->part) : 0;
}

std::string DeviceEngine::Hex(std::uint32_t value, unsigned width) const {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", static_cast<int>(std::max(2u, (width + 3) / 4)), value);
    return buf;
}

void DeviceEngine::Fail(const std::string& caption, const std::string& text) {
    framework_.Log(1, OneLine(text));
    framework_.Box(text, caption, KOV_MB_OK | KOV_MB_ICONERROR);
}

bool DeviceEngine::Confirm(const std::string& text) {
    return framework_.Box(text, Caption(), KOV_MB_YESNO | KOV_MB_ICONQUESTION) == KOV_IDYES;
}

void DeviceEngine::Commit() {
    if (bus_) bus_->Commit();
}

bool DeviceEngine::Wait(const std::string& function, double milliseconds) {
    Pacer pacer(*this, function, 100);
    for (int step = 1; step <= 100; ++step)
        if (!pacer.Step(static_cast<std::uint64_t>(step), milliseconds * 10.0)) {
            framework_.Log(1, function + " was aborted by the user");
            return false;
        }
    return true;
}

bool DeviceEngine::PrepareChip(bool checkIds) {
    if (!selected_ || !bus_) {
        framework_.Log(1, std::string(family_.Data().library) + ": no device is selected");
        return false;
    }
    bus_->BeginOperation();
    if (bus_->Present() != 1) {
        Fail("Device not found", "There is no " + PartName() + " in the socket of the " + bus_->Model() +
                                     ".\nInsert the device and try again.");
        return false;
    }
    return !checkIds || CheckIds();
}

bool DeviceEngine::Prepare(std::uint32_t start, std::uint32_t end) {
    if (!selected_ || !bus_) return PrepareChip(false);
    if (start > end || end >= selected_->words) {
        Fail("Device range", "The device range " + Hex(start, 32) + " to " + Hex(end, 32) +
                                 " lies outside the " + PartName() + ", which has " +
                                 std::to_string(selected_->words) + " words.");
        return false;
    }
    return PrepareChip(true);
}

bool DeviceEngine::CheckIds() {
    const Part& part = *selected_->part;
    bool wantMfr = part.mfrId != kNoId && !framework_.ReadBool("Device", "SuppressManufacturerID");
    bool wantDev = part.devId != kNoId && !framework_.ReadBool("Device", "SuppressDeviceID");
    if (!wantMfr && !wantDev) return true;
    std::uint16_t mfr = 0, dev = 0;
    if (bus_->ReadIds(&mfr, &dev) != 1) {
        Fail("Device ID",
             "The " + std::string(bus_->Model()) + " could not read the identifier of the device.");
        return false;
    }
    std::uint16_t devMask = part.algorithm == Algorithm::Pic14 ? 0x3FE0 : narrow_ ? 0x00FF : 0xFFFF;
    unsigned devBits = (part.devId & devMask) > 0xFF ? 16 : 8;
    std::uint16_t wantDevId = part.devId & devMask, gotDevId = dev & devMask;
    bool mfrOk = !wantMfr || (mfr & 0xFF) == part.mfrId;
    bool devOk = !wantDev || gotDevId == wantDevId;
    std::string found = "manufacturer code " + Hex(mfr & 0xFF, 8) + ", device code " + Hex(gotDevId, devBits);
    if (mfrOk && devOk) {
        framework_.Log(5, "ID check: " + found);
        return true;
    }
    std::string expected;
    if (wantMfr) expected += "manufacturer code " + Hex(part.mfrId, 8);
    if (wantDev)
        expected += std::string(expected.empty() ? "" : ", ") + "device code " + Hex(wantDevId, devBits);
    Fail("Wrong device", "The device in the socket is not a " + std::string(part.maker) + " " + part.name +
                             ".\nExpected " + expected + ";\nthe device answers with " + found +
                             ".\n\nCheck the device and its orientation in the socket.");
    return false;
}

std::uint32_t DeviceEngine::ChipAddress(std::uint32_t address) const {
    return narrow_ ? address / 2 : address;
}

bool DeviceEngine::ReadWords(std::uint32_t first, std::uint32_t count, std::uint16_t* out) {
    if (!narrow_) return bus_->Read(first, count, out) == 1;
    std::uint32_t chipFirst = first / 2, chipLast = (first + count - 1) / 2;
    std::vector<std::uint16_t> chip(chipLast - chipFirst + 1);
    if (bus_->Read(chipFirst, static_cast<std::uint32_t>(chip.size()), chip.data()) != 1) return false;
    bool highFirst = traits_->narrow == NarrowOrder::HighByteFirst;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t a = first + i;
        std::uint16_t w = chip[a / 2 - chipFirst];
        bool upper = (a & 1) != highFirst;
        out[i] = upper ? (w >> 8) : (w & 0xFF);
    }
    return true;
}

bool DeviceEngine::WriteWord(std::uint32_t address, std::uint16_t value) {
    if (!narrow_) return bus_->Write(address, value) == 1;
    bool upper = (address & 1) != (traits_->narrow == NarrowOrder::HighByteFirst);
    unsigned shift = upper ? 8 : 0;
    std::uint16_t keep = static_cast<std::uint16_t>(~(0xFFu << shift));
    std::uint16_t chip = 0xFFFF;
    if (traits_->writeReplaces && bus_->Read(address / 2, 1, &chip) != 1) return false;
    chip = static_cast<std::uint16_t>((chip & keep) | ((value & 0xFF) << shift));
    return bus_->Write(address / 2, chip) == 1;
}

std::uint16_t DeviceEngine::ImageWord(const unsigned char* image, std::uint32_t index) const {
    if (BytesPerWord(selected_->width) == 1) return image[index];
    return static_cast<std::uint16_t>(image[2 * index] | (image[2 * index + 1] << 8));
}

void DeviceEngine::SetLast(std::uint32_t sum) {
    last_ = sum & family_.ChecksumMask();
    haveLast_ = true;
}

int DeviceEngine::Succeeded(const std::string& done, std::uint32_t start, std::uint32_t end, std::uint32_t sum) {
    SetLast(sum);
    framework_.Log(2, done + " the " + PartName() + " from " + Hex(start, 32) + " to " + Hex(end, 32) +
                          ", checksum " + Hex(last_, 32));
    return KOV_SUCCESS;
}

int DeviceEngine::Read(std::uint32_t start, std::uint32_t end, unsigned char* image) {
    haveLast_ = false;
    if (!image || !Prepare(start, end)) return lastResult_ = kFailed;
    std::string lock = family_.ReadLock(*this);
    if (!lock.empty()) {
        Fail("Device secured", lock);
        return lastResult_ = kFailed;
    }
    std::uint64_t count = std::uint64_t(end) - start + 1;
    unsigned bytes = BytesPerWord(selected_->width);
    std::uint32_t chunk = ChunkFor(count);
    std::vector<std::uint16_t> words(chunk);
    std::uint32_t sum = 0;
    Pacer pacer(*this, "Reading " + PartName(), count);
    for (std::uint64_t done = 0; done < count;) {
        std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk, count - done));
        std::uint32_t at = start + static_cast<std::uint32_t>(done);
        if (!ReadWords(at, n, words.data())) {
            Fail("Read failed", "Reading the " + PartName() + " failed at address " + Hex(at, 32) + ".");
            return lastResult_ = kFailed;
        }
        for (std::uint32_t i = 0; i < n; ++i) {
            std::uint16_t w = words[i] & WordMask();
            unsigned char* p = image + (done + i) * bytes;
            p[0] = static_cast<unsigned char>(w & 0xFF);
            if (bytes == 2) p[1] = static_cast<unsigned char>(w >> 8);
            sum += w;
        }
        done += n;
        if (!pacer.Step(done, n * traits_->readUs)) {
            framework_.Log(1, "Reading the " + PartName() + " was aborted by the user before address " +
                                  Hex(start + static_cast<std::uint32_t>(done), 32));
            return lastResult_ = kAborted;
        }
    }
    return lastResult_ = Succeeded("Read", start, end, sum);
}

DeviceEngine::Compare DeviceEngine::CompareRange(std::uint32_t start, std::uint32_t end,
                                                 const unsigned char* image, const std::string& verb,
                                                 std::vector<Mismatch>& mismatches, std::uint64_t& differing,
                                                 std::uint32_t& sum) {
    std::uint64_t count = std::uint64_t(end) - start + 1;
    std::uint32_t chunk = ChunkFor(count);
    std::vector<std::uint16_t> words(chunk);
    std::uint16_t mask = WordMask();
    differing = 0;
    sum = 0;
    Pacer pacer(*this, verb + " " + PartName(), count);
    for (std::uint64_t done = 0; done < count;) {
        std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk, count - done));
        std::uint32_t at = start + static_cast<std::uint32_t>(done);
        if (!ReadWords(at, n, words.data())) {
            Fail(verb, verb + " the " + PartName() + " failed at address " + Hex(at, 32) + ".");
            return Compare::Failed;
        }
        for (std::uint32_t i = 0; i < n; ++i) {
            std::uint16_t device = words[i] & mask;
            std::uint16_t expected =
                image ? (ImageWord(image, static_cast<std::uint32_t>(done + i)) & mask) : mask;
            sum += device;
            if (device != expected) {
                ++differing;
                if (mismatches.size() < kReportedMismatches) mismatches.push_back({at + i, device, expected});
            }
        }
        done += n;
        if (!pacer.Step(done, n * traits_->readUs)) {
            framework_.Log(1, verb + " the " + PartName() + " was aborted by the user");
            return Compare::Aborted;
        }
    }
    return differing ? Compare::Differ : Compare::Match;
}

void DeviceEngine::ReportMismatches(const std::string& title, const std::string& intro,
                                    const std::vector<Mismatch>& mismatches, std::uint64_t differing) {
    unsigned width = selected_->width;
    for (const Mismatch& m : mismatches)
        framework_.Log(5, title + ": address " + Hex(m.address, 32) + ": device " + Hex(m.device, width) +
                              ", expected " + Hex(m.expected, width));
    std::string count = std::to_string(differing) + (differing == 1 ? " address" : " addresses");
    framework_.Log(1, OneLine(intro) + " (" + count + ", the first at " +
                          Hex(mismatches.front().address, 32) + ")");
    std::string text = intro + "\n" + count + " differ" + (differing == 1 ? "s" : "") + ":\n";
    std::size_t shown = std::min(mismatches.size(), kShownMismatches);
    for (std::size_t i = 0; i < shown; ++i)
        text += "\n" + Hex(mismatches[i].address, 32) + ":  device " + Hex(mismatches[i].device, width) +
                ",  expected " + Hex(mismatches[i].expected, width);
    if (differing > shown) text += "\n... and " + std::to_string(differing - shown) + " more.";
    std::string note = family_.WriteLockNote(*this, ChipAddress(mismatches.front().address));
    if (!note.empty()) text += "\n\n" + note;
    framework_.Box(text, title + " failed", KOV_MB_OK | KOV_MB_ICONERROR);
}

int DeviceEngine::CheckRange(std::uint32_t start, std::uint32_t end, const unsigned char* image,
                             const std::string& verb, const std::string& title, const std::string& intro,
                             std::uint32_t& sum) {
    std::vector<Mismatch> mismatches;
    std::uint64_t differing = 0;
    switch (CompareRange(start, end, image, verb, mismatches, differing, sum)) {
    case Compare::Match:
        return KOV_SUCCESS;
    case Compare::Aborted:
        return kAborted;
    case Compare::Failed:
        return kFailed;
    case Compare::Differ:
        break;
    }
    ReportMismatches(title, intro, mismatches, differing);
    return kFailed;
}

int DeviceEngine::ProgramRange(std::uint32_t start, std::uint32_t end, const unsigned char* image) {
    std::uint64_t count = std::uint64_t(end) - start + 1;
    std::uint32_t chunk = ChunkFor(count);
    std::uint16_t mask = WordMask();
    double chipUs = 0;
    Pacer pacer(*this, "Programming " + PartName(), count);
    for (std::uint64_t i = 0; i < count; ++i) {
        std::uint32_t a = start + static_cast<std::uint32_t>(i);
        std::uint16_t target = ImageWord(image, static_cast<std::uint32_t>(i)) & mask;
        bool needed = traits_->writeReplaces || target != mask;
        std::uint16_t now = target;
        bool ok = !needed;
        // A word that already holds a 0 where the buffer has a 1 can never be reached; pulsing it
        // would only destroy more of what the chip holds.
        if (needed && !traits_->writeReplaces) {
            if (!ReadWords(a, 1, &now)) {
                Fail("Program failed", "The " + std::string(bus_->Model()) + " lost the " + PartName() +
                                           " at address " + Hex(a, 32) + ".");
                return kFailed;
            }
            now &= mask;
            ok = now == target;
            needed = !ok && (now & target) == target;
        }
        for (int pulse = 0; needed && pulse < traits_->maxPulses; ++pulse) {
            bool locked = family_.WriteLocked(*this, ChipAddress(a));
            if ((!locked && !WriteWord(a, target)) || !ReadWords(a, 1, &now)) {
                Fail("Program failed", "The " + std::string(bus_->Model()) + " lost the " + PartName() +
                                           " at address " + Hex(a, 32) + ".");
                return kFailed;
            }
            chipUs += WriteUs();
            now &= mask;
            if (now == target) {
                ok = true;
                break;
            }
            if (!traits_->writeReplaces && (now & target) != target) break;
        }
        if (!ok) {
            std::string text = "Programming the " + PartName() + " failed at address " + Hex(a, 32) +
                               ":\nthe device reads " + Hex(now, selected_->width) + ", the buffer holds " +
                               Hex(target, selected_->width) + ".";
            if (!traits_->writeReplaces && (now & target) != target)
                text +=
                    "\nA bit that is 0 in the device is 1 in the buffer, and programming cannot set bits. " +
                    std::string(traits_->eraseHint);
            std::string note = family_.WriteLockNote(*this, ChipAddress(a));
            if (!note.empty()) text += "\n" + note;
            Fail("Program failed", text);
            return kFailed;
        }
        if ((i + 1) % chunk == 0 || i + 1 == count) {
            if (!pacer.Step(i + 1, chipUs)) {
                framework_.Log(1, "Programming the " + PartName() +
                                      " was aborted by the user before address " + Hex(a + 1, 32));
                return kAborted;
            }
            chipUs = 0;
        }
    }
    return KOV_SUCCESS;
}

int DeviceEngine::Program(std::uint32_t start, std::uint32_t end, const unsigned char* image) {
    haveLast_ = false;
    if (!image || !Prepare(start, end)) return lastResult_ = kFailed;
    std::uint32_t count = end - start + 1;
    if (!family_.CheckImage(*this, image, count) || !family_.BeforeProgram(*this))
        return lastResult_ = kFailed;
    Pacer operation(*this, "Programming " + PartName(), 1); // one box for every phase
    std::vector<Mismatch> mismatches;
    std::uint64_t differing = 0;
    std::uint32_t sum = 0;
    if (traits_->eraseBeforeProgram) {
        int erased = family_.EraseChip(*this);
        if (erased != KOV_SUCCESS) return lastResult_ = erased;
    } else if (traits_->blankCheckBeforeProgram && !framework_.ReadBool("Device", "SuppressBlankcheck")) {
        Compare blank = CompareRange(start, end, nullptr, "Blank checking", mismatches, differing, sum);
        if (blank == Compare::Aborted) return lastResult_ = kAborted;
        if (blank == Compare::Failed) return lastResult_ = kFailed;
        if (blank == Compare::Differ) {
            if (!framework_.ReadBool("UserAbort", "AllowSkipBlankChk")) {
                ReportMismatches("Blank check",
                                 "The " + PartName() + " is not blank, so it cannot be programmed. " +
                                     traits_->eraseHint,
                                 mismatches, differing);
                return lastResult_ = kFailed;
            }
            std::string question = "The " + PartName() + " is not blank: " + std::to_string(differing) +
                                   " words differ from the erased value, the first at address " +
                                   Hex(mismatches.front().address, 32) + ".\nProgram it anyway?";
            if (!Confirm(question)) {
                framework_.Log(1,
                               "Programming the " + PartName() + " was cancelled: the device is not blank");
                return lastResult_ = kFailed;
            }
            framework_.Log(1, "The " + PartName() + " is not blank; programming it anyway as the user chose");
        }
    }
    int result = ProgramRange(start, end, image);
    Commit();
    if (result != KOV_SUCCESS) return lastResult_ = result;
    if (!framework_.ReadBool("Device", "SuppressVerify")) {
        int verified = CheckRange(start, end, image, "Verifying", "Verify",
                                  "Verifying the " + PartName() + " after programming failed.", sum);
        if (verified != KOV_SUCCESS) return lastResult_ = verified;
    } else {
        sum = 0;
        for (std::uint32_t i = 0; i < count; ++i)
            sum += ImageWord(image, i) & WordMask();
    }
    family_.AfterProgram(*this);
    Commit();
    return lastResult_ = Succeeded("Programmed", start, end, sum);
}

int DeviceEngine::Verify(std::uint32_t start, std::uint32_t end, const unsigned char* image) {
    haveLast_ = false;
    if (!image || !Prepare(start, end)) return lastResult_ = kFailed;
    if (!family_.CheckImage(*this, image, end - start + 1)) return lastResult_ = kFailed;
    std::string lock = family_.ReadLock(*this);
    if (!lock.empty()) {
        Fail("Device secured", lock);
        return lastResult_ = kFailed;
    }
    std::uint32_t sum = 0;
    int verified = CheckRange(start, end, image, "Verifying", "Verify",
                              "The " + PartName() + " does not match the buffer.", sum);
    if (verified == KOV_SUCCESS) return lastResult_ = Succeeded("Verified", start, end, sum);
    return lastResult_ = verified;
}

int DeviceEngine::BlankCheck(std::uint32_t start, std::uint32_t end) {
    haveLast_ = false;
    if (!Prepare(start, end)) return lastResult_ = kFailed;
    std::string lock = family_.ReadLock(*this);
    if (!lock.empty()) {
        Fail("Blank check failed", lock + "\nA secured device is not blank.");
        return lastResult_ = kFailed;
    }
    std::uint32_t sum = 0;
    int blank = CheckRange(start, end, nullptr, "Blank checking", "Blank check",
                           "The " + PartName() + " is not blank.", sum);
    if (blank == KOV_SUCCESS) return lastResult_ = Succeeded("Blank checked", start, end, sum);
    return lastResult_ = blank;
}

bool DeviceEngine::EraseRange(std::uint32_t start, std::uint32_t end) {
    std::uint16_t mask = WordMask();
    if (traits_->eraseMs > 0 && start == 0 && end == selected_->words - 1) {
        if (!Wait("Erasing " + PartName(), traits_->eraseMs)) return false;
        return bus_->Erase(0, ChipWords()) == 1;
    }
    std::uint64_t count = std::uint64_t(end) - start + 1;
    std::uint32_t chunk = ChunkFor(count);
    Pacer pacer(*this, "Erasing " + PartName(), count);
    for (std::uint64_t i = 0; i < count; ++i) {
        if (!WriteWord(start + static_cast<std::uint32_t>(i), mask)) return false;
        if (((i + 1) % chunk == 0 || i + 1 == count) && !pacer.Step(i + 1, chunk * WriteUs())) {
            framework_.Log(1, "Erasing the " + PartName() + " was aborted by the user");
            return false;
        }
    }
    return true;
}

int DeviceEngine::Erase(std::uint32_t start, std::uint32_t end) {
    haveLast_ = false;
    if (!Prepare(start, end)) return lastResult_ = kFailed;
    std::uint32_t first = 0, last = selected_->words - 1;
    Pacer operation(*this, "Erasing " + PartName(), 1); // one box for every phase
    if (traits_->eraseRangeOnly) {
        first = start;
        last = end;
        bool ok = EraseRange(start, end);
        Commit();
        if (!ok) return lastResult_ = kFailed;
    } else {
        int erased = family_.EraseChip(*this);
        Commit();
        if (erased != KOV_SUCCESS) return lastResult_ = erased;
    }
    std::uint32_t sum =
        static_cast<std::uint32_t>(std::uint64_t(WordMask()) * (std::uint64_t(last) - first + 1));
    if (!framework_.ReadBool("Device", "SuppressEraseBlankcheck")) {
        int blank = CheckRange(first, last, nullptr, "Blank checking", "Erase",
                               "The " + PartName() + " is not blank after erasing.", sum);
        if (blank != KOV_SUCCESS) return lastResult_ = blank;
    }
    return lastResult_ = Succeeded("Erased", first, last, sum);
}

int DeviceEngine::Checksum(std::uint32_t start, std::uint32_t end, std::uint32_t* checksum) {
    haveLast_ = false;
    if (!checksum || !Prepare(start, end)) return lastResult_ = kFailed;
    std::string lock = family_.ReadLock(*this);
    if (!lock.empty()) {
        Fail("Device secured", lock);
        return lastResult_ = kFailed;
    }
    std::vector<Mismatch> ignored;
    std::uint64_t differing = 0;
    std::uint32_t sum = 0;
    Compare read = CompareRange(start, end, nullptr, "Reading", ignored, differing, sum);
    if (read == Compare::Aborted) return lastResult_ = kAborted;
    if (read == Compare::Failed) return lastResult_ = kFailed;
    lastResult_ = Succeeded("Summed", start, end, sum);
    *checksum = last_;
    return lastResult_;
}

int DeviceEngine::LastChecksum(std::uint32_t* checksum) const {
    if (!checksum || !haveLast_) return kFailed;
    *checksum = last_;
    return KOV_SUCCESS;
}

int DeviceEngine::BufferChecksum(std::uint32_t start, std::uint32_t end, std::uint32_t* checksum,
                                 const unsigned char* image) {
    if (!checksum || !image || !selected_ || start > end || end >= selected_->words) return kFailed;
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i <= end - start; ++i)
        sum += ImageWord(image, i) & WordMask();
    *checksum = sum & family_.ChecksumMask();
    return KOV_SUCCESS;
}

KovMiscFunctRecord DeviceEngine::MiscRecord(int identifier, const char* name, const char* glyph,
                                            const char* tooltip) {
    KovMiscFunctRecord r;
    std::memset(&r, 0, sizeof r);
    r.RecordType = tooltip ? KOV_RECORD_TYPE2 : KOV_RECORD_TYPE1;
    std::strncpy(r.Name, name, sizeof r.Name - 1);
    if (glyph) {
        std::strncpy(r.GlyphName, glyph, sizeof r.GlyphName - 1);
        r.GlyphCount = 2;
    }
    r.Identifier = identifier;
    if (tooltip) std::strncpy(r.Tooltip, tooltip, sizeof r.Tooltip - 1);
    return r;
}

void DeviceEngine::ResetMisc() {
    misc_.clear();
    nextMisc_ = 0;
    if (!selected_) return;
    if (selected_->part->mfrId != kNoId || selected_->part->devId != kNoId)
        misc_.push_back(MiscRecord(kReadIdFunction, "Read Device ID", "CHIPID", nullptr));
    family_.AddMiscFunctions(*this, misc_);
}

const KovMiscFunctRecord* DeviceEngine::NextMisc() {
    if (nextMisc_ >= misc_.size()) return nullptr;
    miscRecord_ = misc_[nextMisc_++];
    return &miscRecord_;
}

int DeviceEngine::Dispatch(int identifier) {
    if (!selected_ || !bus_) return kFailed;
    if (identifier != kReadIdFunction) {
        family_.RunMiscFunction(*this, identifier);
        Commit();
        return KOV_SUCCESS;
    }
    if (!PrepareChip(false)) return kFailed;
    std::uint16_t mfr = 0, dev = 0;
    if (bus_->ReadIds(&mfr, &dev) != 1) {
        Fail("Device ID",
             "The " + std::string(bus_->Model()) + " could not read the identifier of the device.");
        return kFailed;
    }
    const Part& part = *selected_->part;
    unsigned devBits = part.devId != kNoId && part.devId > 0xFF && !narrow_ ? 16 : 8;
    if (narrow_) dev &= 0xFF;
    std::string text;
    if (part.mfrId != kNoId)
        text += "Manufacturer code: " + Hex(mfr & 0xFF, 8) + " (a " + part.name + " has " +
                Hex(part.mfrId, 8) + ")\n";
    if (part.devId != kNoId) {
        std::uint16_t want = narrow_ ? part.devId & 0xFF : part.devId;
        text += "Device code: " + Hex(dev, devBits) + " (a " + part.name + " has " + Hex(want, devBits) + ")";
    }
    framework_.Log(2, OneLine(text));
    framework_.Box(text, Caption(), KOV_MB_OK | KOV_MB_ICONINFORMATION);
    return KOV_SUCCESS;
}

DeviceEngine& Engine() {
    static DeviceEngine engine(ThisFamily());
    return engine;
}

} // namespace kovsim
