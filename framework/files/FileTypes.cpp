#include "files/FileTypes.h"

#include <cstring>
#include <exception>
#include <strings.h>

#include "core/Globals.h"
#include "files/formats/AsciiHex.h"
#include "files/formats/Binary.h"
#include "files/formats/Bit.h"
#include "files/formats/IntelHex.h"
#include "files/formats/Jedec.h"
#include "files/formats/MotorolaS.h"
#include "files/formats/Pof.h"
#include "files/formats/TekHex.h"

namespace kovfiles {

namespace {

constexpr const char* ExtensionCaption = "File extension to add when no extension is specified";
constexpr const char* ExtensionText =
    "Automatically add this file extension when saving a file when no file extension is specified.";
constexpr const char* RecordLengthText = "This is the number of data bytes that are saved on each line.";
constexpr const char* IgnoreInvalidText = "Ignore invalid records when loading file into buffer.";
constexpr const char* FillValueText = "Select if buffer is filled before file load, and if so select the value";

constexpr TFileSettingDef BinarySettings[] = {
    {"DefaultExtension", ExtensionCaption, ExtensionText, skText, "bin", ""},
};
constexpr TFileSettingDef IntelHexSettings[] = {
    {"DefaultExtension", ExtensionCaption, ExtensionText, skText, "hex", ""},
    {"DefaultRecordLength", "Default Record Length", RecordLengthText, skInteger, "32", ""},
    {"IgnoreInvalidRecord", "Ignore invalid Intel Hex Records", IgnoreInvalidText, skBoolean, "TRUE", ""},
};
constexpr TFileSettingDef MotorolaSSettings[] = {
    {"DefaultExtension", ExtensionCaption, ExtensionText, skText, "s", ""},
    {"DefaultRecordLength", "Default Record Length", RecordLengthText, skInteger, "32", ""},
    {"IgnoreInvalidRecord", "Ignore invalid Motorola S Records", IgnoreInvalidText, skBoolean, "TRUE", ""},
};
constexpr TFileSettingDef TekHexSettings[] = {
    {"DefaultExtension", ExtensionCaption, ExtensionText, skText, "tek", ""},
    {"DefaultRecordLength", "Default Record Length", RecordLengthText, skInteger, "32", ""},
    {"IgnoreInvalidRecord", "Ignore invalid Tektronix Hex Records", IgnoreInvalidText, skBoolean, "TRUE", ""},
};
constexpr TFileSettingDef AsciiHexSettings[] = {
    {"DefaultExtension", ExtensionCaption, ExtensionText, skText, "asc", ""},
    {"DefaultRecordLength", "Default Record Length", RecordLengthText, skInteger, "32", ""},
};
constexpr TFileSettingDef JedecSettings[] = {
    {"DefaultExtension", ExtensionCaption, ExtensionText, skText, "jed", ""},
    {"MaxFuseLineLength", "Maximum line length for fuse data", "This is the maximum length for a line of fuse data.",
     skInteger, "64", ""},
    {"DefaultFuseState", "Default Fuse State",
     "This will be the default fuse state (QF) if none is specified in the file.", skChoice, "1", "0,1"},
    {"DefaultTestState", "Default Test State",
     "This will be the default test state (X) if none is specified in the file.", skChoice, "1", "0,1"},
    {"Comment", "Comment added to JEDEC file when saved", "This comment will be added to the JEDEC file when saved.",
     skText, "none", ""},
};
constexpr TFileSettingDef PofSettings[] = {
    {"RecordTypes", "Valid Records Types", "Select which POF data record types are allowed.", skChoice, "0x07&0x11",
     "0x07,0x11,0x07&0x11"},
    {"FillValue", "Fill buffer before loading file", FillValueText, skChoice, "0xff", "0xff,0x00,Disabled"},
};
constexpr TFileSettingDef BitSettings[] = {
    {"FillValue", "Fill buffer before loading file", FillValueText, skChoice, "Disabled", "0xff,0x00,Disabled"},
    {"ReverseBits", "Reverse Data Bits", "Swap bits d7-d0, d6-d1, d5-d2, d4-d3", skBoolean, "TRUE", ""},
};

using P = TPointerUse;
using D = TDetectKind;

// clang-format off
const TFileType Registry[] = {
    {ftAutoDetect, "AutoDetect", "auto", P::None, P::None, false, false,
     nullptr, nullptr, D::None, nullptr, nullptr, nullptr, {}},
    {ftBinary, "Binary", "binary", P::FileAndBuffer, P::BufferOnly, false, true,
     ReadBinaryFile, WriteBinaryFile, D::Fallback, nullptr, nullptr, nullptr, BinarySettings},
    {ftIntelHex, "Intel Hex", "ihex", P::FileAndBuffer, P::FileAndBuffer, false, true,
     ReadIHexFile, WriteIHexFile, D::TextRecord, ":", CheckIHexLine, nullptr, IntelHexSettings},
    {ftMotorolaS, "Motorola S", "srec", P::FileAndBuffer, P::FileAndBuffer, false, true,
     ReadSRecFile, WriteSRecFile, D::TextRecord, "S", CheckSRecLine, nullptr, MotorolaSSettings},
    {ftTekHex, "Tektronix Hex", "tek", P::FileAndBuffer, P::FileAndBuffer, false, true,
     ReadTekHexFile, WriteTekHexFile, D::TextRecord, "%/", CheckTekHexLine, nullptr, TekHexSettings},
    {ftAsciiHex, "ASCII Hex", "ascii-hex", P::FileAndBuffer, P::FileAndBuffer, false, true,
     ReadAsciiHexFile, WriteAsciiHexFile, D::TextRecord, "", CheckAsciiHexLine, nullptr, AsciiHexSettings},
    {ftJedec, "JEDEC", "jedec", P::None, P::None, true, true,
     ReadJedecFile, WriteJedecFile, D::Text, nullptr, nullptr, ProbeJedec, JedecSettings},
    {ftPof, "POF", "pof", P::None, P::None, false, false,
     ReadPofFile, WritePofFile, D::Magic, nullptr, nullptr, ProbePof, PofSettings},
    {ftBit, "BIT", "bit", P::None, P::None, false, false,
     ReadBitFile, WriteBitFile, D::Magic, nullptr, nullptr, ProbeBit, BitSettings},
};
// clang-format on

}  // namespace

std::span<const TFileType> FileTypes() { return Registry; }

const TFileType* FileTypeByIndex(int index) {
    if (index < 0 || index >= static_cast<int>(std::size(Registry))) return nullptr;
    return &Registry[index];
}

int FindFileType(const std::string& name) {
    for (const TFileType& t : Registry)
        if (strcasecmp(t.name, name.c_str()) == 0) return t.index;
    return -1;
}

int FindFileTypeByNameOrAlias(const std::string& text) {
    int i = FindFileType(text);
    if (i >= 0) return i;
    for (const TFileType& t : Registry)
        if (strcasecmp(t.alias, text.c_str()) == 0) return t.index;
    return -1;
}

std::string FileTypeName(int index) {
    const TFileType* t = FileTypeByIndex(index);
    return t ? t->name : "";
}

bool ReadFileOfType(int index, TFileIn& in, TDataSink& sink) {
    const TFileType* t = FileTypeByIndex(index);
    if (!t || !t->read) {
        LogMessage("Can not load unknown file type", 0);
        return false;
    }
    try {
        return t->read(in, sink);
    } catch (const std::exception& e) {
        LogMessage(std::string(t->name) + " reader failed: " + e.what(), 0);
    } catch (...) {
        LogMessage(std::string(t->name) + " reader failed", 0);
    }
    return false;
}

bool WriteFileOfType(int index, TFileOut& out, const TDataSource& source) {
    const TFileType* t = FileTypeByIndex(index);
    if (!t || !t->write) {
        LogMessage("Can not save unknown file type", 0);
        return false;
    }
    bool ok = false;
    try {
        ok = t->write(out, source);
    } catch (const std::exception& e) {
        LogMessage(std::string(t->name) + " writer failed: " + e.what(), 0);
    } catch (...) {
        LogMessage(std::string(t->name) + " writer failed", 0);
    }
    if (!out.Finish()) {
        LogMessage(std::string("Unable to write the file completely: ") + std::strerror(out.ErrorCode()), 0);
        ok = false;
    }
    return ok;
}

std::vector<std::string> SaveFilterNames() {
    std::vector<std::string> names;
    for (const TFileType& t : Registry)
        if (t.index >= ftBinary) names.push_back(t.name);
    return names;
}

std::vector<std::string> OpenFilterNames() {
    std::vector<std::string> names{Registry[0].name};
    for (const std::string& n : SaveFilterNames()) names.push_back(n);
    return names;
}

}  // namespace kovfiles
