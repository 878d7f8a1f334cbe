#pragma once
// The small base every file format unit is written on: where a reader's bytes go (a sink that
// applies the file and buffer pointers), where a writer's bytes come from (a source of address
// segments), streaming line input, buffered text output, hexadecimal digits, the line counter and
// the error counting of the record readers.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <string_view>
#include <vector>

namespace kovfiles {

// ---------------------------------------------------------------------------------------------
// Sinks

// Receives what a reader loads. The window is the reader contract: file start S, file end E and
// a destination of length L. A byte with load address A goes to destination offset A - S when
// S <= A <= E; within one record the first byte with A - S >= L ends that record.
class TDataSink {
public:
    // length 0 means "as far as addresses go" (a sparse image); it is taken as 2^32 - S, unless
    // `zeroIsUnbounded` is false (a sink over real memory, where 0 bytes means nothing fits).
    TDataSink(std::uint32_t fileStart, std::uint32_t fileEnd, std::uint64_t length, bool zeroIsUnbounded = true);
    virtual ~TDataSink() = default;
    TDataSink(const TDataSink&) = delete;
    TDataSink& operator=(const TDataSink&) = delete;

    // Stores one record's bytes, the first at load address `address`, through the window, and
    // adds the stored count to Loaded(). Addresses past 0xFFFFFFFF are never stored.
    void Put(std::uint64_t address, const std::uint8_t* data, std::size_t count) {
        // A record that lies wholly in the direct range is copied here; everything else takes the
        // general path that clips it to the window.
        if (count != 0 && address >= DirectFirst_ && address <= DirectNext_ && count <= DirectEnd_ - address) {
            std::memcpy(DirectBase_ + (address - DirectFirst_), data, count);
            if (address + count > DirectNext_) DirectNext_ = address + count;
            Loaded_ += count;
            return;
        }
        PutClipped(address, data, count);
    }

    // Room to store the `count` bytes of load addresses [address, address + count) in place (a
    // reader may read them straight into it), or nullptr when the sink cannot give it; Put is the
    // way then. The bytes count as stored once Commit() is called with the same range.
    std::uint8_t* Direct(std::uint64_t address, std::size_t count);
    void Commit(std::uint64_t address, std::size_t count);

    // Stores at destination offsets directly (formats without file pointers). Bytes at offsets
    // at or beyond Length() are dropped. Does not count.
    void PutAt(std::uint64_t offset, const std::uint8_t* data, std::size_t count);

    // Sets every byte of the destination range to `value` (for a sparse image: the whole range
    // written so far and everything written later that leaves a gap).
    virtual void Fill(std::uint8_t value) = 0;

    void AddLoaded(std::uint64_t count) { Loaded_ += count; }
    std::uint64_t Loaded() const { return Loaded_; }
    std::uint32_t FileStart() const { return FileStart_; }
    std::uint32_t FileEnd() const { return FileEnd_; }
    std::uint64_t Length() const { return Length_; }

protected:
    // `offset` is the destination offset; offset + count <= Length() holds.
    virtual void Store(std::uint64_t offset, const std::uint8_t* data, std::size_t count) = 0;

    // Asks the sink to make [address, address + count) writable in place (SetDirect); false when
    // it cannot. The range lies inside the window.
    virtual bool Extend(std::uint64_t address, std::size_t count);

    // The direct range: load addresses [first, end) live at base[address - first]; a store there
    // may start at any address up to `next` (bytes from `next` on are not written yet, so a store
    // must not leave a gap). The range is clipped to the window, so direct stores stay inside the
    // destination.
    void SetDirect(std::uint8_t* base, std::uint64_t first, std::uint64_t next, std::uint64_t end);
    void ClearDirect() { SetDirect(nullptr, 1, 0, 0); }
    std::uint64_t DirectNext() const { return DirectNext_; }
    bool InDirect(std::uint64_t address, std::size_t count) const {
        return address >= DirectFirst_ && address <= DirectNext_ && count <= DirectEnd_ - address;
    }

private:
    void PutClipped(std::uint64_t address, const std::uint8_t* data, std::size_t count);

