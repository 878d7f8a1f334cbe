#pragma once
// Expands the parts of a family into the devices a user selects: one per package and width.
#include <cstdint>
#include <string>
#include <vector>

#include "kov_plugin.h"
#include "kovsim/Types.h"

namespace kovsim {

struct DeviceEntry {
    const Part* part = nullptr;
    const Package* package = nullptr;
    unsigned width = 0;      // as offered
    std::uint32_t words = 0; // at that width
    int recordType = 2;
    std::uint32_t mask = 0; // type 2: part and package programmers
};

std::vector<DeviceEntry> ExpandFamily(const Family& family);

// The chip behind an entry is the same whichever width it is selected with: the wider
// organisation holds the data.
unsigned NativeWidth(const Part& part);
std::uint32_t NativeWords(const Part& part);

// Whether a programmer with this id gets the entry's record (id 0: the demo, which takes all).
bool OfferedTo(const DeviceEntry& entry, std::uint32_t programmerId);

KovDeviceRecord MakeRecord(const Family& family, const DeviceEntry& entry);

// "Maker Name (Package)", for messages.
std::string DisplayName(const DeviceEntry& entry);

} // namespace kovsim
