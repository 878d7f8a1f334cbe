#include "kovsim/Chip.h"

#include <algorithm>
#include <cstring>

namespace kovsim {
namespace {

constexpr char kMagic[8] = {'K', 'O', 'V', 'C', 'H', 'I', 'P', '1'};
constexpr std::uint32_t kFormat = 1;
constexpr std::size_t kMakerField = 64, kNameField = 64, kPackageField = 16;
constexpr std::size_t kHeader =
    8 + 4 * 4 + kMakerField + kNameField + kPackageField + 8 * SimChip::kExtraCells;

void PutLe(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint64_t GetLe(const std::string& in, std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= std::uint64_t(static_cast<unsigned char>(in[at + i])) << (8 * i);
    return v;
}

void PutField(std::string& out, const std::string& text, std::size_t size) {
    std::string f = text.substr(0, size - 1);
    f.resize(size, '\0');
    out += f;
}

std::string GetField(const std::string& in, std::size_t at, std::size_t size) {
    std::string f = in.substr(at, size);
    return f.substr(0, f.find('\0'));
}

unsigned BytesPerWord(unsigned width) {
    return width > 8 ? 2 : 1;
}

} // namespace

std::uint32_t Crc32(const void* data, std::size_t size) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    const auto* p = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::string ChipSpec::Key() const {
    std::string key = maker + "_" + name + "_" + package;
    for (char& c : key) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                  c == '_' || c == '.';
        if (!ok) c = '-';
    }
    return key;
}

SimChip::SimChip(ChipSpec spec)
    : spec_(std::move(spec)), mask_(static_cast<std::uint16_t>((1u << std::clamp(spec_.width, 1u, 16u)) - 1)),
      words_(spec_.words, mask_) {}

void SimChip::Write(std::uint32_t address, std::uint16_t value) {
    if (address >= words_.size()) return;
    std::uint16_t v = value & mask_;
    std::uint16_t next = spec_.writeReplaces ? v : static_cast<std::uint16_t>(words_[address] & v);
    if (next != words_[address]) {
        words_[address] = next;
        dirty_ = true;
    }
}

void SimChip::Erase(std::uint32_t first, std::uint32_t count) {
    if (first >= words_.size()) return;
    std::uint32_t last =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t(first) + count, words_.size()));
    std::fill(words_.begin() + first, words_.begin() + last, mask_);
    dirty_ = true;
}

void SimChip::EraseAll() {
    Erase(0, spec_.words);
    extra_.fill(0);
}

void SimChip::SetExtra(int cell, std::uint64_t value) {
    if (cell < 0 || cell >= kExtraCells || extra_[cell] == value) return;
    extra_[cell] = value;
    dirty_ = true;
}

std::string SimChip::Serialize() const {
    std::string out(kMagic, sizeof kMagic);
    PutLe(out, kFormat, 4);
    PutLe(out, spec_.width, 4);
    PutLe(out, spec_.words, 4);
    PutLe(out, kExtraCells, 4);
    PutField(out, spec_.maker, kMakerField);
    PutField(out, spec_.name, kNameField);
    PutField(out, spec_.package, kPackageField);
    for (std::uint64_t e : extra_)
        PutLe(out, e, 8);
    unsigned b = BytesPerWord(spec_.width);
    out.reserve(out.size() + words_.size() * b + 4);
    for (std::uint16_t w : words_)
        PutLe(out, w, static_cast<int>(b));
    PutLe(out, Crc32(out.data(), out.size()), 4);
    return out;
}

bool SimChip::Parse(const std::string& bytes, SimChip& chip, std::string& problem) {
    const ChipSpec& spec = chip.spec_;
    unsigned b = BytesPerWord(spec.width);
    if (bytes.size() < kHeader + 4 || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        problem = "it is not a socket state file";
        return false;
    }
    if (GetLe(bytes, 8, 4) != kFormat) {
        problem = "its format version is unknown";
        return false;
    }
    std::size_t expected = kHeader + std::size_t(spec.words) * b + 4;
    if (GetLe(bytes, 12, 4) != spec.width || GetLe(bytes, 16, 4) != spec.words ||
        GetLe(bytes, 20, 4) != std::uint64_t(kExtraCells)) {
        problem = "it describes a chip of another size or width";
        return false;
    }
    if (bytes.size() != expected) {
        problem = bytes.size() < expected ? "it is truncated" : "it has extra bytes at its end";
        return false;
    }
    if (Crc32(bytes.data(), bytes.size() - 4) != GetLe(bytes, bytes.size() - 4, 4)) {
        problem = "its checksum does not match its contents";
        return false;
    }
    std::size_t at = 24;
    if (GetField(bytes, at, kMakerField) != spec.maker.substr(0, kMakerField - 1) ||
        GetField(bytes, at + kMakerField, kNameField) != spec.name.substr(0, kNameField - 1)) {
        problem = "it holds another part";
        return false;
    }
    at += kMakerField + kNameField + kPackageField;
    for (auto& e : chip.extra_) {
        e = GetLe(bytes, at, 8);
        at += 8;
    }
    for (auto& w : chip.words_) {
        w = static_cast<std::uint16_t>(GetLe(bytes, at, static_cast<int>(b)) & chip.mask_);
        at += b;
    }
    chip.dirty_ = false;
    return true;
}

} // namespace kovsim
