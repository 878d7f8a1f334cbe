#include <array>

#include "kovsim/Tables.h"

namespace kovsim {
namespace {

constexpr std::uint32_t K = 1024;

// `words` counts 16-bit words; a part with a BYTE pin is offered in both organisations.
constexpr Part Wide(const char* name, const char* maker, const char* packages, std::uint32_t words,
                    std::uint16_t mfr, std::uint16_t dev, std::uint8_t altWidth = 0) {
    return {name, maker, packages, words, 16, altWidth, mfr, dev, Algorithm::UvEprom, 2, kBothProgrammers, 0};
}

constexpr std::array kParts{
    Wide("AM27C1024", "AMD", "DIP40,PLCC44", 64 * K, kNoId, kNoId),
    Wide("AT27C1024", "Atmel", "DIP40,PLCC44", 64 * K, 0x1E, 0xF1),
    Wide("M27C1024", "STMicroelectronics", "DIP40,PLCC44", 64 * K, 0x20, 0x8C),
    Wide("27C1024", "Microchip", "DIP40,PLCC44", 64 * K, kNoId, kNoId),
    Wide("NM27C1024", "National Semiconductor", "DIP40,PLCC44", 64 * K, kNoId, kNoId),
    Wide("AM27C2048", "AMD", "DIP40,PLCC44", 128 * K, kNoId, kNoId),
    Wide("M27C202", "STMicroelectronics", "DIP40,PLCC44", 128 * K, kNoId, kNoId),
    Wide("MX27C2048", "Macronix", "DIP40,PLCC44", 128 * K, kNoId, kNoId),
    Wide("AM27C4096", "AMD", "DIP40,PLCC44", 256 * K, kNoId, kNoId),
    Wide("AT27C4096", "Atmel", "DIP40,PLCC44", 256 * K, 0x1E, 0xF4),
    Wide("M27C4002", "STMicroelectronics", "DIP40,PLCC44", 256 * K, 0x20, 0x44),
    Wide("MX27C4096", "Macronix", "DIP40,PLCC44", 256 * K, kNoId, kNoId),
    Wide("M27C400", "STMicroelectronics", "DIP40", 256 * K, kNoId, kNoId, 8),
    Wide("M27C800", "STMicroelectronics", "DIP42", 512 * K, 0x20, 0xB2, 8),
    Wide("M27C160", "STMicroelectronics", "DIP42", 1024 * K, 0x20, 0xB1, 8),
    Wide("M27C322", "STMicroelectronics", "DIP42", 2048 * K, 0x20, 0x34),
};

constexpr Family kFamily{"eprom16", "EPROM", kParts};

} // namespace

const Family& Eprom16Family() {
    return kFamily;
}

} // namespace kovsim
