#include "files/TextDump.h"

namespace kovfiles {

bool WriteTextDump(TFileOut& out, const std::uint8_t* data, std::int64_t length, std::uint32_t address) {
    const std::string_view eol = LineEnd();
    for (std::int64_t offset = 0; offset < length; offset += 16, address += 16) {
        const std::int64_t n = std::min<std::int64_t>(16, length - offset);
        const std::size_t size = 75 + eol.size();
        char* line = out.Reserve(size);
        std::memset(line, ' ', 75);
        PutHex32(line, address);
        for (std::int64_t i = 0; i < n; ++i) {
            const std::uint8_t b = data[offset + i];
            PutHex8(line + 10 + 3 * i, b);
            if (b >= 0x20 && b <= 0x7F) line[59 + i] = static_cast<char>(b);
        }
        std::memcpy(line + 75, eol.data(), eol.size());
        out.Commit(size);
    }
    return !out.Failed();
}

}  // namespace kovfiles
