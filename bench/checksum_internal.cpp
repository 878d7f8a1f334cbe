// The internal buffer checksum of a 256 MiB buffer at each checksum width, and of the selected
// device of two splits, against a plain memcpy of the bytes summed, in the same run.
// Usage: bench_checksum_internal [MiB]
#include <cstring>
#include <random>
#include <vector>

#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "gather_bench_support.h"
#include "plugins/DevGeometry.h"

namespace {

// The same sum, byte by byte, as the definition reads.
std::uint32_t Reference(const unsigned char* data, std::uint64_t first, std::uint64_t last, unsigned width,
                        std::uint64_t stride) {
    const unsigned bytes = width <= 8 ? 1 : width <= 16 ? 2 : 4;
    const std::uint32_t mask = width == 32 ? 0xFFFFFFFFu : (1u << width) - 1;
    std::uint32_t sum = 0;
    for (std::uint64_t a = first; a <= last; a += bytes * stride) {
        std::uint32_t v = 0;
        for (unsigned i = 0; i < bytes; ++i) v |= static_cast<std::uint32_t>(data[a + i]) << (8 * i);
        sum += v & mask;
    }
    return sum;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    const std::size_t bufferBytes = mib << 20;
    bench::Installation install;
    GlobalBuffer->GetByte(static_cast<std::int32_t>(bufferBytes - 1));
    std::mt19937_64 random(3);
    for (std::size_t a = 0; a + 8 <= bufferBytes; a += 8) {
        const std::uint64_t v = random();
        std::memcpy(GlobalBuffer->Data + a, &v, 8);
    }
    std::vector<unsigned char> copyTarget(bufferBytes);
    const double copy = bench::Best(5, [&] { std::memcpy(copyTarget.data(), GlobalBuffer->Data, bufferBytes); });
    std::printf("%zu MiB buffer; best of 5 runs; memcpy of %zu MiB: %.4f s (%.1f GiB/s)\n", mib, mib, copy,
                bench::GiBps(static_cast<double>(bufferBytes), copy));
    std::printf("%-28s %12s %12s %12s\n", "device", "checksum s", "GiB/s", "sum/copy");

    struct Case {
        const char* name;
        int width;
        int splits;
    } cases[] = {{"8-bit", 8, 1}, {"12-bit (masked)", 12, 1}, {"16-bit", 16, 1}, {"32-bit", 32, 1},
                 {"8-bit, 2nd of 2 splits", 8, 2}, {"16-bit, 2nd of 2 splits", 16, 2}};
    bool exact = true;
    for (const Case& c : cases) {
        const unsigned bytes = c.width <= 8 ? 1 : c.width <= 16 ? 2 : 4;
        const auto words = static_cast<std::uint32_t>(bufferBytes / bytes / static_cast<unsigned>(c.splits));
        bench::BenchDevice device(c.width, words);
        TDevGeometry& geometry = *GlobalDevDLL->Geometry();
        geometry.SetSplits(static_cast<std::uint32_t>(c.splits));
        geometry.SetSplitNumber(static_cast<std::uint32_t>(c.splits));
        const double sum = bench::Best(5, [] { GlobalBuffer->CalculateChecksum(); });
        const std::uint64_t first = geometry.RangeStart();
        const std::uint32_t expected = Reference(GlobalBuffer->Data, first, first + geometry.RangeSpan() - 1,
                                                 static_cast<unsigned>(c.width), static_cast<std::uint64_t>(c.splits));
        exact = exact && static_cast<std::uint32_t>(GlobalBuffer->Checksum) == expected;
        std::printf("%-28s %12.4f %12.1f %11.2fx\n", c.name, sum, bench::GiBps(static_cast<double>(bufferBytes), sum),
                    sum / copy);
    }
    std::printf("sums equal to the byte-by-byte definition: %s\n", exact ? "yes" : "NO");
    return exact ? 0 : 1;
}
