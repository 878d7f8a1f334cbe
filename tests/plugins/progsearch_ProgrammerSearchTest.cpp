#include <functional>

#include "KovTest.h"
#include "branding/Edition.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "core/Statusstack.h"
#include "devlist_TableLibraries.h"
#include "plugins/ProgDLL.h"
#include "plugins/ProgrammerSearch.h"

namespace {

using Texts = std::vector<std::string>;
using Search = TProgrammerSearch;

TEST(ProgrammerRulesTest, InterfaceModelAndPortAddressRules) {
    EXPECT_EQ(InterfaceForLibrary("tormex_kov22.so"), "USB");
    EXPECT_EQ(InterfaceForLibrary("Kov12.so"), "USB");
    EXPECT_EQ(InterfaceForLibrary("xKoV31y.so"), "USB");
    EXPECT_EQ(InterfaceForLibrary("kov21.so"), "ParallelPort");

    TProgrammerEntry entry;
    ASSERT_TRUE(ProgrammerEntryFor("/p/kov22.so", ProductName + " KOV22", 2, entry));
    EXPECT_EQ(entry.model, EditionId == "KESTRA" ? "TOLQ" : "KOV22");
    EXPECT_EQ(entry.interface, "USB");
    ASSERT_TRUE(ProgrammerEntryFor("/p/x.so", ProductName + "-ABCDEFGHIJKLMNOPQRSTUVWXYZ", 4, entry));
    EXPECT_EQ(entry.model.size(), EditionId == "KESTRA" ? 4u : 16u);
    EXPECT_FALSE(ProgrammerEntryFor("/p/x.so", "OTHER KOV22", 2, entry));
    EXPECT_FALSE(ProgrammerEntryFor("/p/x.so", ProductName + " K", 2, entry));   // model too short
    EXPECT_FALSE(ProgrammerEntryFor("/p/x.so", "", 2, entry));

    int address = -1;
    EXPECT_TRUE(ParsePortAddress("0x0278", address));
    EXPECT_EQ(address, 0x278);
    EXPECT_TRUE(ParsePortAddress(" 888 ", address));
    EXPECT_EQ(address, 0x378);
    for (const char* bad : {"", "0x", "12x", "0x10000", "-1", "0x-5", "Auto"}) {
        EXPECT_FALSE(ParsePortAddress(bad, address)) << bad;
    }
}

class ProgrammerSearchTest : public GlobalsFixture {
protected:
    bool AutoStart() const override { return false; }
    void SetUp() override {
        GlobalsFixture::SetUp();
        sessionLines.push_back("Log.Level=7");
    }
    std::filesystem::path Prog() const { return temp / "prog"; }
    std::string Place(const std::string& file, const std::string& model, const Texts& more = {}) {
        Texts table = {"name=" + ProductName + " " + model};
        table.insert(table.end(), more.begin(), more.end());
        return tables::PlaceProgrammer(Prog(), file, table);
    }
    // Starts with a dialog that runs `script` each time it is shown.
    bool Run(std::function<Search::Choice()> script) {
        if (!started) StartGlobals();
        search.StatusOwner = &owner;
        search.RunDialog = [this, script] {
            ++dialogRuns;
            search.FormShow();
            explanations.push_back(search.ExplanationText());
            return script ? script() : Search::ChoiceCancel;
        };
        return search.StartProgrammer();
    }
    void Choose(const std::string& model, const std::string& interface) {
        const auto& models = search.Programmers();
        search.ChooseProgrammer(static_cast<int>(std::find(models.begin(), models.end(), model) - models.begin()));
        const auto& interfaces = search.Interfaces();
        search.ChooseInterface(
            static_cast<int>(std::find(interfaces.begin(), interfaces.end(), interface) - interfaces.begin()));
    }
    std::vector<std::string> Inits(const std::string& path) {
        std::vector<std::string> inits;
        for (const auto& line : tables::LibraryLog(path)) {
            if (line.rfind("init ", 0) == 0 || line == "init") inits.push_back(line.size() > 5 ? line.substr(5) : "");
        }
        return inits;
    }
    std::string Last(const std::string& key) const { return GlobalConfig->GetString("LastProgrammer", key); }

