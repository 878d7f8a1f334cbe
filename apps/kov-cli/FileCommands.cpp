#include "FileCommands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <new>
#include <strings.h>

#include "CliProgress.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "files/Detect.h"
#include "files/FileLoadSave.h"
#include "files/FileTypes.h"
#include "files/SparseImage.h"
#include "files/TextDump.h"
#include "files/formats/Binary.h"

using namespace kovfiles;
namespace fs = std::filesystem;

namespace {

struct LoadOptions {
    std::string input;
    std::string from;
    std::string fileStart;
    std::string fileEnd;
};

struct ConvertOptions {
    LoadOptions load;
    std::string output;
    std::string to;
    std::string fill = "FF";
};

struct DumpOptions {
    LoadOptions load;
    std::string output;
    std::string start;
    std::string end;
    std::string fill = "FF";
};

std::string TypeHelp() {
    std::string text = "TYPE: a registry name or alias:";
    for (const TFileType& t : FileTypes())
        if (t.index != ftAutoDetect) text += std::string(" \"") + t.name + "\" (" + t.alias + ")";
    return text;
}

std::optional<std::uint8_t> ParseByte(const std::string& text) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits = digits.substr(2);
    if (digits.empty() || digits.size() > 2) return std::nullopt;
    std::int64_t v = HexNumber(digits.c_str(), digits.size());
    if (v < 0) return std::nullopt;
    return static_cast<std::uint8_t>(v);
}

// What a command works on: the loaded image, or for binary input the file's bytes where they lie
// (then the file stays open until they have been used).
struct Input {
    TFileIn file;
    TSparseImage image;
    TDataSource source;
};

// The session's file type settings shape the output: a session that exists but cannot be read
// is not silently replaced by the defaults.
int CheckSession(CliFramework& fw) {
    if (!fw.Started()) return 1;
    if (GlobalConfig && !GlobalConfig->LoadProblem().empty()) return fw.Fail(GlobalConfig->LoadProblem());
    return 0;
}

// Loads a file; returns 0 or the exit status of the failure.
int LoadInput(CliFramework& fw, const LoadOptions& o, Input& input) {
    int type = ftAutoDetect;
    if (!fs::is_regular_file(o.input)) return fw.Fail("cannot open " + o.input);
    if (!o.from.empty()) {
        type = FindFileTypeByNameOrAlias(o.from);
        if (type <= ftAutoDetect) return fw.Fail("unknown file type: " + o.from + "\n" + TypeHelp());
    } else {
        type = DetectFileType(o.input);
        if (type == ftAutoDetect) return fw.Fail("cannot tell the file type of " + o.input + "; give --from TYPE");
    }
    const TFileType& t = *FileTypeByIndex(type);
    std::uint32_t start = 0, end = 0xFFFFFFFF;
    if (t.loadPointers == TPointerUse::FileAndBuffer) {
        if (!o.fileStart.empty()) start = *ParseAddress(o.fileStart);
        if (!o.fileEnd.empty()) end = *ParseAddress(o.fileEnd);
        if (start > end) return fw.Fail("the file start lies above the file end");
    }
    TFileIn& in = input.file;
    if (!in.Open(o.input)) return fw.Fail("An error occurred while opening the file:\n" + o.input);
    bool ok = false;
    std::uint64_t loaded = 0;
    if (auto segment = type == ftBinary ? BinaryInPlace(in, start, end) : std::nullopt) {
        ok = segment->size > 0;
        loaded = segment->size;
        input.source = TDataSource::Window(segment->data, segment->size, start);
    } else {
        try {
            TImageSink sink(input.image, start, end);
            sink.Reserve(in.Size());
            ok = ReadFileOfType(type, in, sink);
            loaded = sink.Loaded();
            sink.Finish();
        } catch (const std::bad_alloc&) {
            LogMessage("Not enough memory for the data of " + o.input, 0);
            ok = false;
        }
        in.Close();
        input.source = input.image.Source();
    }
    if (!ok) return fw.Fail("An error occurred while processing the file:\n" + o.input);
    LogMessage(std::string(t.countsFuses ? "Total fuses loaded = " : "Total bytes loaded = ") + std::to_string(loaded), 2);
    if (loaded == 0)
        return fw.Fail("No data was loaded into the buffer.\n\nPossible causes are:\n"
                       "  1. No data in the file within the range of the file pointers.\n"
                       "  2. No vaild data in the file.\n"
                       "  3. File is not compatible with currently selected device.\n");
    return 0;
}

