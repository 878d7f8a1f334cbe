// Feeds the JEDEC, POF and BIT readers random and mutated files (meant for the sanitizer build):
// every load must end, report through its result, and stay inside its destination.
#include <random>
#include <string>
#include <vector>

#include "core/MessageCodes.h"
#include "files/formats/Jedec.h"
#include "jedec_test_support.h"

using namespace kovfiles;
using namespace jedectest;

namespace {

std::string JedecSample() {
    const std::string inside = "\x02hdr*QF64*QP20*G1*F0*L0000 1010101111000011*L0040 11*N note*UA5*E11*C019b*\x03";
    return inside + Hex(JedecTransmissionSum(inside), 4);
}

std::string PofSample() {
    std::string data = "\x12\x34\x56\x78\x9A\xBC";
    std::string p07 = std::string("\x07\x00", 2) + std::string(1, static_cast<char>(18 + data.size())) +
                      std::string(3, '\0') + std::string(12, '\x01') + data;
    std::string p11 = std::string("\x11\x00", 2) + std::string(1, static_cast<char>(22 + data.size())) +
                      std::string(3, '\0') + std::string(16, '\x02') + data;
    return std::string("POF\0\0\0\0\0\x04\0\0\0", 12) + std::string("\x05\x00\x08\x00\x00\x00\xAA\xBB", 8) + p11 + p07;
}

std::string BitSample() {
    return std::string("\x00\x09\x0F\xF0\x0F\xF0\x0F\xF0\x0F\xF0\x00\x00\x01", 13) + std::string("a\x00\x03top", 6) +
           std::string("b\x00\x02xc", 5) + std::string("e\x00\x00\x00\x05\x01\x02\x03\x04\x05", 10);
}

std::string Mutate(std::string text, std::mt19937& rng) {
    auto pick = [&](std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(rng() % n); };
    const int edits = 1 + static_cast<int>(rng() % 6);
    for (int e = 0; e < edits; ++e) {
        switch (rng() % 6) {
        case 0:
            if (!text.empty()) text[pick(text.size())] = static_cast<char>(rng());
            break;
        case 1: text.insert(pick(text.size() + 1), 1, static_cast<char>(rng())); break;
        case 2:
            if (!text.empty()) text.erase(pick(text.size()), 1 + pick(8));
            break;
        case 3: text.resize(pick(text.size() + 1)); break;
        case 4: {   // a length field that lies
            const std::size_t at = pick(text.size() + 1);
            static const char* const extremes[] = {"\xFF\xFF\xFF\xFF", "\x00\x00\x00\x00", "\x7F\xFF\xFF\xFF",
                                                   "\x05\x00\x00\x00"};
            text.replace(at, std::min<std::size_t>(4, text.size() - at), extremes[rng() % 4], 4);
            break;
        }
        default: {   // a copied stretch
            if (text.empty()) break;
            const std::size_t from = pick(text.size());
            const std::size_t n = std::min<std::size_t>(1 + pick(32), text.size() - from);
            text.insert(pick(text.size() + 1), text.substr(from, n));
        }
        }
    }
    return text;
}

class FormatFuzzTest : public FormatFixture {};

TEST_F(FormatFuzzTest, ReadersSurviveRandomAndMutatedFiles) {
    TLog::SetMaxEntries(64);
    std::mt19937 rng(20240611);
    const struct {
        int type;
        std::string sample;
    } formats[] = {{ftJedec, JedecSample()}, {ftPof, PofSample()}, {ftBit, BitSample()}};

    for (const auto& format : formats) {
        for (int round = 0; round < 1000; ++round) {
            std::string file;
            if (round % 10 == 9) {
                file.resize(rng() % 200);
                for (char& c : file) c = static_cast<char>(rng());
            } else {
                file = Mutate(format.sample, rng);
            }
            if (round % 3 == 0) {
                Set("POF", "RecordTypes", round % 2 ? "0x07" : "0x11");
                Set("BIT", "FillValue", round % 2 ? "0xff" : "Disabled");
                Set("JEDEC", "DefaultFuseState", round % 2 ? "1" : "0");
            }
            const std::size_t length = 1 + rng() % 128;
            dialogs.answers = {round % 2 ? IDYES : IDNO, IDOK, IDYES};
            TLoadResult r = LoadBytes(temp, format.type, file, length);
            ASSERT_TRUE(r.GuardsIntact()) << "type " << format.type << " round " << round;
            // JEDEC counts every fuse digit read, also when two fields set the same fuse.
            if (format.type != ftJedec) {
                ASSERT_LE(r.loaded, length) << "type " << format.type << " round " << round;
            }
        }
    }
    // The unmutated samples load.
    for (const auto& format : formats) {
        dialogs.answers.clear();
        EXPECT_TRUE(LoadBytes(temp, format.type, format.sample, 64).ok) << format.type;
    }
}

}  // namespace
