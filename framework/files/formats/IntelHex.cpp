#include "files/formats/IntelHex.h"

namespace kovfiles {

namespace {
constexpr const char* Name = "Intel Hex";
}

void CheckIHexLine(std::string_view line, TRecordState& state, TRecord& record) {
    record.count = TRecord::Invalid;
    if (!line.empty() && (line[0] == ';' || line[0] == '*')) {
        record.count = 0;
        return;
    }
    if (line.size() < 11 || line[0] != ':') return;
    int n = HexByte(line.data() + 1);
    if (n < 0 || line.size() != static_cast<std::size_t>(2 * n + 11)) return;
    const char* p = line.data() + 3;
    int hi = HexByte(p), lo = HexByte(p + 2), type = HexByte(p + 4);
    if ((hi | lo | type) < 0) return;
    unsigned sum = static_cast<unsigned>(n + hi + lo + type);
    p += 6;
    for (int i = 0; i < n; ++i, p += 2) {
        int b = HexByte(p);
        if (b < 0) return;
        record.data[i] = static_cast<std::uint8_t>(b);
        sum += static_cast<unsigned>(b);
    }
    int check = HexByte(p);
    if (check < 0 || ((sum + static_cast<unsigned>(check)) & 0xFF) != 0) return;

    const std::uint32_t value = (n >= 2) ? (std::uint32_t{record.data[0]} << 8 | record.data[1]) : 0;
    switch (type) {
    case 0: {
        std::uint64_t address =
            std::uint64_t((hi << 8) | lo) + state.segmentBase + std::uint64_t{state.linearBase};
        // Bytes past the last 32-bit address have nowhere to go.
        if (n > 0 && address + static_cast<std::uint64_t>(n) - 1 > 0xFFFFFFFFull) return;
        record.address = address;
        record.count = n;
        return;
    }
    case 2:
        if (n == 2) state.segmentBase = value << 4;
        break;
    case 4:
        if (n == 2) state.linearBase = value << 16;
        break;
    default:
        break;
    }
    record.count = 0;
}

std::size_t FastIHexRecord(const char* p, std::size_t available, TRecordState& state, TDataSink& sink) {
    if (available < 12 || p[0] != ':') return 0;
    // Count, address and type.
    const std::int64_t head = HexNumber8(p + 1);
    if (head < 0 || (head & 0xFF) != 0) return 0;
    const int n = static_cast<int>(head >> 24), hi = static_cast<int>(head >> 16 & 0xFF), lo = static_cast<int>(head >> 8 & 0xFF);
    const std::size_t size = 11 + 2 * static_cast<std::size_t>(n);
    const std::size_t taken = PlainLineEnd(p, size, available);
    if (taken == 0) return 0;
    std::uint8_t data[256];
    unsigned sum = static_cast<unsigned>(n + hi + lo);
    if (!DecodeHexBytes(p + 9, static_cast<std::size_t>(n), data, sum)) return 0;
    const int check = HexByte(p + size - 2);
    if (check < 0 || ((sum + static_cast<unsigned>(check)) & 0xFF) != 0) return 0;
    const std::uint64_t address =
        std::uint64_t((hi << 8) | lo) + state.segmentBase + std::uint64_t{state.linearBase};
    if (n > 0 && address + static_cast<std::uint64_t>(n) - 1 > 0xFFFFFFFFull) return 0;
    sink.Put(address, data, static_cast<std::size_t>(n));
    return taken;
}

bool ReadIHexFile(TFileIn& in, TDataSink& sink) {
    bool ignore = FormatBool(Name, "IgnoreInvalidRecord");
    TRecordState state;
    return ReadRecords(in, sink, CheckIHexLine, "Intel Hex format error on line: ", ignore, state, FastIHexRecord);
}

bool WriteIHexFile(TFileOut& out, const TDataSource& source) {
    const int length = RecordLength(Name, 255);
    if (length == 0) return false;
    const std::string_view eol = LineEnd();
    const TRecordPlan plan = PlanRecords(source, static_cast<std::size_t>(length), 0x10000);
    out.Expect(plan.records * (11 + eol.size()) + 2 * plan.bytes + plan.blocks * (15 + eol.size()) + 11 + eol.size());
    std::int64_t upper = -1;
    ForEachRecord(source, static_cast<std::size_t>(length), 0x10000,
                  [&](std::uint32_t address, const std::uint8_t* data, std::size_t n) {
                      if (static_cast<std::int64_t>(address >> 16) != upper) {
                          upper = address >> 16;
                          std::uint8_t u1 = static_cast<std::uint8_t>(upper >> 8), u0 = static_cast<std::uint8_t>(upper);
                          char* p = out.Reserve(15 + eol.size());
                          std::memcpy(p, ":02000004", 9);
                          p = PutHex8(PutHex8(PutHex8(p + 9, u1), u0), static_cast<std::uint8_t>(-(0x06 + u1 + u0)));
                          PutLineEnd(p, eol);
                          out.Commit(15 + eol.size());
                      }
                      std::size_t size = 11 + 2 * n + eol.size();
                      char* start = out.Reserve(size);
                      char* p = start;
                      *p++ = ':';
                      unsigned sum = static_cast<unsigned>(n + (address >> 8 & 0xFF) + (address & 0xFF));
                      // Count, address and type 00 as one word.
                      p = PutHex32(p, static_cast<std::uint32_t>(n) << 24 | (address & 0xFFFF) << 8);
                      p = EncodeHexBytes(p, data, n, sum);
                      p = PutHex8(p, static_cast<std::uint8_t>(-sum));
                      PutLineEnd(p, eol);
                      out.Commit(size);
                  });
    out.Write(":00000001FF");
    out.Write(eol);
    return !out.Failed();
}

}  // namespace kovfiles
