#include <array>

#include "kovsim/Tables.h"

namespace kovsim {

std::span<const Family* const> AllFamilies() {
    static const std::array<const Family*, 6> families{
        &Eprom8Family(), &Eprom16Family(), &FlashFamily(), &SerialEepromFamily(), &PldFamily(), &McuFamily()};
    return families;
}

} // namespace kovsim
