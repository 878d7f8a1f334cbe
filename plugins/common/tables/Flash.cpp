#include <array>

#include "kovsim/Tables.h"

namespace kovsim {
namespace {

constexpr std::uint32_t K = 1024;

// `words` counts bytes; parts with a BYTE pin are offered as 8 and 16 bits wide and carry their
// device code as read in word mode.
constexpr Part Amd(const char* name, const char* maker, const char* packages, std::uint32_t bytes,
                   std::uint16_t mfr, std::uint16_t dev, std::uint32_t sectors, std::uint8_t altWidth = 0) {
    return {name,   maker, packages, bytes, 8, altWidth, mfr, dev, Algorithm::FlashAmd, 2, kBothProgrammers,
            sectors};
}

// 3 V parts: only the USB programmer switches its supplies low enough.
constexpr Part Sst(const char* name, const char* packages, std::uint32_t bytes, std::uint16_t dev,
                   std::uint32_t programmers = kBothProgrammers) {
    return {name, "SST", packages, bytes, 8, 0, 0xBF, dev, Algorithm::FlashSst, 2, programmers, Sectors(4)};
}

constexpr Part Atmel(const char* name, const char* packages, std::uint32_t bytes, std::uint16_t dev,
                     Boot boot, std::uint32_t bootKb) {
    return {name,
            "Atmel",
            packages,
            bytes,
            8,
            0,
            0x1F,
            dev,
            Algorithm::FlashAtmel,
            2,
            kBothProgrammers,
            Sectors(0, boot, bootKb)};
}

constexpr const char* kDip32 = "DIP32,PLCC32,TSOP32";
constexpr const char* kWide = "TSOP48,SO44";

constexpr std::array kParts{
    Amd("AM29F010", "AMD", kDip32, 128 * K, 0x01, 0x20, Sectors(16)),
    Amd("AM29F040B", "AMD", kDip32, 512 * K, 0x01, 0xA4, Sectors(64)),
    Amd("AM29F002T", "AMD", kDip32, 256 * K, 0x01, 0xB0, Sectors(64, Boot::Top)),
    Amd("AM29F002B", "AMD", kDip32, 256 * K, 0x01, 0x34, Sectors(64, Boot::Bottom)),
    Amd("AM29F080B", "AMD", "TSOP40", 1024 * K, 0x01, 0xD5, Sectors(64)),
    Amd("AM29F016D", "AMD", "TSOP40,SO44", 2048 * K, 0x01, 0xAD, Sectors(64)),
    Amd("AM29F200BT", "AMD", kWide, 256 * K, 0x01, 0x2251, Sectors(64, Boot::Top), 16),
    Amd("AM29F200BB", "AMD", kWide, 256 * K, 0x01, 0x2257, Sectors(64, Boot::Bottom), 16),
    Amd("AM29F400BT", "AMD", kWide, 512 * K, 0x01, 0x2223, Sectors(64, Boot::Top), 16),
    Amd("AM29F400BB", "AMD", kWide, 512 * K, 0x01, 0x22AB, Sectors(64, Boot::Bottom), 16),
    Amd("AM29F800BT", "AMD", kWide, 1024 * K, 0x01, 0x22D6, Sectors(64, Boot::Top), 16),
    Amd("AM29F800BB", "AMD", kWide, 1024 * K, 0x01, 0x2258, Sectors(64, Boot::Bottom), 16),
    Amd("MBM29F040C", "Fujitsu", kDip32, 512 * K, 0x04, 0xA4, Sectors(64)),
    Amd("MBM29F080A", "Fujitsu", "TSOP40", 1024 * K, 0x04, 0xD5, Sectors(64)),
    Amd("MBM29F002TC", "Fujitsu", kDip32, 256 * K, 0x04, 0xB0, Sectors(64, Boot::Top)),
    Amd("MBM29F002BC", "Fujitsu", kDip32, 256 * K, 0x04, 0x34, Sectors(64, Boot::Bottom)),
    Amd("MBM29F400TC", "Fujitsu", kWide, 512 * K, 0x04, 0x2223, Sectors(64, Boot::Top), 16),
    Amd("MBM29F400BC", "Fujitsu", kWide, 512 * K, 0x04, 0x22AB, Sectors(64, Boot::Bottom), 16),
    Amd("MBM29F800TA", "Fujitsu", kWide, 1024 * K, 0x04, 0x22D6, Sectors(64, Boot::Top), 16),
    Amd("MBM29F800BA", "Fujitsu", kWide, 1024 * K, 0x04, 0x2258, Sectors(64, Boot::Bottom), 16),
    Amd("M29F010B", "STMicroelectronics", kDip32, 128 * K, 0x20, 0x20, Sectors(16)),
    Amd("M29F040B", "STMicroelectronics", kDip32, 512 * K, 0x20, 0xE2, Sectors(64)),
    Amd("M29F002BT", "STMicroelectronics", kDip32, 256 * K, 0x20, 0xB0, Sectors(64, Boot::Top)),
    Amd("M29F002BB", "STMicroelectronics", kDip32, 256 * K, 0x20, 0x34, Sectors(64, Boot::Bottom)),
    Amd("M29F400BT", "STMicroelectronics", kWide, 512 * K, 0x20, 0x00D5, Sectors(64, Boot::Top), 16),
    Amd("M29F400BB", "STMicroelectronics", kWide, 512 * K, 0x20, 0x00D6, Sectors(64, Boot::Bottom), 16),
    Amd("M29F800AT", "STMicroelectronics", kWide, 1024 * K, 0x20, 0x00EC, Sectors(64, Boot::Top), 16),
    Amd("M29F800AB", "STMicroelectronics", kWide, 1024 * K, 0x20, 0x0058, Sectors(64, Boot::Bottom), 16),
    Amd("MX29F040", "Macronix", kDip32, 512 * K, 0xC2, 0xA4, Sectors(64)),
    Amd("MX29F001T", "Macronix", kDip32, 128 * K, 0xC2, 0x18, Sectors(64, Boot::Top)),
    Amd("MX29F001B", "Macronix", kDip32, 128 * K, 0xC2, 0x19, Sectors(64, Boot::Bottom)),
    Amd("MX29F002T", "Macronix", kDip32, 256 * K, 0xC2, 0xB0, Sectors(64, Boot::Top)),
    Amd("MX29F002B", "Macronix", kDip32, 256 * K, 0xC2, 0x34, Sectors(64, Boot::Bottom)),
    Amd("MX29F400T", "Macronix", kWide, 512 * K, 0xC2, 0x2223, Sectors(64, Boot::Top), 16),
    Amd("MX29F400B", "Macronix", kWide, 512 * K, 0xC2, 0x22AB, Sectors(64, Boot::Bottom), 16),
    Amd("HY29F040A", "Hynix", kDip32, 512 * K, 0xAD, 0xA4, Sectors(64)),
    Amd("HY29F002T", "Hynix", kDip32, 256 * K, 0xAD, 0xB0, Sectors(64, Boot::Top)),
    Amd("HY29F002B", "Hynix", kDip32, 256 * K, 0xAD, 0x34, Sectors(64, Boot::Bottom)),
    Amd("HY29F400T", "Hynix", kWide, 512 * K, 0xAD, 0x2223, Sectors(64, Boot::Top), 16),
    Amd("HY29F400B", "Hynix", kWide, 512 * K, 0xAD, 0x22AB, Sectors(64, Boot::Bottom), 16),
    Amd("HY29F800T", "Hynix", kWide, 1024 * K, 0xAD, 0x22D6, Sectors(64, Boot::Top), 16),
    Amd("HY29F800B", "Hynix", kWide, 1024 * K, 0xAD, 0x2258, Sectors(64, Boot::Bottom), 16),
    Amd("A29040B", "AMIC", kDip32, 512 * K, 0x37, 0x86, Sectors(64)),
    Amd("A29002T", "AMIC", kDip32, 256 * K, 0x37, 0x8C, Sectors(64, Boot::Top)),
    Amd("A29002U", "AMIC", kDip32, 256 * K, 0x37, 0x0D, Sectors(64, Boot::Bottom)),
    Amd("EN29F010", "EON", kDip32, 128 * K, 0x1C, 0x20, Sectors(16)),
    Amd("EN29F002T", "EON", kDip32, 256 * K, 0x1C, 0x92, Sectors(64, Boot::Top)),
    Amd("EN29F002B", "EON", kDip32, 256 * K, 0x1C, 0x97, Sectors(64, Boot::Bottom)),

    Sst("SST39SF512", kDip32, 64 * K, 0xB4),
    Sst("SST39SF010A", kDip32, 128 * K, 0xB5),
    Sst("SST39SF020A", kDip32, 256 * K, 0xB6),
    Sst("SST39SF040", kDip32, 512 * K, 0xB7),
    Sst("SST39VF512", "PLCC32,TSOP32", 64 * K, 0xD4, kUsbProgrammer),
    Sst("SST39VF010", "PLCC32,TSOP32", 128 * K, 0xD5, kUsbProgrammer),
    Sst("SST39VF020", "PLCC32,TSOP32", 256 * K, 0xD6, kUsbProgrammer),
    Sst("SST39VF040", "PLCC32,TSOP32", 512 * K, 0xD7, kUsbProgrammer),

    Atmel("AT49F512", kDip32, 64 * K, 0x03, Boot::AtmelBottom, 8),
    Atmel("AT49F010", kDip32, 128 * K, 0x17, Boot::AtmelBottom, 8),
    Atmel("AT49F001", kDip32, 128 * K, 0x05, Boot::AtmelBottom, 16),
    Atmel("AT49F001T", kDip32, 128 * K, 0x04, Boot::AtmelTop, 16),
    Atmel("AT49F002", kDip32, 256 * K, 0x07, Boot::AtmelBottom, 16),
    Atmel("AT49F002T", kDip32, 256 * K, 0x08, Boot::AtmelTop, 16),
    Atmel("AT49F020", kDip32, 256 * K, 0x0B, Boot::AtmelBottom, 8),
    Atmel("AT49F040", kDip32, 512 * K, 0x13, Boot::AtmelBottom, 16),
    Atmel("AT49F080", "TSOP40", 1024 * K, 0x23, Boot::AtmelBottom, 16),
    Atmel("AT49F080T", "TSOP40", 1024 * K, 0x27, Boot::AtmelTop, 16),
};

constexpr Family kFamily{"flash", "Flash", kParts};

} // namespace

const Family& FlashFamily() {
    return kFamily;
}

} // namespace kovsim
