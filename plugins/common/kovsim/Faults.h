#pragma once
// Faults a simulated programmer can be told to show, from the session text
// "NoChip, WrongId, StuckBit@1F3:2=0, ProgramFail@100". Positions not given are drawn from a
// seeded generator, so a test sees the same fault on every run.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovsim {

struct FaultSet {
    bool noChip = false;
    bool wrongId = false;
    bool stuckBit = false;
    bool programFail = false;
    std::optional<std::uint32_t> stuckAddress;
    std::optional<unsigned> stuckBitIndex;
    std::optional<int> stuckLevel; // 0 or 1
    std::optional<std::uint32_t> failAddress;

    bool Any() const { return noChip || wrongId || stuckBit || programFail; }
    bool operator==(const FaultSet&) const = default;
};

// Unknown or malformed items are left out and described in `problems`.
FaultSet ParseFaults(std::string_view text, std::vector<std::string>& problems);
std::string FormatFaults(const FaultSet& faults);

// Where the faults hit a chip of `words` words of `width` bits.
struct FaultSpots {
    std::uint32_t stuckAddress = 0;
    unsigned stuckBit = 0;
    int stuckLevel = 0;
    std::uint32_t failAddress = 0;
};
FaultSpots ResolveFaults(const FaultSet& faults, std::uint64_t seed, const std::string& chipKey,
                         std::uint32_t words, unsigned width);

} // namespace kovsim
