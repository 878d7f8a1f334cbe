// kov-cli's file commands, run as the real program from the staged tree.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include "KovTest.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out;   // standard output
    std::string err;   // standard error
};

class KovCliTest : public ::testing::Test {
protected:
    void SetUp() override { WriteFile(temp / "s.kvs", "File.UnixEOL=TRUE\r\n"); }

    Result Cli(const std::string& args) {
        const std::string program = std::string(KOV_TEST_STAGE_DIR) + "/framework/kov-cli";
        const std::string err = (temp / "stderr.txt").string();
        const std::string cmd = "cd " + temp.path().string() + " && " + program + " " + args + " 2>" + err;
        Result r;
        FILE* pipe = popen(cmd.c_str(), "r");
        if (!pipe) return r;
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.out.append(buf, n);
        int status = pclose(pipe);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.err = ReadFile(err);
        return r;
    }
    std::string Path(const std::string& name) { return (temp / name).string(); }

    TempDir temp;
};

}  // namespace

TEST_F(KovCliTest, DetectPrintsTheTypeOrFailsWhenUndecided) {
    WriteFile(temp / "a.hex", ":0100000055AA\n:00000001FF\n");
    WriteFile(temp / "empty", "");
    Result r = Cli("detect --session s.kvs a.hex");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Intel Hex\n");
    r = Cli("detect --session s.kvs empty");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("cannot tell the file type"), std::string::npos);

    // --log-level holds for this command only; -v shows the lines as they are written.
    WriteFile(temp / "lv.kvs", "Log.Level=1\r\n");
    r = Cli("--session lv.kvs -v --log-level 3 detect a.hex");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("File type check for POF failed"), std::string::npos) << r.err;
    EXPECT_NE(ReadFile(temp / "lv.kvs").find("Log.Level=1\r\n"), std::string::npos);
    r = Cli("--session lv.kvs -v detect a.hex");
    EXPECT_EQ(r.err.find("File type check"), std::string::npos) << r.err;
}

TEST_F(KovCliTest, ConvertKeepsAddressesWithoutFillingTheSpaceBelow) {
    // Two records far apart at 0x08000000 and 0x08000100.
    WriteFile(temp / "in.s", "S30708000000AABB8B\nS30608000100CC24\n");
    Result r = Cli("convert --session s.kvs in.s out.hex");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(temp / "out.hex"),
              ":020000040800F2\n:02000000AABB99\n:01010000CC32\n:00000001FF\n");
    // Binary output starts at the lowest address, the gap holds the fill byte.
    r = Cli("convert --session s.kvs --fill 00 in.s out.bin");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string bin = ReadFile(temp / "out.bin");
    ASSERT_EQ(bin.size(), 0x101u);
    EXPECT_EQ(bin.substr(0, 3), std::string("\xAA\xBB\x00", 3));
    EXPECT_EQ(bin.back(), '\xCC');
    // --from binary gives byte offsets as addresses; file pointers select a part.
    r = Cli("convert --session s.kvs --from binary --to srec --file-start 0x100 --file-end 0x100 out.bin part");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(temp / "part.s"), "S00600004844521B\nS30600000100CC2C\nS70500000000FA\n");
}

TEST_F(KovCliTest, SessionSettingsApplyToTheWriters) {
    WriteFile(temp / "in.bin", std::string("\x01\x02\x03", 3));
    WriteFile(temp / "s2.kvs", "File.UnixEOL=FALSE\r\nFileType.ASCII Hex.DefaultRecordLength=2\r\n");
    Result r = Cli("convert --session s2.kvs --from binary in.bin out.asc");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(temp / "out.asc"), "\x02 $A00000000,\r\n01 02\r\n03\r\n\x03");
    WriteFile(temp / "s3.kvs", "FileType.Intel Hex.DefaultRecordLength=300\r\n");
    r = Cli("convert --session s3.kvs --from binary in.bin out.hex");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Invalid Record Length, valid range is 1 to 255"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(temp / "out.hex"));
}

