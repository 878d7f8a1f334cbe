#pragma once
// Plain binary images: the file's bytes are the data, file pointers are byte offsets.
#include <optional>

#include "files/FileFormat.h"

namespace kovfiles {

// Reads min(L, E - S + 1) bytes from byte offset S; success when at least one byte was read.
bool ReadBinaryFile(TFileIn& in, TDataSink& sink);
// The bytes ReadBinaryFile would store into a sink of unlimited length under file pointers S and
// E, taken where they lie when `in` is mapped: one segment at address S, empty when the reader
// would fail. Nothing when `in` is not mapped. Check in.Failed() once the bytes have been used.
std::optional<TSegment> BinaryInPlace(TFileIn& in, std::uint32_t fileStart, std::uint32_t fileEnd);
// Writes the source bytes from its lowest address on, gaps between segments filled.
bool WriteBinaryFile(TFileOut& out, const TDataSource& source);

}  // namespace kovfiles
