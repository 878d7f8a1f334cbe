// Hex digit runs against the digit table, the writers against plain formatting, mapped input
// against buffered input, files that shrink while mapped, and output files sized in advance.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <set>

#include "FilesTestSupport.h"
#include "files/formats/Binary.h"

using namespace kovfiles;

namespace {

std::string Upper(const std::uint8_t* data, std::size_t count) {
    std::string s;
    char pair[3];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(pair, sizeof pair, "%02X", data[i]);
        s += pair;
    }
    return s;
}

std::string Line(const char* format, unsigned a, unsigned b = 0, unsigned c = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// Intel Hex as the format is defined, one printf at a time.
std::string PlainIntelHex(const std::vector<std::uint8_t>& data, std::uint32_t address, std::size_t length,
                          const std::string& eol) {
    std::string text;
    long upper = -1;
    for (std::size_t i = 0; i < data.size();) {
        const std::uint64_t a = address + i;
        const std::size_t n = std::min({length, data.size() - i, static_cast<std::size_t>(0x10000 - a % 0x10000)});
        if (static_cast<long>(a >> 16) != upper) {
            upper = static_cast<long>(a >> 16);
            text += Line(":02000004%04X%02X", static_cast<unsigned>(upper),
                         (0x100 - (6 + (upper >> 8) + (upper & 0xFF)) % 0x100) % 0x100) + eol;
        }
        unsigned sum = static_cast<unsigned>(n + (a >> 8 & 0xFF) + (a & 0xFF));
        for (std::size_t k = 0; k < n; ++k) sum += data[i + k];
        text += Line(":%02X%04X00", static_cast<unsigned>(n), static_cast<unsigned>(a & 0xFFFF)) +
                Upper(&data[i], n) + Line("%02X", (0x100 - sum % 0x100) % 0x100) + eol;
        i += n;
    }
    return text + ":00000001FF" + eol;
}

// Motorola S with S3 records, one printf at a time.
std::string PlainMotorolaS(const std::vector<std::uint8_t>& data, std::uint32_t address, std::size_t length,
                           const std::string& eol) {
    std::string text = "S00600004844521B" + eol;
    for (std::size_t i = 0; i < data.size(); i += length) {
        const std::size_t n = std::min(length, data.size() - i);
        const std::uint32_t a = address + static_cast<std::uint32_t>(i);
        unsigned sum = static_cast<unsigned>(n + 5) + (a >> 24) + (a >> 16 & 0xFF) + (a >> 8 & 0xFF) + (a & 0xFF);
        for (std::size_t k = 0; k < n; ++k) sum += data[i + k];
        text += Line("S3%02X%08X", static_cast<unsigned>(n + 5), a) + Upper(&data[i], n) + Line("%02X", ~sum & 0xFF) +
                eol;
    }
    return text + "S70500000000FA" + eol;
}

}  // namespace

class FastPathIoTest : public FilesTest {};

TEST_F(FastPathIoTest, HexDigitRunsAgreeWithTheDigitTable) {
    std::mt19937 rng(3);
    for (std::size_t count = 0; count <= 70; ++count) {
        std::vector<std::uint8_t> data(count), back(count + 1, 0);
        for (auto& b : data) b = static_cast<std::uint8_t>(rng());
        std::string text(2 * count, '?');
        unsigned sum = 7, expected = 7;
        for (std::uint8_t b : data) expected += b;
        EXPECT_EQ(EncodeHexBytes(text.data(), data.data(), count, sum), text.data() + 2 * count);
        EXPECT_EQ(text, Upper(data.data(), count));
        EXPECT_EQ(sum, expected);

        // Both letter cases read back; the byte after the run is not touched.
        for (bool lower : {false, true}) {
            std::string digits = text;
            if (lower)
                for (char& c : digits) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            sum = 7;
            back.back() = 0x5A;
            ASSERT_TRUE(DecodeHexBytes(digits.data(), count, back.data(), sum));
            EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
            EXPECT_EQ(back.back(), 0x5A);
            EXPECT_EQ(sum, expected);
        }

        // Any character that is not a digit, at any place, fails the run.
        for (std::size_t at = 0; at < text.size(); ++at) {
            for (int c = 0; c < 256; c += (count == 33 ? 1 : 7)) {
                if (HexDigit(static_cast<char>(c)) >= 0) continue;
                std::string bad = text;
                bad[at] = static_cast<char>(c);
                unsigned ignored = 0;
                ASSERT_FALSE(DecodeHexBytes(bad.data(), count, back.data(), ignored)) << "count " << count << " at " << at
                                                                                      << " char " << c;
            }
        }
    }
}

