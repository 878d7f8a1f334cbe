#pragma once
#include <cstdint>
#include <functional>

// The data buffer: a flat byte array addressed from 0 that grows in 8 MiB steps on demand.
class TVirtBuffer {
public:
    static constexpr std::int32_t MaxInitialSize = 0x10000000;   // 268,435,456 bytes
    static constexpr std::int32_t GrowthStep = 0x800000;         // 8 MiB

    explicit TVirtBuffer(std::int32_t size);   // throws KovError with the fixed texts
    ~TVirtBuffer();
    TVirtBuffer(const TVirtBuffer&) = delete;
    TVirtBuffer& operator=(const TVirtBuffer&) = delete;

    std::uint8_t GetByte(std::int32_t address);                       // grows first when needed
    std::uint8_t SetByte(std::int32_t address, std::uint8_t value);   // returns the previous byte
    void Fill(std::int32_t first, std::int32_t last, std::uint8_t value);
    void FillAll(std::uint8_t value);
    void MoveBlock(std::int32_t sourceFirst, std::int32_t sourceLast, std::int32_t destination);
    void SetWriteWindow(std::int32_t low, std::int32_t high);
    // Grows the buffer so that `address` is inside (no-op when it already is).
    void EnsureSize(std::int32_t address);

    std::uint8_t* GetData() { return Data; }
    const std::uint8_t* GetData() const { return Data; }

    void SetChecksum(std::int32_t value);
    void CalculateChecksum();

    // Called with the new checksum unless ChecksumHold is set.
    std::function<void(std::int32_t)> OnChecksumChange;

    std::uint8_t* Data = nullptr;
    std::int32_t Size = 0;
    std::int32_t Checksum = 0;
    std::int32_t WindowLow = 0;
    std::int32_t WindowHigh = 0;
    bool WindowEnabled = false;
    bool ChecksumHold = false;
    bool Untouched = true;
};
