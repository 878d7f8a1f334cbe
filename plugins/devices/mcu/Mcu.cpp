// Flash microcontrollers with 12-bit and 14-bit program words. Their checksum is the 16-bit
// word sum their maker's tools print, so the library also computes the buffer checksum.
#include <string>

#include "device/DeviceCore.h"
#include "kovsim/Tables.h"

namespace kovsim {
namespace {

constexpr int kCodeProtectCell = 0;

enum : int { kCodeProtect = 1, kReadConfiguration = 2 };

class Mcu : public DeviceFamily {
public:
    Mcu() : DeviceFamily(McuFamily()) {}

    std::uint32_t ChecksumMask() const override { return 0xFFFF; }

    void AddMiscFunctions(DeviceEngine&, std::vector<KovMiscFunctRecord>& out) override {
        out.push_back(DeviceEngine::MiscRecord(kCodeProtect, "Code Protect", "LOCK",
                                               "Protect the program memory against reading"));
        out.push_back(DeviceEngine::MiscRecord(kReadConfiguration, "Read Configuration", "INFO",
                                               "Show the configuration word"));
    }

    void RunMiscFunction(DeviceEngine& engine, int identifier) override {
        if (!engine.PrepareChip(true)) return;
        const FrameworkLink& fw = engine.Framework();
        bool protectedNow = engine.Bus()->GetExtra(kCodeProtectCell) != 0;
        if (identifier == kReadConfiguration) {
            bool wide = engine.Selected().width == 14;
            std::uint16_t config = engine.WordMask();
            if (protectedNow) config &= static_cast<std::uint16_t>(wide ? ~0x3030u : ~0x0008u);
            std::string text = "Configuration word of the " + engine.PartName() + ": " +
                               engine.Hex(config, 16) + "\nCode protection: " + (protectedNow ? "on" : "off");
            fw.Log(2, "Configuration word of the " + engine.PartName() + ": " + engine.Hex(config, 16));
            fw.Box(text, engine.Caption(), KOV_MB_OK | KOV_MB_ICONINFORMATION);
        } else if (identifier == kCodeProtect) {
            if (protectedNow) {
                fw.Box("The " + engine.PartName() + " is already code protected.", engine.Caption(),
                       KOV_MB_OK | KOV_MB_ICONINFORMATION);
                return;
            }
            if (!engine.Confirm("Protect the program memory of the " + engine.PartName() +
                                "?\nIt can then no longer be read or verified until the device is erased.")) {
                fw.Log(2, "Code protection was cancelled");
                return;
            }
            engine.Bus()->SetExtra(kCodeProtectCell, 1);
            fw.Log(2, "The " + engine.PartName() + " is code protected");
        }
    }

    std::string ReadLock(DeviceEngine& engine) override {
        if (!engine.Bus()->GetExtra(kCodeProtectCell)) return {};
        return "The " + engine.PartName() +
               " is code protected: its program memory cannot be read. "
               "Erase it to remove the protection.";
    }
};

} // namespace

DeviceFamily& ThisFamily() {
    static Mcu family;
    return family;
}

} // namespace kovsim
