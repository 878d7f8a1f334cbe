// The three simulated programmer libraries through kov's programmer library host.
#include <filesystem>

#include "LabFixture.h"
#include "kovsim/Records.h"
#include "kovsim/Tables.h"

namespace {

const DeviceChoice kEprom{"eprom8", "AT27C256R", "Atmel", "DIP28", 28, 8};

} // namespace

TEST_F(LabTest, EachProgrammerAnswersOnItsOwnPortsOnly) {
    struct Case {
        const char* library;
        const char* port;
        const char* answer; // "" = not found
    };
    const Case cases[] = {
        {"kov22", "USB", "USB"},
        {"kov22", "", "USB"},
        {"kov22", "ParallelPort:0378", ""},
        {"kovp4", "", "ParallelPort:0378"},
        {"kovp4", "ParallelPort:0378", "ParallelPort:0378"},
        {"kovp4", "parallelport:0x378", "ParallelPort:0378"},
        {"kovp4", "ParallelPort:0278", ""},
        {"kovp4", "ParallelPort:", ""},
        {"kovp4", "USB", ""},
        {"demo", "DEMO", "DEMO"},
        {"demo", "", "DEMO"},
    };
    for (const Case& c : cases) {
        TProgDLL host(StagedProgrammer(c.library), EditionId);
        EXPECT_EQ(host.InitializeOnPort(c.port), c.answer) << c.library << " on '" << c.port << "'";
    }
    TProgDLL usb(StagedProgrammer("kov22"), EditionId);
    EXPECT_EQ(usb.InitializeOnPort(std::string(300, 'U') + "SB"), "")
        << "an over-long port text is just not a port";

    Session("Simulator", "KOVP4", "Port", "278");
    TProgDLL parallel(StagedProgrammer("kovp4"), EditionId);
    EXPECT_EQ(parallel.InitializeOnPort("ParallelPort:0278"), "ParallelPort:0278");
    EXPECT_EQ(parallel.InitializeOnPort("ParallelPort:0378"), "");
    EXPECT_EQ(parallel.InitializeOnPort(""), "ParallelPort:0278");
    Session("Simulator", "KOVP4", "Port", "lpt1");
    EXPECT_EQ(parallel.InitializeOnPort(""), "ParallelPort:0378");
    EXPECT_TRUE(LogContains("KOVP4: the port address 'lpt1' is not a hexadecimal number"));
}

TEST_F(LabTest, NamesAndIdsFollowTheEditionAndTheModel) {
    TProgDLL usb(StagedProgrammer("kov22"), EditionId);
    EXPECT_EQ(usb.ProgrammerName(), ProductName + " KOV22");
    EXPECT_EQ(usb.ProgrammerId(), 2);
    TProgDLL parallel(StagedProgrammer("kovp4"), EditionId);
    EXPECT_EQ(parallel.ProgrammerName(), ProductName + " KOVP4");
    EXPECT_EQ(parallel.ProgrammerId(), 4) << "no get_programmer_id: kov's default";
    EXPECT_EQ(parallel.DLLFunctions().GetProgrammerIdP, nullptr);
    TProgDLL demo(StagedProgrammer("demo"), EditionId);
    EXPECT_EQ(demo.ProgrammerName(), ProductName + " Demo");
    for (const char* edition : {"KESTRA", "BOLVANE", "TORMEX", "SOMEONE"}) {
        TProgDLL other(StagedProgrammer("kov22"), edition);
        EXPECT_EQ(other.ProgrammerName(), EditionFor(edition).productName + " KOV22") << edition;
    }
}

TEST_F(LabTest, AnAbsentProgrammerIsNotFound) {
    Session("Simulator", "KOV22", "Absent", "TRUE");
    TProgDLL usb(StagedProgrammer("kov22"), EditionId);
    EXPECT_EQ(usb.InitializeOnPort("USB"), "");
    EXPECT_TRUE(LogContains("KOV22: switched absent by the session"));
    TProgDLL parallel(StagedProgrammer("kovp4"), EditionId);
    EXPECT_EQ(parallel.InitializeOnPort(""), "ParallelPort:0378") << "the switch is per programmer";
}