    TProgrammerSearch search;
    int owner = 0;
    int dialogRuns = 0;
    Texts explanations;
};

TEST_F(ProgrammerSearchTest, LastProgrammerIsFoundAgainWithoutTheDialog) {
    const std::string kov22 = Place("kov22.so", "KOV22", {"id=2", "answer=USB>USB"});
    sessionLines.push_back("LastProgrammer.DLLName=" + kov22);
    sessionLines.push_back("LastProgrammer.Interface=USB");
    ASSERT_TRUE(Run(nullptr));
    EXPECT_EQ(dialogRuns, 0);
    ASSERT_NE(search.Programmer(), nullptr);
    EXPECT_EQ(search.Programmer()->ProgrammerId(), 2);
    EXPECT_EQ(Inits(kov22), Texts{"USB"});
    EXPECT_TRUE(LogContains("Attempting to initialize (" + kov22 + ") with port (USB)"));
    EXPECT_TRUE(LogContains("MainForm: Programmer selected: " + ProductName + " KOV22"));
    for (const auto& item : GlobalStatusStack->Items()) EXPECT_NE(item.caller, &owner);
    auto host = search.TakeProgrammer();
    EXPECT_EQ(search.Programmer(), nullptr);
    EXPECT_NE(host, nullptr);
}

// A session written by hand may name the library without its folder; only the programmer folder
// is meant, even when the working folder holds a library of that name.
TEST_F(ProgrammerSearchTest, StoredNameWithoutFolderIsTakenFromTheProgrammerFolder) {
    const std::string kov22 = Place("kov22.so", "KOV22", {"id=2", "answer=USB>USB"});
    TempDir elsewhere;
    tables::PlaceProgrammer(elsewhere.path(), "kov22.so", {"name=" + ProductName + " DECOY", "answer=USB>USB"});
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.path());
    sessionLines.push_back("LastProgrammer.DLLName=kov22.so");
    sessionLines.push_back("LastProgrammer.Interface=USB");
    const bool found = Run(nullptr);
    std::filesystem::current_path(previous);
    ASSERT_TRUE(found);
    EXPECT_EQ(dialogRuns, 0);
    EXPECT_EQ(search.Programmer()->ProgrammerName(), ProductName + " KOV22");
    EXPECT_EQ(Last("DLLName"), GlobalConfig->ProgrammersFolder() + "/kov22.so");
    EXPECT_EQ(Inits(kov22), Texts{"USB"});

    EXPECT_EQ(StoredProgrammerPath("/opt/x/kov22.so", "/p"), "/opt/x/kov22.so");
    EXPECT_EQ(StoredProgrammerPath("sub/kov22.so", "/p"), "/p/sub/kov22.so");
    EXPECT_EQ(StoredProgrammerPath("", "/p"), "");
}

TEST_F(ProgrammerSearchTest, ScanListsOnlyThisProductsProgrammersWithTheirInterfaces) {
    Place("Tormex_Kov22.so", "KOV22", {"id=2"});
    Place("lpt.so", "LPT1000", {"id=1"});
    tables::PlaceProgrammer(Prog(), "other.so", {"name=OTHER KOV22"});
    Place("demo.so", "DEMO");
    Place("refuses.so", "REFUSER", {"oem=refuse"});
    WriteFile(Prog() / "junk.so", "not a library");
    ASSERT_FALSE(Run(nullptr));   // cancelled
    EXPECT_EQ(dialogRuns, 1);
    ASSERT_EQ(search.Entries().size(), 2u);
    EXPECT_EQ(search.Entries()[0].model, EditionId == "KESTRA" ? "TOLQ" : "KOV22");
    EXPECT_EQ(search.Entries()[0].interface, "USB");
    EXPECT_EQ(search.Entries()[1].interface, "ParallelPort");
    EXPECT_EQ(search.Entries()[1].id, 1);
    // The file that is no library is reported by its host and the scan goes on.
    EXPECT_EQ(dialogs.shown.size(), 1u);
    EXPECT_NE(dialogs.shown[0].text.find("junk.so\" did not load"), std::string::npos);
    const auto log = LogLines();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
        return line.find("Loader: ") != std::string::npos && line.find("junk.so") != std::string::npos;
    })) << "the loader's reason is logged";
    EXPECT_TRUE(LogContains("refuses.so skipped: Unable to send OEM name to Library refuses.so"));
    EXPECT_EQ(explanations.back().rfind("The current session file does not contain an entry", 0), 0u);
}

