#include <climits>
#include <numeric>

#include "KovTest.h"
#include "buffer/VirtBuffer.h"
#include "core/KovError.h"

namespace {

std::string ErrorOf(std::int32_t size) {
    try {
        TVirtBuffer buffer(size);
    } catch (const KovError& error) {
        return error.what();
    }
    return "";
}

}  // namespace

TEST(VirtBufferTest, CreationLimitAndZeroFill) {
    EXPECT_EQ(ErrorOf(268435457),
              "Buffer size to large.  You may only allocate TVirtBuffers as large as 268435456 bytes.");
    EXPECT_EQ(ErrorOf(-1), "Unable to allocate memory for TVirtBuffer!");
    EXPECT_EQ(ErrorOf(0), "");

    TVirtBuffer buffer(1048576);
    EXPECT_EQ(buffer.Size, 1048576);
    EXPECT_TRUE(buffer.Untouched);
    EXPECT_FALSE(buffer.WindowEnabled);
    EXPECT_EQ(buffer.GetByte(0), 0);
    EXPECT_EQ(buffer.GetByte(1048575), 0);
}

TEST(VirtBufferTest, CreationAtTheLimitSucceeds) {
    TVirtBuffer buffer(TVirtBuffer::MaxInitialSize);
    EXPECT_EQ(buffer.Size, 268435456);
    EXPECT_EQ(buffer.GetByte(268435455), 0);
}

TEST(VirtBufferTest, GrowsInWholeStepsAndZeroFills) {
    TVirtBuffer buffer(1048576);
    buffer.SetByte(10, 0x5A);
    EXPECT_EQ(buffer.GetByte(1048576), 0);
    EXPECT_EQ(buffer.Size, 9437184);
    EXPECT_EQ(buffer.GetByte(10), 0x5A);   // old contents survive the move
    EXPECT_TRUE(std::all_of(buffer.Data + 1048576, buffer.Data + buffer.Size, [](auto b) { return b == 0; }));

    // Several steps at once when the address is far out.
    buffer.SetByte(9437184 + 3 * TVirtBuffer::GrowthStep, 1);
    EXPECT_EQ(buffer.Size, 9437184 + 4 * TVirtBuffer::GrowthStep);

    TVirtBuffer empty(0);
    ASSERT_NE(empty.Data, nullptr);
    EXPECT_EQ(empty.GetByte(0), 0);
    EXPECT_EQ(empty.Size, TVirtBuffer::GrowthStep);
}

TEST(VirtBufferTest, AddressesBeyondThirtyOneBitsFailAndKeepTheArray) {
    TVirtBuffer buffer(16);
    buffer.SetByte(3, 7);
    std::uint8_t* before = buffer.Data;
    try {
        buffer.GetByte(INT32_MAX);
        FAIL() << "no exception";
    } catch (const KovError& error) {
        EXPECT_STREQ(error.what(), "Unable to reallocate buffer.");
    }
    EXPECT_EQ(buffer.Size, 16);
    EXPECT_EQ(buffer.Data, before);
    EXPECT_EQ(buffer.GetByte(3), 7);
}

TEST(VirtBufferTest, NegativeAddressesNeverTouchMemory) {
    TVirtBuffer buffer(64);
    buffer.FillAll(0x11);
    EXPECT_EQ(buffer.GetByte(-1), 0);
    EXPECT_EQ(buffer.SetByte(-1, 0x22), 0);
    EXPECT_EQ(buffer.SetByte(INT32_MIN, 0x22), 0);
    EXPECT_EQ(buffer.Size, 64);
    buffer.Fill(-100, 3, 0x33);
    EXPECT_EQ(buffer.GetByte(0), 0x33);
    EXPECT_EQ(buffer.GetByte(4), 0x11);
    buffer.EnsureSize(-5);
    EXPECT_EQ(buffer.Size, 64);
}

