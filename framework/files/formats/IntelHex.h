#pragma once
// Intel Hex: ":" records with count, 16-bit address, type, data and checksum; extended segment (02)
// and extended linear (04) records give the upper address parts.
#include "files/FileFormat.h"

namespace kovfiles {

bool ReadIHexFile(TFileIn& in, TDataSink& sink);
bool WriteIHexFile(TFileOut& out, const TDataSource& source);
void CheckIHexLine(std::string_view line, TRecordState& state, TRecord& record);
// The plain data records (type 00) straight from the input buffer.
std::size_t FastIHexRecord(const char* text, std::size_t available, TRecordState& state, TDataSink& sink);

}  // namespace kovfiles
