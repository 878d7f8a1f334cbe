// Parallel NOR flash (29F, 39SF and 49F families): chip erase, manufacturer and device IDs,
// per-sector protection on the 29F parts and the one-time boot block lockout of the 49F parts.
// A protected sector ignores program and erase commands, as the real chips do.
#include <string>

#include "device/DeviceCore.h"
#include "kovsim/Sectors.h"
#include "kovsim/Tables.h"

namespace kovsim {
namespace {

constexpr int kProtectionCell = 0; // one bit per sector
constexpr int kBootLockCell = 1;

enum : int { kProtectAll = 1, kUnprotectAll = 2, kProtectionStatus = 3, kLockBootBlock = 4 };

class Flash : public DeviceFamily {
public:
    Flash() : DeviceFamily(FlashFamily()) {}

    void OnSelected(DeviceEngine& engine) override { sectors_ = SectorsOf(*engine.Selected().part); }

    void AddMiscFunctions(DeviceEngine& engine, std::vector<KovMiscFunctRecord>& out) override {
        switch (engine.Selected().part->algorithm) {
        case Algorithm::FlashAmd:
            out.push_back(DeviceEngine::MiscRecord(kProtectAll, "Protect All Sectors", "LOCK",
                                                   "Protect every sector against programming and erasing"));
            out.push_back(DeviceEngine::MiscRecord(kUnprotectAll, "Unprotect All Sectors", "UNLOCK",
                                                   "Remove the protection of every sector"));
            out.push_back(DeviceEngine::MiscRecord(kProtectionStatus, "Sector Protection", "INFO",
                                                   "Show which sectors are protected"));
            break;
        case Algorithm::FlashAtmel:
            out.push_back(
                DeviceEngine::MiscRecord(kLockBootBlock, "Lock Boot Block", "LOCK",
                                         "Lock the boot block for good: it can never be changed again"));
            out.push_back(DeviceEngine::MiscRecord(kProtectionStatus, "Boot Block Status", "INFO",
                                                   "Show whether the boot block is locked"));
            break;
        default:
            break;
        }
    }

    void RunMiscFunction(DeviceEngine& engine, int identifier) override {
        if (!engine.PrepareChip(true)) return;
        const KovSimBus* bus = engine.Bus();
        const FrameworkLink& fw = engine.Framework();
        Algorithm algorithm = engine.Selected().part->algorithm;
        std::uint64_t all = sectors_.size() >= 64 ? ~0ull : ((1ull << sectors_.size()) - 1);
        if (algorithm == Algorithm::FlashAmd && identifier == kProtectAll) {
            bus->SetExtra(kProtectionCell, all);
            fw.Log(2, "All " + std::to_string(sectors_.size()) + " sectors of the " + engine.PartName() +
                          " are protected");
        } else if (algorithm == Algorithm::FlashAmd && identifier == kUnprotectAll) {
            bus->SetExtra(kProtectionCell, 0);
            fw.Log(2, "No sector of the " + engine.PartName() + " is protected any more");
        } else if (algorithm == Algorithm::FlashAtmel && identifier == kLockBootBlock) {
            if (bus->GetExtra(kBootLockCell)) {
                fw.Box("The boot block of the " + engine.PartName() + " is already locked.", engine.Caption(),
                       KOV_MB_OK | KOV_MB_ICONINFORMATION);
                return;
            }
            if (!engine.Confirm("Lock the boot block of the " + engine.PartName() +
                                "?\nIt can never be programmed or erased again, not even by a chip erase.")) {
                fw.Log(2, "Locking the boot block was cancelled");
                return;
            }
            bus->SetExtra(kBootLockCell, 1);
            fw.Log(2, "The boot block of the " + engine.PartName() + " is locked");
        } else if (identifier == kProtectionStatus) {
            fw.Box(Status(engine), engine.Caption(), KOV_MB_OK | KOV_MB_ICONINFORMATION);
        }
    }

