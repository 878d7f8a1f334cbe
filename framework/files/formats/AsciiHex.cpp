#include "files/formats/AsciiHex.h"

namespace kovfiles {

namespace {
constexpr const char* Name = "ASCII Hex";
}

void CheckAsciiHexLine(std::string_view line, TRecordState& state, TRecord& record) {
    record.count = TRecord::Invalid;
    record.ignored = false;
    const std::size_t size = line.size();
    if (size < 2) {
        record.count = 0;
        record.ignored = true;
        return;
    }
    if (line[0] == '$' && (line[1] == 'A' || line[1] == 'a') && line.back() == ',' && (size - 3) % 2 == 0) {
        std::uint64_t address = 0;
        for (std::size_t i = 2; i + 1 < size; ++i) {
            int d = HexDigit(line[i]);
            if (d < 0) return;
            address = address << 4 | static_cast<unsigned>(d);
            if (address > 0xFFFFFFFFull) return;
        }
        state.asciiAddress = address;
        record.count = 0;
        return;
    }
    if (size % 2 != 0) {
        record.count = 0;
        record.ignored = true;
        return;
    }
    const int count = static_cast<int>(size / 2);
    if (state.asciiAddress + static_cast<std::uint64_t>(count) - 1 > 0xFFFFFFFFull) return;
    const char* p = line.data();
    for (int i = 0; i < count; ++i, p += 2) {
        int b = HexByte(p);
        if (b < 0) return;
        record.data[i] = static_cast<std::uint8_t>(b);
    }
    record.address = state.asciiAddress;
    record.count = count;
    state.asciiAddress += static_cast<std::uint64_t>(count);
}

bool ReadAsciiHexFile(TFileIn& in, TDataSink& sink) {
    TRecordState state;
    return ReadRecords(in, sink, CheckAsciiHexLine, "ASCII Hex format error on line: ", false, state);
}

namespace {

void WriteAddressLine(TFileOut& out, std::uint32_t address, std::string_view eol) {
    char text[11] = {'$', 'A'};
    PutHex32(text + 2, address);
    text[10] = ',';
    out.Write(text, sizeof text);
    out.Write(eol);
}

}  // namespace

bool WriteAsciiHexFile(TFileOut& out, const TDataSource& source) {
    const int length = RecordLength(Name, 256);
    if (length == 0) return false;
    const std::string_view eol = LineEnd();
    out.Write("\x02 ");
    WriteAddressLine(out, source.FirstAddress(), eol);
    bool first = true;
    for (const TSegment& s : source.segments) {
        // Further segments of a sparse image start with their own address record.
        if (!first) WriteAddressLine(out, s.address, eol);
        first = false;
        for (std::uint64_t done = 0; done < s.size;) {
            std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(static_cast<std::uint64_t>(length), s.size - done));
            std::size_t size = 3 * n - 1 + eol.size();
            char* p = out.Reserve(size);
            for (std::size_t i = 0; i < n; ++i) {
                p = PutHex8(p, s.data[done + i]);
                if (i + 1 < n) *p++ = ' ';
            }
            std::memcpy(p, eol.data(), eol.size());
            out.Commit(size);
            done += n;
        }
    }
    out.Byte('\x03');
    return !out.Failed();
}

}  // namespace kovfiles
