#include "files/formats/Jedec.h"

#include <algorithm>
#include <ctime>
#include <limits>
#include <new>
#include <vector>

#include "buffer/Splits.h"
#include "core/Config.h"
#include "core/DialogPort.h"
#include "core/Globals.h"
#include "core/MessageCodes.h"

namespace kovfiles {
namespace {

constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr char CtrlZ = 0x1A;
// Bigger files are cut here.
constexpr std::size_t MaxJedecText = 1048576;
// Fuse numbers are clamped here while parsing; they only need to compare against the length.
constexpr std::uint64_t FuseNumberCap = std::uint64_t{1} << 48;
// The largest sink a device range can make; above it the sink is a sparse image.
constexpr std::uint64_t DeviceRangeLimit = 0xFFFFFFFF;
// The most fuses a sparse image takes: what the largest buffer holds.
constexpr std::uint64_t MaxSparseFuses = LastBufferAddress + 1;

bool IsLineBlank(char c) {
    return c == '\r' || c == '\n' || c == ' ';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

// A count as a Q field gives it: decimal digits only, within 32-bit signed range; else -1.
std::int64_t DecimalCount(std::string_view text) {
    if (text.empty() || text.size() > 10) return -1;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value <= std::numeric_limits<std::int32_t>::max() ? value : -1;
}

// The first fuse number of an L field (the body after the letter): decimal digits, held at
// FuseNumberCap, then a space. The position of that space, or npos for a malformed field.
std::size_t FirstFuseNumber(std::string_view body, std::uint64_t& first) {
    std::size_t at = 0;
    first = 0;
    for (; at < body.size() && body[at] >= '0' && body[at] <= '9'; ++at)
        first = std::min(first * 10 + static_cast<std::uint64_t>(body[at] - '0'), FuseNumberCap);
    return at == 0 || at >= body.size() || body[at] != ' ' ? std::string_view::npos : at;
}

void SetHidden(const char* key, const std::string& value) {
    if (GlobalConfig) GlobalConfig->SetString("Hidden", "JEDEC", key, value);
}

void LogInPieces(const char* title, std::string_view text) {
    LogMessage(title, 3);
    for (std::size_t at = 0; at < text.size(); at += 80) LogMessage("  - " + std::string(text.substr(at, 80)), 3);
}

// Splits the transmission into fields: each runs to and includes its "*"; runs of CR, LF and
// space inside become one space. ETX, Ctrl-Z and the end of the text end the fields.
class TFieldReader {
public:
    TFieldReader(std::string_view text, std::size_t start) : Text_(text), Pos_(start) {}

    bool Next(std::string& field) {
        field.clear();
        bool inBlank = false;
        while (Pos_ < Text_.size()) {
            const char c = Text_[Pos_++];
            if (c == ETX || c == CtrlZ) {
                Pos_ = Text_.size();
                return false;
            }
            if (IsLineBlank(c)) {
                if (!inBlank) field += ' ';
                inBlank = true;
                continue;
            }
            inBlank = false;
            field += c;
            if (c == '*') return true;
        }
        return false;
    }

private:
    std::string_view Text_;
    std::size_t Pos_;
};

class TJedecLoader {
public:
    TJedecLoader(TDataSink& sink, std::uint64_t length) : Sink_(sink), Length_(length) {}

    bool Load(std::string_view text);
    void SetBackground(std::uint8_t value) {
        Background_ = value;
        Sink_.Fill(value);
    }
    std::uint64_t HighestStored() const { return Highest_; }
    std::uint8_t Background() const { return Background_; }

private:
    bool CheckTransmission(std::string_view text, std::size_t stx);
    bool HandleField(std::string_view field, int number);
    void FuseField(std::string_view body, int number);
    bool ChecksumField(std::string_view body, int number);
    bool QField(std::string_view body, int number);

    TDataSink& Sink_;
    std::uint64_t Length_;
    std::uint64_t Highest_ = 0;   // one past the highest fuse stored
    std::uint8_t Background_ = 0;
    TJedecFuseChecksum Checksum_;
    bool SecuritySeen_ = false;
    std::vector<std::uint8_t> Fuses_;
};

bool TJedecLoader::Load(std::string_view text) {
    std::size_t start = text.find(STX);
    if (start == std::string_view::npos) {
        LogMessage("Start-Of-Text character missing", 1);
        const int answer = Dialogs().MessageBox(
            "File is missing the Start-of-text character.\nThis may not be a valid JEDEC file.\n\n"
            "Attempt to load file anyway?",
            "SOT missing", MB_OKCANCEL | MB_ICONWARNING);
        if (answer != IDOK) return false;
        // Without STX the transmission has no defined start, so its checksum is not checked.
        start = 0;
    } else {
        if (!CheckTransmission(text, start)) return false;
        ++start;
    }

    TFieldReader reader(text, start);
    std::string field;
    if (reader.Next(field)) {
        LogInPieces("JEDEC File Header", Trim(std::string_view(field).substr(0, field.size() - 1)));
        for (int number = 1; reader.Next(field); ++number) {
            if (!HandleField(field, number)) return false;
        }
    }
    if (!SecuritySeen_) LogMessage("Automatic security programming is disabled", 1);
    return true;
}

bool TJedecLoader::CheckTransmission(std::string_view text, std::size_t stx) {
    const std::size_t etx = text.find(ETX, stx);
    if (etx == std::string_view::npos) {
        return Dialogs().MessageBox(
                   "No End-of-text character found in the file.\nWithout this character, there is no way to "
                   "properly\ncalculate the transmission checksum, and ensure the\nfile has not been "
                   "corrupted.\n\nAttempt to load the file anyway?",
                   "No EOT found", MB_YESNO | MB_ICONWARNING) == IDYES;
    }
    const std::uint16_t sum = JedecTransmissionSum(text.substr(stx, etx - stx + 1));
    const std::int64_t target = text.size() - etx > 4 ? HexNumber(text.data() + etx + 1, 4) : -1;
    if (target < 0) {
        return Dialogs().MessageBox("File has no transmission checksum.\n\nAttempt to load file anyway?",
                                    "Checksum Error", MB_YESNO | MB_ICONWARNING) == IDYES;
    }
    if (target == sum) return true;
    return Dialogs().MessageBox("Transmission checksum does not match. Calculated=" + Hex(sum, 4) +
                                    ", Target=" + Hex(static_cast<std::uint32_t>(target), 4) +
                                    "\n\nAttempt to load file anyway?",
                                "Checksum Error", MB_YESNO | MB_ICONWARNING) == IDYES;
}

bool TJedecLoader::HandleField(std::string_view field, int number) {
    field = Trim(field);
    if (field.size() < 2) return true;   // an empty field: just its "*"
    // Everything after the letter, without the closing "*".
    std::string_view body = field.substr(1, field.size() - 2);
    switch (field.front()) {
    case 'L':
    case 'l':
        FuseField(body, number);
        return true;
    case 'C':
    case 'c':
        return ChecksumField(body, number);
    case 'F':
    case 'f':
        body = Trim(body);
        if (body == "0" || body == "1") SetBackground(body == "1" ? 1 : 0);
        return true;
    case 'G':
    case 'g': {
        const bool secure = Trim(body) == "1";
        if (GlobalConfig) GlobalConfig->SetBool("Hidden", "Device", "AutoSecure", secure);
        LogMessage(secure ? "The G field equals 1 in the JEDEC file, automatic security programming is enabled"
                          : "The G field equals 0 in the JEDEC file, automatic security programming is disabled",
                   1);
        SecuritySeen_ = true;
        return true;
    }
    case 'Q':
    case 'q':
        return QField(body, number);
    case 'N':
    case 'n':
        LogInPieces("Inline note:", Trim(body));
        return true;
    case 'U':
    case 'u':
        SetHidden("UserFuseData", std::string(field.substr(1)));
        return true;
    case 'E':
    case 'e':
        SetHidden("ElectricalFuseData", std::string(field.substr(1)));
        return true;
    default:
        return true;
    }
}

void TJedecLoader::FuseField(std::string_view body, int number) {
    std::uint64_t first = 0;
    std::size_t at = FirstFuseNumber(body, first);
    if (at == std::string_view::npos) {
        LogMessage("WARNING! Malformed fuse field (Field #" + std::to_string(number) + "). This field will be ignored.",
                   1);
        return;
    }
    Fuses_.clear();
    try {
        Fuses_.reserve(body.size() - at);
    } catch (const std::bad_alloc&) {
        LogMessage("Unable to allocate enough memory to parse fuse field #" + std::to_string(number) + " (needed " +
                       std::to_string(body.size() - at) + " bytes)",
                   1);
        return;
    }
    for (++at; at < body.size(); ++at) {
        const char c = body[at];
        // A TAB is spacing as well; taken as a fuse it would shift every fuse after it.
        if (c == ' ' || c == '\t') continue;
        const auto bit = static_cast<std::uint8_t>(c & 1);
        if (bit) Checksum_.AddSetFuse(first + Fuses_.size());
        Fuses_.push_back(bit);
    }
    const std::uint64_t stored = first >= Length_ ? 0 : std::min<std::uint64_t>(Fuses_.size(), Length_ - first);
    if (stored > 0) {
        Sink_.PutAt(first, Fuses_.data(), static_cast<std::size_t>(stored));
        Sink_.AddLoaded(stored);
        Highest_ = std::max(Highest_, first + stored);
    }
    if (stored < Fuses_.size()) {
        LogMessage("WARNING! Fuse field (Field #" + std::to_string(number) + ") holds fuses beyond the " +
                       std::to_string(Length_) + " fuses of the device. They were not loaded.",
                   1);
    }
}

bool TJedecLoader::ChecksumField(std::string_view body, int number) {
    body = Trim(body);
    bool valid = !body.empty();
    std::uint16_t fileValue = 0;
    for (char c : body) {
        const int digit = HexDigit(c);
        valid = valid && digit >= 0;
        fileValue = static_cast<std::uint16_t>(fileValue << 4 | (digit & 0xF));
    }
    if (!valid) {
        LogMessage("Malformed fuse checksum field (Field #" + std::to_string(number) + ")", 0);
        return false;
    }
    const std::uint16_t calculated = Checksum_.Value();
    if (calculated == fileValue) return true;
    const std::string values = "Calculated=0x" + Hex(calculated, 4) + ", File=0x" + Hex(fileValue, 4);
    LogMessage("Fuse checksum error: " + values, 2);
    Dialogs().MessageBox("WARNING: Fuse checksum does not match fuse data.\nFuse checksums: " + values + "\n",
                         "Checksum Error", MB_OK | MB_ICONWARNING);
    return false;
}

bool TJedecLoader::QField(std::string_view body, int number) {
    const char kind = body.empty() ? '\0' : static_cast<char>(body.front() & ~0x20);
    if (kind == 'V') return true;
    if (kind == 'F' || kind == 'P') {
        const std::int64_t value = DecimalCount(Trim(body.substr(1)));
        if (value >= 0) {
            if (GlobalConfig) {
                GlobalConfig->SetInt("Hidden", "JEDEC", kind == 'F' ? "FuseCount" : "PinCount",
                                     static_cast<std::int32_t>(value));
            }
            return true;
        }
    }
    LogMessage("Invalid Q field (Field #" + std::to_string(number) + ")", 0);
    return false;
}

// The fuse count of a sparse image, which has no device to size it: the file's QF count, or
// without one the end of the highest fuse an L field sets. Never more fuses than the largest
// device range holds, so that a fuse number far out cannot make the image gigabytes large.
std::uint64_t SparseFuseCount(std::string_view text, bool& declared) {
    declared = false;
    const std::size_t stx = text.find(STX);
    TFieldReader reader(text, stx == std::string_view::npos ? 0 : stx + 1);
    std::string field;
    std::uint64_t extent = 0;
    if (reader.Next(field)) {
        while (reader.Next(field)) {
            const std::string_view f = Trim(field);
            if (f.size() > 3 && (f[0] & ~0x20) == 'Q' && (f[1] & ~0x20) == 'F') {
                const std::int64_t count = DecimalCount(Trim(f.substr(2, f.size() - 3)));
                declared = count >= 0;
                if (declared) return std::min<std::uint64_t>(static_cast<std::uint64_t>(count), MaxSparseFuses);
            }
            if (f.size() < 2 || (f[0] & ~0x20) != 'L') continue;
            const std::string_view body = f.substr(1, f.size() - 2);
            std::uint64_t first = 0;
            std::size_t at = FirstFuseNumber(body, first);
            if (at == std::string_view::npos) continue;
            std::uint64_t count = 0;
            for (++at; at < body.size(); ++at) count += body[at] != ' ' && body[at] != '\t';
            if (count > 0) extent = std::max(extent, first + count);
        }
    }
    return std::min(extent, MaxSparseFuses);
}

// Writes to the file and keeps the transmission sum of everything written.
class TJedecEmitter {
public:
    explicit TJedecEmitter(TFileOut& out) : Out_(out) {}
    void Put(std::string_view text) {
        Sum_ = static_cast<std::uint16_t>(Sum_ + JedecTransmissionSum(text));
        Out_.Write(text);
    }
    std::uint16_t Sum() const { return Sum_; }

private:
    TFileOut& Out_;
    std::uint16_t Sum_ = 0;
};

// Texts taken from the session must not end the header, a field or the transmission early.
std::string WithoutDelimiters(std::string_view text) {
    std::string clean;
    for (char c : text) {
        if (c != '*' && c != STX && c != ETX && c != CtrlZ) clean += c;
    }
    return clean;
}

std::string CurrentDateTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    const std::size_t size = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text, size);
}

// The fuses of a source in address order: fuse n is the byte at file address n.
class TFuseCursor {
public:
    explicit TFuseCursor(const TDataSource& source) : Source_(source) {}
    std::uint8_t Fuse(std::uint64_t n) {
        while (Segment_ < Source_.segments.size()) {
            const TSegment& s = Source_.segments[Segment_];
            if (n < s.address) return Source_.gapFill & 1;
            if (n - s.address < s.size) return s.data[n - s.address] & 1;
            ++Segment_;
        }
        return Source_.gapFill & 1;
    }

private:
    const TDataSource& Source_;
    std::size_t Segment_ = 0;
};

std::uint64_t FuseCountOf(const TDataSource& source) {
    std::uint64_t end = 0;
    for (const TSegment& s : source.segments) {
        if (s.size > 0) end = std::max(end, std::uint64_t{s.address} + s.size);
    }
    return std::min(end, std::uint64_t{source.fileEnd} + 1);
}

}  // namespace

