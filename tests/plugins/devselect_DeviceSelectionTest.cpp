#include <memory>

#include "KovTest.h"
#include "branding/Edition.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "core/Statusstack.h"
#include "devlist_TableLibraries.h"
#include "plugins/DevDLL.h"
#include "plugins/DeviceSelect.h"
#include "plugins/ProgDLL.h"

namespace {

using Texts = std::vector<std::string>;
using tables::Device;
using Sel = TDeviceSelection;

TEST(CommaListTest, SplitsQuotedAndBareFieldsAndRefusesDamagedQuoting) {
    bool ok = false;
    EXPECT_EQ(SplitCommaList(R"("a.so","Atmel, Inc.","AT""X""", 28 ,8)", &ok),
              (Texts{"a.so", "Atmel, Inc.", "AT\"X\"", "28", "8"}));
    EXPECT_TRUE(ok);
    EXPECT_EQ(SplitCommaList("a,,b,"), (Texts{"a", "", "b", ""}));
    EXPECT_TRUE(SplitCommaList("   ").empty());
    for (const std::string damaged : {R"("a.so","Atmel)", R"("a.so"x,"b")", R"(a"b,c)", "\""}) {
        EXPECT_TRUE(SplitCommaList(damaged, &ok).empty()) << damaged;
        EXPECT_FALSE(ok) << damaged;
    }
    const Texts fields = {"lib.so", "Say \"Hi\"", "A,B", "", "28", "8"};
    EXPECT_EQ(SplitCommaList(QuotedCommaList(fields)), fields);
    EXPECT_EQ(QuotedCommaList({"a", "b"}), R"("a","b")");
}

TEST(CommaListTest, AutoSelectEntryNeedsSixFieldsAndAFileOfTheDevicesFolder) {
    TAutoSelectEntry entry;
    ASSERT_TRUE(ParseAutoSelect(R"("eprom.so","Atmel","AT27C256","DIP","x28","8","extra")", entry));
    EXPECT_EQ(entry.libraryFile, "eprom.so");
    EXPECT_EQ(entry.pinCount, 0);   // does not parse
    EXPECT_EQ(entry.dataWidth, 8);
    EXPECT_EQ(FormatAutoSelect({"eprom.so", "Atmel", "AT27C256", "DIP", 28, 8}),
              R"("eprom.so","Atmel","AT27C256","DIP","28","8")");
    EXPECT_FALSE(ParseAutoSelect(R"("eprom.so","Atmel","AT27C256","DIP","28")", entry));
    EXPECT_FALSE(ParseAutoSelect(R"("../x/evil.so","Atmel","AT27C256","DIP","28","8")", entry));
    EXPECT_FALSE(ParseAutoSelect(R"("..","Atmel","AT27C256","DIP","28","8")", entry));
    EXPECT_FALSE(ParseAutoSelect(R"("","Atmel","AT27C256","DIP","28","8")", entry));
    EXPECT_EQ(FormatMinutesSeconds(7), "0:07");
    EXPECT_EQ(FormatMinutesSeconds(125), "2:05");
}

class DeviceSelectionTest : public GlobalsFixture {
protected:
    bool AutoStart() const override { return false; }
    void SetUp() override {
        GlobalsFixture::SetUp();
        tables::PlaceDevices(Devs(), "eprom.so",
                                     {Device("EPROM", "Atmel", "AT27C256", "DIP", 28, 8),
                                      Device("EPROM", "Atmel", "AT27C256", "PLCC", 32, 8),
                                      Device("EPROM", "Atmel", "AT27C512", "DIP", 28, 8),
                                      Device("EPROM", "AMD", "AM27C256", "DIP", 28, 8),
                                      Device("EPROM", "ATI", "ATI27", "DIP", 28, 8)});
        tables::PlaceDevices(Devs(), "flash.so",
                             {Device("FLASH", "Atmel", "AT29C010", "PLCC", 32, 8),
                              Device("FLASH", "Intel", "28F016", "TSOP", 56, 16)});
        sessionLines.push_back("Log.Level=7");
    }
    void TearDown() override {
        delete GlobalDevDLL;
        GlobalDevDLL = nullptr;
        GlobalsFixture::TearDown();
    }
    std::filesystem::path Devs() const { return temp / "devs"; }

    void Start() {
        if (!started) StartGlobals();
        // The paths as the program makes them: the devices folder of the installation.
        eprom = GlobalConfig->DevicesFolder() + "/eprom.so";
        flash = GlobalConfig->DevicesFolder() + "/flash.so";
        selection.RunDialog = [this] {
            ++dialogRuns;
            selection.FormShow();
            const bool ok = dialogScript ? dialogScript() : false;
            selection.FormHide();
            return ok;
        };
    }
    void Open() {
        Start();
        selection.SetupDevList(GlobalConfig->DevicesFolder());
        selection.FormShow();
    }
    const Texts& Items(Sel::ListId id) const { return selection.GetList(id).items; }
    std::string Chosen(Sel::ListId id) const {
        const std::string* item = selection.GetList(id).SelectedItem();
        return item ? *item : "<none>";
    }
    void Choose(Sel::ListId id, const std::string& text) {
        const Texts& items = Items(id);
        const auto at = std::find(items.begin(), items.end(), text);
        ASSERT_NE(at, items.end()) << text;
        selection.ChooseItem(id, static_cast<int>(at - items.begin()));
    }
    std::string AutoSelect() const { return GlobalConfig->GetString("Device", "AutoSelect"); }

    TDeviceSelection selection;
    std::function<bool()> dialogScript;
    int dialogRuns = 0;
    std::string eprom;
    std::string flash;
};

TEST_F(DeviceSelectionTest, BuildingFillsTheListsWithAllFirstAndLogsTheTime) {
    Open();
    EXPECT_EQ(Items(Sel::DeviceTypes), (Texts{"All", "EPROM", "FLASH"}));
    EXPECT_EQ(Items(Sel::ManuListBox), (Texts{"AMD", "ATI", "Atmel", "Intel"}));
    EXPECT_EQ(Chosen(Sel::ManuListBox), "AMD");   // first one, shown on opening
    EXPECT_EQ(selection.Manufacturer().text, "AMD");
    EXPECT_EQ(Items(Sel::DeviceListBox), Texts{"AM27C256"});
    EXPECT_TRUE(selection.ListBuilt());
    EXPECT_TRUE(LogContains("Building list of devices from DLLs in " + GlobalConfig->DevicesFolder()));
    EXPECT_TRUE(LogContains("Done building device list. Time: 0:0"));
    ASSERT_EQ(GlobalStatusStack->TopStatus()->text, "Selecting device");
    selection.FormHide();
    EXPECT_EQ(GlobalStatusStack->Items().size(), 1u);   // "Idle" only
}

TEST_F(DeviceSelectionTest, ListsNarrowLeftToRightAndRestartAtTheirFirstEntry) {
    Open();
    Choose(Sel::ManuListBox, "Atmel");
    EXPECT_EQ(selection.Manufacturer().text, "Atmel");
    EXPECT_EQ(Items(Sel::DeviceListBox), (Texts{"AT27C256", "AT27C512", "AT29C010"}));
    EXPECT_EQ(Chosen(Sel::DeviceListBox), "AT27C256");
    EXPECT_EQ(selection.Device().text, "AT27C256");
    EXPECT_EQ(Items(Sel::Packages), (Texts{"DIP", "PLCC"}));
    EXPECT_EQ(Chosen(Sel::Packages), "DIP");
    EXPECT_EQ(Chosen(Sel::Pincounts), "28");
    EXPECT_EQ(Chosen(Sel::Widths), "8");

    Choose(Sel::Packages, "PLCC");
    EXPECT_EQ(Items(Sel::Pincounts), Texts{"32"});
    EXPECT_EQ(Chosen(Sel::Pincounts), "32");
    EXPECT_EQ(selection.DeviceList()->SelectedWidth(), "8");

    // Another device type keeps the manufacturer it still lists and restarts the device.
    Choose(Sel::DeviceListBox, "AT27C512");
    Choose(Sel::DeviceTypes, "FLASH");
    EXPECT_EQ(selection.DeviceTypeIndex(), 2);
    EXPECT_EQ(Items(Sel::ManuListBox), (Texts{"Atmel", "Intel"}));
    EXPECT_EQ(selection.Manufacturer().text, "Atmel");
    EXPECT_EQ(Chosen(Sel::DeviceListBox), "AT29C010");
    EXPECT_EQ(selection.Device().text, "AT29C010");
    // ... and takes the first one when it does not.
    Choose(Sel::DeviceTypes, "EPROM");
    Choose(Sel::ManuListBox, "AMD");
    Choose(Sel::DeviceTypes, "FLASH");
    EXPECT_EQ(selection.Manufacturer().text, "Atmel");
    EXPECT_EQ(Chosen(Sel::DeviceListBox), "AT29C010");
}

TEST_F(DeviceSelectionTest, TypingCompletesWithoutRegardToCaseAndArrowsMoveTheSelection) {
    Open();
    selection.KeyPressed("a");
    selection.ManufacturerChange("a");
    EXPECT_EQ(selection.Manufacturer().text, "AMD");
    selection.KeyPressed("t");
    selection.ManufacturerChange("at");
    EXPECT_EQ(Chosen(Sel::ManuListBox), "ATI");
    EXPECT_EQ(selection.Manufacturer().text, "ATI");
    EXPECT_EQ(selection.Manufacturer().selectionStart, 2);
    EXPECT_EQ(selection.Manufacturer().selectionLength, 1);
    EXPECT_EQ(Items(Sel::DeviceListBox), Texts{"ATI27"});
    selection.ManufacturerChange("atm");
    EXPECT_EQ(selection.Manufacturer().text, "Atmel");
    EXPECT_EQ(Chosen(Sel::DeviceListBox), "AT27C256");

    // After a deletion the field keeps what is left; the list still follows.
    selection.KeyPressed("\b");
    EXPECT_FALSE(selection.TypingCompletes());
    selection.ManufacturerChange("AT");
    EXPECT_EQ(selection.Manufacturer().text, "AT");
    EXPECT_EQ(Chosen(Sel::ManuListBox), "ATI");
    selection.ManufacturerChange("");
    EXPECT_EQ(Chosen(Sel::ManuListBox), "<none>");
    selection.ManufacturerChange("zz");   // no match: nothing changes
    EXPECT_EQ(Chosen(Sel::ManuListBox), "<none>");

    selection.ArrowKey(Sel::ManuListBox, Sel::KeyDown);
    EXPECT_EQ(Chosen(Sel::ManuListBox), "AMD");
    selection.ArrowKey(Sel::ManuListBox, Sel::KeyDown);
    selection.ArrowKey(Sel::ManuListBox, Sel::KeyDown);
    EXPECT_EQ(selection.Manufacturer().text, "Atmel");
    selection.ArrowKey(Sel::ManuListBox, Sel::KeyUp);
    EXPECT_EQ(Chosen(Sel::ManuListBox), "ATI");

    Choose(Sel::ManuListBox, "Atmel");
    selection.KeyPressed("7");
    selection.DeviceChange("at27c5");
    EXPECT_EQ(selection.Device().text, "AT27C512");
    EXPECT_EQ(selection.Device().selectionStart, 6);
    EXPECT_EQ(Items(Sel::Packages), Texts{"DIP"});
    selection.ArrowKey(Sel::DeviceListBox, Sel::KeyDown);
    EXPECT_EQ(selection.Device().text, "AT29C010");

    // A name that no device has: OK must not select the device chosen before the typing.
    selection.KeyPressed("8");
    selection.DeviceChange("AT28");
    EXPECT_EQ(selection.Device().text, "AT28");
    EXPECT_EQ(Chosen(Sel::DeviceListBox), "<none>");
    EXPECT_FALSE(selection.Action1Execute());
    EXPECT_EQ(GlobalDevDLL, nullptr);
    selection.ManufacturerChange("Atx");
    EXPECT_EQ(Chosen(Sel::ManuListBox), "<none>");
}

TEST_F(DeviceSelectionTest, OkSelectsOnlyWithAllFiveListsChosenAndRemembersTheDevice) {
    Open();
    Choose(Sel::ManuListBox, "Atmel");
    Choose(Sel::Packages, "PLCC");
    selection.ManufacturerChange("");   // no manufacturer chosen any more
    EXPECT_FALSE(selection.Action1Execute());
    EXPECT_EQ(GlobalDevDLL, nullptr);

    Choose(Sel::ManuListBox, "Atmel");
    Choose(Sel::Packages, "PLCC");
    int refreshed = 0;
    selection.OnDeviceSelected = [&] { ++refreshed; };
    EXPECT_TRUE(selection.Action1Execute());
    EXPECT_EQ(refreshed, 1);
    ASSERT_NE(GlobalDevDLL, nullptr);
    EXPECT_EQ(GlobalDevDLL->Lib(), eprom);
    EXPECT_EQ(GlobalDevDLL->SelectedPackage(), "PLCC");
    EXPECT_TRUE(selection.DeviceSelected());
    EXPECT_TRUE(selection.DeviceDropped());
    EXPECT_EQ(selection.Selected().library, eprom);
    EXPECT_EQ(selection.Selected().pinCount, 32);
    EXPECT_EQ(AutoSelect(), R"("eprom.so","Atmel","AT27C256","PLCC","32","8")");
    EXPECT_TRUE(LogContains("Using device library " + eprom + "."));
    EXPECT_EQ(tables::LibraryLog(eprom).back(), "select AT27C256|Atmel|PLCC|32|8");
}

TEST_F(DeviceSelectionTest, RefusedDeviceIsReportedAndLeavesNoLibraryLoaded) {
    tables::PlaceDevices(Devs(), "flash.so", {"refuse", Device("FLASH", "Atmel", "AT29C010", "PLCC", 32, 8)});
    Open();
    Choose(Sel::DeviceTypes, "FLASH");
    EXPECT_FALSE(selection.Action1Execute());
    EXPECT_EQ(dialogs.Texts(), Texts{"SelectDevice returned an error.  This may indicate a problem\ncommunicating "
                                     "with your programmer, or a missing ALG or DLL file.\n"});
    EXPECT_EQ(dialogs.shown[0].caption, "SelectDevice failed");
    EXPECT_EQ(GlobalDevDLL, nullptr);
    EXPECT_TRUE(selection.DeviceDropped());
    EXPECT_FALSE(selection.DeviceSelected());
    EXPECT_EQ(AutoSelect(), "");
}

TEST_F(DeviceSelectionTest, RememberedDeviceIsSelectedAgainWithoutTheDialog) {
    sessionLines.push_back(R"(Device.AutoSelect="flash.so","Intel","28F016","TSOP","56","16")");
    Start();
    EXPECT_TRUE(selection.ChooseDevice());
    EXPECT_EQ(dialogRuns, 0);
    EXPECT_FALSE(selection.ListBuilt());   // the devices folder is not even scanned
    ASSERT_NE(GlobalDevDLL, nullptr);
    EXPECT_EQ(GlobalDevDLL->Lib(), flash);
    EXPECT_EQ(GlobalDevDLL->Geometry()->WordWidth(), 16u);
    EXPECT_EQ(selection.Selected().manufacturer, "Intel");

    // Re-select: the stored entry is tried first again.
    selection.ClearDeviceSelected();
    EXPECT_TRUE(selection.ChooseDevice());
    EXPECT_EQ(dialogRuns, 0);
}

TEST_F(DeviceSelectionTest, UnusableRememberedDeviceIsErasedAndTheDialogOpens) {
    const Texts entries = {R"("gone.so","Atmel","AT27C256","DIP","28","8")",
                           R"("eprom.so","Atmel","NOSUCH","DIP","28","8")",
                           R"("eprom.so","Atmel","AT27C256","DIP,"28","8")",
                           R"("../devs/eprom.so","Atmel","AT27C256","DIP","28","8")"};
    for (const std::string& entry : entries) {
        SCOPED_TRACE(entry);
        Start();
        GlobalConfig->SetString("Device", "AutoSelect", entry);
        dialogRuns = 0;
        dialogs.shown.clear();
        EXPECT_FALSE(selection.ChooseDevice());
        EXPECT_EQ(dialogRuns, 1);
        EXPECT_EQ(AutoSelect(), "");
        EXPECT_EQ(GlobalDevDLL, nullptr);
        EXPECT_TRUE(selection.DeviceDropped());
    }
    EXPECT_TRUE(LogContains("The remembered device selection cannot be used: " + entries[2]));
    EXPECT_TRUE(LogContains("The remembered device selection cannot be used: " + entries[3]));
}

TEST_F(DeviceSelectionTest, CancelKeepsASelectedDeviceAndDropsOnlyWhenThereIsNone) {
    Start();
    EXPECT_FALSE(selection.ChooseDevice());   // cancelled, nothing selected
    EXPECT_TRUE(selection.DeviceDropped());

    dialogScript = [this] {
        Choose(Sel::ManuListBox, "Atmel");
        return selection.Action1Execute();
    };
    EXPECT_TRUE(selection.ChooseDevice());
    TDevDLL* chosen = GlobalDevDLL;
    ASSERT_NE(chosen, nullptr);

    dialogScript = nullptr;   // Cancel
    EXPECT_FALSE(selection.ChooseDevice());
    EXPECT_FALSE(selection.DeviceDropped());
    EXPECT_EQ(GlobalDevDLL, chosen);
}

TEST_F(DeviceSelectionTest, ReopeningAfterARestartShowsTheRememberedDeviceReadyForOk) {
    sessionLines.push_back(R"(Device.AutoSelect="eprom.so","Atmel","AT27C256","PLCC","32","8")");
    Open();
    EXPECT_EQ(selection.Manufacturer().text, "Atmel");
    EXPECT_EQ(selection.Device().text, "AT27C256");
    EXPECT_EQ(Chosen(Sel::ManuListBox), "Atmel");
    EXPECT_EQ(Chosen(Sel::Packages), "PLCC");
    EXPECT_EQ(Chosen(Sel::Pincounts), "32");
    EXPECT_TRUE(selection.Action1Execute());
    EXPECT_EQ(GlobalDevDLL->SelectedPackage(), "PLCC");
}

TEST_F(DeviceSelectionTest, WithoutConfigurationTheDialogIsNotShown) {
    Start();
    TKOVConfig* config = GlobalConfig;
    GlobalConfig = nullptr;
    EXPECT_FALSE(selection.ShowDeviceDialog());
    GlobalConfig = config;
    EXPECT_EQ(dialogRuns, 0);
    EXPECT_TRUE(LogContains("Config object not found!"));
}

TEST_F(DeviceSelectionTest, DevicesAreThoseOfTheProgrammerAndTheLibraryIsBoundToIt) {
    tables::PlaceDevices(Devs(), "flash.so",
                         {Device("FLASH", "Atmel", "AT29C010", "PLCC", 32, 8, 2, "0x02"),
                          Device("FLASH", "Intel", "28F016", "TSOP", 56, 16, 2, "0x04")});
    const std::string progPath =
        tables::PlaceProgrammer(temp / "prog", "kov22.so", {"name=" + ProductName + " KOV22", "id=2"});
    Start();
    TProgDLL programmer(progPath, EditionId);
    selection.SetProgrammer(&programmer);
    selection.SetupDevList(GlobalConfig->DevicesFolder());
    EXPECT_EQ(Items(Sel::ManuListBox), Texts{"Atmel"});   // type 1 records need programmer id 4
    selection.FormShow();
    Choose(Sel::ManuListBox, "Atmel");
    EXPECT_TRUE(selection.Action1Execute());
    EXPECT_EQ(GlobalDevDLL->ProgrammerId(), 2);
    EXPECT_EQ(GlobalDevDLL->ProgLib(), &programmer);
    EXPECT_EQ(tables::LibraryLog(flash).front(), "programmer " + progPath);
    delete GlobalDevDLL;
    GlobalDevDLL = nullptr;
}

}  // namespace
