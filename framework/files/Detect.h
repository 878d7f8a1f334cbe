#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kovfiles {

// How much of a file detection reads, and how far into it a text record may start.
constexpr std::size_t DetectReadSize = 16384;
constexpr std::size_t DetectTextWindow = 1024;

// The registry index of a file's type (1 to 8), or 0 when undecided (missing, unreadable or empty
// file). Logs what it checked.
int DetectFileType(const std::string& fileName);
// The same on bytes already read from the start of a file (at most DetectReadSize are looked at).
int DetectFileTypeOfBytes(const std::uint8_t* bytes, std::size_t count);

}  // namespace kovfiles
