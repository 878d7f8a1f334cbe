#include "kovsim/Records.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace kovsim {
namespace {

void CopyField(char* field, std::size_t size, const char* text) {
    std::memset(field, 0, size);
    std::strncpy(field, text, size - 1);
}

} // namespace

unsigned NativeWidth(const Part& part) {
    return std::max<unsigned>(part.width, part.altWidth);
}

std::uint32_t NativeWords(const Part& part) {
    return static_cast<std::uint32_t>(std::uint64_t(part.words) * part.width / NativeWidth(part));
}

std::vector<DeviceEntry> ExpandFamily(const Family& family) {
    std::vector<DeviceEntry> entries;
    for (const Part& part : family.parts) {
        std::string_view list = part.packages;
        while (!list.empty()) {
            std::size_t comma = list.find(',');
            std::string_view name = list.substr(0, comma);
            list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
            const Package* package = FindPackage(name);
            if (!package) continue; // the table test names such a row
            for (unsigned width : {unsigned(part.width), unsigned(part.altWidth)}) {
                if (width == 0) continue;
                DeviceEntry e;
                e.part = &part;
                e.package = package;
                e.width = width;
                e.words = static_cast<std::uint32_t>(std::uint64_t(part.words) * part.width / width);
                e.recordType = part.recordType;
                e.mask =
                    part.recordType == 1 ? kParallelProgrammer : (part.programmers & package->programmers);
                entries.push_back(e);
            }
        }
    }
    return entries;
}

bool OfferedTo(const DeviceEntry& entry, std::uint32_t programmerId) {
    if (programmerId == 0) return true;
    if (entry.recordType == 1) return programmerId == kParallelProgrammer;
    return (entry.mask & programmerId) == programmerId;
}

KovDeviceRecord MakeRecord(const Family& family, const DeviceEntry& entry) {
    KovDeviceRecord r;
    std::memset(&r, 0, sizeof r);
    r.RecordType = entry.recordType;
    CopyField(r.DeviceName, sizeof r.DeviceName, entry.part->name);
    CopyField(r.Manufacturer, sizeof r.Manufacturer, entry.part->maker);
    CopyField(r.DeviceType, sizeof r.DeviceType, family.category);
    r.DataWidth = static_cast<std::int32_t>(entry.width);
    CopyField(r.Package, sizeof r.Package, entry.package->name);
    r.PinCount = entry.package->pins;
    r.ProgrammerMask = entry.recordType == 2 ? entry.mask : 0;
    return r;
}

std::string DisplayName(const DeviceEntry& entry) {
    return std::string(entry.part->maker) + " " + entry.part->name + " (" + entry.package->name + ")";
}

} // namespace kovsim
