#pragma once
// Plain binary images: the file's bytes are the data, file pointers are byte offsets.
#include "files/FileFormat.h"

namespace kovfiles {

// Reads min(L, E - S + 1) bytes from byte offset S; success when at least one byte was read.
bool ReadBinaryFile(TFileIn& in, TDataSink& sink);
// Writes the source bytes from its lowest address on, gaps between segments filled.
bool WriteBinaryFile(TFileOut& out, const TDataSource& source);

}  // namespace kovfiles