TEST_F(LabTest, TheUsbProgrammerReportsItsSocketAndFamilyModules) {
    StartProgrammer("kov22");
    ASSERT_TRUE(programmer->ReadDeviceSpec());
    EXPECT_EQ(programmer->SocketModule(), "DIP48 ZIF");
    EXPECT_EQ(programmer->FamilyModule(), "None");
    ASSERT_TRUE(Select({"flash", "AM29F040B", "AMD", "PLCC32", 32, 8}));
    ASSERT_TRUE(programmer->ReadDeviceSpec());
    EXPECT_EQ(programmer->SocketModule(), "PLCC32 adapter");
    EXPECT_EQ(programmer->FamilyModule(), "Flash");

    TProgDLL parallel(StagedProgrammer("kovp4"), EditionId);
    EXPECT_FALSE(parallel.ReadDeviceSpec());
}

TEST_F(LabTest, TheStartButtonIsPolledThroughMiscRead) {
    StartProgrammer("kov22");
    std::vector<TAuxMenuItem> menu;
    ASSERT_TRUE(programmer->BuildAuxMenu(&menu));
    ASSERT_EQ(menu.size(), 10u);
    EXPECT_EQ(menu[2].caption, "Press start button");
    std::uint16_t status = 0xABCD;
    EXPECT_EQ(programmer->MiscRead(&status), 0);
    EXPECT_EQ(status, 1);
    programmer->AuxCommand(menu[2].command);
    std::vector<int> readings;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(programmer->MiscRead(&status), 0);
        readings.push_back(status);
    }
    EXPECT_EQ(readings, (std::vector<int>{0, 0, 1})) << "two zeros in a row start the auto sequence once";

    TProgDLL parallel(StagedProgrammer("kovp4"), EditionId);
    EXPECT_EQ(parallel.MiscRead(&status), -1) << "the parallel programmer has no start button";
    EXPECT_TRUE(AnyContains(TakeBoxes(), "Unable to find function 'MiscRead'"));
}

TEST_F(LabTest, TheAuxMenuSwitchesTheSocketAndShowsItsStatus) {
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kEprom));
    std::vector<TAuxMenuItem> menu;
    ASSERT_TRUE(programmer->BuildAuxMenu(&menu));
    auto command = [&](const std::string& caption) {
        for (const auto& item : menu)
            if (item.caption == caption) return item.command;
        ADD_FAILURE() << "no aux command " << caption;
        return 0;
    };

    programmer->AuxCommand(command("Remove chip"));
    EXPECT_NE(device->BlankCheck(), 1);
    EXPECT_TRUE(AnyContains(TakeBoxes(), "There is no AT27C256R in the socket of the KOV22."));
    programmer->AuxCommand(command("Insert chip"));
    EXPECT_EQ(device->BlankCheck(), 1);

    programmer->AuxCommand(command("Toggle fault: wrong ID"));
    EXPECT_NE(device->BlankCheck(), 1);
    EXPECT_TRUE(AnyContains(TakeBoxes(), "Wrong device"));
    programmer->AuxCommand(command("Toggle fault: stuck bit"));
    programmer->AuxCommand(command("Show socket status"));
    std::vector<std::string> boxes = TakeBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("Chip: Atmel AT27C256R (DIP28), inserted"), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("Faults: WrongId,StuckBit"), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find("Stuck bit: address"), std::string::npos) << boxes[0];
    EXPECT_NE(boxes[0].find(StateFolder()), std::string::npos) << boxes[0];
    programmer->AuxCommand(command("Clear all faults"));
    EXPECT_EQ(device->BlankCheck(), 1);
    EXPECT_TRUE(LogContains("KOV22: all faults cleared"));
}

