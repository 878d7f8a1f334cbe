#pragma once
// The device families that ship with kov. Each device library uses its own; tests walk them all.
#include <span>

#include "kovsim/Types.h"

namespace kovsim {

const Family& Eprom8Family();
const Family& Eprom16Family();
const Family& FlashFamily();
const Family& SerialEepromFamily();
const Family& PldFamily();
const Family& McuFamily();

std::span<const Family* const> AllFamilies();

} // namespace kovsim
