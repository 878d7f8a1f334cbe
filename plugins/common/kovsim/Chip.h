#pragma once
// A simulated chip: its words, the physical rules of writing them, a few extra cells (security
// fuse, protection bits, configuration) and the state file that keeps it between runs.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kovsim {

struct ChipSpec {
    std::string maker;
    std::string name;
    std::string package;
    std::string family; // shown as the programmer's family module
    unsigned width = 8; // 1 to 16 bits
    std::uint32_t words = 0;
    std::uint16_t mfrId = 0xFFFF; // 0xFFFF: the chip has no such code
    std::uint16_t devId = 0xFFFF;
    bool writeReplaces = false; // EEPROM: a write sets the word; otherwise it can only clear bits

    // Stable name of the chip's state file (letters, digits, '-', '_', '.').
    std::string Key() const;
};

class SimChip {
public:
    static constexpr int kExtraCells = 8;

    explicit SimChip(ChipSpec spec); // a blank (erased) chip

    const ChipSpec& Spec() const { return spec_; }
    std::uint16_t Mask() const { return mask_; }
    std::uint16_t Word(std::uint32_t address) const { return words_[address]; }

    // One write cycle: programming pulls 1 bits to 0 (or replaces the word on an EEPROM).
    void Write(std::uint32_t address, std::uint16_t value);
    void Erase(std::uint32_t first, std::uint32_t count);
    void EraseAll();

    std::uint64_t Extra(int cell) const { return extra_[cell]; }
    void SetExtra(int cell, std::uint64_t value);

    bool Dirty() const { return dirty_; }
    void MarkClean() { dirty_ = false; }

    // State file bytes; Parse checks every field and the checksum and says what is wrong.
    std::string Serialize() const;
    static bool Parse(const std::string& bytes, SimChip& chip, std::string& problem);

private:
    ChipSpec spec_;
    std::uint16_t mask_;
    std::vector<std::uint16_t> words_;
    std::array<std::uint64_t, kExtraCells> extra_{};
    bool dirty_ = false;
};

std::uint32_t Crc32(const void* data, std::size_t size);

} // namespace kovsim
