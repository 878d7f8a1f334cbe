#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TVirtBuffer;

// The four numbers of the splits and sets layout: devices side by side (splits), device-sized
// blocks one after another (sets), and which single device the next operation refers to.
struct TSplitsSets {
    int Splits = 1;
    int SplitDevice = 1;
    int Sets = 1;
    int SetDevice = 1;

    bool operator==(const TSplitsSets&) const = default;
};

constexpr int MaxSplitsSets = 8;

// The largest buffer address: the buffer is addressed with signed 32-bit numbers.
constexpr std::uint64_t LastBufferAddress = 0x7FFFFFFF;

// The splits dialog's rules for its four fields, without the window. Every entry is clamped;
// nothing is ever refused with a message.
class TSplitsModel {
public:
    const TSplitsSets& Values() const { return values_; }

    // From the main window or the session: the count is kept within 1 to 8 and the selected
    // device within the count.
    void SetSplits(int count);
    void SetSets(int count);

    // The user typed into a field; the result is what the field shows afterwards. Text that is
    // not a number gives the current value back.
    int SplitsTyped(const std::string& text);
    int SetsTyped(const std::string& text);
    int SplitDeviceTyped(const std::string& text);
    int SetDeviceTyped(const std::string& text);

    // Column = split device, row = set device, both counted from 1.
    void SelectDevice(int column, int row);

    // "16-Bit Data path, split across two 8-Bit devices, one set total, second device of first
    // set selected."
    std::string Description(std::uint32_t deviceWidthBits) const;

private:
    TSplitsSets values_;
};

// The two counts in the session ("SplitsSets" / "SplitsCols" and "SplitsRows"); the selected
// devices are not kept.
void StoreSplitsCounts(const TSplitsSets& values);

// Where the boxes of the splits diagram lie, in pixels of an image of the given width.
struct TDiagramBox {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int column = 0;   // split device, 0 for the data-path box
    int row = 0;      // set device, 0 for the data-path box
};

struct TSplitsDiagram {
    TDiagramBox dataPath;
    std::vector<TDiagramBox> devices;   // row by row
    int height = 0;                     // the image height that shows every row

    // The device box within 2 pixels of the point, if any.
    std::optional<TDiagramBox> DeviceAt(int x, int y) const;
};

TSplitsDiagram LayoutSplitsDiagram(int imageWidth, int splits, int sets);

// Buffer address of device word `word` of split device `splitDevice` in set `setDevice` (both
// from 1): sets are whole devices apart, the split devices' words interleave within a set.
std::uint64_t SplitsWordAddress(std::uint64_t bufferStart, std::uint32_t bytesPerWord, std::uint32_t deviceSize,
                                std::uint32_t deviceStart, int splits, std::uint32_t word, int splitDevice,
                                int setDevice);

// One device's words in the buffer: `words` words of `bytesPerWord` bytes, the first at `first`,
// each `stride` bytes after the previous one. With `swap`, the bytes of each pair within a word
// are exchanged (byte i of a word of whole pairs is at the word's address + (i XOR 1)); words of
// one byte, or of an odd count, take a byte at buffer address a from address a XOR 1.
struct TWordLane {
    std::uint64_t first = 0;
    std::uint64_t words = 0;
    std::uint32_t bytesPerWord = 1;
    std::uint64_t stride = 1;
    bool swap = false;

    std::uint64_t ImageLength() const { return words * bytesPerWord; }
    // Lowest and highest buffer address the lane touches.
    std::uint64_t LowestAddress() const;
    std::uint64_t HighestAddress() const;
};

// Copies the lane's words out of the buffer into a device image of ImageLength() bytes. The
// buffer grows to cover the lane, as byte reads would make it.
void GatherWords(TVirtBuffer& buffer, const TWordLane& lane, std::uint8_t* image);

// Writes a device image back into the lane under the buffer's byte-write rules: the write
// window, growth on demand, and the untouched mark.
void ScatterWords(TVirtBuffer& buffer, const TWordLane& lane, const std::uint8_t* image);
