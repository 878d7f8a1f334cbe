#include "kovsim/Faults.h"

#include <cctype>
#include <charconv>

#include "kovsim/Chip.h"

namespace kovsim {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

template <typename T> bool ParseNumber(std::string_view text, T& value, int base) {
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return ec == std::errc{} && end == text.data() + text.size();
}

// "StuckBit@ADDR[:BIT][=LEVEL]"
bool ParseStuck(std::string_view where, FaultSet& f) {
    std::size_t eq = where.find('=');
    if (eq != std::string_view::npos) {
        int level = 0;
        if (!ParseNumber(where.substr(eq + 1), level, 10) || level < 0 || level > 1) return false;
        f.stuckLevel = level;
        where = where.substr(0, eq);
    }
    std::size_t colon = where.find(':');
    if (colon != std::string_view::npos) {
        unsigned bit = 0;
        if (!ParseNumber(where.substr(colon + 1), bit, 10) || bit > 15) return false;
        f.stuckBitIndex = bit;
        where = where.substr(0, colon);
    }
    std::uint32_t address = 0;
    if (!ParseNumber(where, address, 16)) return false;
    f.stuckAddress = address;
    return true;
}

std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

} // namespace

FaultSet ParseFaults(std::string_view text, std::vector<std::string>& problems) {
    FaultSet f;
    while (!text.empty()) {
        std::size_t comma = text.find(',');
        std::string_view item = Trim(text.substr(0, comma));
        text = comma == std::string_view::npos ? std::string_view{} : text.substr(comma + 1);
        if (item.empty()) continue;
        std::size_t at = item.find('@');
        std::string_view name = Trim(item.substr(0, at));
        std::string_view where =
            at == std::string_view::npos ? std::string_view{} : Trim(item.substr(at + 1));
        bool ok = true;
        if (SameText(name, "NoChip") && where.empty()) {
            f.noChip = true;
        } else if (SameText(name, "WrongId") && where.empty()) {
            f.wrongId = true;
        } else if (SameText(name, "StuckBit")) {
            FaultSet spot;
            ok = at == std::string_view::npos || ParseStuck(where, spot);
            if (ok) {
                f.stuckBit = true;
                f.stuckAddress = spot.stuckAddress;
                f.stuckBitIndex = spot.stuckBitIndex;
                f.stuckLevel = spot.stuckLevel;
            }
        } else if (SameText(name, "ProgramFail")) {
            std::uint32_t address = 0;
            ok = at == std::string_view::npos || ParseNumber(where, address, 16);
            if (ok) {
                f.programFail = true;
                if (at != std::string_view::npos) f.failAddress = address;
            }
        } else {
            ok = false;
        }
        if (!ok) problems.push_back(std::string(item));
    }
    return f;
}

std::string FormatFaults(const FaultSet& f) {
    auto hex = [](std::uint32_t v) {
        char buf[16];
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, 16);
        (void)ec;
        std::string s(buf, end);
        for (char& c : s)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return s;
    };
    std::string out;
    auto add = [&](const std::string& item) { out += (out.empty() ? "" : ",") + item; };
    if (f.noChip) add("NoChip");
    if (f.wrongId) add("WrongId");
    if (f.stuckBit) {
        std::string s = "StuckBit";
        if (f.stuckAddress) {
            s += "@" + hex(*f.stuckAddress);
            if (f.stuckBitIndex) s += ":" + std::to_string(*f.stuckBitIndex);
            if (f.stuckLevel) s += "=" + std::to_string(*f.stuckLevel);
        }
        add(s);
    }
    if (f.programFail) add(f.failAddress ? "ProgramFail@" + hex(*f.failAddress) : "ProgramFail");
    return out;
}

FaultSpots ResolveFaults(const FaultSet& f, std::uint64_t seed, const std::string& chipKey,
                         std::uint32_t words, unsigned width) {
    std::uint64_t state = seed ^ (std::uint64_t(Crc32(chipKey.data(), chipKey.size())) << 17);
    FaultSpots s;
    std::uint64_t r1 = SplitMix(state), r2 = SplitMix(state);
    std::uint32_t n = words ? words : 1;
    unsigned w = width ? width : 1;
    s.stuckAddress = f.stuckAddress.value_or(static_cast<std::uint32_t>(r1 % n));
    s.stuckBit = f.stuckBitIndex.value_or(static_cast<unsigned>((r1 >> 32) % w));
    s.stuckLevel = f.stuckLevel.value_or(static_cast<int>((r1 >> 48) & 1));
    s.failAddress = f.failAddress.value_or(static_cast<std::uint32_t>(r2 % n));
    return s;
}

} // namespace kovsim
