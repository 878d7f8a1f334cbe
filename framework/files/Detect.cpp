#include "files/Detect.h"

#include <cstring>
#include <vector>

#include "core/Globals.h"
#include "files/FileTypes.h"

namespace kovfiles {

namespace {

void LogCheckFailed(const TFileType& t) { LogMessage(std::string("File type check for ") + t.name + " failed", 3); }

// The text record format chosen by a decisive first character.
const TFileType* TextFormatFor(char c) {
    const TFileType* other = nullptr;
    for (const TFileType& t : FileTypes()) {
        if (t.detect != TDetectKind::TextRecord) continue;
        if (*t.leadChars == 0)
            other = &t;
        else if (std::strchr(t.leadChars, c))
            return &t;
    }
    return other;
}

int DetectTextRecord(const std::uint8_t* bytes, std::size_t count) {
    const char* text = reinterpret_cast<const char*>(bytes);
    std::size_t i = 0;
    while (i < count) {
        char c = text[i];
        if (c == '\t' || c == '\n' || c == '\r' || c == ' ') {
            ++i;
            continue;
        }
        if (c == '*' || c == ';') {
            const std::size_t limit = std::min(count, i + 1 + 254);
            const void* lf = std::memchr(text + i + 1, '\n', limit - (i + 1));
            if (lf) {
                i = static_cast<std::size_t>(static_cast<const char*>(lf) - text) + 1;
                continue;
            }
        }
        const TFileType* format = TextFormatFor(c);
        if (!format) return ftAutoDetect;
        // A line the format merely passes over proves nothing; the next one is judged.
        const std::size_t window = std::min(count, DetectTextWindow);
        TRecordState state;
        TRecord record;
        while (i < window) {
            CheckRecordText(format->checkLine, text + i, window - i, state, record);
            if (record.count == TRecord::Invalid) break;
            if (!record.ignored) return format->index;
            const void* lf = std::memchr(text + i, '\n', window - i);
            if (!lf) break;
            i = static_cast<std::size_t>(static_cast<const char*>(lf) - text) + 1;
        }
        LogCheckFailed(*format);
        return ftAutoDetect;
    }
    return ftAutoDetect;
}

}  // namespace

int DetectFileTypeOfBytes(const std::uint8_t* bytes, std::size_t count) {
    count = std::min(count, DetectReadSize);
    int type = ftAutoDetect;
    for (const TFileType& t : FileTypes()) {
        if (type != ftAutoDetect || t.detect != TDetectKind::Magic) continue;
        if (t.probe && t.probe(bytes, count))
            type = t.index;
        else
            LogCheckFailed(t);
    }
    if (type == ftAutoDetect && count > 0) type = DetectTextRecord(bytes, count);
    for (const TFileType& t : FileTypes()) {
        if (type != ftAutoDetect || t.detect != TDetectKind::Text) continue;
        if (t.probe && t.probe(bytes, count))
            type = t.index;
        else
            LogCheckFailed(t);
    }
    if (type == ftAutoDetect && count > 0) {
        for (const TFileType& t : FileTypes())
            if (t.detect == TDetectKind::Fallback) {
                type = t.index;
                break;
            }
    }
    if (count > 0) LogMessage("File type appears to be " + FileTypeName(type), 2);
    return type;
}

int DetectFileType(const std::string& fileName) {
    TFileIn in;
    if (!in.Open(fileName)) return ftAutoDetect;
    std::vector<std::uint8_t> bytes(DetectReadSize);
    std::size_t count = in.Read(bytes.data(), bytes.size());
    LogMessage("Checking " + fileName + " file type ...", 2);
    return DetectFileTypeOfBytes(bytes.data(), count);
}

}  // namespace kovfiles
