// The record readers take plain data records straight from the input buffer and everything else
// line by line. Both ways must read alike: these tests read random files, clean and damaged, with
// the fast way switched on and off, from mapped files and from pipes that deliver the text in
// pieces of random size (so that lines are split at every position), and compare all results.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <thread>

#include "FilesTestSupport.h"
#include "core/Logger.h"
#include "files/SparseImage.h"
#include "files/formats/IntelHex.h"
#include "files/formats/MotorolaS.h"

using namespace kovfiles;

namespace {

std::string HexText(const std::vector<std::uint8_t>& bytes, bool lower) {
    std::string s;
    char pair[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, lower ? "%02x" : "%02X", b);
        s += pair;
    }
    return s;
}

// Random record text: mostly valid data records with both line ends, with every kind of damage
// the general way has to judge mixed in.
class RecordTextMaker {
public:
    RecordTextMaker(bool srec, std::uint32_t seed) : Srec_(srec), Rng_(seed) {}

    std::string Make(std::size_t lines) {
        std::string text;
        for (std::size_t i = 0; i < lines; ++i) text += Line();
        if (Chance(50)) text += Srec_ ? "S9030000FC" : ":00000001FF";   // last line without its end
        return text;
    }

private:
    bool Chance(int percent) { return static_cast<int>(Rng_() % 100) < percent; }
    std::uint8_t Byte() { return static_cast<std::uint8_t>(Rng_()); }

    std::string Record() {
        std::vector<std::uint8_t> body;   // count .. last data byte
        std::uint8_t check = 0;
        const int n = Chance(10) ? static_cast<int>(Rng_() % 256) : static_cast<int>(Rng_() % 40);
        if (Srec_) {
            static const char types[] = "0123456789";
            const int type = Chance(85) ? 1 + static_cast<int>(Rng_() % 3) : static_cast<int>(Rng_() % 10);
            const int width = type == 2 || type == 8 ? 3 : type == 3 || type == 7 ? 4 : 2;
            body.push_back(static_cast<std::uint8_t>(std::min(255, n + width + 1)));
            for (int i = 1; i < body[0]; ++i) body.push_back(Byte());
            unsigned sum = 0;
            for (std::uint8_t b : body) sum += b;
            check = static_cast<std::uint8_t>(~sum);
            if (Chance(5)) body[0] = static_cast<std::uint8_t>(body[0] + 1);   // count does not fit
            return std::string("S") + types[type] + HexText(body, Chance(10)) + Checksum(check);
        }
        const int type = Chance(85) ? 0 : Chance(50) ? 4 : static_cast<int>(Rng_() % 6);
        body.push_back(static_cast<std::uint8_t>(type == 4 || type == 2 ? 2 : n));
        body.push_back(Byte());
        body.push_back(Byte());
        body.push_back(static_cast<std::uint8_t>(type));
        for (int i = 0; i < body[0]; ++i) body.push_back(type == 4 && i == 0 ? Byte() % 4 : Byte());
        unsigned sum = 0;
        for (std::uint8_t b : body) sum += b;
        check = static_cast<std::uint8_t>(-sum);
        return ":" + HexText(body, Chance(10)) + Checksum(check);
    }

    std::string Checksum(std::uint8_t check) {
        if (Chance(4)) check = static_cast<std::uint8_t>(check + 1);
        return HexText({check}, false);
    }

    std::string Line() {
        std::string line;
        switch (Rng_() % 40) {
        case 0: line = ";comment " + std::to_string(Rng_()); break;
        case 1: line = ""; break;
        case 2: line = std::string(800 + Rng_() % 200, 'A'); break;   // split into pieces
        case 3: line = Record() + Record(); break;
        default: line = Record(); break;
        }
        if (Chance(6) && !line.empty()) {
            static const char noise[] = {' ', '\t', '\0', '\r', '\x7F', '\x80', '\xFF', 'g', 'x'};
            line.insert(Rng_() % line.size(), 1, noise[Rng_() % sizeof noise]);
        }
        if (Chance(3)) line.resize(Rng_() % (line.size() + 1));
        const int end = static_cast<int>(Rng_() % 10);
        return line + (end < 5 ? "\r\n" : end < 9 ? "\n" : "\r\r\n");
    }

