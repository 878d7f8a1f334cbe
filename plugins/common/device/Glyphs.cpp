// The pictures of the extra-function buttons, exported as bitmap resources.
#include "kov_plugin.h"
#include "kovsim/Glyph.h"

namespace {

using kovsim::GlyphArt;
using kovsim::GlyphBmp;

constexpr GlyphArt kLock{
    "................", ".....######.....", "....#dddddd#....", "...#dd####dd#...",
    "...#d#....#d#...", "...#d#....#d#...", "...#d#....#d#...", "..############..",
    "..#yyyyyyyyyy#..", "..#yyyyy##yyy#..", "..#yyyy####yy#..", "..#yyyyy##yyy#..",
    "..#yyyyy##yyy#..", "..#oooooooooo#..", "..############..", "................",
};
constexpr GlyphArt kUnlock{
    ".........######.", "........#dddddd#", ".......#dd####dd", ".......#d#....#d",
    ".......#d#....#d", ".......#d#......", ".......#d#......", "..############..",
    "..#yyyyyyyyyy#..", "..#yyyyy##yyy#..", "..#yyyy####yy#..", "..#yyyyy##yyy#..",
    "..#yyyyy##yyy#..", "..#oooooooooo#..", "..############..", "................",
};
constexpr GlyphArt kInfo{
    ".....######.....", "...##bbbbbb##...", "..#bbbbwwbbbb#..", ".#bbbbbwwbbbbb#.",
    ".#bbbbbbbbbbbb#.", "#bbbbbwwwbbbbbb#", "#bbbbbbwwbbbbbb#", "#bbbbbbwwbbbbbb#",
    "#bbbbbbwwbbbbbb#", "#bbbbbbwwbbbbbb#", "#bbbbbbwwbbbbbb#", ".#bbbbwwwwbbbb#.",
    ".#bbbbbbbbbbbb#.", "..#bbbbbbbbbb#..", "...##bbbbbb##...", ".....######.....",
};
constexpr GlyphArt kChipId{
    "................", "...d.d.d.d.d....", "..###########...", "..#ddddddddd#...",
    "..#dwwwdwwdd#...", "..#ddwddwdwd#...", "..#ddwddwdwd#...", "..#ddwddwdwd#...",
    "..#dwwwdwwdd#...", "..#ddddddddd#...", "..#ddddddddd#...", "..###########...",
    "...d.d.d.d.d....", "................", "..........gg....", ".........gg.....",
};

constexpr auto kLockBmp = GlyphBmp(kLock);
constexpr auto kUnlockBmp = GlyphBmp(kUnlock);
constexpr auto kInfoBmp = GlyphBmp(kInfo);
constexpr auto kChipIdBmp = GlyphBmp(kChipId);

} // namespace

KOV_EXPORT_BITMAP(LOCK, kLockBmp.data(), kLockBmp.size());
KOV_EXPORT_BITMAP(UNLOCK, kUnlockBmp.data(), kUnlockBmp.size());
KOV_EXPORT_BITMAP(INFO, kInfoBmp.data(), kInfoBmp.size());
KOV_EXPORT_BITMAP(CHIPID, kChipIdBmp.data(), kChipIdBmp.size());
