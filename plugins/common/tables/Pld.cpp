#include <array>

#include "kovsim/Tables.h"

namespace kovsim {
namespace {

// One word per fuse, one bit wide; the sizes are the fuse counts of the JEDEC fuse maps.
constexpr std::uint32_t k16V8 = 2194;
constexpr std::uint32_t k20V8 = 2706;
constexpr std::uint32_t k22V10 = 5892;
constexpr std::uint32_t k18V10 = 3540;
constexpr std::uint32_t k20RA10 = 3274;
constexpr std::uint32_t k26CV12 = 6432;

constexpr Part Gal(const char* name, const char* maker, const char* packages, std::uint32_t fuses,
                   std::uint8_t type = 2) {
    return {name,
            maker,
            packages,
            fuses,
            1,
            0,
            kNoId,
            kNoId,
            Algorithm::Gal,
            type,
            type == 1 ? kParallelProgrammer : kBothProgrammers,
            0};
}

constexpr const char* k20Pin = "DIP20,PLCC20";
constexpr const char* k24Pin = "DIP24,PLCC28";

constexpr std::array kParts{
    Gal("GAL16V8", "National Semiconductor", "DIP20", k16V8, 1),
    Gal("GAL20V8", "National Semiconductor", "DIP24", k20V8, 1),
    Gal("GAL16V8B", "Lattice", k20Pin, k16V8),
    Gal("GAL16V8D", "Lattice", k20Pin, k16V8),
    Gal("GAL16V8Z", "Lattice", k20Pin, k16V8),
    Gal("GAL20V8B", "Lattice", k24Pin, k20V8),
    Gal("GAL22V10B", "Lattice", k24Pin, k22V10),
    Gal("GAL22V10D", "Lattice", k24Pin, k22V10),
    Gal("GAL18V10", "Lattice", k20Pin, k18V10),
    Gal("GAL20RA10", "Lattice", k24Pin, k20RA10),
    Gal("GAL26CV12", "Lattice", "DIP28,PLCC28", k26CV12),
    Gal("ATF16V8B", "Atmel", k20Pin, k16V8),
    Gal("ATF16V8C", "Atmel", k20Pin, k16V8),
    Gal("ATF20V8B", "Atmel", k24Pin, k20V8),
    Gal("ATF22V10B", "Atmel", k24Pin, k22V10),
    Gal("ATF22V10C", "Atmel", k24Pin, k22V10),
    Gal("PALCE16V8", "AMD", k20Pin, k16V8),
    Gal("PALCE20V8", "AMD", k24Pin, k20V8),
    Gal("PALCE22V10", "AMD", k24Pin, k22V10),
};

constexpr Family kFamily{"pld", "PLD", kParts};

} // namespace

const Family& PldFamily() {
    return kFamily;
}

} // namespace kovsim
