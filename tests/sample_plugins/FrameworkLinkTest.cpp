// The simulated plug-ins keep what they need from whatever structure version the framework
// builds; checked against the framework's own builder.
#include <gtest/gtest.h>

#include "KovTest.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"
#include "kovsim/Framework.h"
#include "plugins/Framestruct.h"

using kovsim::FrameworkLink;

class FrameworkLinkTest : public GlobalsFixture {};

TEST_F(FrameworkLinkTest, EveryVersionGivesTheEntriesItHas) {
    GlobalConfig->SetString("Simulator", "StateFolder", "/tmp/x");
    GlobalConfig->SetString("Simulator", "KOV22", "Absent", "TRUE");
    for (int version = 1; version <= 7; ++version) {
        SCOPED_TRACE(version);
        std::unique_ptr<FrameStruct> frame = BuildFrameStruct(version);
        ASSERT_TRUE(frame);
        FrameworkLink link;
        ASSERT_TRUE(link.Accept(frame.get()));
        EXPECT_EQ(link.Version(), version);
        link.Log(-1, "link version " + std::to_string(version));
        EXPECT_TRUE(LogContains("link version " + std::to_string(version)));
        EXPECT_EQ(link.ReadString("Simulator", "StateFolder"), version >= 3 ? "/tmp/x" : "");
        EXPECT_EQ(link.ReadBool3("Simulator", "KOV22", "Absent"), version >= 5);
        EXPECT_EQ(link.HasProgress(), version == 7);

        // Without a message box entry a question is answered No, a notice OK, and both are logged.
        dialogs.shown.clear();
        int answer = link.Box("Program it anyway?", "Question " + std::to_string(version), KOV_MB_YESNO);
        int notice = link.Box("Done.", "Notice", KOV_MB_OK);
        if (version == 7) {
            EXPECT_EQ(dialogs.shown.size(), 2u);
            EXPECT_EQ(answer, IDYES);
        } else {
            EXPECT_TRUE(dialogs.shown.empty());
            EXPECT_EQ(answer, IDNO);
            EXPECT_EQ(notice, IDOK);
            EXPECT_TRUE(LogContains("Question " + std::to_string(version) + ": Program it anyway?"));
        }
    }
    FrameworkLink link;
    EXPECT_FALSE(link.Accept(nullptr));
    FrameStruct unknown{};
    unknown.Head.StructVersion = 8;
    EXPECT_FALSE(link.Accept(&unknown));
    EXPECT_FALSE(link.Accepted());
}

TEST_F(FrameworkLinkTest, PhasesOfOneOperationShareOneProgressBox) {
    FrameworkLink link;
    ASSERT_TRUE(link.Accept(BuildFrameStruct(7).get()));
    ASSERT_TRUE(link.OpenProgress("Programming", "KOV22"));
    ASSERT_TRUE(ProgressBox().State().visible);
    ASSERT_TRUE(link.OpenProgress("Verifying", "KOV22"));
    EXPECT_EQ(ProgressBox().State().functionText, "Verifying");
    link.CloseProgress("Verifying", "KOV22");
    EXPECT_TRUE(ProgressBox().State().visible) << "the operation is still running";
    ProgressBox().Abort();
    EXPECT_FALSE(link.OpenProgress("Blank checking", "KOV22")) << "Abort reaches the next phase";
    EXPECT_FALSE(link.StepProgress(50, nullptr));
    link.CloseProgress("Blank checking", "KOV22");
    link.CloseProgress("Programming", "KOV22");
    EXPECT_FALSE(ProgressBox().State().visible);
    link.CloseProgress("Programming", "KOV22"); // one close too many changes nothing
    ASSERT_TRUE(link.OpenProgress("Reading", "KOV22"));
    EXPECT_TRUE(link.StepProgress(10, nullptr)) << "a new operation starts without the old Abort";
    link.CloseProgress("Reading", "KOV22");
}
