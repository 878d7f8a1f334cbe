#include <cstring>
#include <memory>
#include <random>

#include "../plugins/PluginTestSupport.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "plugins/DevDLL.h"
#include "plugins/DevGeometry.h"

namespace {

// The internal checksum as defined: words of the checksum width, lowest byte first, stepping over
// the other split devices, masked to the width, summed modulo 2^32.
std::uint32_t Defined(TVirtBuffer& b, std::uint64_t first, std::uint64_t last, unsigned width, unsigned splits) {
    const unsigned bytes = width <= 8 ? 1 : width <= 16 ? 2 : 4;
    const std::uint32_t mask = width == 32 ? 0xFFFFFFFFu : (1u << width) - 1;
    std::uint32_t sum = 0;
    for (std::uint64_t a = first; a <= last; a += bytes * splits) {
        std::uint32_t v = 0;
        for (unsigned i = 0; i < bytes; ++i) v |= static_cast<std::uint32_t>(b.GetByte(static_cast<int>(a + i))) << (8 * i);
        sum += v & mask;
    }
    return sum;
}

class ChecksumWidthsTest : public HostTest {
protected:
    void TearDown() override {
        delete GlobalDevDLL;
        GlobalDevDLL = nullptr;
        lib_.reset();
        HostTest::TearDown();
    }
    TDevGeometry& Select(int width, std::uint32_t words) {
        delete GlobalDevDLL;
        GlobalDevDLL = nullptr;
        lib_ = std::make_unique<KtDevice>("kt_dev_min");   // no checksum of its own
        lib_->control->wordSize = width;
        lib_->control->deviceSize = words;
        GlobalDevDLL = new TDevDLL(lib_->path, nullptr);
        EXPECT_TRUE(GlobalDevDLL->SelectDevice("KT27C256", "KtSemi", "DIP", 28, width));
        return *GlobalDevDLL->Geometry();
    }
    std::unique_ptr<KtDevice> lib_;
};

TEST_F(ChecksumWidthsTest, EveryWidthSplitAndSetSumsTheSelectedDevicesWords) {
    std::mt19937 random(11);
    for (int i = 0; i < 4096; ++i) GlobalBuffer->SetByte(i, static_cast<std::uint8_t>(random()));
    for (unsigned width : {1u, 5u, 8u, 9u, 12u, 16u, 17u, 24u, 31u, 32u}) {
        for (unsigned splits : {1u, 2u, 3u, 4u, 8u}) {
            for (bool force8 : {false, true}) {
                // Odd word counts leave tails after whole 8-byte blocks.
                TDevGeometry& g = Select(static_cast<int>(width), 37);
                g.SetSplits(splits);
                g.SetSplitNumber(splits);
                g.SetSets(2);
                g.SetSetNumber(2);
                g.SetBufferStart(3);
                g.SetDeviceStart(5);
                GlobalConfig->SetBool("Checksum", "Force8Bit", force8);
                GlobalBuffer->CalculateChecksum();
                const std::uint64_t first = g.RangeStart();
                const std::uint32_t expected =
                    Defined(*GlobalBuffer, first, first + g.RangeSpan() - 1, force8 ? 8 : width, splits);
                EXPECT_EQ(static_cast<std::uint32_t>(GlobalBuffer->Checksum), expected)
                    << "width " << width << " splits " << splits << " Force8Bit " << force8;
            }
        }
    }
}

TEST_F(ChecksumWidthsTest, LongRangesWrapModulo2To32InEveryLane) {
    // 8-bit words of 0xFF over 17 MiB: the sum passes 2^32 and every block lane fills up.
    Select(8, 17u << 20);
    GlobalBuffer->GetByte(static_cast<int>((17u << 20) - 1));
    std::memset(GlobalBuffer->Data, 0xFF, 17u << 20);
    GlobalBuffer->CalculateChecksum();
    EXPECT_EQ(static_cast<std::uint32_t>(GlobalBuffer->Checksum), static_cast<std::uint32_t>((17ull << 20) * 0xFF));

    // 16-bit words of 0xFFFF over the same bytes, every other one of two splits.
    Select(16, 17u << 18).SetSplits(2);
    GlobalBuffer->CalculateChecksum();
    EXPECT_EQ(static_cast<std::uint32_t>(GlobalBuffer->Checksum), static_cast<std::uint32_t>((17ull << 18) * 0xFFFF));
}

}  // namespace
