#include <algorithm>
#include <memory>

#include "KovTest.h"
#include "core/Globals.h"
#include "core/KovError.h"
#include "core/Statusstack.h"
#include "devlist_TableLibraries.h"
#include "plugins/DevDLL.h"
#include "plugins/DeviceList.h"

namespace {

using Texts = std::vector<std::string>;
using tables::Device;

TLibraryDeviceRecord Record(const std::string& type, const std::string& maker, const std::string& name,
                            const std::string& package, int pins, int width, int recordType = 1) {
    TLibraryDeviceRecord r;
    r.recordType = recordType;
    r.deviceType = type;
    r.manufacturer = maker;
    r.deviceName = name;
    r.package = package;
    r.pinCount = pins;
    r.dataWidth = width;
    return r;
}

// The captions along the first child of every level, from the node down.
Texts FirstPath(const TDeviceRec* node) {
    Texts path;
    for (; node; node = node->Child(0)) path.push_back(node->Caption());
    return path;
}

// Remembers every change of the progress box's visibility.
class VisibilityLog : public TProgressView {
public:
    void ProgressChanged(const TProgressState& state) override {
        if (visible.empty() ? state.visible : visible.back() != state.visible) visible.push_back(state.visible);
        if (state.visible) lastTitle = state.title;
    }
    std::vector<bool> visible;
    std::string lastTitle;
};

class DeviceListTest : public GlobalsFixture {
protected:
    bool AutoStart() const override { return false; }
    void SetUp() override {
        GlobalsFixture::SetUp();
        sessionLines.push_back("Log.Level=7");
        StartGlobals();
    }
    std::filesystem::path Devs() const { return temp / "devs"; }

    std::unique_ptr<TDeviceList> Build(int programmerId = 4) {
        auto list = std::make_unique<TDeviceList>();
        list->Build(Devs().string(), programmerId);
        list->AddAllBranch();
        list->Sort();
        return list;
    }
};

TEST_F(DeviceListTest, RecordBecomesAChainOfSixNodesBelowTheNodeItIsMadeFor) {
    TDeviceRec root;
    auto record = Record("EPROM", "Atmel", "AT27C256", "DIP", 28, 8, 2);
    record.programmerMask = 6;
    auto type = std::make_unique<TDeviceRec>(record, "/devs/eprom.so", &root);
    EXPECT_EQ(FirstPath(type.get()), (Texts{"EPROM", "Atmel", "AT27C256", "DIP", "28", "8"}));
    const TDeviceRec* leaf = type->Child(0)->Child(0)->Child(0)->Child(0)->Child(0);
    EXPECT_EQ(leaf->Level(), dlWidth);
    EXPECT_EQ(leaf->Library(), "/devs/eprom.so");
    EXPECT_EQ(leaf->ProgrammerMask(), 6u);
    EXPECT_EQ(leaf->DeviceType(), "EPROM");
    EXPECT_EQ(root.DeviceType(), "");

    // Type 1 records keep the default mask; a node made below a leaf or without parent stays empty.
    auto type1 = Record("EPROM", "Atmel", "AT27C256", "DIP", 28, 8, 1);
    type1.programmerMask = 6;   // not part of a type 1 record
    TDeviceRec plain(type1, "/l.so", &root);
    EXPECT_EQ(plain.ProgrammerMask(), 4u);
    TDeviceRec orphan(record, "/l.so", nullptr);
    EXPECT_EQ(orphan.Caption(), "");
    EXPECT_EQ(orphan.ChildCount(), 0);
}

TEST_F(DeviceListTest, RecordWithoutLibraryOrOfUnknownTypeIsRefused) {
    TDeviceRec root;
    TDeviceRec type(Record("EPROM", "Atmel", "AT27C256", "DIP", 28, 8), "", &root);
    EXPECT_EQ(type.ChildCount(), 0);
    EXPECT_EQ(dialogs.Texts(), Texts{"Lib is not set"});

    const long before = TDeviceRec::InstanceCount();
    try {
        TDeviceRec future(Record("EPROM", "Atmel", "X", "DIP", 8, 8, 3), "/devs/new.so", &root);
        FAIL() << "no error";
    } catch (const KovError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Unsupported device record type.\nYour device DLL, /devs/new.so, may be too new to use with your "
                  "framework.");
    }
    EXPECT_EQ(TDeviceRec::InstanceCount(), before);
}