    std::uint32_t FileStart_;
    std::uint32_t FileEnd_;
    std::uint64_t Length_;
    std::uint64_t Loaded_ = 0;
    std::uint8_t* DirectBase_ = nullptr;
    std::uint64_t DirectFirst_ = 1;   // empty: no address is both >= first and <= next
    std::uint64_t DirectNext_ = 0;
    std::uint64_t DirectEnd_ = 0;
};

// A sink over plain memory: the buffer bytes from buffer start on.
class TMemorySink : public TDataSink {
public:
    TMemorySink(std::uint8_t* destination, std::uint64_t length, std::uint32_t fileStart = 0,
                std::uint32_t fileEnd = 0xFFFFFFFF);
    void Fill(std::uint8_t value) override;

protected:
    void Store(std::uint64_t offset, const std::uint8_t* data, std::size_t count) override;

private:
    std::uint8_t* Dest_;
};

// ---------------------------------------------------------------------------------------------
// Sources

// A run of bytes with consecutive file addresses.
struct TSegment {
    std::uint32_t address = 0;
    const std::uint8_t* data = nullptr;
    std::uint64_t size = 0;
};

// What a writer saves: segments in ascending address order that do not overlap, and the file
// end E (a byte whose file address would exceed E is not written). A buffer window is one segment
// at file start S. Binary output fills the gaps between segments with `gapFill`.
struct TDataSource {
    std::vector<TSegment> segments;
    std::uint32_t fileStart = 0;   // file address of the first byte, also when there is none
    std::uint32_t fileEnd = 0xFFFFFFFF;
    std::uint8_t gapFill = 0xFF;

    // The buffer window of the writer contract: L bytes with the first at file address S.
    static TDataSource Window(const std::uint8_t* source, std::uint64_t length, std::uint32_t fileStart,
                              std::uint32_t fileEnd = 0xFFFFFFFF);
    std::uint64_t TotalBytes() const;
    std::uint32_t FirstAddress() const { return segments.empty() ? fileStart : segments.front().address; }
};

// ---------------------------------------------------------------------------------------------
// Files

// A file opened for reading. Never throws on I/O errors: a failed read looks like the end of the
// file and sets Failed(). A regular file is mapped into memory and read where it lies; should it
// shrink meanwhile, what is gone reads as zeros (instead of stopping the program with a bus
// error) and Failed() is set. Other files are read through a buffer.
class TFileIn {
public:
    TFileIn() = default;
    ~TFileIn();
    TFileIn(const TFileIn&) = delete;
    TFileIn& operator=(const TFileIn&) = delete;

    bool Open(const std::string& path);
    // Reads from an already open descriptor (not closed here), always through the buffer.
    void Attach(int fd);
    bool IsOpen() const { return Fd_ >= 0; }
    void Close();
    // The whole file is in memory: Peek() gives everything up to the end at once.
    bool IsMapped() const { return Map_ != nullptr; }

    // Reads up to `count` bytes; returns the number read (0 at the end).
    std::size_t Read(void* target, std::size_t count);
    // Reads exactly `count` bytes or returns false.
    bool ReadExact(void* target, std::size_t count);
    // Positions at an absolute byte offset; false when the offset lies beyond the end of the file.
    bool Seek(std::uint64_t offset);
    // Skips `count` bytes; false when the file ends first.
    bool Skip(std::uint64_t count);
    std::uint64_t Size() const;
    bool Failed() const;

