#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "buffer/Splits.h"
#include "buffer/VirtBuffer.h"

namespace {

TEST(SplitsModel, CountsClampAndPullTheSelectedDeviceAlong) {
    TSplitsModel m;
    EXPECT_EQ(m.SplitsTyped("3"), 3);
    EXPECT_EQ(m.SplitDeviceTyped("3"), 3);
    EXPECT_EQ(m.SplitsTyped("2"), 2);
    EXPECT_EQ(m.Values().SplitDevice, 2);

    EXPECT_EQ(m.SplitsTyped("9"), 8);
    EXPECT_EQ(m.SplitsTyped("0"), 1);
    EXPECT_EQ(m.SplitsTyped("-4"), 1);
    EXPECT_EQ(m.SplitsTyped("99999999999999999999"), 8);
    EXPECT_EQ(m.SplitsTyped(" 5 "), 5);
    // Not a number: the field goes back to the count.
    EXPECT_EQ(m.SplitsTyped("x"), 5);
    EXPECT_EQ(m.SplitsTyped(""), 5);
    EXPECT_EQ(m.SplitsTyped("4a"), 5);

    EXPECT_EQ(m.SetsTyped("4"), 4);
    EXPECT_EQ(m.SetDeviceTyped("7"), 4);
    EXPECT_EQ(m.SetDeviceTyped("0"), 1);
    EXPECT_EQ(m.SetDeviceTyped("?"), 1);
    m.SetSets(2);
    EXPECT_EQ(m.Values().SetDevice, 1);

    // From the session or the main window: kept within 1 to 8.
    m.SetSplits(12);
    m.SetSets(-1);
    EXPECT_EQ(m.Values(), (TSplitsSets{8, 1, 1, 1}));
    m.SelectDevice(9, 3);
    EXPECT_EQ(m.Values(), (TSplitsSets{8, 8, 1, 1}));
}

TEST(SplitsModel, DescriptionNamesTheDataPathAndTheSelectedDevice) {
    TSplitsModel m;
    EXPECT_EQ(m.Description(8),
              "8-Bit Data path, written directly into one 8-Bit device, one set total, first device of first set "
              "selected.");
    m.SetSplits(2);
    m.SplitDeviceTyped("2");
    EXPECT_EQ(m.Description(8),
              "16-Bit Data path, split across two 8-Bit devices, one set total, second device of first set selected.");
    m.SetSplits(8);
    m.SetSets(8);
    m.SelectDevice(8, 7);
    EXPECT_EQ(m.Description(16),
              "128-Bit Data path, split across eight 16-Bit devices, eight sets total, eighth device of seventh set "
              "selected.");
    m.SetSplits(3);
    m.SetSets(1);
    EXPECT_EQ(m.Description(12),
              "36-Bit Data path, split across three 12-Bit devices, one set total, third device of first set "
              "selected.");
}

TEST(SplitsDiagram, BoxesAreCentredAndClicksFindThemWithinTwoPixels) {
    const TSplitsDiagram d = LayoutSplitsDiagram(100, 2, 3);
    EXPECT_EQ(d.dataPath.left, 35);
    EXPECT_EQ(d.dataPath.top, 6);
    ASSERT_EQ(d.devices.size(), 6u);
    // Two boxes of 7 pixels with 4 between them: 18 pixels, centred.
    EXPECT_EQ(d.devices[0].left, 41);
    EXPECT_EQ(d.devices[1].left, 52);
    EXPECT_EQ(d.devices[0].top, 28);
    EXPECT_EQ(d.devices[2].top, 40);
    EXPECT_GE(d.height, d.devices.back().top + d.devices.back().height);

    const auto hit = d.DeviceAt(52 + 8, 40 + 11);   // just beyond the box, within the margin
    ASSERT_TRUE(hit);
    EXPECT_EQ(hit->column, 2);
    EXPECT_EQ(hit->row, 2);
    EXPECT_FALSE(d.DeviceAt(52 + 9, 40 + 5));
    EXPECT_FALSE(d.DeviceAt(50, 10));   // the data-path box selects nothing
    EXPECT_FALSE(d.DeviceAt(-100, -100));
}

TEST(SplitsLayout, DeviceWordsInterleaveWithinASetAndSetsFollowEachOther) {
    // 16-bit words, 2 splits, 2 sets of 4 words each at buffer start 0.
    EXPECT_EQ(SplitsWordAddress(0, 2, 4, 0, 2, 0, 1, 1), 0u);
    EXPECT_EQ(SplitsWordAddress(0, 2, 4, 0, 2, 3, 2, 1), 14u);   // the last bytes of set 1 are 14, 15
    EXPECT_EQ(SplitsWordAddress(0, 2, 4, 0, 2, 0, 1, 2), 16u);
    EXPECT_EQ(SplitsWordAddress(0, 2, 4, 0, 2, 1, 2, 2), 22u);
    // The buffer start holds the device start word.
    EXPECT_EQ(SplitsWordAddress(0x100, 1, 256, 16, 1, 16, 1, 1), 0x100u);
    EXPECT_EQ(SplitsWordAddress(0x100, 1, 256, 16, 1, 20, 1, 1), 0x104u);
}

// The byte-by-byte rules the fast paths must match: swapping exchanges the bytes of each pair
// within a word of whole pairs wherever it starts, and pairs buffer addresses for other words.
std::uint64_t ReferenceAddress(const TWordLane& l, std::uint64_t w, std::uint64_t i) {
    const std::uint64_t word = l.first + w * l.stride;
    if (!l.swap) return word + i;
    return l.bytesPerWord % 2 == 0 ? word + (i ^ 1) : (word + i) ^ 1;
}

void ReferenceGather(TVirtBuffer& b, const TWordLane& l, std::uint8_t* image) {
    std::size_t out = 0;
    for (std::uint64_t w = 0; w < l.words; ++w) {
        for (std::uint64_t i = 0; i < l.bytesPerWord; ++i) {
            const std::uint64_t a = ReferenceAddress(l, w, i);
            image[out++] = b.GetByte(static_cast<std::int32_t>(a));
        }
    }
}

void ReferenceScatter(TVirtBuffer& b, const TWordLane& l, const std::uint8_t* image) {
    std::size_t in = 0;
    for (std::uint64_t w = 0; w < l.words; ++w) {
        for (std::uint64_t i = 0; i < l.bytesPerWord; ++i) {
            const std::uint64_t a = ReferenceAddress(l, w, i);
            b.SetByte(static_cast<std::int32_t>(a), image[in++]);
        }
    }
}

std::vector<std::uint8_t> Contents(const TVirtBuffer& b) {
    return {b.Data, b.Data + b.Size};
}

TEST(SplitsLanes, GatherAndScatterMatchTheByteRulesForEveryShape) {
    std::mt19937 random(7);
    const std::uint32_t widths[] = {1, 2, 3, 4, 5, 8};
    for (std::uint32_t bytes : widths) {
        for (std::uint64_t splits : {1u, 2u, 3u, 8u}) {
            for (std::uint64_t first : {0u, 1u, 6u, 4095u}) {
                for (bool swap : {false, true}) {
                    for (int window = 0; window < 3; ++window) {
                        const TWordLane lane{first, 37, bytes, splits * bytes, swap};
                        SCOPED_TRACE(testing::Message() << "B=" << bytes << " P=" << splits << " first=" << first
                                                        << " swap=" << swap << " window=" << window);
                        TVirtBuffer fast(8192);
                        TVirtBuffer slow(8192);
                        std::vector<std::uint8_t> seed(lane.HighestAddress() + 8);
                        for (auto& byte : seed) byte = static_cast<std::uint8_t>(random());
                        if (window == 1) {
                            for (std::size_t a = 0; a < seed.size(); ++a) {
                                fast.SetByte(static_cast<std::int32_t>(a), seed[a]);
                                slow.SetByte(static_cast<std::int32_t>(a), seed[a]);
                            }
                        }
                        std::vector<std::uint8_t> a(lane.ImageLength()), b(lane.ImageLength());
                        GatherWords(fast, lane, a.data());
                        ReferenceGather(slow, lane, b.data());
                        EXPECT_EQ(a, b);
                        EXPECT_EQ(fast.Size, slow.Size);

                        if (window == 2) {
                            // A window that cuts the lane: only the bytes inside change.
                            fast.SetWriteWindow(static_cast<std::int32_t>(first + 5), static_cast<std::int32_t>(first + 40));
                            slow.SetWriteWindow(static_cast<std::int32_t>(first + 5), static_cast<std::int32_t>(first + 40));
                        }
                        std::vector<std::uint8_t> image(lane.ImageLength());
                        for (auto& byte : image) byte = static_cast<std::uint8_t>(random());
                        ScatterWords(fast, lane, image.data());
                        ReferenceScatter(slow, lane, image.data());
                        EXPECT_EQ(Contents(fast), Contents(slow));
                        EXPECT_EQ(fast.Untouched, slow.Untouched);
                    }
                }
            }
        }
    }
}

TEST(SplitsLanes, LanesBeyondTheStorageGrowItAsByteAccessWould) {
    for (bool swap : {false, true}) {
        const TWordLane lane{100, 64, 2, 8, swap};
        TVirtBuffer gathered(64);
        std::vector<std::uint8_t> image(lane.ImageLength(), 0x5A);
        GatherWords(gathered, lane, image.data());
        EXPECT_EQ(gathered.Size, 64 + TVirtBuffer::GrowthStep);
        EXPECT_EQ(image, std::vector<std::uint8_t>(lane.ImageLength(), 0));

        TVirtBuffer scattered(64);
        ScatterWords(scattered, lane, image.data());
        EXPECT_EQ(scattered.Size, 64 + TVirtBuffer::GrowthStep);
        // A window that keeps every write out keeps the storage as it is.
        TVirtBuffer shut(64);
        shut.SetWriteWindow(0, 10);
        image.assign(image.size(), 1);
        ScatterWords(shut, lane, image.data());
        EXPECT_EQ(shut.Size, 64);
        EXPECT_TRUE(shut.Untouched);
    }
}

TEST(SplitsLanes, WritingTheSameBytesKeepsTheBufferUntouched) {
    TVirtBuffer b(1024);
    const TWordLane lane{2, 100, 2, 4, true};
    std::vector<std::uint8_t> zeros(lane.ImageLength(), 0);
    ScatterWords(b, lane, zeros.data());
    EXPECT_TRUE(b.Untouched);
    zeros[199] = 1;   // the last byte of the last word lands at 2 + 99 * 4 + 0
    ScatterWords(b, lane, zeros.data());
    EXPECT_FALSE(b.Untouched);
    EXPECT_EQ(b.Data[2 + 99 * 4], 1);
}

TEST(SplitsLanes, AddressesBeyondTheBufferRangeAreNeitherReadNorWritten) {
    TVirtBuffer b(16);
    const TWordLane lane{0x80000000ull, 2, 2, 4, true};
    std::uint8_t image[4] = {1, 2, 3, 4};
    ScatterWords(b, lane, image);
    GatherWords(b, lane, image);
    EXPECT_EQ(b.Size, 16);
    EXPECT_TRUE(b.Untouched);
    EXPECT_EQ(image[0], 0);
}

}  // namespace
