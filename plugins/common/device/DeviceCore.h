#pragma once
// What every simulated device library does: enumerate its family's devices, select one, and run
// the device operations on the chip in the bound programmer's socket with the checks a real
// programmer makes (chip present, IDs, blank before program, verify after program), the progress
// box with Abort, realistic timing and the session's device switches. A family adds its own
// behaviour through DeviceFamily.
#include <cstdint>
#include <string>
#include <vector>

#include "kov_plugin.h"
#include "kovsim/Bus.h"
#include "kovsim/Framework.h"
#include "kovsim/Records.h"

namespace kovsim {

// Results of the device operations besides KOV_SUCCESS.
inline constexpr int kFailed = 0;
inline constexpr int kAborted = 2;

enum class NarrowOrder : std::uint8_t { LowByteFirst, HighByteFirst };

struct AlgorithmTraits {
    bool writeReplaces;           // EEPROM: a write sets the word
    bool eraseBeforeProgram;      // the chip is always bulk-erased by Program
    bool blankCheckBeforeProgram; // programming can only clear bits, so it must start blank
    bool eraseRangeOnly;          // Erase clears the device range, not the whole chip
    double readUs;                // per word
    double programUs;             // per write cycle or pulse; I2C parts take theirs from the page
    int maxPulses;
    double eraseMs;        // chip erase
    NarrowOrder narrow;    // which byte of a chip word comes first in 8-bit mode
    const char* eraseHint; // how to get a blank chip
};
const AlgorithmTraits& TraitsOf(Algorithm algorithm);

class DeviceEngine;

class DeviceFamily {
public:
    explicit DeviceFamily(const Family& data) : data_(data) {}
    virtual ~DeviceFamily() = default;
    const Family& Data() const { return data_; }

    virtual void OnSelected(DeviceEngine&) {}
    virtual void AddMiscFunctions(DeviceEngine&, std::vector<KovMiscFunctRecord>&) {}
    virtual void RunMiscFunction(DeviceEngine&, int /*identifier*/) {}
    // Why the chip's contents cannot be read (security fuse, code protection); "" when they can.
    virtual std::string ReadLock(DeviceEngine&) { return {}; }
    // False, after telling the user, when the image must not be programmed or compared.
    virtual bool CheckImage(DeviceEngine&, const unsigned char* /*image*/, std::uint32_t /*words*/) {
        return true;
    }
    virtual bool BeforeProgram(DeviceEngine&) { return true; }
    virtual void AfterProgram(DeviceEngine&) {}
    // Whether the chip ignores writes and erases at a chip address (a protected sector).
    virtual bool WriteLocked(DeviceEngine&, std::uint32_t /*chipAddress*/) { return false; }
    virtual std::string WriteLockNote(DeviceEngine&, std::uint32_t /*chipAddress*/) { return {}; }
    // Erases the whole chip: KOV_SUCCESS, kFailed (after telling the user) or kAborted.
    virtual int EraseChip(DeviceEngine& engine);
    // Mask applied to the word sums that form the device and last checksums.
    virtual std::uint32_t ChecksumMask() const { return 0xFFFFFFFFu; }

private:
    const Family& data_;
};

// Defined once by every device library.
DeviceFamily& ThisFamily();

class DeviceEngine {
public:
    explicit DeviceEngine(DeviceFamily& family);
    ~DeviceEngine();
    DeviceEngine(const DeviceEngine&) = delete;
    DeviceEngine& operator=(const DeviceEngine&) = delete;

    // The exports.
    int SetupFramework(const FrameStruct* frame);
    int SetupProgrammer(const char* path);
    void ResetDevices() { nextDevice_ = 0; }
    const KovDeviceRecord* NextDevice();
    int Select(const char* name, const char* maker, const char* package, int pins, int width);
    int WordSize() const { return selected_ ? static_cast<int>(selected_->width) : 0; }
    std::uint32_t Size() const { return selected_ ? selected_->words : 0; }
    std::uint32_t EraseValue() const;
    int Read(std::uint32_t start, std::uint32_t end, unsigned char* image);
    int Program(std::uint32_t start, std::uint32_t end, const unsigned char* image);
    int Verify(std::uint32_t start, std::uint32_t end, const unsigned char* image);
    int BlankCheck(std::uint32_t start, std::uint32_t end);
    int Erase(std::uint32_t start, std::uint32_t end);
    int Checksum(std::uint32_t start, std::uint32_t end, std::uint32_t* checksum);
    int LastChecksum(std::uint32_t* checksum) const;
    int BufferChecksum(std::uint32_t start, std::uint32_t end, std::uint32_t* checksum,
                       const unsigned char* image);
    void ResetMisc();
    const KovMiscFunctRecord* NextMisc();
    int Dispatch(int identifier);
    int LastResult() const { return lastResult_; }

