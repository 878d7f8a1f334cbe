#include "kovsim/Socket.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>

namespace kovsim {
namespace fs = std::filesystem;

namespace {

bool ReadWhole(const fs::path& path, std::string& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "it cannot be opened";
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "reading it failed";
        return false;
    }
    return true;
}

// Keeps a damaged file next to the new one instead of overwriting it: the user may want it.
fs::path SetAside(const fs::path& path) {
    for (int i = 0; i < 1000; ++i) {
        fs::path aside = path;
        aside += i == 0 ? ".corrupt" : ".corrupt." + std::to_string(i);
        std::error_code ec;
        if (fs::exists(aside, ec)) continue;
        fs::rename(path, aside, ec);
        return ec ? fs::path{} : aside;
    }
    return {};
}

} // namespace

SimSocket::SimSocket(std::string model, bool persistent)
    : model_(std::move(model)), persistent_(persistent) {}

fs::path SimSocket::StateFile(const ChipSpec& spec) const {
    if (!persistent_ || stateFolder_.empty()) return {};
    return stateFolder_ / model_ / (spec.Key() + ".chip");
}

void SimSocket::Load(const ChipSpec& spec, SimChip& chip, std::vector<std::string>& notices) {
    fs::path file = StateFile(spec);
    std::error_code ec;
    if (file.empty() || !fs::exists(file, ec)) return;
    std::string bytes, problem;
    if (ReadWhole(file, bytes, problem) && SimChip::Parse(bytes, chip, problem)) return;
    chip = SimChip(spec);
    fs::path aside = SetAside(file);
    std::string text = "The socket state file " + file.string() + " is damaged: " + problem + ".\n";
    if (!aside.empty()) {
        text += "It was kept as " + aside.string() + ".\n";
    } else {
        unsaveable_[spec.Key()] = "the damaged state file " + file.string() + " could not be set aside";
        text += "It could not be set aside, so it will not be replaced.\n";
    }
    notices.push_back(text + "The socket now holds a blank " + spec.name + ".");
}

void SimSocket::Attach(const ChipSpec& spec, std::vector<std::string>& notices) {
    std::string key = spec.Key();
    if (chip_ && persistent_ && chip_->Spec().Key() != key) {
        std::string error;
        if (!Commit(error)) notices.push_back(error);
        chips_.erase(chip_->Spec().Key());
        chip_ = nullptr;
    }
    auto it = chips_.find(key);
    if (it != chips_.end() &&
        (it->second->Spec().width != spec.width || it->second->Spec().words != spec.words))
        chips_.erase(it), it = chips_.end();
    if (it == chips_.end()) {
        auto chip = std::make_unique<SimChip>(spec);
        Load(spec, *chip, notices);
        it = chips_.emplace(key, std::move(chip)).first;
    }
    chip_ = it->second.get();
}

bool SimSocket::ReadIds(std::uint16_t& mfr, std::uint16_t& dev) const {
    if (!Present()) return false;
    mfr = chip_->Spec().mfrId;
    dev = chip_->Spec().devId;
    if (faults_.wrongId && dev != 0xFFFF) dev ^= 0x21;
    return true;
}

bool SimSocket::Read(std::uint32_t first, std::uint32_t count, std::uint16_t* out) const {
    if (!Present() || std::uint64_t(first) + count > chip_->Spec().words) return false;
    FaultSpots spots = Spots();
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint16_t w = chip_->Word(first + i);
        if (faults_.stuckBit && first + i == spots.stuckAddress) {
            std::uint16_t bit = static_cast<std::uint16_t>(1u << spots.stuckBit) & chip_->Mask();
            w = spots.stuckLevel ? (w | bit) : (w & ~bit);
        }
        out[i] = w;
    }
    return true;
}

bool SimSocket::Write(std::uint32_t address, std::uint16_t value) {
    if (!Present() || address >= chip_->Spec().words) return false;
    if (faults_.programFail && address == Spots().failAddress) return true;
    chip_->Write(address, value);
    return true;
}

bool SimSocket::Erase(std::uint32_t first, std::uint32_t count) {
    if (!Present() || std::uint64_t(first) + count > chip_->Spec().words) return false;
    chip_->Erase(first, count);
    return true;
}

bool SimSocket::EraseAll() {
    if (!Present()) return false;
    chip_->EraseAll();
    return true;
}

std::uint64_t SimSocket::Extra(int cell) const {
    return Present() ? chip_->Extra(cell) : 0;
}

bool SimSocket::SetExtra(int cell, std::uint64_t value) {
    if (!Present() || cell < 0 || cell >= SimChip::kExtraCells) return false;
    chip_->SetExtra(cell, value);
    return true;
}

bool SimSocket::SaveChip(const SimChip& chip, std::string& error) {
    fs::path file = StateFile(chip.Spec());
    if (file.empty()) return true;
    auto blocked = unsaveable_.find(chip.Spec().Key());
    if (blocked != unsaveable_.end()) {
        error = "The " + chip.Spec().name + " in the socket was not saved: " + blocked->second + ".";
        return false;
    }
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    // A temporary name of this process's own: another process saving the same chip into the
    // same folder at the same moment must not write into or rename away this one's file.
    static std::atomic<unsigned> saves{0};
    fs::path temp = file;
    temp += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(saves++);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        std::string bytes = chip.Serialize();
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            fs::remove(temp, ec);
            error = "The " + chip.Spec().name + " in the socket could not be saved to " + file.string() + ".";
            return false;
        }
    }
    fs::rename(temp, file, ec);
    if (ec) {
        fs::remove(temp, ec);
        error = "The " + chip.Spec().name + " in the socket could not be saved to " + file.string() + ".";
        return false;
    }
    return true;
}

bool SimSocket::Commit(std::string& error) {
    if (!chip_ || !chip_->Dirty()) return true;
    if (!SaveChip(*chip_, error)) return false;
    chip_->MarkClean();
    return true;
}

void SimSocket::SetFaults(const FaultSet& faults, std::uint64_t seed) {
    faults_ = faults;
    seed_ = seed;
}

FaultSpots SimSocket::Spots() const {
    if (!chip_) return {};
    return ResolveFaults(faults_, seed_, chip_->Spec().Key(), chip_->Spec().words, chip_->Spec().width);
}

std::uint16_t SimSocket::ReadStartSignal() {
    if (startZeros_ > 0) {
        --startZeros_;
        return 0;
    }
    return 1;
}

std::string SimSocket::Describe() const {
    std::ostringstream s;
    s << "Programmer: " << model_ << "\n";
    if (chip_) {
        const ChipSpec& c = chip_->Spec();
        s << "Chip: " << c.maker << " " << c.name << " (" << c.package << "), "
          << (inserted_ ? "inserted" : "removed") << "\n";
        fs::path file = StateFile(c);
        s << "State file: " << (file.empty() ? std::string("none (kept in memory)") : file.string()) << "\n";
    } else {
        s << "Chip: none selected\n";
    }
    std::string faults = FormatFaults(faults_);
    s << "Faults: " << (faults.empty() ? std::string("none") : faults);
    if (chip_ && (faults_.stuckBit || faults_.programFail)) {
        FaultSpots spots = Spots();
        char buf[96];
        if (faults_.stuckBit) {
            std::snprintf(buf, sizeof buf, "\nStuck bit: address %08X bit %u at %d", spots.stuckAddress,
                          spots.stuckBit, spots.stuckLevel);
            s << buf;
        }
        if (faults_.programFail) {
            std::snprintf(buf, sizeof buf, "\nFailing address: %08X", spots.failAddress);
            s << buf;
        }
    }
    return s.str();
}

} // namespace kovsim
