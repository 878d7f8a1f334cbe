#include <memory>

#include "PluginTestSupport.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/KovError.h"
#include "plugins/DevDLL.h"

namespace {

class BufferChecksumTest : public HostTest {
protected:
    // Selects a device of the library without a buffer checksum of its own.
    void SelectInternal(int width, std::uint32_t words) {
        lib_ = std::make_unique<KtDevice>("kt_dev_min");
        lib_->control->wordSize = width;
        lib_->control->deviceSize = words;
        host_ = std::make_unique<TDevDLL>(lib_->path, nullptr);
        ASSERT_TRUE(host_->SelectDevice("KT27C256", "KtSemi", "DIP", 28, width));
        GlobalDevDLL = host_.get();
    }
    void TearDown() override {
        host_.reset();
        lib_.reset();
        HostTest::TearDown();
    }
    std::int32_t Sum() {
        GlobalBuffer->CalculateChecksum();
        return GlobalBuffer->Checksum;
    }

    std::unique_ptr<KtDevice> lib_;
    std::unique_ptr<TDevDLL> host_;
};

TEST_F(BufferChecksumTest, WithoutADeviceTheChecksumIsZero) {
    std::vector<std::int32_t> told;
    GlobalBuffer->OnChecksumChange = [&](std::int32_t value) { told.push_back(value); };
    GlobalBuffer->Checksum = 99;
    GlobalBuffer->SetByte(0, 0x55);
    EXPECT_EQ(Sum(), 0);
    EXPECT_EQ(told, std::vector<std::int32_t>{0});
    EXPECT_TRUE(Logged("Performing internal buffer checksum"));
    GlobalBuffer->OnChecksumChange = nullptr;
}

TEST_F(BufferChecksumTest, InternalSumUsesTheDeviceWidth) {
    SelectInternal(8, 2);
    GlobalBuffer->SetByte(0, 0xFF);
    GlobalBuffer->SetByte(1, 0x01);
    GlobalBuffer->SetByte(2, 0x80);   // outside the device
    EXPECT_EQ(Sum(), 0x100);

    SelectInternal(12, 1);
    GlobalBuffer->SetByte(0, 0xFF);
    GlobalBuffer->SetByte(1, 0xFF);
    EXPECT_EQ(Sum(), 0x0FFF);

    SelectInternal(32, 2);
    for (int i = 0; i < 8; ++i) GlobalBuffer->SetByte(i, 0xFF);
    EXPECT_EQ(static_cast<std::uint32_t>(Sum()), 0xFFFFFFFEu);   // wraps modulo 2^32

    SelectInternal(7, 2);
    GlobalBuffer->SetByte(0, 0xFF);
    GlobalBuffer->SetByte(1, 0x80);
    EXPECT_EQ(Sum(), 0x7F);
}

TEST_F(BufferChecksumTest, SplitsAndForce8BitChangeTheStride) {
    SelectInternal(8, 2);
    for (int i = 0; i < 4; ++i) GlobalBuffer->SetByte(i, static_cast<std::uint8_t>(0x10 << i));   // 10 20 40 80
    host_->Geometry()->SetSplits(2);
    EXPECT_EQ(Sum(), 0x10 + 0x40);
    host_->Geometry()->SetSplitNumber(2);
    EXPECT_EQ(Sum(), 0x20 + 0x80);

    SelectInternal(16, 2);
    GlobalBuffer->SetByte(0, 0x01);
    GlobalBuffer->SetByte(1, 0x02);
    GlobalBuffer->SetByte(2, 0x03);
    GlobalBuffer->SetByte(3, 0x04);
    EXPECT_EQ(Sum(), 0x0201 + 0x0403);
    GlobalConfig->SetBool("Checksum", "Force8Bit", true);
    EXPECT_EQ(Sum(), 1 + 2 + 3 + 4);
}

TEST_F(BufferChecksumTest, UnknownWidthRaisesAndKeepsTheChecksum) {
    for (int width : {0, 33}) {
        SelectInternal(width, 2);
        GlobalBuffer->Checksum = 1234;
        try {
            GlobalBuffer->CalculateChecksum();
            ADD_FAILURE() << "width " << width << " was summed";
        } catch (const KovError& e) {
            EXPECT_STREQ(e.what(), "TVirtBuffer: Unknown checksum type!");
        }
        EXPECT_EQ(GlobalBuffer->Checksum, 1234);
        EXPECT_EQ(dialogs.busyOn, dialogs.busyOff);
    }
}

TEST_F(BufferChecksumTest, RangeAtTheEndOfTheBufferGrowsIt) {
    SelectInternal(16, 2);
    const std::int32_t size = GlobalBuffer->Size;
    host_->Geometry()->SetBufferStart(static_cast<std::uint32_t>(size - 1));
    GlobalBuffer->SetByte(size - 1, 0x01);
    EXPECT_EQ(Sum(), 0x0001);
    EXPECT_GT(GlobalBuffer->Size, size);
}

TEST_F(BufferChecksumTest, DeviceLibraryComputesItWhenItCan) {
    KtDevice lib("kt_dev_full");
    lib.control->deviceSize = 4;
    auto host = std::make_unique<TDevDLL>(lib.path, nullptr);
    ASSERT_TRUE(host->SelectDevice("KT27C256", "KtSemi", "DIP", 28, 8));
    GlobalDevDLL = host.get();
    for (int i = 0; i < 4; ++i) GlobalBuffer->SetByte(i, 0x10);
    EXPECT_EQ(Sum(), 0x40);
    EXPECT_TRUE(Logged("Calling Device DLL to perform buffer checksum"));
    lib.control->bufferChecksumResult = 0;
    EXPECT_EQ(Sum(), 0);
    GlobalDevDLL = nullptr;
}

}  // namespace
