// kov-cli devices: what the device libraries offer to one programmer.
#include "run_support.h"

namespace {

using DevicesTest = CliProcessTest;

TEST_F(DevicesTest, EachProgrammerIsOfferedItsOwnDevices) {
    // The NMOS 2716 needs the high programming voltage only KOVP4 has.
    CliResult r = Cli({"devices", "--programmer", "kovp4", "--search", "sgs-thomson"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "EPROM\tSGS-Thomson\tM2716\tDIP24\t24\t8\teprom8.so\n")) << r.out;

    r = Cli({"devices", "--programmer", "KOV22", "--search", "m2716"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(Has(r.err, "no device of KOV22 matches \"m2716\"")) << r.err;

    // The search covers type, maker, name and package, in any letter case.
    r = Cli({"devices", "--programmer", "kov22.so", "--search", "tssop"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& line : Lines(r.out))
        EXPECT_TRUE(Has(line, "\tTSSOP")) << line;
    EXPECT_FALSE(Lines(r.out).empty());
}

TEST_F(DevicesTest, TheSessionsLastProgrammerIsTheDefault) {
    CliResult r = Cli({"devices"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "the session names no programmer")) << r.err;

    const std::string prog = std::string(KOV_TEST_STAGE_DIR) + "/prog/kovp4.so";
    WriteSession({"LastProgrammer.DLLName=" + prog, "LastProgrammer.Interface=ParallelPort:0378"});
    r = Cli({"devices", "--search", "2716"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "\tM2716\t")) << r.out;

    r = Cli({"devices", "--programmer", "KOV99"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Has(r.err, "no programmer KOV99")) << r.err;
    EXPECT_TRUE(Has(r.err, "KOV22 (USB), KOVP4 (ParallelPort)")) << r.err;
}

} // namespace
