// Program and Read of a 64 MiB device (16-bit words) through the device library host, with two
// splits (the second device selected) and byte swapping, against a plain memcpy of the same 64 MiB
// in the same run. The bench device library itself copies the image once per operation.
// Usage: bench_gather_splits [MiB]
#include <cstring>
#include <random>
#include <vector>

#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "gather_bench_support.h"
#include "plugins/DevGeometry.h"

int main(int argc, char** argv) {
    const std::size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const std::size_t deviceBytes = mib << 20;
    const auto words = static_cast<std::uint32_t>(deviceBytes / 2);
    bench::Installation install;
    bench::BenchDevice device(16, words);
    TDevGeometry& geometry = *GlobalDevDLL->Geometry();

    struct Case {
        const char* name;
        int splits;
        bool swap;
    } cases[] = {{"2 splits, byte swap", 2, true}, {"2 splits", 2, false}, {"1 split, byte swap", 1, true},
                 {"1 split (block copy)", 1, false}};

    std::vector<unsigned char> from(deviceBytes), to(deviceBytes);
    std::mt19937_64 random(1);
    for (std::size_t i = 0; i + 8 <= from.size(); i += 8) {
        const std::uint64_t v = random();
        std::memcpy(from.data() + i, &v, 8);
    }
    const double copy = bench::Best(5, [&] { std::memcpy(to.data(), from.data(), deviceBytes); });

    std::printf("%zu MiB device, 16-bit words; best of 5 runs; memcpy of %zu MiB: %.4f s (%.1f GiB/s)\n", mib, mib,
                copy, bench::GiBps(static_cast<double>(deviceBytes), copy));
    std::printf("%-24s %10s %10s %12s %12s %14s\n", "layout", "Program s", "Read s", "Program/copy", "Read/copy",
                "(P+R)/2 copies");
    bool exact = true;
    for (const Case& c : cases) {
        geometry.SetSplits(static_cast<std::uint32_t>(c.splits));
        geometry.SetSplitNumber(static_cast<std::uint32_t>(c.splits));
        GlobalConfig->SetBool("Hidden", "Device", "ByteSwap", c.swap);
        const std::uint64_t imageBytes = geometry.BufferEnd() + 1;
        GlobalBuffer->GetByte(static_cast<std::int32_t>(geometry.BufferEnd()));
        for (std::uint64_t a = 0; a < imageBytes; a += 8) {
            const std::uint64_t v = random();
            std::memcpy(GlobalBuffer->Data + a, &v, 8);
        }
        const std::vector<unsigned char> before(GlobalBuffer->Data, GlobalBuffer->Data + imageBytes);

        int results = 0;
        const double program = bench::Best(5, [&] { results += GlobalDevDLL->Program(GlobalBuffer) == 1; });
        // The chip holds the selected device's words, swapped when asked.
        const std::uint64_t stride = 2 * static_cast<std::uint64_t>(c.splits);
        const std::uint64_t lane = geometry.RangeStart();
        for (std::uint64_t w = 0; w < words && exact; w += 4099) {
            const unsigned char* chipWord = device.Chip() + 2 * w;
            const unsigned char* bufferWord = before.data() + lane + w * stride;
            exact = c.swap ? chipWord[0] == bufferWord[1] && chipWord[1] == bufferWord[0]
                           : std::memcmp(chipWord, bufferWord, 2) == 0;
        }
        // Reading it back must restore exactly what was there.
        std::memset(GlobalBuffer->Data, 0, imageBytes);
        const double read = bench::Best(5, [&] { results += GlobalDevDLL->Read(GlobalBuffer) == 1; });
        for (std::uint64_t w = 0; w < words && exact; ++w) {
            exact = std::memcmp(GlobalBuffer->Data + lane + w * stride, before.data() + lane + w * stride, 2) == 0;
        }
        exact = exact && results == 10;
        std::printf("%-24s %10.4f %10.4f %11.2fx %11.2fx %13.2fx\n", c.name, program, read, program / copy,
                    read / copy, (program + read) / (2 * copy));
    }
    std::printf("device data exact after Program and Read: %s\n", exact ? "yes" : "NO");
    return exact ? 0 : 1;
}
