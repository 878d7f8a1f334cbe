#pragma once
#include <cstdint>
#include <vector>

#include "kovsim/Types.h"

namespace kovsim {

// One erase sector, in bytes from the start of the chip.
struct Sector {
    std::uint32_t first;
    std::uint32_t size;
};

// The sectors of a flash part as its sector layout describes them, lowest first.
std::vector<Sector> SectorsOf(const Part& part);

} // namespace kovsim
