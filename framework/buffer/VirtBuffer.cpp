#include "buffer/VirtBuffer.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/DialogPort.h"
#include "core/KovError.h"

TVirtBuffer::TVirtBuffer(std::int32_t size) {
    if (size > MaxInitialSize)
        throw KovError("Buffer size to large.  You may only allocate TVirtBuffers as large as " +
                       std::to_string(MaxInitialSize) + " bytes.");
    if (size < 0) throw KovError("Unable to allocate memory for TVirtBuffer!");
    // One byte at least, so that Data is never null.
    Data = static_cast<std::uint8_t*>(std::calloc(static_cast<std::size_t>(std::max(size, 1)), 1));
    if (!Data) throw KovError("Unable to allocate memory for TVirtBuffer!");
    Size = size;
    Untouched = true;
}

TVirtBuffer::~TVirtBuffer() {
    std::free(Data);
}

void TVirtBuffer::EnsureSize(std::int32_t address) {
    if (address < Size || address < 0) return;
    // Whole growth steps, as far as a signed 32-bit size reaches.
    const long long needed = static_cast<long long>(address) + 1 - Size;
    const long long steps = (needed + GrowthStep - 1) / GrowthStep;
    const long long newSize = std::min<long long>(Size + steps * GrowthStep, INT32_MAX);
    if (newSize <= address) throw KovError("Unable to reallocate buffer.");

    auto* grown = static_cast<std::uint8_t*>(std::realloc(Data, static_cast<std::size_t>(newSize)));
    if (!grown) throw KovError("Unable to reallocate buffer.");   // Data is still the old array
    std::memset(grown + Size, 0, static_cast<std::size_t>(newSize - Size));
    Data = grown;
    Size = static_cast<std::int32_t>(newSize);
}

std::uint8_t TVirtBuffer::GetByte(std::int32_t address) {
    if (address < 0) return 0;
    EnsureSize(address);
    return Data[address];
}

std::uint8_t TVirtBuffer::SetByte(std::int32_t address, std::uint8_t value) {
    if (address < 0) return 0;
    if (WindowEnabled && (address < WindowLow || address > WindowHigh)) return address < Size ? Data[address] : 0;
    EnsureSize(address);
    const std::uint8_t old = Data[address];
    Data[address] = value;
    if (Untouched && value != old) Untouched = false;
    return old;
}

void TVirtBuffer::Fill(std::int32_t first, std::int32_t last, std::uint8_t value) {
    BusyCursor busy;
    // A fill never grows the buffer and never touches negative addresses.
    last = std::min(last, Size - 1);
    first = std::max(first, 0);
    if (WindowEnabled) {
        first = std::max(first, WindowLow);
        last = std::min(last, WindowHigh);
    }
    if (first > last) return;
    const auto count = static_cast<std::size_t>(last - first + 1);
    if (Untouched) {
        const std::uint8_t* p = Data + first;
        if (std::any_of(p, p + count, [value](std::uint8_t b) { return b != value; })) Untouched = false;
    }
    std::memset(Data + first, value, count);
}

void TVirtBuffer::FillAll(std::uint8_t value) {
    Fill(0, Size - 1, value);
}

void TVirtBuffer::MoveBlock(std::int32_t sourceFirst, std::int32_t sourceLast, std::int32_t destination) {
    BusyCursor busy;
    if (sourceFirst == destination || sourceLast < sourceFirst) return;
    const long long length = static_cast<long long>(sourceLast) - sourceFirst + 1;
    // Both blocks must lie inside the array: the source as well, or the move would read past it.
    if (sourceFirst < 0 || sourceLast >= Size || destination < 0 || destination + length - 1 >= Size) return;
    std::memmove(Data + destination, Data + sourceFirst, static_cast<std::size_t>(length));
}

void TVirtBuffer::SetWriteWindow(std::int32_t low, std::int32_t high) {
    if (low >= high) {
        WindowEnabled = false;
        return;
    }
    WindowLow = low;
    WindowHigh = high;
    WindowEnabled = true;
}

void TVirtBuffer::SetChecksum(std::int32_t value) {
    Checksum = value;
    if (!ChecksumHold && OnChecksumChange) OnChecksumChange(value);
}
