#include <gtest/gtest.h>

#include <vector>

#include "plugins/DevGeometry.h"

namespace {

struct Told {
    bool valid;
    std::uint32_t splitNumber, splits, setNumber, sets;
    bool operator==(const Told&) const = default;
};

struct Recorder {
    std::vector<Told> told;
    TDevGeometry* geometry = nullptr;
    static void Listen(void* context, TDevGeometry* geometry, bool valid, std::uint32_t splitNumber,
                       std::uint32_t splits, std::uint32_t setNumber, std::uint32_t sets) {
        auto* self = static_cast<Recorder*>(context);
        self->geometry = geometry;
        self->told.push_back({valid, splitNumber, splits, setNumber, sets});
    }
};

TDevGeometry EightBit(std::uint32_t words) {
    TDevGeometry g;
    g.SetWordWidth(8);
    g.SetDeviceSize(words);
    return g;
}

}  // namespace

TEST(DevGeometryTest, WordWidthsRoundToWholeBytes) {
    TDevGeometry g;
    EXPECT_EQ(g.BytesPerWord(), 1u);
    EXPECT_EQ(g.RoundedWidth(), 0u);
    g.SetWordWidth(12);
    EXPECT_EQ(g.BytesPerWord(), 2u);
    EXPECT_EQ(g.RoundedWidth(), 16u);
    g.SetWordWidth(1);
    EXPECT_EQ(g.BytesPerWord(), 1u);
    EXPECT_EQ(g.RoundedWidth(), 8u);
    g.SetWordWidth(64);
    EXPECT_EQ(g.BytesPerWord(), 8u);
    g.SetWordWidth(0);
    EXPECT_EQ(g.BytesPerWord(), 1u);
    EXPECT_EQ(g.RoundedWidth(), 0u);
}

TEST(DevGeometryTest, DevicePointersStayInsideTheDevice) {
    TDevGeometry g = EightBit(256);
    EXPECT_EQ(g.DeviceEnd(), 255u);
    g.SetDeviceSize(0);   // ignored
    EXPECT_EQ(g.DeviceSize(), 256u);
    EXPECT_EQ(g.DeviceEnd(), 255u);
    g.SetDeviceStart(300);
    EXPECT_EQ(g.DeviceStart(), 0u);
    g.SetDeviceEnd(100);
    g.SetDeviceStart(20);
    g.SetDeviceEnd(10);
    EXPECT_EQ(g.DeviceEnd(), 20u);
    g.SetDeviceStart(50);   // the end follows a start beyond it
    EXPECT_EQ(g.DeviceEnd(), 50u);
    g.SetDeviceEnd(256);
    EXPECT_EQ(g.DeviceEnd(), 50u);
    g.SetDeviceSize(16);    // a new size resets the pointers
    EXPECT_EQ(g.DeviceStart(), 0u);
    EXPECT_EQ(g.DeviceEnd(), 15u);
}

TEST(DevGeometryTest, SplitsSideBySide) {
    TDevGeometry g = EightBit(4);
    g.SetSplits(2);
    g.SetSplitNumber(2);
    EXPECT_EQ(g.RangeStart(), 1u);
    EXPECT_EQ(g.RangeSpan(), 8u);
    EXPECT_EQ(g.RangeLength(), 8u);
    EXPECT_EQ(g.SetSize(), 8u);
    EXPECT_EQ(g.BufferEnd(), 7u);
}

TEST(DevGeometryTest, SetsOneAfterAnother) {
    TDevGeometry g = EightBit(4);
    g.SetSets(2);
    g.SetSetNumber(2);
    EXPECT_EQ(g.SetSize(), 4u);
    EXPECT_EQ(g.RangeStart(), 4u);
    EXPECT_EQ(g.BufferEnd(), 7u);
    g.SetBufferStart(0x100);
    EXPECT_EQ(g.RangeStart(), 0x104u);
    EXPECT_EQ(g.BufferEnd(), 0x107u);
}