    // For the families.
    const FrameworkLink& Framework() const { return framework_; }
    const KovSimBus* Bus() const { return bus_; }
    const DeviceEntry& Selected() const { return *selected_; }
    std::string PartName() const;
    std::string Caption() const;     // message box caption: programmer and part
    std::uint16_t WordMask() const;  // of the selected width
    std::uint32_t ChipWords() const; // words of the chip in its widest organisation
    bool PrepareChip(bool checkIds); // chip present and, when asked, the right one
    // Runs a wait of the chip (an erase) with the progress box; false when aborted.
    bool Wait(const std::string& function, double milliseconds);
    bool Confirm(const std::string& text);                          // a Yes/No question; only Yes counts
    void Fail(const std::string& caption, const std::string& text); // logged and shown
    std::string Hex(std::uint32_t value, unsigned width) const;     // at least two digits
    void Commit();

    static KovMiscFunctRecord MiscRecord(int identifier, const char* name, const char* glyph,
                                         const char* tooltip);

private:
    enum class Compare { Match, Differ, Aborted, Failed };
    struct Mismatch {
        std::uint32_t address;
        std::uint16_t device;
        std::uint16_t expected;
    };

    bool Prepare(std::uint32_t start, std::uint32_t end);
    bool CheckIds();
    bool ReadWords(std::uint32_t first, std::uint32_t count, std::uint16_t* out);
    bool WriteWord(std::uint32_t address, std::uint16_t value);
    std::uint32_t ChipAddress(std::uint32_t address) const;
    double WriteUs() const; // chip time of one write cycle or pulse
    // Compares the range with the image, or with the erased value when image is null.
    Compare CompareRange(std::uint32_t start, std::uint32_t end, const unsigned char* image,
                         const std::string& verb, std::vector<Mismatch>& mismatches, std::uint64_t& differing,
                         std::uint32_t& sum);
    // CompareRange, telling the user about differences: KOV_SUCCESS, kFailed or kAborted.
    int CheckRange(std::uint32_t start, std::uint32_t end, const unsigned char* image,
                   const std::string& verb, const std::string& title, const std::string& intro,
                   std::uint32_t& sum);
    void ReportMismatches(const std::string& title, const std::string& intro,
                          const std::vector<Mismatch>& mismatches, std::uint64_t differing);
    int ProgramRange(std::uint32_t start, std::uint32_t end, const unsigned char* image);
    bool EraseRange(std::uint32_t start, std::uint32_t end);
    void SetLast(std::uint32_t sum);
    // The end of a successful operation: its checksum becomes the last one, and the log tells
    // what was done, so that a run without success boxes still leaves its record.
    int Succeeded(const std::string& done, std::uint32_t start, std::uint32_t end, std::uint32_t sum);
    std::uint16_t ImageWord(const unsigned char* image, std::uint32_t index) const;

    DeviceFamily& family_;
    const AlgorithmTraits* traits_ = nullptr;
    FrameworkLink framework_;
    void* programmerHandle_ = nullptr;
    const KovSimBus* bus_ = nullptr;
    std::vector<DeviceEntry> entries_;
    std::size_t nextDevice_ = 0;
    KovDeviceRecord record_{};
    const DeviceEntry* selected_ = nullptr;
    bool narrow_ = false;
    std::vector<KovMiscFunctRecord> misc_;
    std::size_t nextMisc_ = 0;
    KovMiscFunctRecord miscRecord_{};
    bool haveLast_ = false;
    std::uint32_t last_ = 0;
    int lastResult_ = 0;
};

DeviceEngine& Engine();

// Identifier of the "Read Device ID" function that every part with an ID offers.
inline constexpr int kReadIdFunction = 100;

} // namespace kovsim
