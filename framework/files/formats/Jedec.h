#pragma once
// JEDEC fuse map files. In the buffer every fuse is one byte holding 0 or 1; fuse n is the byte at
// destination offset n (file address n when saving). Besides the fuses, a load passes the file's
// device facts on through the hidden "JEDEC" keys of the store, and a save writes them back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "files/FileFormat.h"

namespace kovfiles {

// The 16-bit sum of the characters, each taken as a signed byte (the transmission checksum).
std::uint16_t JedecTransmissionSum(std::string_view text);

// The 16-bit sum of the bytes formed from the fuses, fuse 8j + b being bit b of byte j.
class TJedecFuseChecksum {
public:
    void AddSetFuse(std::uint64_t fuse) { Sum_ = static_cast<std::uint16_t>(Sum_ + (1u << (fuse % 8))); }
    std::uint16_t Value() const { return Sum_; }

private:
    std::uint16_t Sum_ = 0;
};

// Detection: true when the text looks like a JEDEC file (STX, a header, fields of the known
// letters, up to a complete QF or QP field).
bool CheckJedecText(const char* text, std::size_t length);
bool ProbeJedec(const std::uint8_t* bytes, std::size_t count);

// Loads a fuse map held in memory through the sink; asks its questions through the dialog port.
bool ReadJedecText(std::string_view text, TDataSink& sink);
// Reads at most the first MiB of the file and loads it as ReadJedecText does.
bool ReadJedecFile(TFileIn& in, TDataSink& sink);

struct TJedecWriteOptions {
    std::string lineEnd = "\r\n";
    std::size_t fusesPerLine = 64;
    std::string comment = "none";
    std::string createdOn;            // date and time of the "Created on" line
    bool autoSecure = false;
    std::string userFuseData;         // U field after the letter, "" for none
    std::string electricalFuseData;   // E field after the letter, "" for none
};

// The options the session holds now ("FileType"/"JEDEC", "File"/"UnixEOL", the hidden keys),
// with the current local time.
TJedecWriteOptions JedecWriteOptionsFromSession();

// Writes the fuses (the lowest bit of each byte; fuse n at file address n, bytes missing between
// segments take the source's gap fill) as one complete transmission.
bool WriteJedecText(TFileOut& out, const TDataSource& source, const TJedecWriteOptions& options);
bool WriteJedecFile(TFileOut& out, const TDataSource& source);

}  // namespace kovfiles