TEST(DevGeometryTest, WordAddressesFollowTheLayout) {
    TDevGeometry plain;
    plain.SetWordWidth(16);
    plain.SetDeviceSize(8);
    plain.SetBufferStart(0x40);
    EXPECT_EQ(plain.WordAddress(3), 6u);   // one split, one set: from address 0

    // 16-bit words, 2 splits, device 2, set 2 of 2, buffer start 0x100: each data-path word is
    // four bytes and this device owns its upper two; set 2 starts one set (8 words x 4) later.
    TDevGeometry g;
    g.SetWordWidth(16);
    g.SetDeviceSize(8);
    g.SetSplits(2);
    g.SetSplitNumber(2);
    g.SetSets(2);
    g.SetSetNumber(2);
    g.SetBufferStart(0x100);
    EXPECT_EQ(g.SetSize(), 32u);
    EXPECT_EQ(g.RangeStart(), 0x100u + 2 + 32);
    EXPECT_EQ(g.WordAddress(0), g.RangeStart());
    EXPECT_EQ(g.WordAddress(3), 0x100u + 32 + 3 * 4 + 2);

    TDevGeometry bytes = EightBit(4);
    bytes.SetSplits(4);
    bytes.SetSplitNumber(3);
    EXPECT_EQ(bytes.WordAddress(5), 5u * 4 + 2);
}

TEST(DevGeometryTest, LargeDevicesDoNotOverflow) {
    TDevGeometry g;
    g.SetWordWidth(32);
    g.SetDeviceSize(0x40000000);   // 4 GiB of 32-bit words
    g.SetSplits(8);
    g.SetSets(8);
    g.SetSetNumber(8);
    EXPECT_EQ(g.SetSize(), 0x40000000ull * 8 * 4);
    EXPECT_EQ(g.BufferEnd(), 0x40000000ull * 8 * 4 * 8 - 1);
    EXPECT_EQ(g.RangeSpan(), 0x40000000ull * 4 * 8);
    EXPECT_EQ(g.RangeStart(), 0x40000000ull * 8 * 4 * 7);
    EXPECT_EQ(g.WordAddress(0x3FFFFFFF), g.SetSize() * 7 + 0x3FFFFFFFull * 32);
}

TEST(DevGeometryTest, BufferEndMovesTheStartUnlessItWouldGoNegative) {
    TDevGeometry g = EightBit(0x100);
    g.SetSets(2);
    g.SetBufferEnd(0x2FF);
    EXPECT_EQ(g.BufferStart(), 0x100u);
    EXPECT_EQ(g.BufferEnd(), 0x2FFu);
    g.SetBufferEnd(0x1FF);
    EXPECT_EQ(g.BufferStart(), 0u);
    g.SetBufferEnd(0x1FE);   // would start at -1
    EXPECT_EQ(g.BufferStart(), 0u);
    g.SetBufferStart(0x40);
    g.SetBufferEnd(0x10);
    EXPECT_EQ(g.BufferStart(), 0x40u);
}

TEST(DevGeometryTest, OutOfRangeSplitsAndSetsBecomeOneAndAreReportedInvalid) {
    TDevGeometry g = EightBit(16);
    Recorder recorder;
    g.SetListener(&Recorder::Listen, &recorder);
    ASSERT_EQ(recorder.told.size(), 1u);
    EXPECT_EQ(recorder.told[0], (Told{true, 1, 1, 1, 1}));
    EXPECT_EQ(recorder.geometry, &g);

    g.SetSplits(4);
    g.SetSplitNumber(3);
    g.SetSets(9);
    g.SetSetNumber(0);
    g.SetSplits(8);
    EXPECT_EQ(recorder.told, (std::vector<Told>{{true, 1, 1, 1, 1},
                                                 {true, 1, 4, 1, 1},
                                                 {true, 3, 4, 1, 1},
                                                 {false, 3, 4, 1, 1},
                                                 {false, 3, 4, 1, 1},
                                                 {true, 3, 8, 1, 1}}));
    g.SetListener(nullptr, nullptr);   // ignored: the old listener stays
    g.SetSets(2);
    EXPECT_EQ(recorder.told.size(), 7u);
}

TEST(DevGeometryTest, ResetKeepsWidthSizeBufferStartAndListener) {
    TDevGeometry g;
    g.SetWordWidth(16);
    g.SetDeviceSize(64);
    g.SetBufferStart(0x80);
    g.SetDeviceStart(4);
    g.SetSplits(2);
    g.SetSets(3);
    g.SetSetNumber(2);
    Recorder recorder;
    g.SetListener(&Recorder::Listen, &recorder);
    g.Reset();
    EXPECT_EQ(g.DeviceStart(), 0u);
    EXPECT_EQ(g.DeviceEnd(), 0u);
    EXPECT_EQ(g.Splits(), 1u);
    EXPECT_EQ(g.Sets(), 1u);
    EXPECT_EQ(g.SetNumber(), 1u);
    EXPECT_EQ(g.WordWidth(), 16u);
    EXPECT_EQ(g.DeviceSize(), 64u);
    EXPECT_EQ(g.BufferStart(), 0x80u);
    g.SetSplits(2);
    EXPECT_EQ(recorder.told.size(), 2u);
}
