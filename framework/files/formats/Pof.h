#pragma once
// POF configuration files of programmable logic devices: a "POF\0" header with a packet count,
// then little-endian packets (type, length of the whole packet, body). Read only.
#include <cstddef>
#include <cstdint>

#include "files/FileFormat.h"

namespace kovfiles {

bool ReadPofFile(TFileIn& in, TDataSink& sink);
// Saving is refused: logs why and fails.
bool WritePofFile(TFileOut& out, const TDataSource& source);
// True when the bytes start with the POF magic.
bool ProbePof(const std::uint8_t* bytes, std::size_t count);

}  // namespace kovfiles