    bool Srec_;
    std::mt19937 Rng_;
};

// What one read did: result, counts, the bytes where they went and the log lines it wrote.
struct ReadOutcome {
    bool ok = false;
    std::uint64_t loaded = 0;
    std::vector<std::uint8_t> memory;
    std::vector<TImageBlock> blocks;
    std::vector<std::string> log;

    // The first difference to `o`, or "" when there is none.
    std::string DifferenceTo(const ReadOutcome& o) const {
        if (ok != o.ok) return "result " + std::to_string(ok) + " vs " + std::to_string(o.ok);
        if (loaded != o.loaded) return "loaded " + std::to_string(loaded) + " vs " + std::to_string(o.loaded);
        if (memory != o.memory) return "memory window";
        if (blocks.size() != o.blocks.size())
            return "block count " + std::to_string(blocks.size()) + " vs " + std::to_string(o.blocks.size());
        for (std::size_t i = 0; i < blocks.size(); ++i)
            if (blocks[i].address != o.blocks[i].address || blocks[i].bytes != o.blocks[i].bytes)
                return "block " + std::to_string(i);
        for (std::size_t i = 0; i < std::max(log.size(), o.log.size()); ++i) {
            const std::string a = i < log.size() ? log[i] : "(none)", b = i < o.log.size() ? o.log[i] : "(none)";
            if (a != b) return "log line " + std::to_string(i) + ": " + a + " vs " + b;
        }
        return "";
    }
};

// Feeds `text` into a stream socket in pieces of random size from another thread.
class PipeFeed {
public:
    PipeFeed(const std::string& text, std::uint32_t seed) {
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, Fds_), 0);
        Writer_ = std::thread([this, text, seed] {
            std::mt19937 rng(seed);
            std::size_t at = 0;
            while (at < text.size()) {
                const std::size_t n = std::min<std::size_t>(text.size() - at, 1 + rng() % 700);
                if (::send(Fds_[1], text.data() + at, n, MSG_NOSIGNAL) != static_cast<ssize_t>(n)) break;
                at += n;
            }
            ::close(Fds_[1]);
        });
    }
    ~PipeFeed() {
        // A reader that stopped early leaves the writer blocked until its end goes away.
        ::shutdown(Fds_[0], SHUT_RDWR);
        Writer_.join();
        ::close(Fds_[0]);
    }
    int ReadEnd() const { return Fds_[0]; }

private:
    int Fds_[2] = {-1, -1};
    std::thread Writer_;
};

}  // namespace

class FastPathReadersTest : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        TLog::SetMaxEntries(1000000);
    }

    enum class Source { Mapped, Pipe };
    enum class Way { Fast, General };

    // Reads `text` as Intel Hex or Motorola S into a sparse image or into a memory window.
    ReadOutcome Read(bool srec, const std::string& text, Source source, Way way, bool ignore, bool image,
                     std::uint32_t fileStart = 0, std::uint32_t fileEnd = 0xFFFFFFFF, std::uint64_t length = 0) {
        static int run = 0;
        const std::string marker = "reading run " + std::to_string(++run);
        LogMessage(marker, 0);
        const char* format = srec ? "Motorola S" : "Intel Hex";
        Set(format, "IgnoreInvalidRecord", ignore ? "TRUE" : "FALSE");

        TFileIn in;
        std::unique_ptr<PipeFeed> feed;
        if (source == Source::Mapped) {
            WriteFile(temp / "records.txt", text);
            EXPECT_TRUE(in.Open((temp / "records.txt").string()));
            EXPECT_EQ(in.IsMapped(), !text.empty());
        } else {
            feed = std::make_unique<PipeFeed>(text, static_cast<std::uint32_t>(run));
            in.Attach(feed->ReadEnd());
        }

        ReadOutcome r;
        TSparseImage sparse;
        std::unique_ptr<TDataSink> sink;
        if (image) {
            sink = std::make_unique<TImageSink>(sparse, fileStart, fileEnd);
        } else {
            r.memory.assign(length + 32, 0xEE);   // 16 guard bytes on either side
            sink = std::make_unique<TMemorySink>(r.memory.data() + 16, length, fileStart, fileEnd);
        }
        if (way == Way::Fast) {
            r.ok = srec ? ReadSRecFile(in, *sink) : ReadIHexFile(in, *sink);
        } else {
            TRecordState state;
            const std::string error = std::string(format) + " format error on line: ";
            r.ok = ReadRecords(in, *sink, srec ? CheckSRecLine : CheckIHexLine, error.c_str(), ignore, state);
        }
        r.loaded = sink->Loaded();
        sink.reset();
        r.blocks = sparse.blocks;

        const auto lines = LogLines();
        auto it = std::find_if(lines.begin(), lines.end(),
                               [&](const std::string& l) { return l.find(marker) != std::string::npos; });
        for (++it; it < lines.end(); ++it) r.log.push_back(it->substr(it->find(") - ") + 4));
        return r;
    }
};