    bool WriteLocked(DeviceEngine& engine, std::uint32_t chipAddress) override {
        int s = SectorOf(engine, chipAddress);
        return s >= 0 && Locked(engine, static_cast<std::size_t>(s));
    }

    std::string WriteLockNote(DeviceEngine& engine, std::uint32_t chipAddress) override {
        int s = SectorOf(engine, chipAddress);
        if (s < 0 || !Locked(engine, static_cast<std::size_t>(s))) return {};
        return "Sector " + std::to_string(s) + " (" + Range(engine, static_cast<std::size_t>(s)) +
               ") is protected: the chip ignores program and erase commands there.";
    }

    int EraseChip(DeviceEngine& engine) override {
        if (!engine.Wait("Erasing " + engine.PartName(), TraitsOf(engine.Selected().part->algorithm).eraseMs))
            return kAborted;
        std::uint32_t perWord = ChipWordBytes(engine);
        for (std::size_t s = 0; s < sectors_.size(); ++s) {
            if (Locked(engine, s)) {
                engine.Framework().Log(5, "Sector " + std::to_string(s) + " of the " + engine.PartName() +
                                              " is protected; the chip erase leaves it unchanged");
                continue;
            }
            if (engine.Bus()->Erase(sectors_[s].first / perWord, sectors_[s].size / perWord) != 1) {
                engine.Fail("Erase failed", "Erasing the " + engine.PartName() + " failed.");
                return kFailed;
            }
        }
        return KOV_SUCCESS;
    }

private:
    static std::uint32_t ChipWordBytes(DeviceEngine& engine) {
        return NativeWidth(*engine.Selected().part) / 8;
    }

    int SectorOf(DeviceEngine& engine, std::uint32_t chipAddress) const {
        std::uint64_t byte = std::uint64_t(chipAddress) * ChipWordBytes(engine);
        for (std::size_t s = 0; s < sectors_.size(); ++s)
            if (byte >= sectors_[s].first && byte < std::uint64_t(sectors_[s].first) + sectors_[s].size)
                return static_cast<int>(s);
        return -1;
    }

    bool Locked(DeviceEngine& engine, std::size_t sector) const {
        const KovSimBus* bus = engine.Bus();
        switch (engine.Selected().part->algorithm) {
        case Algorithm::FlashAmd:
            return sector < 64 && ((bus->GetExtra(kProtectionCell) >> sector) & 1);
        case Algorithm::FlashAtmel:
            return bus->GetExtra(kBootLockCell) && IsBootBlock(engine, sector);
        default:
            return false;
        }
    }

    bool IsBootBlock(DeviceEngine& engine, std::size_t sector) const {
        Boot boot = SectorBoot(engine.Selected().part->param);
        return boot == Boot::AtmelTop ? sector + 1 == sectors_.size() : sector == 0;
    }

    // The sector's first and last address in words of the selected width.
    std::string Range(DeviceEngine& engine, std::size_t s) const {
        std::uint32_t bytes = engine.Selected().width / 8;
        return engine.Hex(sectors_[s].first / bytes, 32) + " to " +
               engine.Hex((sectors_[s].first + sectors_[s].size) / bytes - 1, 32);
    }

    std::string Status(DeviceEngine& engine) const {
        std::string list;
        std::size_t locked = 0;
        for (std::size_t s = 0; s < sectors_.size(); ++s) {
            if (!Locked(engine, s)) continue;
            ++locked;
            list += "\nSector " + std::to_string(s) + ": " + Range(engine, s);
        }
        if (engine.Selected().part->algorithm == Algorithm::FlashAtmel)
            return "The boot block of the " + engine.PartName() + " is " +
                   (locked ? "locked." : "not locked.");
        if (!locked) return "No sector of the " + engine.PartName() + " is protected.";
        return std::to_string(locked) + " of " + std::to_string(sectors_.size()) + " sectors of the " +
               engine.PartName() + " are protected:" + list;
    }

    std::vector<Sector> sectors_;
};

} // namespace

DeviceFamily& ThisFamily() {
    static Flash family;
    return family;
}

} // namespace kovsim
