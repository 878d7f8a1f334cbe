// kov-cli programmers: the programmer libraries of the install's programmer folder.
#include "run_support.h"

namespace {

using ProgrammersTest = CliProcessTest;

TEST_F(ProgrammersTest, ListsEveryProgrammerLibraryButTheDemo) {
    const CliResult r = Cli({"programmers"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string prog = (std::filesystem::path(KOV_TEST_STAGE_DIR) / "prog").lexically_normal().string();
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"KOV22\tUSB\t" + prog + "/kov22.so\t2",
                                                      "KOVP4\tParallelPort\t" + prog + "/kovp4.so\t4"}));
    // Listing starts no programmer, so nothing is remembered.
    EXPECT_FALSE(Has(SessionText(), "LastProgrammer"));
}

} // namespace
