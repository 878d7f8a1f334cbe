#pragma once
// ASCII Hex: data bytes as digit pairs separated by spaces, "$A<address>," address records, the
// whole framed by STX and ETX.
#include "files/FileFormat.h"

namespace kovfiles {

bool ReadAsciiHexFile(TFileIn& in, TDataSink& sink);
bool WriteAsciiHexFile(TFileOut& out, const TDataSource& source);
void CheckAsciiHexLine(std::string_view line, TRecordState& state, TRecord& record);

}  // namespace kovfiles
