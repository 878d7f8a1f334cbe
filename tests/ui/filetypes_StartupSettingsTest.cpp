// The window application's start-up puts every file type setting into the session.
#include <fstream>
#include <sstream>

#include "FormsFixture.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "ui/Forms.h"
#include "ui/MainForm.h"

namespace {

class StartupSettingsTest : public FormsFixture {
protected:
    bool AutoStart() const override { return false; }
};

TEST_F(StartupSettingsTest, DefaultsAreStoredAndStoredValuesKept) {
    sessionLines = {"FileType.Intel Hex.DefaultRecordLength=16"};
    StartForms();
    EXPECT_EQ(GlobalConfig->GetString("FileType", "Intel Hex", "DefaultRecordLength"), "16");
    EXPECT_EQ(GlobalConfig->GetString("FileType", "Motorola S", "DefaultRecordLength"), "32");
    EXPECT_EQ(GlobalConfig->GetString("FileType", "Binary", "DefaultExtension"), "bin");
    EXPECT_EQ(GlobalConfig->GetString("FileType", "JEDEC", "Comment"), "none");
    EXPECT_EQ(GlobalConfig->GetString("FileType", "BIT", "ReverseBits"), "TRUE");
    EXPECT_EQ(GlobalConfig->GetString("FileType", "POF", "RecordTypes"), "0x07&0x11");

    // The session written at the end holds them, so a later start finds them in the file.
    MainForm->close();
    StopGlobals();
    std::ifstream in(SessionFile());
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("FileType.Tektronix Hex.DefaultExtension=tek"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("FileType.Intel Hex.DefaultRecordLength=16"), std::string::npos) << text.str();
}

}  // namespace