TEST_F(DeviceListTest, EqualCaptionsMergeAtEveryLevelAndTheLaterLibraryWins) {
    TDeviceList list;
    list.AddRecords({Record("EPROM", "Atmel", "AT27C256", "DIP", 28, 8), Record("EPROM", "Atmel", "AT27C512", "DIP", 28, 8)},
                    "/devs/a.so");
    list.AddRecords({Record("EPROM", "Atmel", "AT27C256", "DIP", 28, 8), Record("EPROM", "Atmel", "AT27C256", "PLCC", 32, 8)},
                    "/devs/b.so");
    ASSERT_EQ(list.DeviceTypeCount(), 1);
    const TDeviceRec* maker = list.Root()->Child(0)->Child(0);
    ASSERT_EQ(maker->ChildCount(), 2);
    const TDeviceRec* device = maker->FindChild("AT27C256");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->ChildCount(), 2);
    EXPECT_EQ(list.LibraryFor("AT27C256", "Atmel", "DIP", 28, 8), "/devs/b.so");
    EXPECT_EQ(list.LibraryFor("AT27C512", "Atmel", "DIP", 28, 8), "/devs/a.so");
    EXPECT_EQ(list.LibraryFor("AT27C256", "Atmel", "PLCC", 32, 8), "/devs/b.so");
}

TEST_F(DeviceListTest, AllBranchListsEveryManufacturerWithTheDevicesOfAllTypes) {
    TDeviceList list;
    list.AddRecords({Record("EPROM", "Atmel", "AT27C256", "DIP", 28, 8), Record("FLASH", "Atmel", "AT29C010", "PLCC", 32, 8),
                     Record("FLASH", "AMD", "AM29F010", "PLCC", 32, 8)},
                    "/devs/a.so");
    list.AddAllBranch();
    list.Sort();

    Texts types;
    list.SetDeviceTypesTarget(&types);
    EXPECT_EQ(types, (Texts{"All", "EPROM", "FLASH"}));
    Texts makers;
    Texts devices;
    list.SetManufacturersTarget(&makers);
    list.SetDevicesTarget(&devices);
    list.SelectDeviceType("All");
    EXPECT_EQ(makers, (Texts{"AMD", "Atmel"}));
    list.SelectManufacturer("Atmel");
    EXPECT_EQ(devices, (Texts{"AT27C256", "AT29C010"}));

    // Shared, not copied: the node under "All" is the one of its own branch.
    const TDeviceRec* shared = list.AllNode()->FindChild("Atmel")->FindChild("AT27C256");
    EXPECT_EQ(shared, list.Root()->FindChild("EPROM")->FindChild("Atmel")->FindChild("AT27C256"));
    EXPECT_EQ(shared->DeviceType(), "EPROM");
    EXPECT_EQ(list.FindLeaf("AT29C010", "Atmel", "PLCC", 32, 8)->DeviceType(), "FLASH");
}