    // Next piece of buffered input without copying (at least one byte unless at the end);
    // Consume() marks bytes of it as read.
    std::string_view Peek() {
        if (Pos_ >= End_ && !Refill()) return {};
        return {Data_ + Pos_, End_ - Pos_};
    }
    void Consume(std::size_t count) { Pos_ += count; }

private:
    bool Refill();
    bool Map(int fd, std::uint64_t size);
    int Fd_ = -1;
    bool Owned_ = false;
    bool Failed_ = false;
    std::vector<char> Buf_;
    const char* Data_ = nullptr;     // Buf_ or the mapping
    std::size_t Pos_ = 0;
    std::size_t End_ = 0;
    char* Map_ = nullptr;
    std::size_t MapLength_ = 0;      // whole pages
    int Guard_ = -1;                 // the mapping's entry in the bus error guard
};

// A file opened for writing, written through a large buffer. Write errors are remembered, and
// Finish() reports whether everything reached the file.
class TFileOut {
public:
    TFileOut() = default;
    ~TFileOut();
    TFileOut(const TFileOut&) = delete;
    TFileOut& operator=(const TFileOut&) = delete;

    // Creates or truncates the file.
    bool Open(const std::string& path);
    void Attach(int fd);
    bool IsOpen() const { return Fd_ >= 0; }

    void Write(const void* data, std::size_t count);
    void Write(std::string_view text) { Write(text.data(), text.size()); }
    void Byte(char c) {
        if (Used_ == Buf_.size()) Flush();
        Buf_[Used_++] = c;
    }
    // Room for `count` bytes written directly; Commit() after filling them.
    char* Reserve(std::size_t count) {
        if (Buf_.size() - Used_ >= count) return Buf_.data() + Used_;
        return ReserveFlushed(count);
    }
    void Commit(std::size_t count) { Used_ += count; }

    // Announces about how many bytes the file gets. A file made by Open() is given its room on the
    // disk at once, which costs far less than growing it write by write; Finish() cuts off what
    // was announced but not written.
    void Expect(std::uint64_t bytes);