TEST_F(KovCliTest, FailuresExplainThemselvesAndLeaveExistingFilesAlone) {
    WriteFile(temp / "old.hex", "keep me");
    WriteFile(temp / "bad.hex", ":0100000055AB\n");
    WriteFile(temp / "s4.kvs", "FileType.Intel Hex.IgnoreInvalidRecord=FALSE\r\n");
    Result r = Cli("convert --session s4.kvs --from ihex bad.hex old.hex");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Intel Hex format error on line: 1"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("An error occurred while processing the file:"), std::string::npos);
    EXPECT_EQ(ReadFile(temp / "old.hex"), "keep me");

    // A load that stores nothing is a failure too.
    r = Cli("convert --session s.kvs --from ihex bad.hex old.hex");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No data was loaded into the buffer."), std::string::npos) << r.err;

    r = Cli("convert --session s.kvs --from ihex missing.hex x.hex");
    EXPECT_EQ(r.status, 1);
    r = Cli("convert --session s.kvs --from nonsense bad.hex x.hex");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("unknown file type"), std::string::npos);
    r = Cli("convert --session s.kvs bad.hex x.unknown");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--to"), std::string::npos);
    r = Cli("convert --session s.kvs --file-start 0x1FFFFFFFF bad.hex x.hex");
    EXPECT_NE(r.status, 0);

    // A session that exists but cannot be read does not give way to the defaults.
    fs::create_directory(temp / "folder.kvs");
    WriteFile(temp / "in.bin", "abc");
    for (const char* command : {"convert --from binary in.bin x.hex", "dump --from binary in.bin x.txt"}) {
        SCOPED_TRACE(command);
        r = Cli(std::string("--session folder.kvs ") + command);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("Unable to read the session file"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(temp / "x.hex"));
        EXPECT_FALSE(fs::exists(temp / "x.txt"));
    }
    // Nor does firmware named as the session by mistake, which stays as it was.
    const std::string firmware = ":0300000001020305F5\n:00000001FF\n";
    WriteFile(temp / "fw.hex", firmware);
    r = Cli("--session fw.hex convert --from binary in.bin x.hex");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("fw.hex: it holds no settings"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(temp / "x.hex"));
    r = Cli("--session fw.hex detect in.bin");
    EXPECT_EQ(r.out, "Binary\n");
    EXPECT_NE(r.err.find("fw.hex: it could not be read at start and is left as it was"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(temp / "fw.hex"), firmware);
}

TEST_F(KovCliTest, BadInputFailsWithItsMessagesAndWritesNothing) {
    // A 100 MiB line without a line end, as Intel Hex: every piece is a bad line; nothing loads.
    {
        std::string line(100 << 20, '7');
        line[0] = ':';
        WriteFile(temp / "long.hex", line);
    }
    Result r = Cli("convert --session s.kvs --from ihex long.hex out.bin");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Max Error Count Reached"), std::string::npos);
    EXPECT_NE(r.err.find("No data was loaded into the buffer."), std::string::npos);
    EXPECT_FALSE(fs::exists(temp / "out.bin"));
    fs::remove(temp / "long.hex");

    // Binary garbage given as each text format.
    std::string garbage(64 << 10, '\0');
    std::uint32_t x = 99;
    for (char& c : garbage) c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
    WriteFile(temp / "garbage.bin", garbage);
    for (const char* type : {"ihex", "srec", "tek", "ascii-hex", "jedec", "pof", "bit"}) {
        SCOPED_TRACE(type);
        r = Cli(std::string("convert --session s.kvs --yes --from ") + type + " garbage.bin out.bin");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("kov-cli: "), std::string::npos);
        EXPECT_FALSE(fs::exists(temp / "out.bin"));
    }

    // Records that run past 0xFFFFFFFF, truncated records and odd digit counts are bad records.
    WriteFile(temp / "s5.kvs", "FileType.Intel Hex.IgnoreInvalidRecord=FALSE\r\nFileType.Motorola S.IgnoreInvalidRecord=FALSE\r\n");
    // (Detection would take such files for binary, so the type is given.)
    const std::pair<const char*, const char*> records[] = {
        {"past.s", "S307FFFFFFFF0102F9\n"},
        {"past.hex", ":02000004FFFFFC\n:02FFFF000102FD\n"},
        {"short.hex", ":0400000001020304\n"},
        {"odd.hex", ":0100000055A\n"},
    };
    for (const auto& [name, text] : records) {
        SCOPED_TRACE(name);
        WriteFile(temp / name, text);
        const std::string type = fs::path(name).extension() == ".s" ? "srec" : "ihex";
        r = Cli("convert --session s5.kvs --from " + type + " " + name + " out.bin");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("format error on line: "), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(temp / "out.bin"));
    }
}

