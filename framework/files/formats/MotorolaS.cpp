#include "files/formats/MotorolaS.h"

namespace kovfiles {

namespace {
constexpr const char* Name = "Motorola S";
// Address bytes by record type; 0 marks the types that are not accepted.
constexpr int AddressBytes[10] = {2, 2, 3, 4, 0, 2, 0, 4, 3, 2};
}  // namespace

void CheckSRecLine(std::string_view line, TRecordState& /*state*/, TRecord& record) {
    record.count = TRecord::Invalid;
    if (!line.empty() && (line[0] == ';' || line[0] == '*')) {
        record.count = 0;
        return;
    }
    if (line.size() < 10 || line[0] != 'S') return;
    if (line[1] < '0' || line[1] > '9') return;
    const int type = line[1] - '0';
    const int width = AddressBytes[type];
    int n = HexByte(line.data() + 2);
    if (width == 0 || n < width + 1 || line.size() != static_cast<std::size_t>(2 * n + 4)) return;
    const char* p = line.data() + 4;
    unsigned sum = static_cast<unsigned>(n);
    std::uint64_t address = 0;
    for (int i = 0; i < width; ++i, p += 2) {
        int b = HexByte(p);
        if (b < 0) return;
        address = address << 8 | static_cast<unsigned>(b);
        sum += static_cast<unsigned>(b);
    }
    const int count = n - width - 1;
    for (int i = 0; i < count; ++i, p += 2) {
        int b = HexByte(p);
        if (b < 0) return;
        record.data[i] = static_cast<std::uint8_t>(b);
        sum += static_cast<unsigned>(b);
    }
    int check = HexByte(p);
    if (check < 0 || static_cast<unsigned>(check) != (~sum & 0xFF)) return;
    if (type >= 1 && type <= 3) {
        if (count > 0 && address + static_cast<std::uint64_t>(count) - 1 > 0xFFFFFFFFull) return;
        record.address = address;
        record.count = count;
    } else {
        record.count = 0;
    }
}

std::size_t FastSRecRecord(const char* p, std::size_t available, TRecordState& /*state*/, TDataSink& sink) {
    if (available < 11 || p[0] != 'S' || p[1] < '1' || p[1] > '3') return 0;
    const int width = AddressBytes[p[1] - '0'];
    const int n = HexByte(p + 2);
    if (n < width + 1) return 0;
    const std::size_t size = 4 + 2 * static_cast<std::size_t>(n);
    const std::size_t taken = PlainLineEnd(p, size, available);
    if (taken == 0) return 0;
    const std::int64_t word = width == 4 ? HexNumber8(p + 4) : HexNumber(p + 4, 2 * static_cast<std::size_t>(width));
    if (word < 0) return 0;
    const auto address = static_cast<std::uint64_t>(word);
    const unsigned sum = static_cast<unsigned>(n) + (address >> 24) + (address >> 16 & 0xFF) + (address >> 8 & 0xFF) +
                         (address & 0xFF);
    const int count = n - width - 1;
    std::uint8_t data[256];
    unsigned total = sum;
    if (!DecodeHexBytes(p + 4 + 2 * width, static_cast<std::size_t>(count), data, total)) return 0;
    const int check = HexByte(p + size - 2);
    if (check < 0 || static_cast<unsigned>(check) != (~total & 0xFF)) return 0;
    if (count > 0 && address + static_cast<std::uint64_t>(count) - 1 > 0xFFFFFFFFull) return 0;
    sink.Put(address, data, static_cast<std::size_t>(count));
    return taken;
}

bool ReadSRecFile(TFileIn& in, TDataSink& sink) {
    bool ignore = FormatBool(Name, "IgnoreInvalidRecord");
    TRecordState state;
    return ReadRecords(in, sink, CheckSRecLine, "Motorola S format error on line: ", ignore, state, FastSRecRecord);
}

bool WriteSRecFile(TFileOut& out, const TDataSource& source) {
    const int length = RecordLength(Name, 250);
    if (length == 0) return false;
    const std::string_view eol = LineEnd();
    const TRecordPlan plan = PlanRecords(source, static_cast<std::size_t>(length), 0);
    out.Expect(plan.records * (14 + eol.size()) + 2 * plan.bytes + 2 * (16 + eol.size()));
    out.Write("S00600004844521B");
    out.Write(eol);
    ForEachRecord(source, static_cast<std::size_t>(length), 0,
                  [&](std::uint32_t address, const std::uint8_t* data, std::size_t n) {
                      std::size_t size = 14 + 2 * n + eol.size();
                      char* p = out.Reserve(size);
                      *p++ = 'S';
                      *p++ = '3';
                      unsigned sum = static_cast<unsigned>(n + 5) + (address >> 24) + (address >> 16 & 0xFF) +
                                     (address >> 8 & 0xFF) + (address & 0xFF);
                      p = PutHex8(p, static_cast<std::uint8_t>(n + 5));
                      p = PutHex32(p, address);
                      p = EncodeHexBytes(p, data, n, sum);
                      p = PutHex8(p, static_cast<std::uint8_t>(~sum));
                      PutLineEnd(p, eol);
                      out.Commit(size);
                  });
    out.Write("S70500000000FA");
    out.Write(eol);
    return !out.Failed();
}

}  // namespace kovfiles
