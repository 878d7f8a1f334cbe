// Ctrl+C during a long Program: the library stops through the progress box's Abort, the run fails
// and the session is stored as after any other run.
#include <string>

#include "run_support.h"

namespace {

using RunInterruptTest = CliProcessTest;

TEST_F(RunInterruptTest, CtrlCDuringProgramFailsTheRunAndKeepsTheSession) {
    std::string image;
    for (int i = 0; i < 4096; ++i)
        image.push_back(static_cast<char>(i * 13 + 1));
    WriteFile(temp / "fw.bin", image);
    // Slow enough that programming takes many seconds.
    WriteSession(
        {"Simulator.TimeScale=20", "Device.SuppressConfirm=TRUE", "File.SuppressLoadSaveConfirm=TRUE"});

    const pid_t pid = Start({"--session", Session(), "run", "--programmer", "kov22", "--device",
                             "Atmel/AT27C256R/DIP28", "--load", "fw.bin@binary", "--program", "--verify"});
    // Wait until programming proper runs (after its blank check).
    bool programming = false;
    for (int i = 0; i < 1500 && !programming; ++i) {
        const std::string err = ReadFile(temp / "stderr.txt");
        const std::size_t blank = err.find("100%  Blank checking AT27C256R");
        programming =
            blank != std::string::npos && err.find("Programming AT27C256R", blank) != std::string::npos;
        if (!programming) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(programming) << ReadFile(temp / "stderr.txt");
    ASSERT_EQ(::kill(pid, SIGINT), 0);
    const CliResult r = Finish(pid);

    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_TRUE(Has(r.err, "kov-cli: Program was interrupted")) << r.err;
    EXPECT_TRUE(Has(r.err, "kov-cli: operation 2 (--program) failed")) << r.err;
    EXPECT_TRUE(Has(r.err, "aborted by the user")) << r.err;
    EXPECT_FALSE(Has(r.out, "Program:")) << r.out;
    EXPECT_FALSE(Has(r.out, "Verify")) << r.out;

    // The session was written as after any run: the next run finds programmer and device there,
    // and the chip was left part-programmed.
    std::string session = SessionText();
    EXPECT_TRUE(Has(session, "Simulator.TimeScale=20")) << session;
    EXPECT_TRUE(
        Has(session, "Device.AutoSelect=\"eprom8.so\",\"Atmel\",\"AT27C256R\",\"DIP28\",\"28\",\"8\""));
    session.replace(session.find("TimeScale=20"), 12, "TimeScale=0");
    WriteFile(temp / "s.kvs", session);
    CliResult after = Run({"--load", "fw.bin@binary", "--verify"});
    EXPECT_EQ(after.status, 2) << after.err;
    after = Run({"--blank-check"});
    EXPECT_EQ(after.status, 1) << after.err;
}

} // namespace
