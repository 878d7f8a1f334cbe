#include <algorithm>
#include <cstdint>
#include <cstring>

#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/DialogPort.h"
#include "core/Globals.h"
#include "core/KovError.h"
#include "plugins/DevDLL.h"

namespace {

std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <unsigned Bytes>
std::uint32_t LoadWord(const std::uint8_t* p) {
    std::uint32_t v = 0;
    std::memcpy(&v, p, Bytes);   // little-endian host
    return v;
}

// Word by word, four sums side by side so that they do not wait for each other.
template <unsigned Bytes>
std::uint32_t SumScalar(const std::uint8_t* p, std::uint64_t count, std::uint64_t step, std::uint32_t mask) {
    std::uint32_t partial[4] = {0, 0, 0, 0};
    std::uint64_t w = 0;
    for (; w + 4 <= count; w += 4, p += 4 * step) {
        for (unsigned i = 0; i < 4; ++i) partial[i] += LoadWord<Bytes>(p + i * step) & mask;
    }
    for (; w < count; ++w, p += step) partial[0] += LoadWord<Bytes>(p) & mask;
    return partial[0] + partial[1] + partial[2] + partial[3];
}

// Sums masked words that sit in 8-byte blocks as `selector` marks them: 1-byte words gathered in
// 16-bit lanes, 2-byte words in 32-bit lanes, emptied before a lane can overflow.
template <unsigned Bytes>
std::uint32_t SumBlocks(const std::uint8_t* p, std::uint64_t blocks, std::uint64_t selector) {
    constexpr std::uint64_t LowHalves = Bytes == 1 ? 0x00FF00FF00FF00FFull : 0x0000FFFF0000FFFFull;
    constexpr unsigned Shift = Bytes * 8;
    constexpr std::uint64_t Rounds = Bytes == 1 ? 128 : 16384;   // lanes hold 16 / 32 bits
    std::uint32_t sum = 0;
    while (blocks > 0) {
        const std::uint64_t n = std::min(blocks, Rounds);
        // Two sets of lanes side by side, so that the additions do not wait for each other.
        std::uint64_t lanes = 0;
        std::uint64_t other = 0;
        std::uint64_t i = 0;
        for (; i + 2 <= n; i += 2, p += 16) {
            const std::uint64_t v = Load64(p) & selector;
            const std::uint64_t w = Load64(p + 8) & selector;
            lanes += (v & LowHalves) + ((v >> Shift) & LowHalves);
            other += (w & LowHalves) + ((w >> Shift) & LowHalves);
        }
        if (i < n) {
            const std::uint64_t v = Load64(p) & selector;
            lanes += (v & LowHalves) + ((v >> Shift) & LowHalves);
            p += 8;
        }
        blocks -= n;
        for (unsigned lane = 0; lane < 64; lane += 2 * Shift)
            sum += static_cast<std::uint32_t>((other >> lane) & ((1ull << (2 * Shift)) - 1));
        for (unsigned lane = 0; lane < 64; lane += 2 * Shift)
            sum += static_cast<std::uint32_t>((lanes >> lane) & ((1ull << (2 * Shift)) - 1));
    }
    return sum;
}

// The sum, modulo 2^32, of `count` words of `bytes` bytes (1, 2 or 4), `step` bytes apart from p
// on, each ANDed with mask. `available` bytes may be read from p.
std::uint32_t SumWords(const std::uint8_t* p, std::uint64_t count, unsigned bytes, std::uint64_t step,
                       std::uint32_t mask, std::uint64_t available) {
    std::uint32_t sum = 0;
    // Words of one or two bytes that repeat within 8 bytes are summed a block at a time.
    if (bytes <= 2 && 8 % step == 0) {
        const std::uint64_t perBlock = 8 / step;
        std::uint64_t selector = 0;
        for (std::uint64_t w = 0; w < perBlock; ++w) selector |= static_cast<std::uint64_t>(mask) << (8 * w * step);
        const std::uint64_t blocks = std::min(count / perBlock, available / 8);
        sum += bytes == 1 ? SumBlocks<1>(p, blocks, selector) : SumBlocks<2>(p, blocks, selector);
        p += blocks * 8;
        count -= blocks * perBlock;
    }
    switch (bytes) {
        case 1:
            return sum + SumScalar<1>(p, count, step, mask);
        case 2:
            return sum + SumScalar<2>(p, count, step, mask);
        default:
            return sum + SumScalar<4>(p, count, step, mask);
    }
}

// The sum of the selected device's data in the buffer, word by word at the device's width.
std::uint32_t InternalChecksum(TVirtBuffer& buffer) {
    if (!GlobalDevDLL || !GlobalDevDLL->Geometry()) return 0;
    const TDevGeometry& geometry = *GlobalDevDLL->Geometry();
    BusyCursor busy;

    std::uint32_t width = geometry.WordWidth();
    const std::uint64_t stride = geometry.Splits() == 0 ? 1 : geometry.Splits();
    const std::uint64_t first = geometry.RangeStart();
    const std::uint64_t span = geometry.RangeSpan();
    if (GlobalConfig && GlobalConfig->GetBool("Checksum", "Force8Bit")) width = 8;

    std::uint64_t wordBytes;
    if (width >= 1 && width <= 8) {
        wordBytes = 1;
    } else if (width >= 9 && width <= 16) {
        wordBytes = 2;
    } else if (width >= 17 && width <= 32) {
        wordBytes = 4;
    } else {
        throw KovError("TVirtBuffer: Unknown checksum type!");
    }
    if (span == 0) return 0;
    const std::uint32_t mask = width == 32 ? 0xFFFFFFFFu : (1u << width) - 1;
    const std::uint64_t last = first + span - 1;
    const std::uint64_t step = wordBytes * stride;

    // The last word may reach past the range; its bytes count all the same. Addresses the
    // buffer cannot hold end the sum.
    std::uint64_t reach = last + wordBytes - 1;
    if (reach > static_cast<std::uint64_t>(INT32_MAX)) reach = INT32_MAX;
    if (first + wordBytes - 1 > reach) return 0;
    buffer.EnsureSize(static_cast<std::int32_t>(reach));

    // Words whose first byte is in the range and whose last byte the buffer can hold.
    const std::uint64_t count = (std::min(last, reach - (wordBytes - 1)) - first) / step + 1;
    return SumWords(buffer.GetData() + first, count, static_cast<unsigned>(wordBytes), step, mask,
                    reach - first + 1);
}

}  // namespace

void TVirtBuffer::CalculateChecksum() {
    if (GlobalDevDLL && GlobalDevDLL->HasBufferChecksum()) {
        if (GlobalLog) LogMessage("Calling Device DLL to perform buffer checksum", 7);
        SetChecksum(static_cast<std::int32_t>(GlobalDevDLL->BufferChecksum(this)));
        return;
    }
    if (GlobalLog) LogMessage("Performing internal buffer checksum", 7);
    SetChecksum(static_cast<std::int32_t>(InternalChecksum(*this)));
}
