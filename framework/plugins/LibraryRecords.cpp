#include "plugins/LibraryRecords.h"

#include <cstring>

std::string FieldText(const char* field, std::size_t width) {
    if (!field) return {};
    return std::string(field, strnlen(field, width));
}

bool FieldTerminated(const char* field, std::size_t width) {
    return field && strnlen(field, width) < width;
}

TLibraryDeviceRecord ReadDeviceRecord(const KovDeviceRecord& record, const std::string& library) {
    TLibraryDeviceRecord copy;
    copy.recordType = record.RecordType;
    copy.deviceName = FieldText(record.DeviceName, sizeof record.DeviceName);
    copy.manufacturer = FieldText(record.Manufacturer, sizeof record.Manufacturer);
    copy.deviceType = FieldText(record.DeviceType, sizeof record.DeviceType);
    copy.dataWidth = record.DataWidth;
    copy.package = FieldText(record.Package, sizeof record.Package);
    copy.pinCount = record.PinCount;
    if (record.RecordType == KOV_RECORD_TYPE2) copy.programmerMask = record.ProgrammerMask;
    copy.library = library;
    return copy;
}

bool RecordSuitsProgrammer(int recordType, std::uint32_t mask, int programmerId) {
    if (recordType == KOV_RECORD_TYPE1) return programmerId == KOV_DEFAULT_PROGRAMMER_ID;
    if (recordType == KOV_RECORD_TYPE2) {
        const auto id = static_cast<std::uint32_t>(programmerId);
        return (mask & id) == id;
    }
    return false;
}