TEST_F(ProgrammerSearchTest, NoUsableLibraryEndsTheStartWithAMessage) {
    Place("demo.so", "DEMO");
    EXPECT_FALSE(Run(nullptr));
    EXPECT_EQ(dialogRuns, 0);
    EXPECT_EQ(dialogs.Texts(), Texts{"No vaild programmer librarys found"});
    EXPECT_EQ(dialogs.shown[0].caption, "Programmer library error");
}

TEST_F(ProgrammerSearchTest, StoredParallelPortIsPreselectedWhenTheLastProgrammerIsMissing) {
    Place("kov22.so", "KOV22", {"id=2"});
    const std::string lpt = Place("lpt.so", "LPT1000", {"id=1"});
    sessionLines.push_back("LastProgrammer.DLLName=" + (Prog() / "LPT.SO").string());
    sessionLines.push_back("LastProgrammer.Interface=ParallelPort:0378");
    Texts seen;
    Run([&] {
        seen = {search.ChosenProgrammer(), search.ChosenInterface(), search.PortText()};
        return Search::ChoiceCancel;
    });
    EXPECT_EQ(seen, (Texts{"LPT1000", "ParallelPort", "0x0378"}));
    EXPECT_EQ(Inits(lpt), Texts{});   // the stored path names a file that is not there
    EXPECT_EQ(explanations.back().rfind("The last known device programmer was not found.", 0), 0u);
}

TEST_F(ProgrammerSearchTest, ChosenInterfaceTextReachesTheLibraryAndIsRemembered) {
    const std::string kov22 = Place("kov22.so", "KOV22", {"id=2", "answer=USB>USB"});
    const std::string lpt = Place("lpt.so", "LPT1000", {"id=1", "answer=ParallelPort:0278>="});
    std::vector<std::function<Search::Choice()>> steps = {
        [&] {   // automatic search on the parallel port: the library gets an empty text
            Choose("LPT1000", "ParallelPort");
            EXPECT_TRUE(search.PortEnabled());
            EXPECT_EQ(search.PortText(), "Auto Search");
            return Search::ChoiceOk;
        },
        [&] {   // an unreadable port address keeps the dialog open
            search.SetPortText("0x27g");
            EXPECT_FALSE(search.ProgrammerSearchButtonClick());
            search.SetPortText("Auto Search");   // an offered item stays whole
            EXPECT_TRUE(search.ProgrammerSearchButtonClick());
            search.SetPortText("0x02780");   // typed text is cut to six characters
            EXPECT_EQ(search.PortText(), "0x0278");
            EXPECT_TRUE(search.ProgrammerSearchButtonClick());
            return Search::ChoiceOk;
        }};
    std::size_t step = 0;
    ASSERT_TRUE(Run([&] { return step < steps.size() ? steps[step++]() : Search::ChoiceCancel; }));
    EXPECT_EQ(Inits(lpt), (Texts{"", "ParallelPort:0278"}));
    EXPECT_EQ(Inits(kov22), Texts{});
    EXPECT_EQ(dialogRuns, 2);
    EXPECT_EQ(dialogs.Texts(), Texts{"An error occurred while processing the portbase address"});
    EXPECT_EQ(dialogs.shown[0].caption, "Portbase range check error");
    EXPECT_EQ(Last("DLLName"), GlobalConfig->ProgrammersFolder() + "/lpt.so");
    EXPECT_EQ(Last("Interface"), "ParallelPort:0278");
}

TEST_F(ProgrammerSearchTest, UsbDisablesThePortAndIsSentAsIs) {
    const std::string kov22 = Place("kov22.so", "KOV22", {"id=2", "answer=USB>USB"});
    Place("lpt.so", "LPT1000", {"id=1"});
    ASSERT_TRUE(Run([&] {
        Choose("LPT1000", "ParallelPort");
        search.SetPortText("");
        search.InterfaceComboBoxChange();
        EXPECT_EQ(search.PortText(), "Auto Search");
        search.SetPortText("0x0378");
        Choose(EditionId == "KESTRA" ? "TOLQ" : "KOV22", "USB");
        EXPECT_FALSE(search.PortEnabled());
        EXPECT_EQ(search.PortText(), "Auto Search");
        EXPECT_EQ(search.InterfaceText(), "USB");
        return Search::ChoiceOk;
    }));
    EXPECT_EQ(Inits(kov22), Texts{"USB"});
    EXPECT_EQ(Last("Interface"), "USB");
}

