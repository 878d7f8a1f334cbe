// GAL-type PLDs: one buffer byte per fuse (0 or 1), the chip bulk-erased before every program,
// the security fuse programmed after a verified program when the loaded JEDEC file asks for it.
// A fuse map is programmed whole, so splits and sets and the device pointers are refused.
#include <string>

#include "device/DeviceCore.h"
#include "kovsim/Tables.h"

namespace kovsim {
namespace {

constexpr int kSecurityCell = 0;

enum : int { kProgramSecurity = 1, kSecurityStatus = 2 };

class Pld : public DeviceFamily {
public:
    Pld() : DeviceFamily(PldFamily()) {}

    void OnSelected(DeviceEngine& engine) override {
        engine.Framework().SetSplitsSets(0, 0);
        engine.Framework().WriteBool3("Hidden", "Suppress", "DevicePointers", true);
    }

    void AddMiscFunctions(DeviceEngine&, std::vector<KovMiscFunctRecord>& out) override {
        out.push_back(
            DeviceEngine::MiscRecord(kProgramSecurity, "Program Security Fuse", "LOCK",
                                     "Program the security fuse: the fuse map can no longer be read"));
        out.push_back(DeviceEngine::MiscRecord(kSecurityStatus, "Security Fuse Status", "INFO",
                                               "Show whether the security fuse is programmed"));
    }

    void RunMiscFunction(DeviceEngine& engine, int identifier) override {
        if (!engine.PrepareChip(false)) return;
        const FrameworkLink& fw = engine.Framework();
        bool secured = engine.Bus()->GetExtra(kSecurityCell) != 0;
        if (identifier == kSecurityStatus) {
            fw.Box("The security fuse of the " + engine.PartName() + " is " +
                       (secured ? "programmed: its fuse map cannot be read." : "not programmed."),
                   engine.Caption(), KOV_MB_OK | KOV_MB_ICONINFORMATION);
        } else if (identifier == kProgramSecurity) {
            if (secured) {
                fw.Box("The security fuse of the " + engine.PartName() + " is already programmed.",
                       engine.Caption(), KOV_MB_OK | KOV_MB_ICONINFORMATION);
                return;
            }
            if (!engine.Confirm(
                    "Program the security fuse of the " + engine.PartName() +
                    "?\nIts fuse map can then no longer be read or verified until it is erased.")) {
                fw.Log(2, "Programming the security fuse was cancelled");
                return;
            }
            engine.Bus()->SetExtra(kSecurityCell, 1);
            fw.Log(2, "Security fuse of the " + engine.PartName() + " programmed");
        }
    }

    std::string ReadLock(DeviceEngine& engine) override {
        if (!engine.Bus()->GetExtra(kSecurityCell)) return {};
        return "The security fuse of the " + engine.PartName() +
               " is programmed: its fuse map cannot be read.";
    }

    bool CheckImage(DeviceEngine& engine, const unsigned char* image, std::uint32_t words) override {
        for (std::uint32_t i = 0; i < words; ++i) {
            if (image[i] <= 1) continue;
            engine.Fail("Not a fuse map", "The buffer holds " + engine.Hex(image[i], 8) + " for fuse " +
                                              std::to_string(i) + ", but a fuse map holds only 0 and 1.\n" +
                                              "Load the JEDEC file of the " + engine.PartName() + ".");
            return false;
        }
        return true;
    }

    bool BeforeProgram(DeviceEngine& engine) override {
        int fuses = engine.Framework().ReadInt3("Hidden", "JEDEC", "FuseCount");
        std::uint32_t own = engine.Selected().words;
        if (fuses == 0 || std::uint32_t(fuses) == own) return true;
        std::string text = "The loaded JEDEC file is for a device with " + std::to_string(fuses) +
                           " fuses, but the " + engine.PartName() + " has " + std::to_string(own) + ".";
        engine.Framework().Log(1, text);
        if (engine.Confirm(text + "\nProgram it anyway?")) return true;
        engine.Framework().Log(1,
                               "Programming the " + engine.PartName() + " was cancelled: wrong fuse count");
        return false;
    }

    void AfterProgram(DeviceEngine& engine) override {
        if (!engine.Framework().ReadBool3("Hidden", "Device", "AutoSecure")) return;
        engine.Bus()->SetExtra(kSecurityCell, 1);
        engine.Framework().Log(2, "Security fuse of the " + engine.PartName() + " programmed");
    }
};

} // namespace

DeviceFamily& ThisFamily() {
    static Pld family;
    return family;
}

} // namespace kovsim