// The type that saves to `path`: its extension against every type's "DefaultExtension".
int TypeFromExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    if (ext.size() < 2) return -1;
    ext = ext.substr(1);
    for (const TFileType& t : FileTypes()) {
        if (!t.canSave || !t.write) continue;
        std::string wanted = FormatSetting(t.name, "DefaultExtension");
        if (!wanted.empty() && strcasecmp(wanted.c_str(), ext.c_str()) == 0) return t.index;
    }
    return -1;
}

// Binary input read where it lies can still fail while it is used (the file shrank meanwhile).
// Writes through ReplaceFile, so a failed save leaves an existing file alone.
int WriteOutput(CliFramework& fw, const std::string& output, const Input& input, const std::string& inputPath,
                const std::function<bool(TFileOut&)>& write) {
    bool inputFailed = false;
    const TReplaceResult result = ReplaceFile(output, [&](TFileOut& out) {
        if (!write(out)) return false;
        inputFailed = input.file.Failed();
        return !inputFailed;
    });
    if (inputFailed) return fw.Fail("An error occurred while processing the file:\n" + inputPath);
    if (result == TReplaceResult::OpenFailed) return fw.Fail("An error occurred while opening the file:\n" + output);
    if (result != TReplaceResult::Written) return fw.Fail("An error occurred while processing the file:\n" + output);
    return 0;
}

int SaveImage(CliFramework& fw, int type, std::string output, const Input& input, const std::string& inputPath) {
    output = NameWithExtension(output, FormatSetting(FileTypeName(type).c_str(), "DefaultExtension"));
    if (int status = WriteOutput(fw, output, input, inputPath,
                                 [&](TFileOut& out) { return WriteFileOfType(type, out, input.source); })) {
        return status;
    }
    LogMessage("File " + output + " saved", 2);
    return 0;
}

int RunDetect(const CliOptions& options, const std::string& input) {
    CliFramework fw(options);
    if (!fw.Started()) return 1;
    int type = DetectFileType(input);
    if (type == ftAutoDetect) return fw.Fail("cannot tell the file type of " + input);
    std::printf("%s\n", FileTypeName(type).c_str());
    return 0;
}

int RunConvert(const CliOptions& options, const ConvertOptions& o) {
    InstallEndOnSignal();
    CliFramework fw(options);
    if (int status = CheckSession(fw)) return status;
    auto fill = ParseByte(o.fill);
    if (!fill) return fw.Fail("--fill takes one byte in hexadecimal: " + o.fill);
    int to = -1;
    if (!o.to.empty()) {
        to = FindFileTypeByNameOrAlias(o.to);
        if (to <= ftAutoDetect) return fw.Fail("unknown file type: " + o.to + "\n" + TypeHelp());
    } else {
        to = TypeFromExtension(o.output);
        if (to < 0) return fw.Fail("cannot tell the output type from the name " + o.output + "; give --to TYPE");
    }
    Input input;
    if (int status = LoadInput(fw, o.load, input)) return status;
    input.source.gapFill = *fill;
    return SaveImage(fw, to, o.output, input, o.load.input);
}