TEST_F(KovCliTest, LackOfMemoryFailsCleanly) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer needs more address space than the limits here allow";
#else
    // Under every limit the conversion either succeeds exactly or fails with its message and
    // leaves no output; it never ends with a signal.
    std::string data(8 << 20, '\0');
    std::uint32_t x = 12345;
    for (char& c : data) c = static_cast<char>((x = x * 1103515245 + 12345) >> 24);
    WriteFile(temp / "in.bin", data);
    ASSERT_EQ(Cli("convert --session s.kvs --from binary in.bin in.hex").status, 0);
    const std::string program = std::string(KOV_TEST_STAGE_DIR) + "/framework/kov-cli";
    int succeeded = 0, failed = 0;
    for (int limit = 10000; limit <= 120000; limit += 10000) {
        SCOPED_TRACE(limit);
        fs::remove(temp / "out.bin");
        const std::string cmd = "cd " + temp.path().string() + " && (ulimit -v " + std::to_string(limit) +
                                "; exec " + program + " convert --session s.kvs in.hex out.bin) 2>err.txt";
        const int status = std::system(cmd.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << ReadFile(temp / "err.txt");
        const int code = WEXITSTATUS(status);
        ASSERT_TRUE(code == 0 || code == 1) << code << "\n" << ReadFile(temp / "err.txt");
        if (code == 0) {
            ++succeeded;
            EXPECT_TRUE(ReadFile(temp / "out.bin") == data);
        } else {
            ++failed;
            EXPECT_NE(ReadFile(temp / "err.txt").find("kov-cli: "), std::string::npos);
            EXPECT_FALSE(fs::exists(temp / "out.bin"));
        }
    }
    EXPECT_GT(succeeded, 0);
    EXPECT_GT(failed, 0);
#endif
}

TEST_F(KovCliTest, DumpWritesTheTextDumpOfARange) {
    WriteFile(temp / "in.hex", ":0400100041424344E2\n");
    Result r = Cli("dump --session s.kvs --start 0x10 --end 0x23 in.hex out.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadFile(temp / "out.txt"),
              "00000010  41 42 43 44 FF FF FF FF FF FF FF FF FF FF FF FF  ABCD            \n"
              "00000020  FF FF FF FF                                                      \n");
    // A name without extension gets ".txt", as the window's text dump gives it; line ends follow
    // "UnixEOL".
    WriteFile(temp / "crlf.kvs", "File.UnixEOL=FALSE\r\n");
    r = Cli("dump --session crlf.kvs in.hex plain");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(temp / "plain"));
    EXPECT_EQ(ReadFile(temp / "plain.txt"),
              "00000010  41 42 43 44                                      ABCD            \r\n");

    // Standard output has no extension to add: a dump or a conversion goes to the pipe there,
    // and no file "/dev/stdout.txt" or "/dev/stdout.hex" appears.
    r = Cli("dump --session s.kvs in.hex /dev/stdout");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "00000010  41 42 43 44                                      ABCD            \n");
    r = Cli("convert --session s.kvs --to ihex in.hex /dev/stdout");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, ":020000040000FA\n:0400100041424344E2\n:00000001FF\n");
    EXPECT_FALSE(fs::exists("/dev/stdout.txt"));
    EXPECT_FALSE(fs::exists("/dev/stdout.hex"));
}

TEST_F(KovCliTest, CtrlCEndsADumpWithoutLeavingItsTemporaryFile) {
    // Two bytes dumped over the whole address space: far too long to end before the signal.
    WriteFile(temp / "two.bin", "AB");
    WriteFile(temp / "out.txt", "the previous dump");
    const std::string program = std::string(KOV_TEST_STAGE_DIR) + "/framework/kov-cli";
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (::chdir(temp.path().c_str()) != 0) ::_exit(99);
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execl(program.c_str(), program.c_str(), "--session", "s.kvs", "dump", "--from", "binary", "--end",
                    "0xFFFFFFFF", "two.bin", "out.txt", static_cast<char*>(nullptr));
            ::_exit(98);
        }
        auto temporary = [&] {
            for (const auto& entry : fs::directory_iterator(temp.path()))
                if (entry.path().filename().string().rfind("out.txt.kov-", 0) == 0) return true;
            return false;
        };
        for (int i = 0; i < 1000 && !temporary(); ++i) ::usleep(10000);
        EXPECT_TRUE(temporary());
        ::kill(pid, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_FALSE(temporary());
        EXPECT_EQ(ReadFile(temp / "out.txt"), "the previous dump");
    }
}

TEST_F(KovCliTest, HelpDocumentsEveryCommandAndOption) {
    Result r = Cli("--help");
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"detect", "convert", "dump", "--session", "--yes"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    r = Cli("convert --help");
    for (const char* word : {"--from", "--to", "--file-start", "--file-end", "--fill", "ihex", "srec", "tek",
                             "ascii-hex", "jedec", "pof", "bit", "binary"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    r = Cli("dump --help");
    for (const char* word : {"--start", "--end", "--from", "--fill"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;

    // The programmer commands and every option and exit status of run.
    r = Cli("--help");
    for (const char* word : {"programmers", "devices", "run", "--verbose", "--log-level"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    r = Cli("devices --help");
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"--programmer", "--search"}) EXPECT_NE(r.out.find(word), std::string::npos) << word;
    r = Cli("run --help");
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"--programmer", "LIB[:INTERFACE]", "--demo", "--device", "--splits", "--current",
                             "--byte-swap", "--load", "--erase", "--blank-check", "--program", "--verify",
                             "--read", "--checksum", "--buffer-checksum", "130", "200", "201", "202", "203"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}
