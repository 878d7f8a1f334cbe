#include <memory>

#include "PluginTestSupport.h"
#include "branding/Edition.h"
#include "core/KovError.h"
#include "core/MessageCodes.h"
#include "plugins/LibraryModule.h"
#include "plugins/ProgDLL.h"

namespace {

class ProgDLLTest : public HostTest {};

std::string ConstructionError(const std::string& path) {
    try {
        TProgDLL host(path, EditionId);
    } catch (const KovError& e) {
        return e.what();
    }
    return {};
}

TEST_F(ProgDLLTest, LibraryWithOnlyTheRequiredExportsLoads) {
    KtProgrammer lib("kt_prog_min");
    TProgDLL host(lib.path, EditionId);
    EXPECT_TRUE(host.IsLoaded());
    EXPECT_EQ(host.ProgrammerId(), 4);
    EXPECT_EQ(host.LibraryFileName(), "kt_prog_min.so");
    EXPECT_TRUE(Logged("TProgDLL:kt_prog_min.so expects framework structure version #7"));
    EXPECT_EQ(lib.control->frame.version, 7);

    std::vector<TAuxMenuItem> menu{{"stale", 9}};
    EXPECT_FALSE(host.BuildAuxMenu(&menu));
    EXPECT_TRUE(menu.empty());
    EXPECT_FALSE(host.ReadDeviceSpec());

    std::uint16_t status = 77;
    EXPECT_EQ(host.MiscRead(&status), -1);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text, "Unable to find function 'MiscRead' in DLL\n" + lib.path +
                                         "\nthis function is needed for automatic programming.\n");
    EXPECT_EQ(dialogs.shown[0].caption, "Error");
    EXPECT_EQ(dialogs.shown[0].flags, 48);
    EXPECT_EQ(status, 77);

    EXPECT_EQ(host.TurnOff(), 0);
    EXPECT_EQ(lib.control->turnOffCalls, 1);
}

TEST_F(ProgDLLTest, FullLibraryGetsTheEditionAndKeepsItsIdentity) {
    KtProgrammer lib("kt_prog_full");
    {
        TProgDLL host(lib.path, EditionId);
        EXPECT_EQ(lib.control->oemCalls, 1);
        EXPECT_EQ(std::string(lib.control->oemReceived), EditionId);
        EXPECT_EQ(host.ProgrammerId(), 2);

        // Asked once; later requests use the cached name.
        EXPECT_EQ(host.ProgrammerName(), "TEST Programmer");
        EXPECT_EQ(host.ProgrammerName(), "TEST Programmer");
        EXPECT_EQ(lib.control->nameCalls, 1);
        EXPECT_EQ(lib.control->nameSize, 256);
        EXPECT_EQ(lib.control->nameFirstByte, 0);
    }
    lib.control->programmerId = 0;
    {
        TProgDLL host(lib.path, EditionId);
        EXPECT_EQ(host.ProgrammerId(), 4);
    }
    lib.control->overrunName = 1;   // fills all 256 bytes without a NUL
    TProgDLL host(lib.path, EditionId);
    EXPECT_EQ(host.ProgrammerName(), std::string(256, 'N'));
}

TEST_F(ProgDLLTest, InitialiseOnPortPassesACutPortTextAndReturnsTheAnswer) {
    KtProgrammer lib("kt_prog_full");
    TProgDLL host(lib.path, EditionId);
    EXPECT_EQ(host.InitializeOnPort(std::string(300, 'P')), std::string(255, 'P'));
    EXPECT_EQ(lib.control->portLength, 255);
    EXPECT_EQ(lib.control->initSize, 254);

    std::strcpy(lib.control->initAnswer, "ParallelPort:0378");
    EXPECT_EQ(host.InitializeOnPort("ParallelPort"), "ParallelPort:0378");
    EXPECT_STREQ(lib.control->portReceived, "ParallelPort");

    lib.control->initResult = 0;   // not found, even though the buffer was written
    EXPECT_EQ(host.InitializeOnPort("USB"), "");
}