int RunDump(const CliOptions& options, const DumpOptions& o) {
    InstallEndOnSignal();
    CliFramework fw(options);
    if (int status = CheckSession(fw)) return status;
    auto fill = ParseByte(o.fill);
    if (!fill) return fw.Fail("--fill takes one byte in hexadecimal: " + o.fill);
    Input input;
    if (int status = LoadInput(fw, o.load, input)) return status;
    const auto& segments = input.source.segments;
    std::uint64_t first = o.start.empty() ? segments.front().address : *ParseAddress(o.start);
    std::uint64_t last = o.end.empty() ? segments.back().address + segments.back().size - 1 : *ParseAddress(o.end);
    if (first > last) return fw.Fail("the dump start lies above the dump end");

    // As the window's text dump: a name without extension is a text document.
    const std::string output = NameWithExtension(o.output, "txt");
    // The range is laid out piece by piece, gaps holding the fill byte, so a wide range needs
    // no memory of its size.
    return WriteOutput(fw, output, input, o.load.input, [&](TFileOut& out) {
        constexpr std::uint64_t Piece = 1 << 20;
        std::vector<std::uint8_t> bytes;
        bool ok = true;
        for (std::uint64_t at = first; at <= last && ok; at += Piece) {
            const std::uint64_t n = std::min(Piece, last - at + 1);
            bytes.assign(n, *fill);
            for (const TSegment& s : segments) {
                std::uint64_t lo = std::max<std::uint64_t>(s.address, at);
                std::uint64_t hi = std::min<std::uint64_t>(s.address + s.size, at + n);
                if (lo < hi) std::copy_n(s.data + (lo - s.address), hi - lo, bytes.begin() + static_cast<std::ptrdiff_t>(lo - at));
            }
            ok = WriteTextDump(out, bytes.data(), static_cast<std::int64_t>(n), static_cast<std::uint32_t>(at));
        }
        return ok;
    });
}

void AddLoadOptions(CLI::App* cmd, LoadOptions& o) {
    cmd->add_option("--from", o.from, "Type of IN (detected when not given)");
    cmd->add_option("--file-start", o.fileStart, "First file address taken from IN (default 0)")
        ->check(CLI::Validator(AddressError, "A"));
    cmd->add_option("--file-end", o.fileEnd, "Last file address taken from IN (default 0xFFFFFFFF)")
        ->check(CLI::Validator(AddressError, "A"));
}

}  // namespace

void AddFileCommands(CLI::App& app, CliOptions& options, int& status) {
    {
        auto input = std::make_shared<std::string>();
        CLI::App* cmd = app.add_subcommand("detect", "Print the detected type of FILE; exit status 1 when undecided");
        cmd->add_option("FILE", *input, "The file to look at")->required();
        cmd->callback([&options, &status, input] { status = RunDetect(options, *input); });
    }
    {
        auto o = std::make_shared<ConvertOptions>();
        CLI::App* cmd = app.add_subcommand(
            "convert",
            "Load IN and save it as OUT, keeping its addresses. Binary output starts at the lowest address; gaps "
            "hold the fill byte. The session's file type settings apply.\n" + TypeHelp());
        AddLoadOptions(cmd, o->load);
        cmd->add_option("--to", o->to, "Type of OUT (default: from OUT's extension and the types' DefaultExtension)");
        cmd->add_option("--fill", o->fill, "Byte in the gaps of binary output, hexadecimal (default FF)");
        cmd->add_option("IN", o->load.input, "Input file")->required();
        cmd->add_option("OUT", o->output, "Output file (replaced only when the save succeeds)")->required();
        cmd->callback([&options, &status, o] { status = RunConvert(options, *o); });
    }
    {
        auto o = std::make_shared<DumpOptions>();
        CLI::App* cmd = app.add_subcommand(
            "dump", "Load IN and write a text dump of an address range to OUT: per 16 bytes the address, the bytes "
                    "in hexadecimal and as characters");
        AddLoadOptions(cmd, o->load);
        cmd->add_option("--start", o->start, "First address of the dump (default: the lowest loaded address)")
            ->check(CLI::Validator(AddressError, "A"));
        cmd->add_option("--end", o->end, "Last address of the dump (default: the highest loaded address)")
            ->check(CLI::Validator(AddressError, "A"));
        cmd->add_option("--fill", o->fill, "Byte shown where the file has no data, hexadecimal (default FF)");
        cmd->add_option("IN", o->load.input, "Input file")->required();
        cmd->add_option("OUT", o->output, "Text file to write (\".txt\" is added to a name without extension)")->required();
        cmd->callback([&options, &status, o] { status = RunDump(options, *o); });
    }
}
