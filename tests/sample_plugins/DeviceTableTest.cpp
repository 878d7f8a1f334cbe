// Walks every entry of every device table of the simulated lab and checks what kov and the
// simulated chips rely on.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "kovsim/Records.h"
#include "kovsim/Sectors.h"
#include "kovsim/Tables.h"

using namespace kovsim;

namespace {

bool PowerOfTwo(std::uint64_t v) {
    return v && !(v & (v - 1));
}

// A string field must end inside the field: kov reads it no further.
bool Terminated(const char* field, std::size_t size) {
    return std::memchr(field, '\0', size) != nullptr;
}

std::string PathOf(const Family& f, const DeviceEntry& e) {
    return std::string(f.category) + "/" + e.part->maker + "/" + e.part->name + "/" + e.package->name + "/" +
           std::to_string(e.package->pins) + "/" + std::to_string(e.width);
}

void CheckAlgorithm(const Part& part) {
    switch (part.algorithm) {
    case Algorithm::UvEprom:
        EXPECT_TRUE(part.width == 8 || part.width == 16);
        EXPECT_TRUE(PowerOfTwo(part.words)) << "EPROM sizes are powers of two";
        break;
    case Algorithm::FlashAmd:
    case Algorithm::FlashSst:
    case Algorithm::FlashAtmel: {
        EXPECT_EQ(part.width, 8) << "flash rows are sized in bytes";
        std::vector<Sector> sectors = SectorsOf(part);
        ASSERT_FALSE(sectors.empty());
        if (part.algorithm == Algorithm::FlashAmd) {
            EXPECT_LE(sectors.size(), 64u) << "protection keeps one bit per sector";
        }
        std::uint32_t next = 0;
        for (const Sector& s : sectors) {
            EXPECT_EQ(s.first, next) << "sectors are contiguous";
            EXPECT_GT(s.size, 0u);
            EXPECT_EQ(s.size % 1024, 0u);
            next = s.first + s.size;
        }
        EXPECT_EQ(next, part.words) << "sectors cover the chip exactly";
        break;
    }
    case Algorithm::I2cEeprom:
        EXPECT_TRUE(PowerOfTwo(part.param)) << "page size";
        EXPECT_EQ(part.words % part.param, 0u);
        break;
    case Algorithm::Microwire:
        EXPECT_EQ(part.altWidth, 16) << "93Cxx parts come in both organisations";
        break;
    case Algorithm::Gal: {
        static const std::set<std::uint32_t> fuseMaps{2194, 2706, 5892, 3540, 3274, 6432};
        EXPECT_EQ(part.width, 1);
        EXPECT_TRUE(fuseMaps.count(part.words)) << part.words << " is no known fuse map size";
        EXPECT_EQ(part.mfrId, kNoId);
        break;
    }
    case Algorithm::Pic12:
        EXPECT_EQ(part.width, 12);
        break;
    case Algorithm::Pic14:
        EXPECT_EQ(part.width, 14);
        if (part.devId != kNoId) {
            EXPECT_EQ(part.devId & 0xC01F, 0) << "device ids are 14 bits without revision";
        }
        break;
    }
}

} // namespace

TEST(DeviceTables, EveryPartAndEntryIsConsistent) {
    std::map<std::string, std::string> paths; // path -> library, to find duplicates across libraries
    std::set<std::string> libraries;
    std::size_t records = 0;
    for (const Family* family : AllFamilies()) {
        SCOPED_TRACE(family->library);
        EXPECT_TRUE(libraries.insert(family->library).second) << "library names are unique";
        EXPECT_GT(std::strlen(family->category), 0u);
        EXPECT_LT(std::strlen(family->category), 16u) << "device type field";
        EXPECT_FALSE(family->parts.empty());
        for (const Part& part : family->parts) {
            SCOPED_TRACE(std::string(part.maker) + " " + part.name);
            // SelectDevice receives the name and maker cut to 49 characters, the package to 14.
            EXPECT_GT(std::strlen(part.name), 0u);
            EXPECT_LE(std::strlen(part.name), 49u);
            EXPECT_GT(std::strlen(part.maker), 0u);
            EXPECT_LE(std::strlen(part.maker), 49u);
            EXPECT_GT(part.words, 0u);
            EXPECT_TRUE(part.width == 1 || part.width == 8 || part.width == 12 || part.width == 14 ||
                        part.width == 16);
            if (part.altWidth) {
                EXPECT_TRUE((part.width == 8 && part.altWidth == 16) ||
                            (part.width == 16 && part.altWidth == 8));
                EXPECT_EQ(std::uint64_t(part.words) * part.width % 16, 0u)
                    << "whole words in both organisations";
            }
            EXPECT_LE(NativeWords(part), 1u << 24) << "what a socket holds";
            EXPECT_TRUE(part.recordType == 1 || part.recordType == 2);
            if (part.recordType == 1) {
                EXPECT_EQ(part.programmers, kParallelProgrammer);
            } else {
                EXPECT_NE(part.programmers, 0u);
                EXPECT_EQ(part.programmers & ~kBothProgrammers, 0u);
            }
            if (part.mfrId != kNoId) {
                EXPECT_LE(part.mfrId, 0xFF);
            }
            if (part.devId != kNoId) {
                EXPECT_LT(part.devId, 1u << NativeWidth(part));
            }
            CheckAlgorithm(part);

            std::string list = part.packages;
            std::size_t packageCount = 1 + std::count(list.begin(), list.end(), ',');
            std::size_t found = 0;
            for (const DeviceEntry& e : ExpandFamily(*family))
                if (e.part == &part) ++found;
            EXPECT_EQ(found, packageCount * (part.altWidth ? 2 : 1)) << "every package is known: " << list;
        }
        for (const DeviceEntry& e : ExpandFamily(*family)) {
            ++records;
            std::string path = PathOf(*family, e);
            auto [it, fresh] = paths.emplace(path, family->library);
            EXPECT_TRUE(fresh) << path << " is offered by " << it->second << " and " << family->library;
            EXPECT_LE(std::strlen(e.package->name), 14u);
            EXPECT_EQ(std::uint64_t(e.words) * e.width, std::uint64_t(e.part->words) * e.part->width);
            if (e.recordType == 2) {
                EXPECT_NE(e.mask, 0u) << path << " would be offered to no programmer";
            }

            KovDeviceRecord r = MakeRecord(*family, e);
            EXPECT_EQ(r.RecordType, e.recordType);
            EXPECT_TRUE(Terminated(r.DeviceName, sizeof r.DeviceName) &&
                        Terminated(r.Manufacturer, sizeof r.Manufacturer) &&
                        Terminated(r.DeviceType, sizeof r.DeviceType) &&
                        Terminated(r.Package, sizeof r.Package));
            EXPECT_STREQ(r.DeviceName, e.part->name);
            EXPECT_STREQ(r.Manufacturer, e.part->maker);
            EXPECT_STREQ(r.DeviceType, family->category);
            EXPECT_STREQ(r.Package, e.package->name);
            EXPECT_EQ(r.PinCount, e.package->pins);
            EXPECT_EQ(r.DataWidth, int(e.width));
            EXPECT_EQ(r.ProgrammerMask, e.recordType == 2 ? e.mask : 0u);
        }
    }
    EXPECT_GE(records, 300u) << "the lab offers hundreds of devices";
}

