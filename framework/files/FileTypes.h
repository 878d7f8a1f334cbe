#pragma once
// The file type registry: one table of every format, in registry order, that drives the load and
// save flows, type detection, the file dialogs' filters, the file type settings and kov-cli.
//
// Adding a format:
//   1. write its unit in formats/<Name>.h/.cpp: a reader (TFileIn&, TDataSink&) -> bool, a writer
//      (TFileOut&, const TDataSource&) -> bool and, for detection, a line checker or a probe;
//   2. give it an index below and add its row to the table in FileTypes.cpp (name, alias,
//      pointers, detection, settings);
//   3. add its golden tests under tests/files/.
// Nothing else changes: the dialogs, detection, the settings page and the CLI read the table.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "files/FileFormat.h"

namespace kovfiles {

enum TFileTypeIndex : int {
    ftAutoDetect = 0,
    ftBinary = 1,
    ftIntelHex = 2,
    ftMotorolaS = 3,
    ftTekHex = 4,
    ftAsciiHex = 5,
    ftJedec = 6,
    ftPof = 7,
    ftBit = 8,
};

// Kinds of a file type setting.
enum TSettingKind : int { skBoolean = 1, skInteger = 2, skText = 3, skChoice = 4 };

// One row of a format's settings (stored as "FileType" / format name / key).
struct TFileSettingDef {
    const char* key;
    const char* caption;
    const char* description;
    TSettingKind kind;
    const char* defaultValue;
    const char* choices;   // kind skChoice: allowed values separated by commas
};

// Which pointers a format uses.
enum class TPointerUse {
    None,           // always the whole device range
    BufferOnly,     // buffer pointers, no file pointers
    FileAndBuffer,  // file and buffer pointers
};

// How detection recognises a format.
enum class TDetectKind {
    None,         // never detected (AutoDetect itself)
    Magic,        // `probe` on the first bytes, before everything else, in table order
    TextRecord,   // the first significant character is one of `leadChars` (empty: any other) and
                  // `checkLine` accepts the first record
    Text,         // `probe` on the first bytes, after the text record formats
    Fallback,     // whatever is left and not empty
};

using TReadFn = bool (*)(TFileIn& in, TDataSink& sink);
using TWriteFn = bool (*)(TFileOut& out, const TDataSource& source);
using TProbeFn = bool (*)(const std::uint8_t* bytes, std::size_t count);

struct TFileType {
    int index;
    const char* name;        // registry name, also the settings subsection
    const char* alias;       // short name for the command line
    TPointerUse loadPointers;
    TPointerUse savePointers;
    bool countsFuses;        // the loaded count is fuses, not bytes
    bool canSave;            // offered for saving (POF and BIT refuse)
    TReadFn read;
    TWriteFn write;
    TDetectKind detect;
    const char* leadChars;
    TLineChecker checkLine;
    TProbeFn probe;
    std::span<const TFileSettingDef> settings;
};

// The registry, index 0 ("AutoDetect") to the last format.
std::span<const TFileType> FileTypes();
// The entry of a registry index, or nullptr.
const TFileType* FileTypeByIndex(int index);
// Registry index by name (letter case ignored), or -1.
int FindFileType(const std::string& name);
// Registry index by name or alias (letter case ignored), or -1.
int FindFileTypeByNameOrAlias(const std::string& text);
// Name of a registry index, or "".
std::string FileTypeName(int index);

// Runs the reader of `index` under the reader contract. Exceptions count as failure (with a log
// line); an index without reader logs and fails.
bool ReadFileOfType(int index, TFileIn& in, TDataSink& sink);
// Runs the writer of `index` under the writer contract, including the final flush: a file that
// could not be written completely fails.
bool WriteFileOfType(int index, TFileOut& out, const TDataSource& source);

// Dialog filters: the save dialog's ("Binary" to the last format) and the open dialog's
// ("AutoDetect" first), one entry per registry index in order.
std::vector<std::string> SaveFilterNames();
std::vector<std::string> OpenFilterNames();

}  // namespace kovfiles
