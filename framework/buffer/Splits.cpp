#include "buffer/Splits.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cstring>
#include <vector>

#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/Globals.h"

namespace {

const std::array<const char*, MaxSplitsSets> Ordinals = {"first", "second", "third",   "fourth",
                                                         "fifth", "sixth",  "seventh", "eighth"};
const std::array<const char*, MaxSplitsSets> Cardinals = {"one", "two", "three", "four",
                                                          "five", "six", "seven", "eight"};

int Clamp(int value, int low, int high) {
    return std::min(std::max(value, low), high);
}

// Blanks around the number are allowed; anything else makes the text not a number.
std::optional<int> ParseCount(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return std::nullopt;
    const auto last = text.find_last_not_of(" \t");
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    if (*begin == '+') ++begin;
    long long value = 0;
    const auto [ptr, error] = std::from_chars(begin, end, value);
    if (error == std::errc::result_out_of_range && ptr == end) return *begin == '-' ? INT_MIN : INT_MAX;
    if (error != std::errc() || ptr != end) return std::nullopt;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

const char* Word(const std::array<const char*, MaxSplitsSets>& words, int n) {
    return words[static_cast<std::size_t>(Clamp(n, 1, MaxSplitsSets) - 1)];
}

}  // namespace

void TSplitsModel::SetSplits(int count) {
    values_.Splits = Clamp(count, 1, MaxSplitsSets);
    values_.SplitDevice = Clamp(values_.SplitDevice, 1, values_.Splits);
}

void TSplitsModel::SetSets(int count) {
    values_.Sets = Clamp(count, 1, MaxSplitsSets);
    values_.SetDevice = Clamp(values_.SetDevice, 1, values_.Sets);
}

int TSplitsModel::SplitsTyped(const std::string& text) {
    if (const auto value = ParseCount(text)) SetSplits(*value);
    return values_.Splits;
}

int TSplitsModel::SetsTyped(const std::string& text) {
    if (const auto value = ParseCount(text)) SetSets(*value);
    return values_.Sets;
}

int TSplitsModel::SplitDeviceTyped(const std::string& text) {
    if (const auto value = ParseCount(text)) values_.SplitDevice = Clamp(*value, 1, values_.Splits);
    return values_.SplitDevice;
}

int TSplitsModel::SetDeviceTyped(const std::string& text) {
    if (const auto value = ParseCount(text)) values_.SetDevice = Clamp(*value, 1, values_.Sets);
    return values_.SetDevice;
}

void TSplitsModel::SelectDevice(int column, int row) {
    values_.SplitDevice = Clamp(column, 1, values_.Splits);
    values_.SetDevice = Clamp(row, 1, values_.Sets);
}

std::string TSplitsModel::Description(std::uint32_t deviceWidthBits) const {
    const int splits = values_.Splits;
    const int sets = values_.Sets;
    const std::string width = std::to_string(deviceWidthBits);
    std::string text = std::to_string(static_cast<std::uint64_t>(splits) * deviceWidthBits) + "-Bit Data path, ";
    text += splits == 1 ? "written directly into" : "split across";
    text += std::string(" ") + Word(Cardinals, splits) + " " + width + "-Bit device" + (splits == 1 ? "" : "s");
    text += ", ";
    text += std::string(Word(Cardinals, sets)) + " set" + (sets == 1 ? "" : "s") + " total, ";
    text += std::string(Word(Ordinals, values_.SplitDevice)) + " device of " + Word(Ordinals, values_.SetDevice) +
            " set selected.";
    return text;
}

void StoreSplitsCounts(const TSplitsSets& values) {
    if (!GlobalConfig) return;
    GlobalConfig->SetInt("SplitsSets", "SplitsCols", values.Splits);
    GlobalConfig->SetInt("SplitsSets", "SplitsRows", values.Sets);
}

namespace {

constexpr int PathWidth = 30;
constexpr int PathHeight = 10;
constexpr int PathTop = 6;
constexpr int BoxWidth = 7;
constexpr int BoxHeight = 10;
constexpr int BoxGap = 4;
constexpr int RowPitch = 12;
constexpr int FirstRowTop = 28;
constexpr int HitMargin = 2;

}  // namespace

TSplitsDiagram LayoutSplitsDiagram(int imageWidth, int splits, int sets) {
    splits = Clamp(splits, 1, MaxSplitsSets);
    sets = Clamp(sets, 1, MaxSplitsSets);
    TSplitsDiagram diagram;
    diagram.dataPath = {(imageWidth - PathWidth) / 2, PathTop, PathWidth, PathHeight, 0, 0};
    const int rowWidth = splits * BoxWidth + (splits - 1) * BoxGap;
    const int rowLeft = (imageWidth - rowWidth) / 2;
    for (int row = 1; row <= sets; ++row) {
        for (int column = 1; column <= splits; ++column) {
            diagram.devices.push_back({rowLeft + (column - 1) * (BoxWidth + BoxGap), FirstRowTop + (row - 1) * RowPitch,
                                       BoxWidth, BoxHeight, column, row});
        }
    }
    diagram.height = FirstRowTop + (sets - 1) * RowPitch + BoxHeight + PathTop;
    return diagram;
}

std::optional<TDiagramBox> TSplitsDiagram::DeviceAt(int x, int y) const {
    for (const TDiagramBox& box : devices) {
        if (x >= box.left - HitMargin && x < box.left + box.width + HitMargin && y >= box.top - HitMargin &&
            y < box.top + box.height + HitMargin) {
            return box;
        }
    }
    return std::nullopt;
}

std::uint64_t SplitsWordAddress(std::uint64_t bufferStart, std::uint32_t bytesPerWord, std::uint32_t deviceSize,
                                std::uint32_t deviceStart, int splits, std::uint32_t word, int splitDevice,
                                int setDevice) {
    const std::uint64_t b = bytesPerWord;
    const std::uint64_t p = static_cast<std::uint64_t>(splits);
    const std::uint64_t setBytes = static_cast<std::uint64_t>(deviceSize) * p * b;
    return bufferStart + static_cast<std::uint64_t>(setDevice - 1) * setBytes +
           ((static_cast<std::uint64_t>(word) - deviceStart) * p + static_cast<std::uint64_t>(splitDevice - 1)) * b;
}

// ---------------------------------------------------------------------------------------------
// Gathering and scattering device words

std::uint64_t TWordLane::LowestAddress() const {
    if (!swap || bytesPerWord % 2 == 0) return first;
    std::uint64_t low = UINT64_MAX;
    // With swapping a later word can reach below the first one only when words are one byte
    // apart, so the first two words decide.
    for (std::uint64_t w = 0; w < std::min<std::uint64_t>(words, 2); ++w)
        for (std::uint32_t i = 0; i < bytesPerWord; ++i) low = std::min(low, (first + w * stride + i) ^ 1);
    return low;
}

std::uint64_t TWordLane::HighestAddress() const {
    const std::uint64_t lastWord = first + (words - 1) * stride;
    if (!swap || bytesPerWord % 2 == 0) return lastWord + bytesPerWord - 1;
    std::uint64_t high = 0;
    for (std::uint64_t w = words >= 2 ? words - 2 : 0; w < words; ++w)
        for (std::uint32_t i = 0; i < bytesPerWord; ++i) high = std::max(high, (first + w * stride + i) ^ 1);
    return high;
}

namespace {

// The word-at-a-time paths exchange the bytes of each pair within a word, which is the byte rule
// for words of whole pairs wherever they start.
bool WordwiseSwapPossible(const TWordLane& lane) {
    return !lane.swap || lane.bytesPerWord % 2 == 0;
}

template <class T>
T LoadWord(const std::uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
void StoreWord(std::uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

// Exchanges the bytes of each pair within a word.
inline std::uint16_t SwapPairs(std::uint16_t v) {
    return static_cast<std::uint16_t>((v << 8) | (v >> 8));
}
inline std::uint32_t SwapPairs(std::uint32_t v) {
    return ((v & 0x00FF00FFu) << 8) | ((v >> 8) & 0x00FF00FFu);
}
inline std::uint64_t SwapPairs(std::uint64_t v) {
    return ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
}

// Copies `words` words of sizeof(T) bytes from src to dst, each side with its own stride.
template <class T, bool Swap>
void StridedCopyT(const std::uint8_t* src, std::uint64_t srcStride, std::uint8_t* dst, std::uint64_t dstStride,
                  std::uint64_t words) {
    for (std::uint64_t w = 0; w < words; ++w, src += srcStride, dst += dstStride) {
        T v = LoadWord<T>(src);
        if constexpr (Swap) v = SwapPairs(v);
        StoreWord<T>(dst, v);
    }
}

template <class T>
void StridedCopyT(const std::uint8_t* src, std::uint64_t srcStride, std::uint8_t* dst, std::uint64_t dstStride,
                  std::uint64_t words, bool swap) {
    if (swap) {
        StridedCopyT<T, true>(src, srcStride, dst, dstStride, words);
    } else {
        StridedCopyT<T, false>(src, srcStride, dst, dstStride, words);
    }
}

void StridedCopy(const std::uint8_t* src, std::uint64_t srcStride, std::uint8_t* dst, std::uint64_t dstStride,
                 const TWordLane& l) {
    const std::uint64_t b = l.bytesPerWord;
    if (!l.swap && srcStride == b && dstStride == b) {
        std::memcpy(dst, src, l.words * b);
        return;
    }
    switch (b) {
        case 1:
            StridedCopyT<std::uint8_t, false>(src, srcStride, dst, dstStride, l.words);
            return;
        case 2:
            StridedCopyT<std::uint16_t>(src, srcStride, dst, dstStride, l.words, l.swap);
            return;
        case 4:
            StridedCopyT<std::uint32_t>(src, srcStride, dst, dstStride, l.words, l.swap);
            return;
        case 8:
            StridedCopyT<std::uint64_t>(src, srcStride, dst, dstStride, l.words, l.swap);
            return;
        default:
            break;
    }
    for (std::uint64_t w = 0; w < l.words; ++w, src += srcStride, dst += dstStride) {
        for (std::uint64_t i = 0; i < b; ++i) dst[l.swap ? (i ^ 1) : i] = src[i];
    }
}

// Whether writing the image would change any byte of the lane; compared a piece at a time with
// the same copy loops.
bool WouldChange(const std::uint8_t* data, const TWordLane& l, const std::uint8_t* image) {
    constexpr std::uint64_t PieceWords = 4096;
    std::vector<std::uint8_t> piece(PieceWords * l.bytesPerWord);
    for (std::uint64_t w = 0; w < l.words; w += PieceWords) {
        TWordLane part = l;
        part.first = l.first + w * l.stride;
        part.words = std::min(PieceWords, l.words - w);
        StridedCopy(data + part.first, l.stride, piece.data(), l.bytesPerWord, part);
        if (std::memcmp(piece.data(), image + w * l.bytesPerWord, part.words * l.bytesPerWord) != 0) return true;
    }
    return false;
}

// Buffer address of byte i of word w. Swapping exchanges the bytes of each pair within a word of
// whole pairs, also when the word starts at an odd address: pairing by address there would take
// a byte of the neighbouring word (or from before the range) and leave one of the word's own out.
// Words of one byte are paired by address.
std::uint64_t ByteAddress(const TWordLane& l, std::uint64_t w, std::uint64_t i) {
    const std::uint64_t word = l.first + w * l.stride;
    if (!l.swap) return word + i;
    return l.bytesPerWord % 2 == 0 ? word + (i ^ 1) : (word + i) ^ 1;
}

}  // namespace

void GatherWords(TVirtBuffer& buffer, const TWordLane& lane, std::uint8_t* image) {
    if (lane.words == 0) return;
    if (WordwiseSwapPossible(lane) && lane.HighestAddress() <= LastBufferAddress) {
        buffer.EnsureSize(static_cast<std::int32_t>(lane.HighestAddress()));
        StridedCopy(buffer.GetData() + lane.first, lane.stride, image, lane.bytesPerWord, lane);
        return;
    }
    std::size_t out = 0;
    for (std::uint64_t w = 0; w < lane.words; ++w) {
        for (std::uint64_t i = 0; i < lane.bytesPerWord; ++i) {
            const std::uint64_t a = ByteAddress(lane, w, i);
            image[out++] = a <= LastBufferAddress ? buffer.GetByte(static_cast<std::int32_t>(a)) : 0;
        }
    }
}

void ScatterWords(TVirtBuffer& buffer, const TWordLane& lane, const std::uint8_t* image) {
    if (lane.words == 0) return;
    const std::uint64_t low = lane.LowestAddress();
    const std::uint64_t high = lane.HighestAddress();
    const bool insideWindow = !buffer.WindowEnabled || (buffer.WindowLow >= 0 && low >= static_cast<std::uint64_t>(buffer.WindowLow) &&
                                                        high <= static_cast<std::uint64_t>(buffer.WindowHigh));
    if (WordwiseSwapPossible(lane) && insideWindow && high <= LastBufferAddress) {
        buffer.EnsureSize(static_cast<std::int32_t>(high));
        if (buffer.Untouched && WouldChange(buffer.GetData(), lane, image)) buffer.Untouched = false;
        StridedCopy(image, lane.bytesPerWord, buffer.GetData() + lane.first, lane.stride, lane);
        return;
    }
    std::size_t in = 0;
    for (std::uint64_t w = 0; w < lane.words; ++w) {
        for (std::uint64_t i = 0; i < lane.bytesPerWord; ++i, ++in) {
            const std::uint64_t a = ByteAddress(lane, w, i);
            if (a <= LastBufferAddress) buffer.SetByte(static_cast<std::int32_t>(a), image[in]);
        }
    }
}