TEST_F(LabTest, EveryDeviceLibraryOffersEachProgrammerItsOwnList) {
    // The demo takes what the user chose in the search dialog; with no choice its id is 0.
    for (const kovsim::Family* family : kovsim::AllFamilies()) {
        for (int id : {0, 2, 4}) {
            TDevDLL host(StagedDevices(family->library), nullptr);
            host.SetProgrammerId(id);
            std::vector<TLibraryDeviceRecord> records;
            host.EnumerateDevices(records);
            std::vector<kovsim::DeviceEntry> expected;
            for (const auto& e : kovsim::ExpandFamily(*family))
                if (id == 0 ? e.recordType == 2 : kovsim::OfferedTo(e, static_cast<std::uint32_t>(id)))
                    expected.push_back(e);
            ASSERT_EQ(records.size(), expected.size()) << family->library << " for id " << id;
            for (std::size_t i = 0; i < records.size(); ++i) {
                EXPECT_EQ(records[i].deviceName, expected[i].part->name);
                EXPECT_EQ(records[i].manufacturer, expected[i].part->maker);
                EXPECT_EQ(records[i].deviceType, family->category);
                EXPECT_EQ(records[i].package, expected[i].package->name);
                EXPECT_EQ(records[i].pinCount, expected[i].package->pins);
                EXPECT_EQ(records[i].dataWidth, int(expected[i].width));
            }
        }
    }
}

TEST_F(LabTest, AProgrammerRefusesDevicesItHasNoSocketFor) {
    StartProgrammer("kov22");
    EXPECT_FALSE(Select({"eprom8", "2716", "Intel", "DIP24", 24, 8}));
    EXPECT_TRUE(AnyContains(TakeBoxes(), "The KOV22 programmer cannot program the Intel 2716 (DIP24)."));
    StopLab();
    StartProgrammer("kovp4");
    EXPECT_TRUE(Select({"eprom8", "2716", "Intel", "DIP24", 24, 8}));
    EXPECT_FALSE(Select({"flash", "AM29F400BT", "AMD", "TSOP48", 48, 16}));
    StopLab();
    StartProgrammer("demo", "DEMO");
    EXPECT_TRUE(Select({"eprom8", "2716", "Intel", "DIP24", 24, 8}));
    EXPECT_TRUE(Select({"flash", "AM29F400BT", "AMD", "TSOP48", 48, 16}));
    EXPECT_FALSE(Select({"flash", "AM29F400BT", "AMD", "TSOP48", 48, 12})) << "no such width";
}

TEST_F(LabTest, TheDemoKeepsItsChipsInMemoryOnly) {
    StartProgrammer("demo", "DEMO");
    ASSERT_TRUE(Select(kEprom));
    FillWords(0x8000, 8);
    EXPECT_EQ(device->Program(GlobalBuffer), 1);
    StopLab();
    EXPECT_FALSE(std::filesystem::exists(StateFolder()));
    StartProgrammer("demo", "DEMO");
    ASSERT_TRUE(Select(kEprom));
    EXPECT_EQ(device->BlankCheck(), 1) << "a new run of the demo starts with blank chips";
}

TEST_F(LabTest, BadSimulatorSettingsAreReportedAndReplaced) {
    Session("Simulator", "TimeScale", "fast");
    Session("Simulator", "Seed", "-x");
    Session("Simulator", "Faults", "Gremlins");
    StartProgrammer("kov22");
    ASSERT_TRUE(Select(kEprom));
    EXPECT_EQ(device->BlankCheck(), 1);
    EXPECT_TRUE(LogContains("KOV22: Simulator.TimeScale 'fast' is not a number from 0 to 1000; using 1"));
    EXPECT_TRUE(LogContains("KOV22: Simulator.Seed '-x' is not a decimal number; using 1"));
    EXPECT_TRUE(LogContains("KOV22: ignoring the unknown fault 'Gremlins' of Simulator.Faults"));
}