std::uint16_t JedecTransmissionSum(std::string_view text) {
    unsigned sum = 0;
    for (char c : text) sum += static_cast<unsigned>(static_cast<int>(static_cast<signed char>(c)));
    return static_cast<std::uint16_t>(sum);
}

bool CheckJedecText(const char* text, std::size_t length) {
    enum class State { SeekStx, Header, FieldStart, FieldRest, QLetter, QDigits };
    static constexpr std::string_view FieldLetters = "ACDEFGJLNPRSTUVX";
    State state = State::SeekStx;
    bool countField = false;
    for (std::size_t i = 0; text && i < length; ++i) {
        const char c = text[i];
        if (IsLineBlank(c)) continue;
        switch (state) {
        case State::SeekStx:
            if (c == STX) state = State::Header;
            break;
        case State::Header:
        case State::FieldRest:
            if (c == '*') state = State::FieldStart;
            break;
        case State::FieldStart:
            if (c == 'Q') {
                state = State::QLetter;
            } else if (FieldLetters.find(c) != std::string_view::npos) {
                state = State::FieldRest;
            } else {
                return false;
            }
            break;
        case State::QLetter:
            if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
            countField = c == 'F' || c == 'P';
            state = State::QDigits;
            break;
        case State::QDigits:
            if (c == '*') {
                if (countField) return true;
                state = State::FieldStart;
            } else if (c < '0' || c > '9') {
                return false;
            }
            break;
        }
    }
    return false;
}

