#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "kov_plugin.h"

// Records handed over by plug-in libraries are copied field by field at once and never read
// past a field: a string is taken up to its NUL or the field's width, whichever comes first.

// The text of a fixed-width string field.
std::string FieldText(const char* field, std::size_t width);
// True when the field holds a NUL inside its width (the text is shorter than the field).
bool FieldTerminated(const char* field, std::size_t width);

// One device record of a device library, as copied from its KovDeviceRecord.
struct TLibraryDeviceRecord {
    int recordType = 0;
    std::string deviceName;     // at most 64 characters
    std::string manufacturer;   // at most 64
    std::string deviceType;     // at most 16
    int dataWidth = 0;
    std::string package;        // at most 16
    int pinCount = 0;
    std::uint32_t programmerMask = KOV_DEFAULT_PROGRAMMER_ID;   // the record's mask for type 2
    std::string library;        // path of the library file, as its host was given it
};

// Copies a record; the mask is read for type 2 records only (a type 1 record may end before it).
TLibraryDeviceRecord ReadDeviceRecord(const KovDeviceRecord& record, const std::string& library);

// Whether a record of that type and mask is offered to a programmer id: type 1 only to id 4,
// type 2 when every bit of the id is in the mask, nothing else.
bool RecordSuitsProgrammer(int recordType, std::uint32_t mask, int programmerId);