TEST_F(ProgDLLTest, AuxMenuIsBuiltFromTheLinesOfGetAuxMenuT) {
    KtProgrammer lib("kt_prog_full");
    TProgDLL host(lib.path, EditionId);
    EXPECT_FALSE(host.BuildAuxMenu(nullptr));

    lib.control->auxMenu = "Insert chip\r\nRemove chip";
    std::vector<TAuxMenuItem> menu;
    ASSERT_TRUE(host.BuildAuxMenu(&menu));
    ASSERT_EQ(menu.size(), 2u);
    EXPECT_EQ(menu[0].caption, "Insert chip");
    EXPECT_EQ(menu[0].command, 1);
    EXPECT_EQ(menu[1].caption, "Remove chip");
    EXPECT_EQ(menu[1].command, 2);
    host.AuxCommand(menu[1].command);
    host.AuxCommand(0);
    ASSERT_EQ(lib.control->auxCount, 1);
    EXPECT_EQ(lib.control->auxDispatched[0], 2);

    lib.control->auxMenu = "Press start\nFault on\rFault off\r\n";
    ASSERT_TRUE(host.BuildAuxMenu(&menu));
    ASSERT_EQ(menu.size(), 3u);   // only the second build's items
    EXPECT_EQ(menu[2].caption, "Fault off");
    EXPECT_EQ(menu[2].command, 3);

    lib.control->auxMenu = nullptr;
    EXPECT_TRUE(host.BuildAuxMenu(&menu));
    EXPECT_TRUE(menu.empty());
}

TEST_F(ProgDLLTest, DeviceSpecRecordIsReadWithinItsFields) {
    KtProgrammer lib("kt_prog_full");
    TProgDLL host(lib.path, EditionId);
    EXPECT_FALSE(host.ReadDeviceSpec());   // null record

    KovDeviceSpecRecord spec{};
    spec.Version = 1;
    std::strcpy(spec.SocketModule, "SKT-40DIP");
    std::strcpy(spec.FamilyModule, "FAM-EPROM");
    lib.control->deviceSpec = &spec;
    ASSERT_TRUE(host.ReadDeviceSpec());
    EXPECT_EQ(host.SocketModule(), "SKT-40DIP");
    EXPECT_EQ(host.FamilyModule(), "FAM-EPROM");

    spec.Version = 2;
    std::strcpy(spec.SocketModule, "OTHER");
    EXPECT_FALSE(host.ReadDeviceSpec());
    EXPECT_EQ(host.SocketModule(), "SKT-40DIP");

    // Fields without their NUL, ending where readable memory ends.
    KovDeviceSpecRecord full{};
    full.Version = 1;
    std::memset(full.SocketModule, 'S', sizeof full.SocketModule);
    std::memset(full.FamilyModule, 'F', sizeof full.FamilyModule);
    GuardedRecord guarded;
    lib.control->deviceSpec = guarded.At(full, sizeof full);
    ASSERT_TRUE(host.ReadDeviceSpec());
    EXPECT_EQ(host.SocketModule(), std::string(16, 'S'));
    EXPECT_EQ(host.FamilyModule(), std::string(sizeof full.FamilyModule, 'F'));
}