bool ProbeJedec(const std::uint8_t* bytes, std::size_t count) {
    return CheckJedecText(reinterpret_cast<const char*>(bytes), count);
}

bool ReadJedecText(std::string_view text, TDataSink& sink) {
    if (GlobalConfig) GlobalConfig->SetBool("Hidden", "Device", "AutoSecure", false);
    // Facts of an earlier file must not pass for this file's: a save would write them back out.
    SetHidden("FuseCount", "");
    SetHidden("PinCount", "");
    SetHidden("UserFuseData", "");
    SetHidden("ElectricalFuseData", "");

    std::uint64_t length = sink.Length();
    const bool sparse = length > DeviceRangeLimit;
    bool declared = false;
    if (sparse) length = SparseFuseCount(text, declared);
    TJedecLoader loader(sink, length);
    loader.SetBackground(FormatSetting("JEDEC", "DefaultFuseState").empty() ? 0
                                                                             : FormatBool("JEDEC", "DefaultFuseState"));
    const bool ok = loader.Load(text);
    // A sparse image ends with its last stored byte; the declared fuses past it exist all the same.
    if (ok && sparse && declared && loader.HighestStored() < length) {
        const std::uint8_t background = loader.Background();
        sink.PutAt(length - 1, &background, 1);
    }
    return ok;
}

