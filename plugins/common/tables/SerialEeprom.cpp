#include <array>

#include "kovsim/Tables.h"

namespace kovsim {
namespace {

constexpr std::uint32_t K = 1024;
constexpr const char* kEight = "DIP8,SOIC8,TSSOP8";

constexpr Part I2c(const char* name, const char* maker, std::uint32_t bytes, std::uint32_t page) {
    return {name, maker, kEight, bytes, 8, 0, kNoId, kNoId, Algorithm::I2cEeprom, 2, kBothProgrammers, page};
}

// Organised as 8-bit bytes or 16-bit words by the ORG pin; `bytes` is the x8 size.
constexpr Part Mw(const char* name, const char* maker, std::uint32_t bytes) {
    return {name, maker, kEight, bytes, 8, 16, kNoId, kNoId, Algorithm::Microwire, 2, kBothProgrammers, 0};
}

constexpr std::array kParts{
    I2c("AT24C01A", "Atmel", 128, 8),
    I2c("AT24C02", "Atmel", 256, 8),
    I2c("AT24C04", "Atmel", 512, 16),
    I2c("AT24C08", "Atmel", 1 * K, 16),
    I2c("AT24C16", "Atmel", 2 * K, 16),
    I2c("AT24C32", "Atmel", 4 * K, 32),
    I2c("AT24C64", "Atmel", 8 * K, 32),
    I2c("AT24C128", "Atmel", 16 * K, 64),
    I2c("AT24C256", "Atmel", 32 * K, 64),
    I2c("AT24C512", "Atmel", 64 * K, 128),
    I2c("AT24C1024", "Atmel", 128 * K, 256),
    I2c("24LC01B", "Microchip", 128, 8),
    I2c("24LC02B", "Microchip", 256, 8),
    I2c("24LC04B", "Microchip", 512, 16),
    I2c("24LC08B", "Microchip", 1 * K, 16),
    I2c("24LC16B", "Microchip", 2 * K, 16),
    I2c("24LC32A", "Microchip", 4 * K, 32),
    I2c("24LC64", "Microchip", 8 * K, 32),
    I2c("24LC128", "Microchip", 16 * K, 64),
    I2c("24LC256", "Microchip", 32 * K, 64),
    I2c("24LC512", "Microchip", 64 * K, 128),
    I2c("24LC1025", "Microchip", 128 * K, 128),
    I2c("M24C01", "STMicroelectronics", 128, 16),
    I2c("M24C02", "STMicroelectronics", 256, 16),
    I2c("M24C04", "STMicroelectronics", 512, 16),
    I2c("M24C08", "STMicroelectronics", 1 * K, 16),
    I2c("M24C16", "STMicroelectronics", 2 * K, 16),
    I2c("M24C32", "STMicroelectronics", 4 * K, 32),
    I2c("M24C64", "STMicroelectronics", 8 * K, 32),
    I2c("M24128", "STMicroelectronics", 16 * K, 64),
    I2c("M24256", "STMicroelectronics", 32 * K, 64),
    I2c("M24512", "STMicroelectronics", 64 * K, 128),
    I2c("M24M01", "STMicroelectronics", 128 * K, 256),
    I2c("CAT24C01", "ON Semiconductor", 128, 16),
    I2c("CAT24C02", "ON Semiconductor", 256, 16),
    I2c("CAT24C04", "ON Semiconductor", 512, 16),
    I2c("CAT24C08", "ON Semiconductor", 1 * K, 16),
    I2c("CAT24C16", "ON Semiconductor", 2 * K, 16),
    I2c("CAT24C32", "ON Semiconductor", 4 * K, 32),
    I2c("CAT24C64", "ON Semiconductor", 8 * K, 32),
    I2c("CAT24C128", "ON Semiconductor", 16 * K, 64),
    I2c("CAT24C256", "ON Semiconductor", 32 * K, 64),
    I2c("CAT24C512", "ON Semiconductor", 64 * K, 128),

    Mw("AT93C46", "Atmel", 128),
    Mw("AT93C56", "Atmel", 256),
    Mw("AT93C66", "Atmel", 512),
    Mw("AT93C86", "Atmel", 2 * K),
    Mw("93LC46C", "Microchip", 128),
    Mw("93LC56C", "Microchip", 256),
    Mw("93LC66C", "Microchip", 512),
    Mw("93LC76C", "Microchip", 1 * K),
    Mw("93LC86C", "Microchip", 2 * K),
    Mw("M93C46", "STMicroelectronics", 128),
    Mw("M93C56", "STMicroelectronics", 256),
    Mw("M93C66", "STMicroelectronics", 512),
    Mw("M93C76", "STMicroelectronics", 1 * K),
    Mw("M93C86", "STMicroelectronics", 2 * K),
    Mw("CAT93C46", "ON Semiconductor", 128),
    Mw("CAT93C56", "ON Semiconductor", 256),
    Mw("CAT93C66", "ON Semiconductor", 512),
    Mw("CAT93C76", "ON Semiconductor", 1 * K),
    Mw("CAT93C86", "ON Semiconductor", 2 * K),
};

constexpr Family kFamily{"serialee", "EEPROM", kParts};

} // namespace

const Family& SerialEepromFamily() {
    return kFamily;
}

} // namespace kovsim