    bool Flush();
    // Flushes and closes; true when every byte was written.
    bool Finish();
    bool Failed() const { return Failed_; }
    // The system's error number of the first failure.
    int ErrorCode() const { return ErrorCode_; }

private:
    void Fail();
    char* ReserveFlushed(std::size_t count);
    // Writes straight from `data` to the file, bypassing the buffer (which must be empty).
    void WriteThrough(const char* data, std::size_t count);
    int Fd_ = -1;
    bool Owned_ = false;
    bool Failed_ = false;
    int ErrorCode_ = 0;
    std::uint64_t Written_ = 0;       // bytes handed to the file
    std::uint64_t Allocated_ = 0;     // file size set by Expect()
    // Large writes let the file system take the data in large pieces.
    std::vector<char> Buf_ = std::vector<char>(1 << 20);
    std::size_t Used_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Text records

// Longest significant line a record checker looks at; a line reaching it counts as empty.
constexpr std::size_t MaxSignificantLine = 768;
// Longest piece of a line the readers judge as one record.
constexpr std::size_t MaxReadLine = 766;

// Characters that count in a record line: codes 0x21 to 0x7F. Spaces, TAB, CR, control
// characters and bytes from 0x80 are dropped wherever they stand.
inline bool IsSignificant(unsigned char c) { return c >= 0x21 && c <= 0x7F; }

// The significant characters of one line of `text`: copying stops at NUL, LF or the end; a line
// of MaxSignificantLine significant characters counts as empty.
std::string ExtractSignificant(const char* text, std::size_t length);

// Reads a text file line by line as the record readers see it: each line is given as its
// significant characters only. A line with more than MaxReadLine significant characters is given
// in pieces, each judged as a line of its own; a NUL drops the rest of its line.
class TLineReader {
public:
    explicit TLineReader(TFileIn& in) : In_(in) {}
    // False at the end of the file. The view stays valid until the next call.
    bool Next(std::string_view& line);
    // True unless the last line given was a piece of a longer line.
    bool AtLineStart() const { return !InLongLine_; }

private:
    TFileIn& In_;
    std::string Piece_;
    bool InLongLine_ = false;
};

// Hexadecimal digit value, or -1.
extern const signed char HexValue[256];
inline int HexDigit(char c) { return HexValue[static_cast<unsigned char>(c)]; }
// Two digits as a byte, or -1.
inline int HexByte(const char* p) {
    int hi = HexDigit(p[0]), lo = HexDigit(p[1]);
    return (hi | lo) < 0 ? -1 : (hi << 4) | lo;
}
// `digits` digits as an unsigned value, or -1 when one is not a digit (digits <= 8).
std::int64_t HexNumber(const char* p, std::size_t digits);
// Upper-case digits of every byte value, two per entry.
struct THexPairs {
    char text[512];
    constexpr THexPairs() : text{} {
        const char* d = "0123456789ABCDEF";
        for (int i = 0; i < 256; ++i) {
            text[i * 2] = d[i >> 4];
            text[i * 2 + 1] = d[i & 15];
        }
    }
};
inline constexpr THexPairs HexPairs{};
inline char* PutHex8(char* out, std::uint8_t v) {
    out[0] = HexPairs.text[v * 2];
    out[1] = HexPairs.text[v * 2 + 1];
    return out + 2;
}
inline char* PutHex16(char* out, std::uint16_t v) { return PutHex8(PutHex8(out, v >> 8), v & 0xFF); }
std::string Hex(std::uint32_t value, int digits);

#if defined(__SSE2__)
namespace hexrun {

// 32 digits to 16 bytes; false when one of them is not a digit.
inline bool DecodeHex16(const char* text, std::uint8_t* out, __m128i& sums) {
    const __m128i nine = _mm_set1_epi8(9), five = _mm_set1_epi8(5);
    __m128i v[2];
    int valid = 0xFFFF;
    for (int half = 0; half < 2; ++half) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + 16 * half));
        const __m128i digit = _mm_sub_epi8(c, _mm_set1_epi8('0'));
        const __m128i letter = _mm_sub_epi8(_mm_or_si128(c, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
        const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(digit, nine), digit);
        const __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(letter, five), letter);
        valid &= _mm_movemask_epi8(_mm_or_si128(isDigit, isLetter));
        const __m128i value = _mm_or_si128(_mm_and_si128(isDigit, digit),
                                           _mm_andnot_si128(isDigit, _mm_add_epi8(letter, _mm_set1_epi8(10))));
        // Each 16-bit lane holds the high digit in its low byte and the low digit in its high byte.
        v[half] = _mm_and_si128(_mm_or_si128(_mm_slli_epi16(value, 4), _mm_srli_epi16(value, 8)),
                                _mm_set1_epi16(0x00FF));
    }
    if (valid != 0xFFFF) return false;
    const __m128i bytes = _mm_packus_epi16(v[0], v[1]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, _mm_setzero_si128()));
    return true;
}

// Digit values 0..15 to upper-case digits.
inline __m128i Digits(__m128i x) {
    const __m128i letters = _mm_and_si128(_mm_cmpgt_epi8(x, _mm_set1_epi8(9)), _mm_set1_epi8('A' - '0' - 10));
    return _mm_add_epi8(_mm_add_epi8(x, _mm_set1_epi8('0')), letters);
}

inline void EncodeHex16(char* out, const std::uint8_t* data, __m128i& sums) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
    const __m128i low = _mm_set1_epi8(0x0F);
    const __m128i hi = _mm_and_si128(_mm_srli_epi16(bytes, 4), low);
    const __m128i lo = _mm_and_si128(bytes, low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), Digits(_mm_unpacklo_epi8(hi, lo)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), Digits(_mm_unpackhi_epi8(hi, lo)));
    sums = _mm_add_epi64(sums, _mm_sad_epu8(bytes, _mm_setzero_si128()));
}

// 8 digits to the value of the 4 bytes they spell, most significant first, or -1.
inline std::int64_t HexWord(const char* text) {
    const __m128i c = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(text));
    const __m128i digit = _mm_sub_epi8(c, _mm_set1_epi8('0'));
    const __m128i letter = _mm_sub_epi8(_mm_or_si128(c, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(9)), digit);
    const __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
    if ((_mm_movemask_epi8(_mm_or_si128(isDigit, isLetter)) & 0xFF) != 0xFF) return -1;
    const __m128i value = _mm_or_si128(_mm_and_si128(isDigit, digit),
                                       _mm_andnot_si128(isDigit, _mm_add_epi8(letter, _mm_set1_epi8(10))));
    const __m128i pairs = _mm_and_si128(_mm_or_si128(_mm_slli_epi16(value, 4), _mm_srli_epi16(value, 8)),
                                        _mm_set1_epi16(0x00FF));
    const auto w = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(pairs, pairs)));
    return (w >> 24) | (w >> 8 & 0xFF00) | (w << 8 & 0xFF0000) | (w << 24);
}

