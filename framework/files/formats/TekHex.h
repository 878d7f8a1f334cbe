#pragma once
// Tektronix Hex: standard "/" records with 16-bit addresses and extended "%" records. Written as
// extended data records and an end record.
#include "files/FileFormat.h"

namespace kovfiles {

bool ReadTekHexFile(TFileIn& in, TDataSink& sink);
bool WriteTekHexFile(TFileOut& out, const TDataSource& source);
void CheckTekHexLine(std::string_view line, TRecordState& state, TRecord& record);

// The most data bytes an extended record can carry: its two-digit block length counts every
// character after "%" (14 + 2 per byte with an eight-digit address).
constexpr int TekHexMaxRecordBytes = 120;

}  // namespace kovfiles
