#include <array>

#include "kovsim/Tables.h"

namespace kovsim {
namespace {

// Program memory only, in words; the 14-bit parts report a device id (revision bits cleared).
constexpr Part Pic12(const char* name, const char* packages, std::uint32_t words) {
    return {name, "Microchip",      packages, words, 12, 0, kNoId, kNoId, Algorithm::Pic12,
            2,    kBothProgrammers, 0};
}

constexpr Part Pic14(const char* name, const char* packages, std::uint32_t words, std::uint16_t dev,
                     std::uint8_t type = 2) {
    return {name,
            "Microchip",
            packages,
            words,
            14,
            0,
            kNoId,
            dev,
            Algorithm::Pic14,
            type,
            type == 1 ? kParallelProgrammer : kBothProgrammers,
            0};
}

constexpr std::array kParts{
    Pic12("PIC10F200", "DIP8,SOT23-6", 256),
    Pic12("PIC10F202", "DIP8,SOT23-6", 512),
    Pic12("PIC10F204", "DIP8,SOT23-6", 256),
    Pic12("PIC10F206", "DIP8,SOT23-6", 512),
    Pic12("PIC10F220", "DIP8,SOT23-6", 256),
    Pic12("PIC10F222", "DIP8,SOT23-6", 512),
    Pic12("PIC12F508", "DIP8,SOIC8", 512),
    Pic12("PIC12F509", "DIP8,SOIC8", 1024),
    Pic12("PIC12F510", "DIP8,SOIC8", 1024),
    Pic12("PIC16F505", "DIP14,SOIC14", 1024),
    Pic12("PIC16F506", "DIP14,SOIC14", 1024),
    Pic12("PIC16F54", "DIP18,SOIC18", 512),
    Pic12("PIC16F57", "DIP28,SOIC28", 2048),
    Pic12("PIC16F59", "DIP40", 2048),

    Pic14("PIC16C84", "DIP18", 1024, kNoId, 1),
    Pic14("PIC16F84A", "DIP18,SOIC18", 1024, 0x0560),
    Pic14("PIC16F627", "DIP18,SOIC18", 1024, 0x07A0),
    Pic14("PIC16F628", "DIP18,SOIC18", 2048, 0x07C0),
    Pic14("PIC16F627A", "DIP18,SOIC18", 1024, 0x1040),
    Pic14("PIC16F628A", "DIP18,SOIC18", 2048, 0x1060),
    Pic14("PIC16F648A", "DIP18,SOIC18", 4096, 0x1100),
    Pic14("PIC16F716", "DIP18,SOIC18", 2048, 0x1140),
    Pic14("PIC16F818", "DIP18,SOIC18", 1024, 0x04C0),
    Pic14("PIC16F819", "DIP18,SOIC18", 2048, 0x04E0),
    Pic14("PIC16F87", "DIP18,SOIC18", 4096, 0x0720),
    Pic14("PIC16F88", "DIP18,SOIC18", 4096, 0x0760),
    Pic14("PIC12F629", "DIP8,SOIC8", 1024, 0x0F80),
    Pic14("PIC12F675", "DIP8,SOIC8", 1024, 0x0FC0),
    Pic14("PIC16F630", "DIP14,SOIC14", 1024, 0x10C0),
    Pic14("PIC16F676", "DIP14,SOIC14", 1024, 0x10E0),
    Pic14("PIC16F687", "DIP20,SOIC20", 2048, 0x1320),
    Pic14("PIC16F689", "DIP20,SOIC20", 4096, 0x1340),
    Pic14("PIC16F690", "DIP20,SOIC20", 4096, 0x1400),
    Pic14("PIC16F873", "DIP28,SOIC28", 4096, 0x0960),
    Pic14("PIC16F874", "DIP40,PLCC44", 4096, 0x0920),
    Pic14("PIC16F876", "DIP28,SOIC28", 8192, 0x09E0),
    Pic14("PIC16F877", "DIP40,PLCC44", 8192, 0x09A0),
    Pic14("PIC16F873A", "DIP28,SOIC28", 4096, 0x0E40),
    Pic14("PIC16F874A", "DIP40,PLCC44", 4096, 0x0E60),
    Pic14("PIC16F876A", "DIP28,SOIC28", 8192, 0x0E00),
    Pic14("PIC16F877A", "DIP40,PLCC44", 8192, 0x0E20),
};

constexpr Family kFamily{"mcu", "Microcontroller", kParts};

} // namespace

const Family& McuFamily() {
    return kFamily;
}

} // namespace kovsim