TEST_F(DeviceListTest, SameDeviceUnderTwoTypesShowsBothUnderAllAndIsFreedOnce) {
    const long before = TDeviceRec::InstanceCount();
    {
        TDeviceList list;
        list.AddRecords({Record("EEPROM", "Atmel", "AT28C256", "DIP", 28, 8), Record("FLASH", "Atmel", "AT28C256", "PLCC", 32, 8),
                         Record("FLASH", "Atmel", "AT28C256", "DIP", 28, 8)},
                        "/devs/a.so");
        list.AddRecords({Record("FLASH", "Atmel", "AT28C256", "DIP", 28, 8)}, "/devs/b.so");
        list.AddAllBranch();
        list.Sort();

        const TDeviceRec* merged = list.AllNode()->FindChild("Atmel")->FindChild("AT28C256");
        ASSERT_NE(merged, nullptr);
        Texts packages;
        merged->CollectChildCaptions(packages);
        EXPECT_EQ(packages, (Texts{"DIP", "PLCC"}));
        // Neither real device node was taken over or changed by the "All" branch.
        EXPECT_EQ(list.Root()->FindChild("EEPROM")->FindChild("Atmel")->FindChild("AT28C256")->ChildCount(), 1);
        EXPECT_EQ(list.Root()->FindChild("FLASH")->FindChild("Atmel")->FindChild("AT28C256")->ChildCount(), 2);
        // Of two equal leaves under "All" the later type's is offered.
        EXPECT_EQ(list.LibraryFor("AT28C256", "Atmel", "DIP", 28, 8), "/devs/b.so");
        EXPECT_EQ(list.Devices().size(), 3u);
    }
    EXPECT_EQ(TDeviceRec::InstanceCount(), before);
}

TEST_F(DeviceListTest, SelectionsRefillTheListOneLevelDownOnly) {
    TDeviceList list;
    list.AddRecords({Record("EPROM", "Atmel", "AT27C256", "DIP", 28, 8), Record("EPROM", "Atmel", "AT27C256", "PLCC", 32, 8),
                     Record("EPROM", "Intel", "I2764", "DIP", 28, 8), Record("FLASH", "AMD", "AM29F010", "PLCC", 32, 8)},
                    "/devs/a.so");
    list.AddAllBranch();
    list.Sort();
    Texts types{"stale"}, makers{"stale"}, devices{"stale"}, packages, pins, widths;
    list.SetManufacturersTarget(&makers);
    EXPECT_EQ(makers, Texts{"stale"});   // no device type selected: left alone
    list.SetDevicesTarget(&devices);
    EXPECT_TRUE(devices.empty());        // the devices list is cleared even so
    list.SetDeviceTypesTarget(&types);
    list.SetPackagesTarget(&packages);
    list.SetPinCountsTarget(&pins);
    list.SetWidthsTarget(&widths);

    list.SelectDeviceType("EPROM");
    EXPECT_EQ(makers, (Texts{"Atmel", "Intel"}));
    list.SelectManufacturer("Atmel");
    list.SelectDevice("AT27C256");
    EXPECT_EQ(packages, (Texts{"DIP", "PLCC"}));
    list.SelectPackage("PLCC");
    list.SelectPinCount("32");
    list.SelectWidth("8");
    EXPECT_EQ(list.SelectedWidth(), "8");

    // A manufacturer the type does not list: none selected, the devices list keeps its content,
    // deeper selections stay as they were.
    list.SelectManufacturer("AMD");
    EXPECT_EQ(list.SelectedManufacturer(), "");
    EXPECT_EQ(devices, Texts{"AT27C256"});
    EXPECT_EQ(list.SelectedDevice(), "AT27C256");
    list.SelectDevice("AT27C256");   // nothing selected one level up
    EXPECT_EQ(list.SelectedDevice(), "");
    EXPECT_EQ(list.SelectedPackage(), "PLCC");
    list.SelectManufacturer("");
    EXPECT_EQ(list.SelectedManufacturer(), "");
}

TEST_F(DeviceListTest, FindLeafNeedsAllFiveValuesAndTriesAllFirst) {
    TDeviceList list;
    list.AddRecords({Record("EPROM", "Atmel", "AT27C256", "DIP", 28, 8)}, "/devs/a.so");
    list.AddAllBranch();
    EXPECT_EQ(list.FindLeaf("AT27C256", "Atmel", "DIP", -1, 8), nullptr);
    EXPECT_EQ(list.FindLeaf("AT27C256", "Atmel", "DIP", 28, -1), nullptr);
    EXPECT_EQ(list.FindLeaf("", "Atmel", "DIP", 28, 8), nullptr);
    EXPECT_EQ(list.FindLeaf("AT27C256", "", "DIP", 28, 8), nullptr);
    EXPECT_EQ(list.FindLeaf("AT27C256", "Atmel", "", 28, 8), nullptr);
    EXPECT_EQ(list.FindLeaf("AT27C256", "Atmel", "DIP", 32, 8), nullptr);
    EXPECT_EQ(list.LibraryFor("AT27C256", "Atmel", "DIP", 32, 8), "");
    ASSERT_NE(list.FindLeaf("AT27C256", "Atmel", "DIP", 28, 8), nullptr);
    EXPECT_EQ(list.FindLeaf("AT27C256", "Atmel", "DIP", 28, 8)->Library(), "/devs/a.so");
}