TEST_F(ProgrammerSearchTest, DemoTakesTheChosenProgrammersIdAndIsNotRemembered) {
    Place("kov22.so", "KOV22", {"id=2"});
    Place("lpt.so", "LPT1000", {"id=1"});
    sessionLines.push_back("LastProgrammer.DLLName=/nowhere/lpt.so");
    sessionLines.push_back("LastProgrammer.Interface=ParallelPort:0378");
    int demoRuns = 0;
    auto demo = [&] {
        if (++demoRuns == 2) Place("demo.so", "DEMO", {"answer=DEMO>DEMO"});
        Choose("LPT1000", "ParallelPort");
        return Search::ChoiceDemo;
    };
    ASSERT_TRUE(Run(demo));
    EXPECT_EQ(dialogRuns, 2);   // no demo library the first time
    EXPECT_EQ(dialogs.Texts().back(), "No demo programmer library found");
    EXPECT_EQ(search.Programmer()->ProgrammerId(), 1);
    EXPECT_EQ(Last("DLLName"), "/nowhere/lpt.so");
    EXPECT_EQ(Last("Interface"), "ParallelPort:0378");
}

TEST_F(ProgrammerSearchTest, ProgrammerThatDoesNotAnswerBringsTheDialogBack) {
    const std::string lpt = Place("lpt.so", "LPT1000", {"id=1"});
    int runs = 0;
    EXPECT_FALSE(Run([&] { return ++runs < 3 ? Search::ChoiceOk : Search::ChoiceCancel; }));
    EXPECT_EQ(dialogRuns, 3);
    EXPECT_EQ(Inits(lpt).size(), 2u);
    EXPECT_EQ(Last("DLLName"), "");
    for (const auto& item : GlobalStatusStack->Items()) EXPECT_NE(item.caller, &owner);
}

// While the dialog is shown the splash window still says what the start-up is doing, whether
// the remembered library could not be loaded or the chosen programmer did not answer.
TEST_F(ProgrammerSearchTest, TheStartUpLineStaysWhileTheDialogIsShown) {
    Place("lpt.so", "LPT1000", {"id=1"});
    // A device library where the programmer library was: it refuses the framework structure.
    const std::string wrong = tables::PlaceDevices(temp.path(), "wrong.so", {});
    sessionLines.push_back("LastProgrammer.DLLName=" + wrong);
    sessionLines.push_back("LastProgrammer.Interface=USB");
    Texts shown;
    int runs = 0;
    EXPECT_FALSE(Run([&] {
        shown.push_back(GlobalStatusStack->TopStatus() ? GlobalStatusStack->TopStatus()->text : "");
        return ++runs < 2 ? Search::ChoiceOk : Search::ChoiceCancel;
    }));
    EXPECT_EQ(shown, (Texts{"Attempting to communicate with programmer", "Attempting to communicate with programmer"}));
    EXPECT_TRUE(LogContains("could not be started"));
    for (const auto& item : GlobalStatusStack->Items()) EXPECT_NE(item.caller, &owner);
}

TEST_F(ProgrammerSearchTest, AuxiliaryMenuIsOfferedInDebugModeOnly) {
    const std::string kov22 = Place("kov22.so", "KOV22", {"id=2", "answer=USB>USB"});
    sessionLines.push_back("LastProgrammer.DLLName=" + kov22);
    sessionLines.push_back("LastProgrammer.Interface=USB");
    sessionLines.push_back("Global.Debug=TRUE");
    std::vector<TAuxMenuItem> menu;
    search.ShowAuxMenu = [&](TProgDLL& host) { host.BuildAuxMenu(&menu); };
    ASSERT_TRUE(Run(nullptr));
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[1].caption, "Calibrate");

    TProgrammerSearch quiet;
    DebugMode = false;
    bool offered = false;
    quiet.ShowAuxMenu = [&](TProgDLL&) { offered = true; };
    ASSERT_TRUE(quiet.StartProgrammer());
    EXPECT_FALSE(offered);
}

}  // namespace