bool ReadJedecFile(TFileIn& in, TDataSink& sink) {
    std::string text;
    try {
        text.resize(MaxJedecText + 1);
    } catch (const std::bad_alloc&) {
        LogMessage("Memory allocation error", 0);
        return false;
    }
    text.resize(in.Read(text.data(), text.size()));
    if (text.size() > MaxJedecText) {
        text.resize(MaxJedecText);
        LogMessage("WARNING! The JEDEC file is larger than 1 MiB; only its first 1 MiB is read.", 1);
    }
    return ReadJedecText(text, sink);
}

TJedecWriteOptions JedecWriteOptionsFromSession() {
    TJedecWriteOptions options;
    options.lineEnd = std::string(LineEnd());
    const std::int32_t perLine = FormatInt("JEDEC", "MaxFuseLineLength");
    // Below 1 means nothing; the usual 64 keeps the file readable.
    options.fusesPerLine = perLine < 1 ? 64 : static_cast<std::size_t>(std::min(perLine, 256));
    options.comment = FormatSetting("JEDEC", "Comment");
    options.createdOn = CurrentDateTime();
    if (GlobalConfig) {
        options.autoSecure = GlobalConfig->GetBool("Hidden", "Device", "AutoSecure");
        options.userFuseData = GlobalConfig->GetString("Hidden", "JEDEC", "UserFuseData");
        options.electricalFuseData = GlobalConfig->GetString("Hidden", "JEDEC", "ElectricalFuseData");
    }
    return options;
}