TEST_F(DeviceListTest, ListsAreSortedByNameWithoutCaseAndNumbersByValue) {
    TDeviceList list;
    list.AddRecords({Record("PLD", "lattice", "GAL16V8", "DIP", 20, 1), Record("EPROM", "Atmel", "AT27C256", "PLCC", 32, 16),
                     Record("EPROM", "Atmel", "AT27C256", "DIP", 28, 8), Record("EPROM", "Atmel", "AT27C256", "DIP", 8, 8),
                     Record("EPROM", "AMD", "AM27C256", "DIP", 28, 8)},
                    "/devs/a.so");
    list.AddAllBranch();
    list.Sort();
    Texts types, makers, devices, packages, pins;
    list.SetDeviceTypesTarget(&types);
    list.SetManufacturersTarget(&makers);
    list.SetDevicesTarget(&devices);
    list.SetPackagesTarget(&packages);
    list.SetPinCountsTarget(&pins);
    EXPECT_EQ(types, (Texts{"All", "EPROM", "PLD"}));
    list.SelectDeviceType("All");
    EXPECT_EQ(makers, (Texts{"AMD", "Atmel", "lattice"}));
    list.SelectManufacturer("Atmel");
    list.SelectDevice("AT27C256");
    EXPECT_EQ(packages, (Texts{"DIP", "PLCC"}));
    list.SelectPackage("DIP");
    EXPECT_EQ(pins, (Texts{"8", "28"}));
}

TEST_F(DeviceListTest, BuildLoadsEveryLibraryOfTheFolderWithTheProgressBox) {
    tables::PlaceDevices(Devs(), "b_flash.so", {Device("FLASH", "AMD", "AM29F010", "PLCC", 32, 8)});
    tables::PlaceDevices(Devs(), "A_Eprom.So", {Device("EPROM", "Atmel", "AT27C256", "DIP", 28, 8)});
    tables::PlaceDevices(Devs(), "c_same.so", {Device("FLASH", "AMD", "AM29F010", "PLCC", 32, 8)});
    WriteFile(Devs() / "notes.txt", "not a library");
    VisibilityLog progress;
    ProgressBox().SetView(&progress);
    auto list = Build();
    ProgressBox().SetView(nullptr);

    EXPECT_EQ(progress.visible, (std::vector<bool>{true, false}));
    EXPECT_EQ(progress.lastTitle, "Building device list");
    EXPECT_EQ(list->Devices().size(), 2u);
    EXPECT_EQ(list->LibraryFor("AM29F010", "AMD", "PLCC", 32, 8), (Devs() / "c_same.so").string());
    EXPECT_EQ(list->LibraryFor("AT27C256", "Atmel", "DIP", 28, 8), (Devs() / "A_Eprom.So").string());
    EXPECT_TRUE(LogContains("Loading " + (Devs() / "A_Eprom.So").string()));
}

TEST_F(DeviceListTest, MissingOrEmptyFolderGivesOnlyTheRootAndAll) {
    for (const std::string& folder : {std::string(), (temp / "nowhere").string(), Devs().string()}) {
        std::filesystem::create_directories(Devs());
        VisibilityLog progress;
        ProgressBox().SetView(&progress);
        TDeviceList list;
        list.Build(folder, 4);
        ProgressBox().SetView(nullptr);
        EXPECT_TRUE(list.Empty());
        EXPECT_EQ(progress.visible, (std::vector<bool>{true, false}));
        list.AddAllBranch();
        EXPECT_EQ(list.DeviceTypeCount(), 1);
        EXPECT_TRUE(list.Empty());
    }
}

