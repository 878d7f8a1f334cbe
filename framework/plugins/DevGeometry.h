#pragma once
#include <cstdint>

class TDevGeometry;

// Told when splits or sets change: (context, geometry, valid, split number, splits, set number, sets).
using TGeometryListener = void (*)(void* context, TDevGeometry* geometry, bool valid, std::uint32_t splitNumber,
                                   std::uint32_t splits, std::uint32_t setNumber, std::uint32_t sets);

// How the selected device maps onto the buffer: word width and size, device pointers, buffer
// start, and the splits (devices side by side) and sets (consecutive blocks).
class TDevGeometry {
public:
    void Reset();

    void SetWordWidth(std::uint32_t bits);
    void SetDeviceSize(std::uint32_t words);
    void SetSplits(std::uint32_t value);
    void SetSplitNumber(std::uint32_t value);
    void SetSets(std::uint32_t value);
    void SetSetNumber(std::uint32_t value);
    void SetDeviceStart(std::uint32_t word);
    void SetDeviceEnd(std::uint32_t word);
    void SetBufferStart(std::uint32_t address);
    void SetBufferEnd(std::uint32_t address);
    void SetListener(TGeometryListener listener, void* context);

    std::uint32_t Splits() const { return splits_; }
    std::uint32_t SplitNumber() const { return splitNumber_; }
    std::uint32_t Sets() const { return sets_; }
    std::uint32_t SetNumber() const { return setNumber_; }
    std::uint32_t BufferStart() const { return bufferStart_; }
    std::uint32_t DeviceStart() const { return deviceStart_; }
    std::uint32_t DeviceEnd() const { return deviceEnd_; }
    std::uint32_t DeviceSize() const { return deviceSize_; }
    std::uint32_t WordWidth() const { return wordWidth_; }
    std::uint32_t RoundedWidth() const { return roundedWidth_; }

    // Derived values. Sizes that can pass 32 bits are given as 64-bit numbers.
    std::uint32_t BytesPerWord() const;
    std::uint64_t SetSize() const;
    std::uint64_t BufferEnd() const;      // buffer start + set size * sets - 1
    std::uint64_t RangeSpan() const;      // bytes of the device range over all splits
    std::uint64_t RangeStart() const;     // buffer address of the range's first byte
    std::uint64_t RangeLength() const { return RangeSpan(); }
    std::uint64_t WordAddress(std::uint32_t word) const;   // buffer address of a device word

private:
    void Tell(bool valid);

    std::uint32_t splits_ = 1;
    std::uint32_t splitNumber_ = 1;
    std::uint32_t sets_ = 1;
    std::uint32_t setNumber_ = 1;
    std::uint32_t bufferStart_ = 0;
    std::uint32_t deviceStart_ = 0;
    std::uint32_t deviceEnd_ = 0;
    std::uint32_t deviceSize_ = 0;
    std::uint32_t wordWidth_ = 0;
    std::uint32_t roundedWidth_ = 0;
    TGeometryListener listener_ = nullptr;
    void* listenerContext_ = nullptr;
};
