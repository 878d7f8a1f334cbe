// Round trips with srec_cat (Debian package srecord) and random inputs for every reader.
#include <sys/wait.h>

#include <random>

#include "FilesTestSupport.h"
#include "files/SparseImage.h"

using namespace kovfiles;

namespace {

int Shell(const std::string& command) {
    int status = std::system((command + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Peer {
    int type;
    const char* srecFormat;
    int longestRecord;   // the most data bytes a record of ours holds
    int peerBlock;       // the most data bytes srec_cat puts into one record of the format
};

// Characters that make mutated input look like records of one format or another.
constexpr char kAlphabet[] = "0123456789ABCDEF:S%/$\n\r\x02";

const Peer Peers[] = {
    {ftIntelHex, "-intel", 255, 255},
    {ftMotorolaS, "-motorola", 250, 250},
    {ftTekHex, "-tektronix-extended", 246, 120},
    {ftAsciiHex, "-ascii-hex", 256, 255},
};

}  // namespace

class PeerTest : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        ASSERT_EQ(Shell("srec_cat -version >/dev/null"), 0) << "srec_cat (package srecord) is needed";
        data.resize(5000);
        std::mt19937 rng(11);
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        WriteFile(temp / "data.bin", std::string(data.begin(), data.end()));
    }
    std::vector<std::uint8_t> data;
};

TEST_F(PeerTest, ReadersAcceptWhatSrecCatWrites) {
    const std::string in = (temp / "data.bin").string();
    const std::string peer = (temp / "peer.txt").string();
    // Per address width an offset srec_cat can write in it, with the data crossing a 64 KiB
    // boundary where the wider ones change their segment or upper address.
    const std::pair<int, std::uint32_t> widths[] = {{2, 0xE000}, {3, 0x7FF00}, {4, 0x0800FF00}};
    for (const Peer& p : Peers) {
        const std::vector<std::string> shapes = {"-line-length=1", "-line-length=16", "-line-length=77",
                                                 "-line-length=250 -crlf",
                                                 "-output-block-size=" + std::to_string(p.peerBlock)};
        for (const auto& [width, offset] : widths) {
            for (const std::string& shape : shapes) {
                const std::string cmd = "srec_cat " + in + " -binary -offset " + std::to_string(offset) + " -o " +
                                        peer + " " + p.srecFormat + " -address-length=" + std::to_string(width) +
                                        " " + shape;
                SCOPED_TRACE(cmd);
                ASSERT_EQ(Shell(cmd), 0);
                const std::string text = ReadFile(peer);
                if (p.type == ftMotorolaS) {
                    // The width chooses the data record: S1, S2 or S3.
                    EXPECT_NE(text.find("\nS" + std::to_string(width - 1)), std::string::npos);
                }
                if (p.type == ftIntelHex && width > 2) {
                    // Extended segment (02) or extended linear (04) address records.
                    EXPECT_NE(text.find(width == 3 ? ":02000002" : ":02000004"), std::string::npos);
                }
                TSparseImage image;
                TFileIn file;
                ASSERT_TRUE(file.Open(peer));
                bool ok;
                {
                    TImageSink sink(image);
                    ok = ReadFileOfType(p.type, file, sink);
                }
                EXPECT_TRUE(ok);
                ASSERT_EQ(image.blocks.size(), 1u);
                EXPECT_EQ(image.blocks[0].address, offset);
                EXPECT_TRUE(image.blocks[0].bytes == data);
            }
        }
    }
}

TEST_F(PeerTest, SrecCatReadsBackWhatOurWritersWrite) {
    const std::string ours = (temp / "ours.txt").string();
    const std::string back = (temp / "back.bin").string();
    for (bool unix : {false, true}) {
        UnixEol(unix);
        for (const Peer& p : Peers) {
            for (int length : {1, 32, 121, p.longestRecord}) {
                Set(FileTypeName(p.type), "DefaultRecordLength", std::to_string(length));
                for (std::uint32_t start : {0x0u, 0xFFF0u, 0x08000000u}) {
                    TFileOut out;
                    ASSERT_TRUE(out.Open(ours));
                    ASSERT_TRUE(WriteFileOfType(p.type, out, TDataSource::Window(data.data(), data.size(), start)));
                    const std::string cmd = "srec_cat " + ours + " " + p.srecFormat + " -offset -" +
                                            std::to_string(start) + " -o " + back + " -binary";
                    SCOPED_TRACE(cmd);
                    ASSERT_EQ(Shell(cmd), 0);
                    EXPECT_TRUE(ReadFile(back) == std::string(data.begin(), data.end()));
                }
            }
        }
    }
}

// Random and mutated inputs: a reader may fail, but never writes outside its destination,
// never hangs and never crashes (run under the sanitizer build as well).
TEST_F(FilesTest, ReadersSurviveRandomAndMutatedInput) {
    std::mt19937 rng(1234);
    std::vector<std::uint8_t> good = Counting(200);
    std::vector<std::string> seeds;
    for (int type : {ftIntelHex, ftMotorolaS, ftTekHex, ftAsciiHex}) seeds.push_back(Save(type, good, 0x30));
    seeds.push_back(std::string(600, ':'));
    const int types[] = {ftBinary, ftIntelHex, ftMotorolaS, ftTekHex, ftAsciiHex, ftJedec, ftPof, ftBit};
    for (int round = 0; round < 200; ++round) {
        std::string input;
        if (round % 3 == 0) {
            input.resize(rng() % 3000);
            for (char& c : input) c = static_cast<char>(rng());
        } else {
            input = seeds[rng() % seeds.size()];
            const int edits = 1 + static_cast<int>(rng() % 8);
            for (int e = 0; e < edits && !input.empty(); ++e) {
                std::size_t at = rng() % input.size();
                switch (rng() % 4) {
                case 0: input[at] = static_cast<char>(rng()); break;
                case 1: input.erase(at, 1 + rng() % 20); break;
                case 2: input.insert(at, std::string(1 + rng() % 5, kAlphabet[rng() % (sizeof kAlphabet - 1)])); break;
                case 3: input.resize(at); break;
                }
            }
        }
        for (int type : types) {
            // A guarded destination: 16 bytes on each side must stay untouched.
            const std::size_t length = 1 + rng() % 300;
            WriteFile(temp / "fuzz.dat", input);
            std::vector<std::uint8_t> memory(length + 32, 0xA5);
            TFileIn in;
            ASSERT_TRUE(in.Open((temp / "fuzz.dat").string()));
            TMemorySink sink(memory.data() + 16, length, rng() % 2 ? 0 : 0x30, 0xFFFFFFFF);
            ReadFileOfType(type, in, sink);
            for (std::size_t i = 0; i < 16; ++i) {
                ASSERT_EQ(memory[i], 0xA5) << "round " << round << " type " << type;
                ASSERT_EQ(memory[length + 16 + i], 0xA5) << "round " << round << " type " << type;
            }
            EXPECT_LE(sink.Loaded(), type == ftJedec ? input.size() : length);
        }
    }
}