TEST_F(DeviceListTest, OnlyRecordsMeantForTheProgrammerAreListed) {
    tables::PlaceDevices(Devs(), "mixed.so",
                         {Device("EPROM", "Atmel", "TYPE1", "DIP", 28, 8, 1),
                          Device("FLASH", "AMD", "MASK6", "PLCC", 32, 8, 2, "0x06"),
                          Device("FLASH", "AMD", "MASK1", "PLCC", 32, 8, 2, "0x01")});
    auto names = [this](int id) {
        Texts found;
        for (const auto& d : Build(id)->Devices()) found.push_back(d.device);
        std::sort(found.begin(), found.end());
        return found;
    };
    EXPECT_EQ(names(4), (Texts{"MASK6", "TYPE1"}));
    EXPECT_EQ(names(2), Texts{"MASK6"});
    EXPECT_EQ(names(6), Texts{"MASK6"});
    EXPECT_EQ(names(1), Texts{"MASK1"});
    EXPECT_TRUE(names(8).empty());
}

TEST_F(DeviceListTest, BadLibrariesAndRecordsAreSkippedWithAMessage) {
    WriteFile(Devs() / "broken.so", "this is not a shared library");
    tables::PlaceDevices(Devs(), "good.so", {Device("EPROM", "Atmel", "AT27C256", "DIP", 28, 8)});
    std::vector<std::string> odd = {Device("EPROM", "Odd", "FUTURE", "DIP", 28, 8, 7),
                                    Device("", "Odd", "NOTYPE", "DIP", 28, 8),
                                    Device("EPROM", "", "NOMAKER", "DIP", 28, 8),
                                    Device("EPROM", "Odd", "", "DIP", 28, 8),
                                    Device("EPROM", "Odd", "NOPACKAGE", "", 28, 8),
                                    Device("EPROM", "Odd", "NEGATIVE", "DIP", -1, 8)};
    for (int i = 0; i < 300; ++i) odd.push_back(Device("EPROM", "Odd", "SAME", "P" + std::to_string(i % 3), 28, 8));
    tables::PlaceDevices(Devs(), "odd.so", odd);
    std::filesystem::create_directories(Devs() / "folder.so");

    auto list = Build();
    Texts names;
    for (const auto& d : list->Devices()) names.push_back(d.device + "/" + d.package);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Texts{"AT27C256/DIP", "SAME/P0", "SAME/P1", "SAME/P2"}));
    const std::string odd_path = (Devs() / "odd.so").string();
    EXPECT_TRUE(LogContains("4 device records without a device type, manufacturer, name or package skipped in " +
                            odd_path));
    EXPECT_TRUE(LogContains("1 device records with a negative pin count or data width skipped in " + odd_path));
    EXPECT_TRUE(LogContains("Device library " + (Devs() / "broken.so").string() + " skipped: Unable to load library"));
    EXPECT_TRUE(dialogs.shown.empty());   // reported only when every exception is to be shown
}

TEST_F(DeviceListTest, LibraryThatNeverEndsItsListIsCutOff) {
    tables::PlaceDevices(Devs(), "endless.so", {"endless", Device("EPROM", "Loop", "AGAIN", "DIP", 28, 8)});
    tables::PlaceDevices(Devs(), "later.so", {Device("EPROM", "Atmel", "AT27C256", "DIP", 28, 8)});
    auto list = Build();
    EXPECT_EQ(list->Devices().size(), 2u);
    EXPECT_TRUE(LogContains("lists more than 200000 devices; the rest is not listed."));

    // The host's own enumeration stops at the same point.
    TDevDLL host((Devs() / "endless.so").string(), nullptr);
    std::vector<TLibraryDeviceRecord> records;
    host.EnumerateDevices(records);
    EXPECT_EQ(records.size(), static_cast<std::size_t>(TDevDLL::MaxDeviceRecords));
}

}  // namespace
