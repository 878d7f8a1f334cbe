#pragma once
// BIT configuration bitstream files: a 13-byte header, then sections of a one-byte key and a
// big-endian length; key "e" holds the bitstream. Read only.
#include <cstddef>
#include <cstdint>

#include "files/FileFormat.h"

namespace kovfiles {

bool ReadBitFile(TFileIn& in, TDataSink& sink);
// Saving is refused: logs why and fails.
bool WriteBitFile(TFileOut& out, const TDataSource& source);
// True when the bytes start with the BIT magic.
bool ProbeBit(const std::uint8_t* bytes, std::size_t count);

}  // namespace kovfiles