TEST_F(FastPathIoTest, WritersMatchPlainFormattingForEveryRecordLength) {
    std::mt19937 rng(8);
    for (bool unix : {false, true}) {
        UnixEol(unix);
        const std::string eol = unix ? "\n" : "\r\n";
        for (std::size_t length = 1; length <= 255; length += (length < 48 ? 1 : 13)) {
            std::vector<std::uint8_t> data(1 + rng() % 2500);
            for (auto& b : data) b = static_cast<std::uint8_t>(rng());
            const std::uint32_t address = rng() % 3 == 0 ? 0x0001FF00 + rng() % 0x200 : rng() % 0x1000;
            SCOPED_TRACE("length " + std::to_string(length) + " address " + std::to_string(address));
            Set("Intel Hex", "DefaultRecordLength", std::to_string(length));
            EXPECT_EQ(Save(ftIntelHex, data, address), PlainIntelHex(data, address, length, eol));
            if (length <= 250) {
                Set("Motorola S", "DefaultRecordLength", std::to_string(length));
                EXPECT_EQ(Save(ftMotorolaS, data, address), PlainMotorolaS(data, address, length, eol));
            }
        }
    }
}

TEST_F(FastPathIoTest, MappedAndBufferedInputReadAlike) {
    std::mt19937 rng(4);
    std::string content(300001, '\0');
    for (char& c : content) c = static_cast<char>(rng());
    WriteFile(temp / "input.bin", content);
    for (int round = 0; round < 20; ++round) {
        TFileIn mapped, buffered;
        ASSERT_TRUE(mapped.Open((temp / "input.bin").string()));
        ASSERT_TRUE(mapped.IsMapped());
        FILE* file = std::fopen((temp / "input.bin").c_str(), "rb");
        buffered.Attach(fileno(file));
        EXPECT_FALSE(buffered.IsMapped());
        EXPECT_EQ(mapped.Size(), buffered.Size());
        std::vector<char> a(400000), b(400000);
        for (int op = 0; op < 60; ++op) {
            const std::size_t n = rng() % 4 == 0 ? rng() % 300000 : rng() % 3000;
            switch (rng() % 5) {
            case 0: {
                const std::uint64_t at = rng() % (content.size() + 100);
                ASSERT_EQ(mapped.Seek(at), buffered.Seek(at));
                break;
            }
            case 1: ASSERT_EQ(mapped.Skip(n), buffered.Skip(n)); break;
            case 2: {
                const std::string_view x = mapped.Peek(), y = buffered.Peek();
                ASSERT_EQ(x.empty(), y.empty());
                const std::size_t m = std::min({x.size(), y.size(), n});
                ASSERT_EQ(x.substr(0, m), y.substr(0, m));
                mapped.Consume(m);
                buffered.Consume(m);
                break;
            }
            default: {
                const std::size_t got = mapped.Read(a.data(), n);
                ASSERT_EQ(got, buffered.Read(b.data(), n));
                ASSERT_TRUE(std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(got), b.begin()));
            }
            }
        }
        EXPECT_FALSE(mapped.Failed());
        EXPECT_FALSE(buffered.Failed());
        buffered.Close();
        std::fclose(file);
    }
}