TEST_F(ProgDLLTest, MiscReadPassesZerosAndTheStatusValue) {
    KtProgrammer lib("kt_prog_full");
    TProgDLL host(lib.path, EditionId);
    lib.control->miscStatus = 0x1234;
    lib.control->miscReadResult = 5;
    std::uint16_t status = 0;
    EXPECT_EQ(host.MiscRead(&status), 5);
    EXPECT_EQ(status, 0x1234);
    EXPECT_EQ(lib.control->miscReadArgs[0] | lib.control->miscReadArgs[1] | lib.control->miscReadArgs[2], 0);
    lib.control->miscReadResult = -3;
    EXPECT_EQ(host.MiscRead(nullptr), -3);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(ProgDLLTest, LibraryThatDoesNotLoadIsReportedAndLeftEmpty) {
    const std::string missing = (temp / "prog" / "absent.so").string();
    WriteFile(temp / "prog" / "text.so", "not a library");
    const std::string notElf = (temp / "prog" / "text.so").string();
    for (const std::string& path : {missing, notElf}) {
        SCOPED_TRACE(path);
        dialogs.shown.clear();
        TProgDLL host(path, EditionId);
        const std::string text = "The Programmer DLL \"" + path + "\" did not load. The error code is: 1.";
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, text);
        EXPECT_EQ(dialogs.shown[0].caption, "Error");
        EXPECT_EQ(dialogs.shown[0].flags, MB_OK);
        EXPECT_TRUE(Logged(text));
        EXPECT_FALSE(host.IsLoaded());
        EXPECT_EQ(host.ProgrammerName(), "");
        EXPECT_EQ(host.InitializeOnPort("USB"), "");
        EXPECT_EQ(host.TurnOff(), 0);
    }
    EXPECT_NE(LastSystemErrorText().find("text.so"), std::string::npos);
}

TEST_F(ProgDLLTest, ALibraryCutShortIsReportedInsteadOfEndingTheProgram) {
    // An interrupted copy: the loader would map the missing bytes and die of a bus error.
    const std::string whole = ReadFile(KtPath("kt_prog_full"));
    for (std::size_t length : {64, 3000, 12000}) {
        SCOPED_TRACE(length);
        const std::string path = (temp / "prog" / ("cut" + std::to_string(length) + ".so")).string();
        WriteFile(path, whole.substr(0, length));
        dialogs.shown.clear();
        TProgDLL host(path, EditionId);
        ASSERT_EQ(dialogs.shown.size(), 1u);
        EXPECT_EQ(dialogs.shown[0].text, "The Programmer DLL \"" + path + "\" did not load. The error code is: 1.");
        EXPECT_FALSE(host.IsLoaded());
        EXPECT_EQ(LastSystemErrorText().rfind(
                      path + ": the file is incomplete (" + std::to_string(length) + " bytes of at least ", 0),
                  0u)
            << LastSystemErrorText();
    }
    // The whole file still loads.
    const std::string copy = (temp / "prog" / "copy.so").string();
    WriteFile(copy, whole);
    TLibraryModule module;
    EXPECT_TRUE(module.Open(copy)) << LastSystemErrorText();
}

TEST_F(ProgDLLTest, UnusableLibrariesRaiseTheirMessages) {
    KtProgrammer noError("kt_prog_no_get_error");
    EXPECT_EQ(ConstructionError(noError.path), "Unable to send framework struct to Library kt_prog_no_get_error.so");
    EXPECT_TRUE(Logged("Library " + noError.path + " is not a valid programmer library"));
    EXPECT_EQ(noError.control->frame.calls, 0);

    KtProgrammer refuses("kt_prog_refuse_frame");
    EXPECT_EQ(ConstructionError(refuses.path), "Unable to send framework struct to Library kt_prog_refuse_frame.so");
    EXPECT_EQ(refuses.control->frame.calls, 1);

    KtProgrammer refusesEdition("kt_prog_refuse_oem");
    EXPECT_EQ(ConstructionError(refusesEdition.path), "Unable to send OEM name to Library kt_prog_refuse_oem.so");
    EXPECT_STREQ(refusesEdition.control->oemReceived, EditionId.c_str());

    KtProgrammer corrupt("kt_prog_full");
    corrupt.control->frameworkVersion = 0;
    EXPECT_EQ(ConstructionError(corrupt.path), "Unable to send framework struct to Library kt_prog_full.so");
    EXPECT_TRUE(Logged("Error: Framework Structure possibly corrupted.  "));
    EXPECT_EQ(corrupt.control->oemCalls, 0);

    corrupt.control->frameworkVersion = 12;
    TProgDLL host(corrupt.path, EditionId);
    EXPECT_EQ(corrupt.control->frame.version, 7);
    EXPECT_TRUE(Logged("Warning: Framework Structure version #12 not supported. "));
}

}  // namespace
