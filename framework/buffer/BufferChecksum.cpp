#include <cstdint>

#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/DialogPort.h"
#include "core/Globals.h"
#include "core/KovError.h"
#include "plugins/DevDLL.h"

namespace {

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
    const std::uint8_t* data = buffer.GetData();

    std::uint32_t sum = 0;
    for (std::uint64_t a = first; a <= last && a + wordBytes - 1 <= reach; a += step) {
        std::uint32_t word = 0;
        for (std::uint64_t i = 0; i < wordBytes; ++i) word |= static_cast<std::uint32_t>(data[a + i]) << (8 * i);
        sum += word & mask;
    }
    return sum;
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