inline unsigned SumLanes(__m128i sums) {
    return static_cast<unsigned>(_mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_unpackhi_epi64(sums, sums)));
}

}  // namespace hexrun
#endif

inline char* PutHex32(char* out, std::uint32_t v) {
#if defined(__SSE2__)
    // The four bytes, most significant first, as one vector of eight digits.
    const std::uint32_t swapped = (v >> 24) | (v >> 8 & 0xFF00) | (v << 8 & 0xFF0000) | (v << 24);
    const __m128i bytes = _mm_cvtsi32_si128(static_cast<int>(swapped));
    const __m128i low = _mm_set1_epi8(0x0F);
    const __m128i digits = _mm_unpacklo_epi8(_mm_and_si128(_mm_srli_epi16(bytes, 4), low), _mm_and_si128(bytes, low));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), hexrun::Digits(digits));
    return out + 8;
#else
    return PutHex16(PutHex16(out, v >> 16), v & 0xFFFF);
#endif
}

// 8 digits as a 32-bit value, or -1 when one is not a digit.
inline std::int64_t HexNumber8(const char* text) {
#if defined(__SSE2__)
    return hexrun::HexWord(text);
#else
    return HexNumber(text, 8);
#endif
}

// Turns 2 * count digits into count bytes and adds the bytes to `sum`; false (with `out` and
// `sum` undefined) when one of the characters is not a hexadecimal digit.
inline bool DecodeHexBytes(const char* text, std::size_t count, std::uint8_t* out, unsigned& sum) {
    std::size_t i = 0;
#if defined(__SSE2__)
    if (count >= 16) {
        __m128i sums = _mm_setzero_si128();
        for (; i + 16 <= count; i += 16)
            if (!hexrun::DecodeHex16(text + 2 * i, out + i, sums)) return false;
        sum += hexrun::SumLanes(sums);
    }
#endif
    for (; i < count; ++i) {
        const int b = HexByte(text + 2 * i);
        if (b < 0) return false;
        out[i] = static_cast<std::uint8_t>(b);
        sum += static_cast<unsigned>(b);
    }
    return true;
}

// Writes count bytes as 2 * count upper-case digits, adds the bytes to `sum` and returns the end.
inline char* EncodeHexBytes(char* out, const std::uint8_t* data, std::size_t count, unsigned& sum) {
    std::size_t i = 0;
#if defined(__SSE2__)
    if (count >= 16) {
        __m128i sums = _mm_setzero_si128();
        for (; i + 16 <= count; i += 16) hexrun::EncodeHex16(out + 2 * i, data + i, sums);
        sum += hexrun::SumLanes(sums);
    }
#endif
    for (; i < count; ++i) {
        PutHex8(out + 2 * i, data[i]);
        sum += data[i];
    }
    return out + 2 * count;
}

// The line end of text output: LF when "File" / "UnixEOL" is set, otherwise CR LF.
std::string_view LineEnd();
// Writes a line end given by LineEnd() (one or two characters) and returns its end.
inline char* PutLineEnd(char* out, std::string_view eol) {
    out[0] = eol[0];
    if (eol.size() == 2) out[1] = eol[1];
    return out + eol.size();
}

// Reads a format's setting from the store ("FileType" / format name / key), falling back to its
// default in the file type settings when no store exists.
std::string FormatSetting(const char* format, const char* key);
bool FormatBool(const char* format, const char* key);
std::int32_t FormatInt(const char* format, const char* key);

