#pragma once
// Motorola S records: S1/S2/S3 data with 16-, 24- and 32-bit addresses; S0, S5, S7, S8, S9 carry
// no data. Written as one S0 header, S3 data records and an S7 end record.
#include "files/FileFormat.h"

namespace kovfiles {

bool ReadSRecFile(TFileIn& in, TDataSink& sink);
bool WriteSRecFile(TFileOut& out, const TDataSource& source);
void CheckSRecLine(std::string_view line, TRecordState& state, TRecord& record);
// The plain data records (S1, S2, S3) straight from the input buffer.
std::size_t FastSRecRecord(const char* text, std::size_t available, TRecordState& state, TDataSink& sink);

}  // namespace kovfiles
