#pragma once
#include <cstdint>

#include "files/FileFormat.h"

namespace kovfiles {

// The readable dump of a buffer range: per 16 bytes one 75-character line (address, sixteen byte
// fields, the bytes as characters) and the line end of "File" / "UnixEOL". The first line shows
// `address`. Returns false when the file could not be written.
bool WriteTextDump(TFileOut& out, const std::uint8_t* data, std::int64_t length, std::uint32_t address);

}  // namespace kovfiles