bool WriteJedecText(TFileOut& out, const TDataSource& source, const TJedecWriteOptions& options) {
    const std::string& eol = options.lineEnd;
    const std::size_t perLine = std::clamp<std::size_t>(options.fusesPerLine, 1, 256);
    const std::uint64_t count = FuseCountOf(source);
    // A QF count that no reader takes back (the fuse count is a signed 32-bit number) would make
    // a file that cannot be loaded again.
    if (count > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        LogMessage("A JEDEC file holds at most " + std::to_string(std::numeric_limits<std::int32_t>::max()) +
                       " fuses; this data ends at fuse " + std::to_string(count),
                   0);
        return false;
    }
    const std::string dashes(54, '-');
    TJedecEmitter emit(out);

    emit.Put(std::string(1, STX) + eol);
    emit.Put(dashes + eol + WithoutDelimiters(options.comment) + eol + dashes + eol);
    emit.Put("Created on " + WithoutDelimiters(options.createdOn) + "*" + eol);
    emit.Put("QF" + std::to_string(count) + "*" + eol);
    emit.Put(std::string(options.autoSecure ? "G1*" : "G0*") + eol);

    std::string tens = "N" + std::string(9, ' ');
    std::string units = tens;
    for (std::size_t i = 0; i < perLine; ++i) {
        tens += i < 10 ? std::string(" ") : std::to_string(i / 10);
        units += static_cast<char>('0' + i % 10);
    }
    emit.Put(tens + "*" + eol + units + "*" + eol);

    TJedecFuseChecksum checksum;
    TFuseCursor fuses(source);
    std::string line;
    for (std::uint64_t first = 0; first < count; first += perLine) {
        const std::string number = std::to_string(first);
        line.assign("L");
        if (number.size() < 8) line.append(8 - number.size(), '0');
        line += number;
        line += ' ';
        const std::uint64_t last = std::min<std::uint64_t>(count, first + perLine);
        for (std::uint64_t n = first; n < last; ++n) {
            const std::uint8_t fuse = fuses.Fuse(n);
            line += static_cast<char>('0' + fuse);
            if (fuse) checksum.AddSetFuse(n);
        }
        line += '*';
        line += eol;
        emit.Put(line);
    }
    emit.Put("C" + Hex(checksum.Value(), 4) + "*" + eol);
    if (!options.userFuseData.empty()) emit.Put("U" + WithoutDelimiters(options.userFuseData) + "*" + eol);
    if (!options.electricalFuseData.empty()) {
        emit.Put("E" + WithoutDelimiters(options.electricalFuseData) + "*" + eol);
    }
    emit.Put(std::string(1, ETX));
    out.Write(Hex(emit.Sum(), 4));
    return !out.Failed();
}

bool WriteJedecFile(TFileOut& out, const TDataSource& source) {
    return WriteJedecText(out, source, JedecWriteOptionsFromSession());
}

}  // namespace kovfiles