TEST(DeviceTables, PackagesAreNamedAfterTheirPinCount) {
    for (const Package& p : AllPackages()) {
        std::string name = p.name;
        std::size_t digits = name.find_first_of("0123456789");
        ASSERT_NE(digits, std::string::npos) << name;
        std::string pins = name.substr(digits);
        if (std::size_t dash = pins.find('-'); dash != std::string::npos) pins = pins.substr(dash + 1);
        EXPECT_EQ(std::stoi(pins), p.pins) << name;
        EXPECT_NE(p.programmers & kUsbProgrammer, 0u) << "the USB programmer has every adapter";
    }
}

TEST(DeviceTables, TheTwoProgrammersSeeDifferentButOverlappingLists) {
    std::size_t both = 0, usbOnly = 0, parallelOnly = 0, typeOne = 0;
    for (const Family* family : AllFamilies()) {
        for (const DeviceEntry& e : ExpandFamily(*family)) {
            bool usb = OfferedTo(e, kUsbProgrammer), parallel = OfferedTo(e, kParallelProgrammer);
            EXPECT_TRUE(OfferedTo(e, 0)) << "the demo takes every device";
            EXPECT_TRUE(usb || parallel) << PathOf(*family, e);
            both += usb && parallel;
            usbOnly += usb && !parallel;
            parallelOnly += parallel && !usb;
            typeOne += e.recordType == 1;
        }
    }
    EXPECT_GT(both, 100u);
    EXPECT_GT(usbOnly, 20u);
    EXPECT_GT(parallelOnly, 20u);
    EXPECT_EQ(parallelOnly, typeOne) << "only the type 1 records are the parallel programmer's alone";
}

TEST(DeviceTables, TheFamiliesCoverTheirClasses) {
    auto has = [](const Family& f, auto pred) {
        for (const DeviceEntry& e : ExpandFamily(f))
            if (pred(e)) return true;
        return false;
    };
    EXPECT_TRUE(
        has(Eprom8Family(), [](const DeviceEntry& e) { return std::string(e.part->name) == "2716"; }));
    EXPECT_TRUE(has(Eprom8Family(), [](const DeviceEntry& e) { return e.words == 1024 * 1024; }));
    EXPECT_TRUE(
        has(Eprom16Family(), [](const DeviceEntry& e) { return std::string(e.part->name) == "AT27C4096"; }));
    EXPECT_TRUE(has(SerialEepromFamily(), [](const DeviceEntry& e) {
        return std::string(e.part->name) == "AT93C46" && e.width == 16 && e.words == 64;
    }));
    EXPECT_TRUE(has(SerialEepromFamily(), [](const DeviceEntry& e) {
        return std::string(e.part->name) == "AT93C46" && e.width == 8 && e.words == 128;
    }));
    for (const char* gal : {"GAL16V8B", "GAL20V8B", "GAL22V10D"})
        EXPECT_TRUE(has(PldFamily(), [gal](const DeviceEntry& e) {
            return std::string(e.part->name) == gal;
        })) << gal;
    EXPECT_TRUE(has(McuFamily(), [](const DeviceEntry& e) { return e.width == 12; }));
    EXPECT_TRUE(has(McuFamily(), [](const DeviceEntry& e) { return e.width == 14; }));
    for (Algorithm a : {Algorithm::FlashAmd, Algorithm::FlashSst, Algorithm::FlashAtmel})
        EXPECT_TRUE(has(FlashFamily(), [a](const DeviceEntry& e) { return e.part->algorithm == a; }));
}