TEST_F(FastPathIoTest, AFileThatShrinksWhileMappedReadsAsZerosAndFails) {
    const long page = ::sysconf(_SC_PAGESIZE);
    std::string content(static_cast<std::size_t>(page) * 64, 'k');
    WriteFile(temp / "shrinks.bin", content);
    const std::string path = (temp / "shrinks.bin").string();
    const std::size_t kept = static_cast<std::size_t>(page) * 3 + 100;

    // Read through the buffer of the reader...
    TFileIn in;
    ASSERT_TRUE(in.Open(path));
    ASSERT_TRUE(in.IsMapped());
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(kept)), 0);
    std::string got(content.size(), '?');
    EXPECT_EQ(in.Read(got.data(), got.size()), content.size());
    EXPECT_EQ(got.substr(0, kept), content.substr(0, kept));
    EXPECT_EQ(got.find_first_not_of('\0', static_cast<std::size_t>(page) * 4), std::string::npos);
    EXPECT_TRUE(in.Failed());
    in.Close();

    // ...and where the bytes lie, as kov-cli converts binary input.
    WriteFile(temp / "shrinks.bin", content);
    ASSERT_TRUE(in.Open(path));
    const auto segment = BinaryInPlace(in, 0x10, 0xFFFFFFFF);
    ASSERT_TRUE(segment.has_value());
    ASSERT_EQ(segment->size, content.size() - 0x10);
    ASSERT_EQ(::truncate(path.c_str(), 0), 0);
    std::uint64_t sum = 0;
    for (std::uint64_t i = 0; i < segment->size; ++i) sum += segment->data[i];
    EXPECT_EQ(sum, 0u);
    EXPECT_TRUE(in.Failed());
    in.Close();

    // A reader that meets the damage fails its load.
    WriteFile(temp / "shrinks.bin", content);
    ASSERT_TRUE(in.Open(path));
    ASSERT_EQ(::truncate(path.c_str(), page), 0);
    std::vector<std::uint8_t> memory(content.size());
    TMemorySink sink(memory.data(), memory.size());
    EXPECT_FALSE(ReadFileOfType(ftBinary, in, sink));

    // A file opened afterwards is not marked by what happened to another one.
    WriteFile(temp / "other.bin", content);
    TFileIn other;
    ASSERT_TRUE(other.Open((temp / "other.bin").string()));
    EXPECT_EQ(other.Read(got.data(), got.size()), content.size());
    EXPECT_EQ(got, content);
    EXPECT_FALSE(other.Failed());
}

TEST_F(FastPathIoTest, BusErrorsOutsideMappedInputStillEndTheProgram) {
    WriteFile(temp / "mapped.bin", "some bytes");
    TFileIn in;
    ASSERT_TRUE(in.Open((temp / "mapped.bin").string()));
    ASSERT_TRUE(in.IsMapped());
    // Killed by the signal, or ended by a sanitizer's handler that was there first.
    const auto ended = [](int status) { return WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0); };
    EXPECT_EXIT(::raise(SIGBUS), ended, "");
}

TEST_F(FastPathIoTest, OutputSizedInAdvanceEndsWithWhatWasWritten) {
    const std::string path = (temp / "sized.txt").string();
    for (std::uint64_t expected : {std::uint64_t{0}, std::uint64_t{10}, std::uint64_t{4000}, std::uint64_t{1} << 22}) {
        TFileOut out;
        ASSERT_TRUE(out.Open(path));
        out.Expect(expected);
        out.Write(std::string(3000, 'x'));
        out.Expect(1 << 20);   // only the first announcement counts
        ASSERT_TRUE(out.Finish());
        EXPECT_EQ(ReadFile(temp / "sized.txt"), std::string(3000, 'x')) << expected;
    }
    // A descriptor of someone else's is never resized.
    FILE* file = std::fopen(path.c_str(), "wb");
    TFileOut out;
    out.Attach(fileno(file));
    out.Expect(1 << 20);
    out.Write("abc");
    ASSERT_TRUE(out.Finish());
    std::fclose(file);
    EXPECT_EQ(ReadFile(temp / "sized.txt"), "abc");
}

TEST_F(FastPathIoTest, RecordPlanCountsWhatTheRecordCutterEmits) {
    std::mt19937 rng(6);
    for (int round = 0; round < 300; ++round) {
        TDataSource source;
        std::vector<std::uint8_t> bytes(1 << 20);
        std::uint64_t address = rng() % 0x30000;
        for (int s = 0, n = 1 + static_cast<int>(rng() % 4); s < n; ++s) {
            const std::uint64_t size = 1 + rng() % 200000;
            if (address + size > 0xFFFFFFFF) break;
            source.segments.push_back({static_cast<std::uint32_t>(address), bytes.data(), size});
            address += size + rng() % 0x20000;
        }
        source.fileEnd = rng() % 2 ? 0xFFFFFFFF : static_cast<std::uint32_t>(rng() % address);
        const std::size_t maxBytes = 1 + rng() % 255;
        const std::uint64_t block = rng() % 2 ? 0 : 0x10000;
        TRecordPlan counted;
        std::set<std::uint64_t> blocks;
        ForEachRecord(source, maxBytes, block, [&](std::uint32_t a, const std::uint8_t*, std::size_t n) {
            ++counted.records;
            counted.bytes += n;
            if (block) blocks.insert(a / block);
        });
        const TRecordPlan plan = PlanRecords(source, maxBytes, block);
        EXPECT_EQ(plan.records, counted.records);
        EXPECT_EQ(plan.bytes, counted.bytes);
        EXPECT_GE(plan.blocks, blocks.size());
        EXPECT_LE(plan.blocks, blocks.size() + source.segments.size());
    }
}
