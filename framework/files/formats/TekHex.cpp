#include "files/formats/TekHex.h"

#include "core/Globals.h"

namespace kovfiles {

namespace {

constexpr const char* Name = "Tektronix Hex";

void CheckStandard(std::string_view line, TRecord& record) {
    if (line.size() < 9) return;
    const char* p = line.data() + 1;
    unsigned headerSum = 0;
    for (int i = 0; i < 6; ++i) {
        int d = HexDigit(p[i]);
        if (d < 0) return;
        headerSum += static_cast<unsigned>(d);
    }
    const int count = HexByte(p + 4);
    if (HexByte(p + 6) != static_cast<int>(headerSum & 0xFF)) return;
    if (count == 0) {
        record.count = 0;
        return;
    }
    if (line.size() < 9 + 2 * static_cast<std::size_t>(count) + 2) return;
    const char* d = p + 8;
    unsigned dataSum = 0;
    for (int i = 0; i < count; ++i, d += 2) {
        int b = HexByte(d);
        if (b < 0) return;
        record.data[i] = static_cast<std::uint8_t>(b);
        dataSum += static_cast<unsigned>(HexDigit(d[0]) + HexDigit(d[1]));
    }
    if (HexByte(d) != static_cast<int>(dataSum & 0xFF)) return;
    record.address = static_cast<std::uint64_t>(HexNumber(p, 4));
    record.count = count;
}

void CheckExtended(std::string_view line, TRecord& record) {
    // % LL T CC A address data
    if (line.size() < 7) return;
    const int blockLength = HexByte(line.data() + 1);
    const int type = HexDigit(line[3]);
    const int checksum = HexByte(line.data() + 4);
    const int addressDigits = HexDigit(line[6]);
    if (blockLength < 0 || checksum < 0 || (type != 6 && type != 8)) return;
    // Eight digits is the usual address; shorter ones are written by other tools for small addresses.
    if (addressDigits < 1 || addressDigits > 8) return;
    if (line.size() < 7 + static_cast<std::size_t>(addressDigits)) return;
    if (blockLength < std::min(9, 6 + addressDigits)) return;
    const std::size_t dataDigits = line.size() - 7 - static_cast<std::size_t>(addressDigits);
    if (dataDigits % 2 != 0) return;

    unsigned sum = static_cast<unsigned>(HexDigit(line[1]) + HexDigit(line[2]) + type + addressDigits);
    for (std::size_t i = 7; i < line.size(); ++i) {
        int d = HexDigit(line[i]);
        if (d < 0) return;
        sum += static_cast<unsigned>(d);
    }
    if (static_cast<int>(sum & 0xFF) != checksum) return;
    if (type == 8) {
        record.count = 0;
        return;
    }
    const std::uint64_t address = static_cast<std::uint64_t>(HexNumber(line.data() + 7, static_cast<std::size_t>(addressDigits)));
    const int count = static_cast<int>(dataDigits / 2);
    if (count > 0 && address + static_cast<std::uint64_t>(count) - 1 > 0xFFFFFFFFull) return;
    const char* p = line.data() + 7 + addressDigits;
    for (int i = 0; i < count; ++i, p += 2) record.data[i] = static_cast<std::uint8_t>(HexByte(p));
    record.address = address;
    record.count = count;
}

}  // namespace

void CheckTekHexLine(std::string_view line, TRecordState& /*state*/, TRecord& record) {
    record.count = TRecord::Invalid;
    if (line.empty()) return;
    switch (line[0]) {
    case ';':
    case '*': record.count = 0; return;
    case '/': CheckStandard(line, record); return;
    case '%': CheckExtended(line, record); return;
    default: return;
    }
}

bool ReadTekHexFile(TFileIn& in, TDataSink& sink) {
    bool ignore = FormatBool(Name, "IgnoreInvalidRecord");
    TRecordState state;
    return ReadRecords(in, sink, CheckTekHexLine, "Tektronix Hex format error on line: ", ignore, state);
}

namespace {

unsigned DigitSum(std::uint32_t v) {
    unsigned s = 0;
    for (; v; v >>= 4) s += v & 15;
    return s;
}

}  // namespace

bool WriteTekHexFile(TFileOut& out, const TDataSource& source) {
    int length = RecordLength(Name, 246);
    if (length == 0) return false;
    if (length > TekHexMaxRecordBytes) {
        LogMessage("Tektronix Hex records hold at most " + std::to_string(TekHexMaxRecordBytes) +
                       " data bytes; writing " + std::to_string(TekHexMaxRecordBytes) + " per line",
                   1);
        length = TekHexMaxRecordBytes;
    }
    const std::string_view eol = LineEnd();
    const TRecordPlan plan = PlanRecords(source, static_cast<std::size_t>(length), 0);
    out.Expect(plan.records * (15 + eol.size()) + 2 * plan.bytes + 15 + eol.size());
    ForEachRecord(source, static_cast<std::size_t>(length), 0,
                  [&](std::uint32_t address, const std::uint8_t* data, std::size_t n) {
                      const unsigned blockLength = static_cast<unsigned>(14 + 2 * n);
                      unsigned sum = DigitSum(blockLength) + 6 + 8 + DigitSum(address);
                      for (std::size_t i = 0; i < n; ++i) sum += DigitSum(data[i]);
                      std::size_t size = 15 + 2 * n + eol.size();
                      char* p = out.Reserve(size);
                      *p++ = '%';
                      p = PutHex8(p, static_cast<std::uint8_t>(blockLength));
                      *p++ = '6';
                      p = PutHex8(p, static_cast<std::uint8_t>(sum));
                      *p++ = '8';
                      p = PutHex32(p, address);
                      for (std::size_t i = 0; i < n; ++i) p = PutHex8(p, data[i]);
                      std::memcpy(p, eol.data(), eol.size());
                      out.Commit(size);
                  });
    out.Write("%0E81E800000000");
    out.Write(eol);
    return !out.Failed();
}

}  // namespace kovfiles
