// A newly selected device takes the session's splits and sets, as at the main window's first
// showing and in kov-cli.
#include <memory>

#include "../plugins/PluginTestSupport.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "main/DeviceOperations.h"
#include "plugins/DevDLL.h"

namespace {

class SessionSplitsTest : public HostTest {
protected:
    void TearDown() override {
        ops.reset();
        device.reset();
        HostTest::TearDown();
    }
    void Select(int width, std::uint32_t words) {
        device = std::make_unique<KtDevice>("kt_dev_full");
        device->control->wordSize = width;
        device->control->deviceSize = words;
        GlobalDevDLL = new TDevDLL(device->path, nullptr);
        ops->PrepareDeviceHost(*GlobalDevDLL);
        ASSERT_TRUE(GlobalDevDLL->SelectDevice("KT27C256", "KtSemi", "DIP", 28, width));
    }

    TOperationHost host;
    std::unique_ptr<TDeviceOperations> ops = std::make_unique<TDeviceOperations>(host, &host);
    std::unique_ptr<KtDevice> device;
};

TEST_F(SessionSplitsTest, CountsOutsideOneToEightCountAsOneAndThePointersStay) {
    Select(8, 16);
    EXPECT_TRUE(ops->SplitsOffered());
    GlobalConfig->SetInt("SplitsSets", "SplitsCols", 2);
    GlobalConfig->SetInt("SplitsSets", "SplitsRows", 9);
    ops->LeavePointerField(TPointerField::DeviceStart, 4);
    ops->LeavePointerField(TPointerField::DeviceEnd, 11);

    EXPECT_TRUE(ops->ApplySessionSplits());
    EXPECT_EQ(ops->Splits.Values(), (TSplitsSets{2, 1, 1, 1}));
    EXPECT_EQ(ops->SplitsCaption(), "Splits(1:2) and Sets(1:1)");
    // Two 8-bit devices side by side: 32 buffer bytes; the device range is kept.
    EXPECT_EQ(ops->Pointers(), (TPointerValues{4, 11, 0, 31}));
    EXPECT_GE(GlobalBuffer->Size, 32);
    EXPECT_EQ(GlobalBuffer->WindowHigh, 31);
}

TEST_F(SessionSplitsTest, SplitsALibrarySwitchedOffStayOff) {
    Select(8, 16);
    // What a library does through the framework structure while its device is selected.
    GlobalDevDLL->Geometry()->SetSets(0);
    GlobalDevDLL->Geometry()->SetSplits(0);
    GlobalConfig->SetInt("SplitsSets", "SplitsCols", 2);

    EXPECT_FALSE(ops->SplitsOffered());
    EXPECT_FALSE(ops->ApplySessionSplits());
    EXPECT_EQ(GlobalDevDLL->Geometry()->Splits(), 1u);
    EXPECT_EQ(ops->Pointers().bufferEnd, 15u);
    EXPECT_FALSE(ops->SplitsOffered());
}

TEST_F(SessionSplitsTest, WithoutADeviceNothingIsApplied) {
    GlobalConfig->SetInt("SplitsSets", "SplitsCols", 3);
    EXPECT_FALSE(ops->ApplySessionSplits());
    EXPECT_EQ(ops->ReapplyDevicePointers(), TPointerValues{});
}

} // namespace