TEST_F(FastPathReadersTest, RandomRecordFilesReadAlikeEitherWay) {
    for (bool srec : {false, true}) {
        for (std::uint32_t seed = 1; seed <= 12; ++seed) {
            SCOPED_TRACE(std::string(srec ? "Motorola S" : "Intel Hex") + " seed " + std::to_string(seed));
            const std::string text = RecordTextMaker(srec, seed).Make(1500);
            for (bool ignore : {true, false}) {
                const ReadOutcome general = Read(srec, text, Source::Mapped, Way::General, ignore, true);
                EXPECT_EQ(Read(srec, text, Source::Mapped, Way::Fast, ignore, true).DifferenceTo(general), "");
                EXPECT_EQ(Read(srec, text, Source::Pipe, Way::Fast, ignore, true).DifferenceTo(general), "");
                EXPECT_EQ(Read(srec, text, Source::Pipe, Way::General, ignore, true).DifferenceTo(general), "");
            }
            // Through a memory window that cuts records at both of its ends.
            const std::uint32_t start = 0x100 + seed * 0x10, end = start + 0x7FFF;
            for (std::uint64_t length : {std::uint64_t{0x4000}, std::uint64_t{0x10000}}) {
                const ReadOutcome general =
                    Read(srec, text, Source::Mapped, Way::General, true, false, start, end, length);
                EXPECT_EQ(Read(srec, text, Source::Pipe, Way::Fast, true, false, start, end, length).DifferenceTo(general), "");
                EXPECT_TRUE(std::all_of(general.memory.begin(), general.memory.begin() + 16,
                                        [](std::uint8_t b) { return b == 0xEE; }));
                EXPECT_TRUE(std::all_of(general.memory.end() - 16, general.memory.end(),
                                        [](std::uint8_t b) { return b == 0xEE; }));
            }
        }
    }
}

TEST_F(FastPathReadersTest, CleanFilesOfEveryRecordLengthAndLineEndReadBackExactly) {
    std::mt19937 rng(5);
    for (bool srec : {false, true}) {
        for (bool unix : {false, true}) {
            for (int length = 1; length <= (srec ? 250 : 255); length += (length < 40 ? 1 : 23)) {
                SCOPED_TRACE(std::to_string(length) + (srec ? " srec" : " ihex") + (unix ? " LF" : " CR LF"));
                Set(srec ? "Motorola S" : "Intel Hex", "DefaultRecordLength", std::to_string(length));
                UnixEol(unix);
                std::vector<std::uint8_t> data(3000 + rng() % 3000);
                for (auto& b : data) b = static_cast<std::uint8_t>(rng());
                const std::uint32_t address = 0x0FFFF000 + rng() % 0x2000;   // crosses a 64 KiB page
                const std::string text = Save(srec ? ftMotorolaS : ftIntelHex, data, address);
                // A comment line of every length in front moves the pipe's pieces over each record.
                const std::string shifted = ";" + std::string(rng() % 64, 'x') + "\n" + text;
                const ReadOutcome r = Read(srec, shifted, Source::Pipe, Way::Fast, false, true);
                EXPECT_TRUE(r.ok);
                ASSERT_EQ(r.blocks.size(), 1u);
                EXPECT_EQ(r.blocks[0].address, address);
                EXPECT_TRUE(r.blocks[0].bytes == data);
                EXPECT_EQ(Read(srec, shifted, Source::Mapped, Way::Fast, false, true).DifferenceTo(r), "");
            }
        }
    }
}
