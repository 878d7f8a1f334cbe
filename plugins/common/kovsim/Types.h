#pragma once
// The device data layer shared by every simulated device library: one row per chip (a maker's
// part), expanded into one device record per package and data width.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace kovsim {

// Programmer ids of the simulated programmers; a record's mask is a combination of them.
inline constexpr std::uint32_t kUsbProgrammer = 2;
inline constexpr std::uint32_t kParallelProgrammer = 4;
inline constexpr std::uint32_t kBothProgrammers = kUsbProgrammer | kParallelProgrammer;

inline constexpr std::uint16_t kNoId = 0xFFFF;

// How a chip is programmed, erased and timed.
enum class Algorithm : std::uint8_t {
    UvEprom,    // pulses clear bits; erased only by ultraviolet light
    FlashAmd,   // byte program, chip erase, per-sector protection
    FlashSst,   // byte program, chip erase, no protection
    FlashAtmel, // byte program, chip erase, one-time boot block lockout
    I2cEeprom,  // page writes replace data
    Microwire,  // word writes replace data, ERAL erases
    Gal,        // bulk erase before every program, security fuse
    Pic12,      // 12-bit program words, bulk erase, code protection
    Pic14,      // 14-bit program words, bulk erase, code protection
};

struct Package {
    const char* name; // "DIP28"
    std::uint16_t pins;
    std::uint32_t programmers; // which programmers have a socket or adapter for it
};

// Flash sector layouts, packed into Part::param: uniform sectors of `uniformKb` KiB, with the
// boot group (16+8+8+32 KiB, or one Atmel boot block of `bootKb`) at the top or the bottom.
enum class Boot : std::uint8_t { None = 0, Top = 1, Bottom = 2, AtmelTop = 3, AtmelBottom = 4 };
constexpr std::uint32_t Sectors(std::uint32_t uniformKb, Boot boot = Boot::None, std::uint32_t bootKb = 0) {
    return uniformKb | (static_cast<std::uint32_t>(boot) << 10) | (bootKb << 16);
}
constexpr std::uint32_t SectorUniformKb(std::uint32_t param) {
    return param & 0x3FF;
}
constexpr Boot SectorBoot(std::uint32_t param) {
    return static_cast<Boot>((param >> 10) & 0x7);
}
constexpr std::uint32_t SectorBootKb(std::uint32_t param) {
    return param >> 16;
}

struct Part {
    const char* name;      // as the maker prints it: "AT27C256R"
    const char* maker;     // "Atmel"
    const char* packages;  // comma list of Package names: "DIP28,PLCC32"
    std::uint32_t words;   // size in words of `width` bits
    std::uint8_t width;    // data width in bits
    std::uint8_t altWidth; // the other organisation of the same chip (ORG or BYTE pin), or 0
    std::uint16_t mfrId;   // manufacturer code, kNoId when the chip has none
    std::uint16_t devId;   // device code (in the widest organisation), kNoId when none
    Algorithm algorithm;
    std::uint8_t recordType;   // 1: offered to the parallel programmer only; 2: by mask
    std::uint32_t programmers; // supported-programmers mask (type 2)
    std::uint32_t param;       // flash: Sectors(); I2C: page size in bytes; others 0
};

struct Family {
    const char* library;  // file name without ".so"
    const char* category; // device type shown first in the selection
    std::span<const Part> parts;
};

const Package* FindPackage(std::string_view name);
std::span<const Package> AllPackages();

} // namespace kovsim
