#include "kovsim/Sectors.h"

#include <algorithm>

namespace kovsim {
namespace {

constexpr std::uint32_t K = 1024;

void Uniform(std::vector<Sector>& out, std::uint32_t first, std::uint32_t size, std::uint32_t sectorKb) {
    std::uint32_t step = sectorKb ? sectorKb * K : size;
    for (std::uint32_t at = 0; at < size; at += step)
        out.push_back({first + at, std::min(step, size - at)});
}

} // namespace

std::vector<Sector> SectorsOf(const Part& part) {
    std::uint32_t total = static_cast<std::uint32_t>(std::uint64_t(part.words) * part.width / 8);
    std::uint32_t uniformKb = SectorUniformKb(part.param);
    std::uint32_t bootKb = SectorBootKb(part.param);
    std::vector<Sector> out;
    // The classic boot group: 16, 8, 8 and 32 KiB, mirrored at the top.
    const std::uint32_t group[] = {16 * K, 8 * K, 8 * K, 32 * K};
    switch (SectorBoot(part.param)) {
    case Boot::None:
        Uniform(out, 0, total, uniformKb);
        break;
    case Boot::Bottom: {
        std::uint32_t at = 0;
        for (std::uint32_t s : group)
            out.push_back({at, s}), at += s;
        Uniform(out, at, total - at, uniformKb);
        break;
    }
    case Boot::Top: {
        std::uint32_t main = total - 64 * K;
        Uniform(out, 0, main, uniformKb);
        std::uint32_t at = main;
        for (int i = 3; i >= 0; --i)
            out.push_back({at, group[i]}), at += group[i];
        break;
    }
    case Boot::AtmelBottom:
        out.push_back({0, bootKb * K});
        Uniform(out, bootKb * K, total - bootKb * K, uniformKb);
        break;
    case Boot::AtmelTop:
        Uniform(out, 0, total - bootKb * K, uniformKb);
        out.push_back({total - bootKb * K, bootKb * K});
        break;
    }
    return out;
}

} // namespace kovsim