// Line counter, error state and error count shared by a record reader and its checker.
struct TRecordState {
    std::uint64_t line = 0;
    bool error = false;
    int errorCount = 0;
    // Intel Hex address parts.
    std::uint32_t segmentBase = 0;
    std::uint32_t linearBase = 0;
    // ASCII Hex running load address.
    std::uint64_t asciiAddress = 0;
};

// Result of a record checker.
struct TRecord {
    static constexpr int Invalid = -1;
    int count = Invalid;            // data bytes, 0 for records without data, Invalid
    std::uint64_t address = 0;      // load address of the first data byte
    bool ignored = false;           // a line the format passes over (neither data nor error)
    std::uint8_t data[384];         // the data bytes (a significant line holds at most 383)
};

// Checks one significant line; fills `record`.
using TLineChecker = void (*)(std::string_view line, TRecordState& state, TRecord& record);

// Checks the first line of raw text (significant characters extracted first) with `check`.
void CheckRecordText(TLineChecker check, const char* text, std::size_t length, TRecordState& state,
                     TRecord& record);

// What ForEachRecord() makes of a source: its record count, data bytes and the number of
// `block`-aligned blocks they touch (0 without blocks). Writers size their files with it.
struct TRecordPlan {
    std::uint64_t records = 0;
    std::uint64_t bytes = 0;
    std::uint64_t blocks = 0;
};
TRecordPlan PlanRecords(const TDataSource& source, std::size_t maxBytes, std::uint64_t block);

// Cuts the source into records of at most `maxBytes` bytes, in address order, each inside one
// `block`-aligned block (block 0: no such limit), and ends at the first byte whose file address
// would exceed the file end. Calls emit(address, data, count) for each.
template <class Emit>
void ForEachRecord(const TDataSource& source, std::size_t maxBytes, std::uint64_t block, Emit&& emit) {
    for (const TSegment& s : source.segments) {
        std::uint64_t address = s.address;
        std::uint64_t end = std::min<std::uint64_t>(address + s.size, std::uint64_t{source.fileEnd} + 1);
        const std::uint8_t* data = s.data;
        while (address < end) {
            std::uint64_t n = std::min<std::uint64_t>(maxBytes, end - address);
            if (block) n = std::min<std::uint64_t>(n, block - address % block);
            emit(static_cast<std::uint32_t>(address), data, static_cast<std::size_t>(n));
            address += n;
            data += n;
        }
        if (end < std::uint64_t{s.address} + s.size) return;
    }
}

// Reads "DefaultRecordLength" of a format; outside 1..maximum logs "Invalid Record Length, valid
// range is 1 to <maximum>" and returns 0.
int RecordLength(const char* format, int maximum);

// Takes one whole line from the start of `text` (`available` bytes of buffered input) when it
// is a plain data record: only the record's characters, then LF or CR LF, and the record valid.
// Stores its data as the line checker's record would be stored and returns the bytes taken with
// the line end; returns 0 for anything else, which then goes the general way, so both ways read
// alike.
using TFastRecord = std::size_t (*)(const char* text, std::size_t available, TRecordState& state, TDataSink& sink);

// Where a record's line ends when it has `size` characters at `text`: the bytes taken with its LF
// or CR LF, or 0 when the line goes on or the buffer ends first.
inline std::size_t PlainLineEnd(const char* text, std::size_t size, std::size_t available) {
    if (available > size && text[size] == '\n') return size + 1;
    if (available > size + 1 && text[size] == '\r' && text[size + 1] == '\n') return size + 2;
    return 0;
}

// The loop shared by the line-oriented readers: every line is checked and its data stored
// through the sink; invalid lines are counted and logged as `errorText` + line number when
// `ignoreInvalid` is set, otherwise they end the read. Returns success. `fast` (optional) takes
// the plain data records straight from the input buffer.
bool ReadRecords(TFileIn& in, TDataSink& sink, TLineChecker check, const char* errorText, bool ignoreInvalid,
                 TRecordState& state, TFastRecord fast = nullptr);

}  // namespace kovfiles