TEST(VirtBufferTest, WriteWindowRefusesWritesOutside) {
    TVirtBuffer buffer(4096);
    buffer.SetWriteWindow(0x100, 0x1FF);
    EXPECT_TRUE(buffer.WindowEnabled);
    buffer.SetByte(0x200, 0xAA);
    buffer.SetByte(0xFF, 0xAA);
    EXPECT_EQ(buffer.GetByte(0x200), 0);
    EXPECT_EQ(buffer.GetByte(0xFF), 0);
    EXPECT_TRUE(buffer.Untouched);
    buffer.SetByte(0x1FF, 0xAA);
    EXPECT_EQ(buffer.GetByte(0x1FF), 0xAA);
    // A refused write outside the array does not grow it.
    buffer.SetByte(100000, 1);
    EXPECT_EQ(buffer.Size, 4096);

    buffer.Fill(0, 4095, 0x77);
    EXPECT_EQ(buffer.GetByte(0xFF), 0);
    EXPECT_EQ(buffer.GetByte(0x100), 0x77);
    EXPECT_EQ(buffer.GetByte(0x1FF), 0x77);
    EXPECT_EQ(buffer.GetByte(0x200), 0);

    buffer.SetWriteWindow(5, 5);   // a one-byte window cannot be set: the window is off
    EXPECT_FALSE(buffer.WindowEnabled);
    buffer.SetByte(0x200, 0xAA);
    EXPECT_EQ(buffer.GetByte(0x200), 0xAA);
}

TEST(VirtBufferTest, UntouchedUntilAByteReallyChanges) {
    TVirtBuffer buffer(1024);
    buffer.FillAll(0x00);
    EXPECT_TRUE(buffer.Untouched);
    EXPECT_EQ(buffer.SetByte(5, 0), 0);
    EXPECT_TRUE(buffer.Untouched);
    buffer.FillAll(0xFF);
    EXPECT_FALSE(buffer.Untouched);
    EXPECT_EQ(buffer.SetByte(5, 1), 0xFF);

    TVirtBuffer other(1024);
    other.MoveBlock(0, 9, 100);
    other.SetByte(2000, 0);   // growth alone changes nothing
    EXPECT_TRUE(other.Untouched);
}

TEST(VirtBufferTest, FillIsClampedAndNeverGrows) {
    TVirtBuffer buffer(100);
    buffer.Fill(90, 200, 0xEE);
    EXPECT_EQ(buffer.Size, 100);
    EXPECT_EQ(buffer.GetByte(99), 0xEE);
    EXPECT_EQ(buffer.GetByte(89), 0);
    buffer.Fill(50, 40, 0x12);
    EXPECT_EQ(buffer.GetByte(45), 0);
}

TEST(VirtBufferTest, MoveBlockHandlesOverlapAndStaysInside) {
    TVirtBuffer buffer(64);
    for (int i = 0; i < 16; ++i) buffer.SetByte(i, static_cast<std::uint8_t>(i + 1));

    buffer.MoveBlock(0, 9, 5);   // upwards over itself
    for (int i = 0; i < 10; ++i) EXPECT_EQ(buffer.GetByte(5 + i), i + 1) << i;
    EXPECT_EQ(buffer.GetByte(0), 1);

    buffer.MoveBlock(5, 14, 2);  // downwards over itself
    for (int i = 0; i < 10; ++i) EXPECT_EQ(buffer.GetByte(2 + i), i + 1) << i;

    const std::vector<std::uint8_t> before(buffer.Data, buffer.Data + buffer.Size);
    buffer.MoveBlock(0, 9, buffer.Size - 5);   // destination not wholly inside
    buffer.MoveBlock(60, 70, 0);               // source not wholly inside
    buffer.MoveBlock(-4, 3, 10);
    buffer.MoveBlock(0, 3, -1);
    buffer.MoveBlock(9, 0, 20);
    buffer.MoveBlock(0, INT32_MAX, 1);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer.Data, buffer.Data + buffer.Size), before);
    EXPECT_EQ(buffer.Size, 64);

    // The move ignores the write window.
    buffer.SetWriteWindow(40, 50);
    buffer.MoveBlock(0, 3, 20);
    EXPECT_EQ(buffer.GetByte(20), before[0]);
}

TEST(VirtBufferTest, ChecksumNotificationAndHold) {
    TVirtBuffer buffer(16);
    std::vector<std::int32_t> told;
    buffer.SetChecksum(1);
    buffer.OnChecksumChange = [&](std::int32_t value) { told.push_back(value); };
    buffer.SetChecksum(0x1234);
    buffer.ChecksumHold = true;
    buffer.SetChecksum(0x5678);
    EXPECT_EQ(buffer.Checksum, 0x5678);
    buffer.ChecksumHold = false;
    buffer.SetChecksum(-1);
    EXPECT_EQ(told, (std::vector<std::int32_t>{0x1234, -1}));
}

class VirtBufferFixtureTest : public GlobalsFixture {};

TEST_F(VirtBufferFixtureTest, FillAndMoveShowTheBusyCursor) {
    TVirtBuffer buffer(16);
    buffer.FillAll(1);
    buffer.MoveBlock(0, 3, 8);
    EXPECT_EQ(dialogs.busyOn, 2);
    EXPECT_EQ(dialogs.busyOff, 2);
}
