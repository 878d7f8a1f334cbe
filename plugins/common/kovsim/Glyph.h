#pragma once
// Button pictures drawn as 16x16 character art, turned into BMP files at compile time: the
// picture and, beside it, its greyed (disabled) state.
#include <array>
#include <cstdint>

namespace kovsim {

constexpr int kGlyphSize = 16;
using GlyphArt = char[kGlyphSize][kGlyphSize + 1];

constexpr std::uint32_t kGlyphBackground = 0xC0C0C0;

constexpr std::uint32_t GlyphColour(char c) {
    switch (c) {
    case '#':
        return 0x000000;
    case 'd':
        return 0x606060;
    case 'w':
        return 0xFFFFFF;
    case 'y':
        return 0xFFD800;
    case 'o':
        return 0x9C7A00;
    case 'b':
        return 0x1E50C8;
    case 'r':
        return 0xC81E1E;
    case 'g':
        return 0x1E8C1E;
    default:
        return kGlyphBackground;
    }
}

constexpr int kGlyphRowBytes = (2 * kGlyphSize * 3 + 3) & ~3;
constexpr int kGlyphBmpSize = 54 + kGlyphRowBytes * kGlyphSize;

constexpr std::array<unsigned char, kGlyphBmpSize> GlyphBmp(const GlyphArt& art) {
    std::array<unsigned char, kGlyphBmpSize> b{};
    auto put = [&b](int at, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            b[at + i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
    };
    b[0] = 'B';
    b[1] = 'M';
    put(2, kGlyphBmpSize, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, 2 * kGlyphSize, 4);
    put(22, kGlyphSize, 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, kGlyphRowBytes * kGlyphSize, 4);
    put(38, 2835, 4);
    put(42, 2835, 4);
    for (int y = 0; y < kGlyphSize; ++y) {
        const char* row = art[kGlyphSize - 1 - y]; // BMP rows run bottom-up
        for (int x = 0; x < 2 * kGlyphSize; ++x) {
            char c = row[x % kGlyphSize];
            bool background = GlyphColour(c) == kGlyphBackground;
            std::uint32_t colour =
                x < kGlyphSize ? GlyphColour(c) : (background ? kGlyphBackground : 0x808080);
            int at = 54 + y * kGlyphRowBytes + x * 3;
            b[at] = colour & 0xFF;             // blue
            b[at + 1] = (colour >> 8) & 0xFF;  // green
            b[at + 2] = (colour >> 16) & 0xFF; // red
        }
    }
    return b;
}

} // namespace kovsim
