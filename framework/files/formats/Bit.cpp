#include "files/formats/Bit.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "core/Globals.h"

namespace kovfiles {
namespace {

constexpr std::uint8_t BitMagic[11] = {0x00, 0x09, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x00};

std::uint32_t BigEndian(const std::uint8_t* bytes, int size) {
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) value = value << 8 | bytes[i];
    return value;
}

std::uint8_t ReversedBits(std::uint8_t b) {
    b = static_cast<std::uint8_t>((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = static_cast<std::uint8_t>((b & 0xCC) >> 2 | (b & 0x33) << 2);
    return static_cast<std::uint8_t>((b & 0xAA) >> 1 | (b & 0x55) << 1);
}

bool SettingIs(const std::string& value, const char* text) {
    return strcasecmp(value.c_str(), text) == 0;
}

enum class TBitResult { Loaded, Refused, Invalid };

// Copies the n bytes of the bitstream to the destination start.
TBitResult LoadBitstream(TFileIn& in, TDataSink& sink, std::uint32_t n) {
    const bool reverse = FormatBool("BIT", "ReverseBits");
    std::uint8_t chunk[65536];
    std::uint64_t offset = 0;
    while (offset < n) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(n - offset, sizeof chunk));
        const std::size_t got = in.Read(chunk, piece);
        if (reverse) {
            for (std::size_t i = 0; i < got; ++i) chunk[i] = ReversedBits(chunk[i]);
        }
        sink.PutAt(offset, chunk, got);
        sink.AddLoaded(got);
        offset += got;
        if (got < piece) return TBitResult::Invalid;
    }
    return TBitResult::Loaded;
}

TBitResult LoadBit(TFileIn& in, TDataSink& sink) {
    std::uint8_t header[13];
    if (!in.ReadExact(header, sizeof header) || std::memcmp(header, BitMagic, sizeof BitMagic) != 0) {
        return TBitResult::Invalid;
    }
    const std::string fill = FormatSetting("BIT", "FillValue");
    if (!SettingIs(fill, "Disabled")) sink.Fill(SettingIs(fill, "0x00") ? 0x00 : 0xFF);
    for (;;) {
        std::uint8_t key = 0;
        std::uint8_t size[4];
        if (!in.ReadExact(&key, 1)) return TBitResult::Invalid;
        if (key > 'e') return TBitResult::Refused;
        if (key < 'e') {
            if (!in.ReadExact(size, 2) || !in.Skip(BigEndian(size, 2))) return TBitResult::Invalid;
            continue;
        }
        if (!in.ReadExact(size, 4)) return TBitResult::Invalid;
        const std::uint32_t n = BigEndian(size, 4);
        if (n > sink.Length()) {
            LogMessage("Packet size is too large to load into buffer", 0);
            return TBitResult::Loaded;
        }
        return LoadBitstream(in, sink, n);
    }
}

}  // namespace

bool ReadBitFile(TFileIn& in, TDataSink& sink) {
    switch (LoadBit(in, sink)) {
    case TBitResult::Loaded: return true;
    case TBitResult::Refused: return false;
    case TBitResult::Invalid: break;
    }
    LogMessage("Invalid BIT file", 0);
    return false;
}

bool WriteBitFile(TFileOut&, const TDataSource&) {
    LogMessage("BIT file save is not availible", 0);
    return false;
}

bool ProbeBit(const std::uint8_t* bytes, std::size_t count) {
    return bytes && count >= 14 && std::memcmp(bytes, BitMagic, sizeof BitMagic) == 0;
}

}  // namespace kovfiles
