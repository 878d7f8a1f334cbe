#include <array>

#include "kovsim/Tables.h"

namespace kovsim {
namespace {

constexpr std::uint32_t K = 1024;

// NMOS parts need a 21 V or 25 V programming supply that only the parallel programmer has.
constexpr Part Nmos(const char* name, const char* maker, const char* packages, std::uint32_t words,
                    std::uint16_t mfr = kNoId, std::uint16_t dev = kNoId) {
    return {name, maker, packages, words, 8, 0, mfr, dev, Algorithm::UvEprom, 1, kParallelProgrammer, 0};
}

constexpr Part Cmos(const char* name, const char* maker, const char* packages, std::uint32_t words,
                    std::uint16_t mfr, std::uint16_t dev) {
    return {name, maker, packages, words, 8, 0, mfr, dev, Algorithm::UvEprom, 2, kBothProgrammers, 0};
}

constexpr std::array kParts{
    Nmos("2716", "Intel", "DIP24", 2 * K),
    Nmos("M2716", "SGS-Thomson", "DIP24", 2 * K),
    Nmos("HN462716", "Hitachi", "DIP24", 2 * K),
    Nmos("MBM2716", "Fujitsu", "DIP24", 2 * K),
    Nmos("TMS2516", "Texas Instruments", "DIP24", 2 * K),
    Nmos("2732", "Intel", "DIP24", 4 * K),
    Nmos("2732A", "Intel", "DIP24", 4 * K),
    Nmos("M2732A", "SGS-Thomson", "DIP24", 4 * K),
    Nmos("HN462732", "Hitachi", "DIP24", 4 * K),
    Nmos("TMS2532", "Texas Instruments", "DIP24", 4 * K),
    Nmos("2764", "Intel", "DIP28", 8 * K),
    Nmos("2764A", "Intel", "DIP28", 8 * K, 0x89, 0x08),
    Nmos("M2764A", "SGS-Thomson", "DIP28", 8 * K, 0x9B, 0x08),
    Nmos("HN482764", "Hitachi", "DIP28", 8 * K),
    Nmos("27128", "Intel", "DIP28", 16 * K),
    Nmos("27128A", "Intel", "DIP28", 16 * K, 0x89, 0x89),
    Nmos("M27128A", "SGS-Thomson", "DIP28", 16 * K, 0x9B, 0x89),
    Nmos("27256", "Intel", "DIP28", 32 * K, 0x89, 0x04),
    Nmos("M27256", "SGS-Thomson", "DIP28", 32 * K, 0x9B, 0x04),
    Nmos("27512", "Intel", "DIP28", 64 * K, 0x89, 0x0D),
    Nmos("M27512", "SGS-Thomson", "DIP28", 64 * K, 0x9B, 0x0D),

    Cmos("27C64", "Intel", "DIP28,PLCC32", 8 * K, 0x89, 0x07),
    Cmos("AM27C64", "AMD", "DIP28,PLCC32", 8 * K, 0x01, 0x15),
    Cmos("M27C64A", "STMicroelectronics", "DIP28,PLCC32", 8 * K, 0x20, 0x08),
    Cmos("27C64", "Microchip", "DIP28,PLCC32", 8 * K, 0x29, 0x07),
    Cmos("27C128", "Intel", "DIP28,PLCC32", 16 * K, 0x89, 0x83),
    Cmos("AM27C128", "AMD", "DIP28,PLCC32", 16 * K, 0x01, 0x16),
    Cmos("M27C128A", "STMicroelectronics", "DIP28,PLCC32", 16 * K, 0x20, 0x89),
    Cmos("27C128", "Microchip", "DIP28,PLCC32", 16 * K, 0x29, 0x83),
    Cmos("27C256", "Intel", "DIP28,PLCC32", 32 * K, 0x89, 0x8C),
    Cmos("AM27C256", "AMD", "DIP28,PLCC32", 32 * K, 0x01, 0x10),
    Cmos("AT27C256R", "Atmel", "DIP28,PLCC32", 32 * K, 0x1E, 0x8C),
    Cmos("M27C256B", "STMicroelectronics", "DIP28,PLCC32", 32 * K, 0x20, 0x8D),
    Cmos("27C256", "Microchip", "DIP28,PLCC32", 32 * K, 0x29, 0x8C),
    Cmos("27C512", "Intel", "DIP28,PLCC32", 64 * K, 0x89, 0x0D),
    Cmos("AM27C512", "AMD", "DIP28,PLCC32", 64 * K, 0x01, 0x91),
    Cmos("AT27C512R", "Atmel", "DIP28,PLCC32", 64 * K, 0x1E, 0x0D),
    Cmos("M27C512", "STMicroelectronics", "DIP28,PLCC32", 64 * K, 0x20, 0x3D),
    Cmos("27C010", "Intel", "DIP32,PLCC32", 128 * K, 0x89, 0x05),
    Cmos("AM27C010", "AMD", "DIP32,PLCC32", 128 * K, 0x01, 0x0E),
    Cmos("AT27C010", "Atmel", "DIP32,PLCC32", 128 * K, 0x1E, 0x05),
    Cmos("M27C1001", "STMicroelectronics", "DIP32,PLCC32,TSOP32", 128 * K, 0x20, 0x05),
    Cmos("AM27C020", "AMD", "DIP32,PLCC32", 256 * K, 0x01, 0x97),
    Cmos("AT27C020", "Atmel", "DIP32,PLCC32", 256 * K, 0x1E, 0x86),
    Cmos("M27C2001", "STMicroelectronics", "DIP32,PLCC32,TSOP32", 256 * K, 0x20, 0x61),
    Cmos("AM27C040", "AMD", "DIP32,PLCC32", 512 * K, 0x01, 0x9B),
    Cmos("AT27C040", "Atmel", "DIP32,PLCC32", 512 * K, 0x1E, 0x0B),
    Cmos("M27C4001", "STMicroelectronics", "DIP32,PLCC32,TSOP32", 512 * K, 0x20, 0x41),
    Cmos("AT27C080", "Atmel", "DIP32,PLCC32", 1024 * K, 0x1E, 0x8A),
    Cmos("M27C801", "STMicroelectronics", "DIP32,PLCC32", 1024 * K, 0x20, 0x42),
};

constexpr Family kFamily{"eprom8", "EPROM", kParts};

} // namespace

const Family& Eprom8Family() {
    return kFamily;
}

} // namespace kovsim
