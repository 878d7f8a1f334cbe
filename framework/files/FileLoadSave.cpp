#include "files/FileLoadSave.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

#include "buffer/Splits.h"
#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/DialogPort.h"
#include "core/Globals.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"
#include "files/Detect.h"
#include "files/FileTypes.h"
#include "plugins/DevDLL.h"
#include "plugins/DevGeometry.h"

namespace kovfiles {

namespace {

constexpr const char* NoDataText = "No data was loaded into the buffer.\n\nPossible causes are:\n"
                                   "  1. No data in the file within the range of the file pointers.\n"
                                   "  2. No vaild data in the file.\n"
                                   "  3. File is not compatible with currently selected device.\n";

bool FileSetting(const char* key) {
    return GlobalConfig && GlobalConfig->GetBool("File", key);
}

void Warn(const std::string& text, const std::string& caption) {
    Dialogs().MessageBox(text, caption, MB_OK | MB_ICONWARNING);
}

TFilePointers Defaults(std::uint32_t limit) {
    return {0, 0xFFFFFFFF, 0, limit};
}

bool Consistent(const TFilePointers& p, std::uint32_t limit) {
    return p.fileStart <= p.fileEnd && p.bufferStart <= p.bufferEnd && p.bufferEnd <= limit;
}

// A record's pointers: -1 fields are the defaults. Whether they can be used as they are.
bool RecordPointers(std::uint32_t bufferEnd, std::uint32_t bufferStart, std::uint32_t fileEnd,
                    std::uint32_t fileStart, std::uint32_t limit, TFilePointers& p) {
    p = {fileStart, fileEnd, bufferStart, bufferEnd == DefaultPointer ? limit : bufferEnd};
    if (fileStart == DefaultPointer && fileEnd == DefaultPointer && bufferStart == DefaultPointer) {
        p.fileStart = 0;
        p.bufferStart = 0;
        // A buffer end beyond the limit is never used: the buffer cannot hold it.
        return p.bufferEnd <= limit;
    }
    return fileStart != DefaultPointer && bufferStart != DefaultPointer && Consistent(p, limit);
}

bool WholeRange(const TFileType& type, bool saving) {
    return (saving ? type.savePointers : type.loadPointers) == TPointerUse::None;
}

// The buffer bytes from the buffer start on, the buffer grown to hold the buffer end; null
// (after telling the user) when it cannot grow that far.
std::uint8_t* BufferAt(const TFilePointers& p) {
    if (!GlobalBuffer) return nullptr;
    try {
        GlobalBuffer->EnsureSize(static_cast<std::int32_t>(p.bufferEnd));
    } catch (const std::exception& error) {
        Dialogs().MessageBox(error.what(), "Error", MB_OK | MB_ICONEXCLAMATION);
        return nullptr;
    }
    return GlobalBuffer->Data + p.bufferStart;
}

// The erase value is a device word: it goes into the buffer lowest byte first, word by word from
// the buffer start, as device words are stored.
void Preload(std::uint8_t* data, std::uint64_t length) {
    const auto erase = static_cast<std::uint32_t>(GlobalDevDLL ? GlobalDevDLL->EraseValue() : -1);
    const TDevGeometry* g = GlobalDevDLL ? GlobalDevDLL->Geometry() : nullptr;
    const std::uint32_t bytes = std::clamp<std::uint32_t>(g ? g->BytesPerWord() : 1, 1, 4);
    std::uint8_t word[4];
    for (std::uint32_t i = 0; i < 4; ++i)
        word[i] = static_cast<std::uint8_t>(erase >> (8 * (i % bytes)));
    if (std::all_of(word, word + bytes, [&](std::uint8_t b) { return b == word[0]; })) {
        std::memset(data, word[0], length);
        return;
    }
    for (std::uint64_t i = 0; i < length; ++i)
        data[i] = word[i % bytes];
}

// The status lines of one flow, popped again when it ends however it ends.
class StatusLines {
public:
    explicit StatusLines(const void* owner) : owner_(owner) {}
    ~StatusLines() {
        while (count_-- > 0)
            Pop();
    }
    StatusLines(const StatusLines&) = delete;
    StatusLines& operator=(const StatusLines&) = delete;
    void Push(const std::string& text) {
        if (!GlobalStatusStack) return;
        GlobalStatusStack->PushStatus(text, owner_);
        ++count_;
    }
    void Pop() {
        if (GlobalStatusStack) GlobalStatusStack->PopStatus(owner_);
    }

private:
    const void* owner_;
    int count_ = 0;
};

std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

// The temporary file a save is writing, for RemovePendingReplacement in a signal handler.
char pendingTemp[4096];
volatile std::sig_atomic_t pendingSet = 0;

class PendingTemp {
public:
    explicit PendingTemp(const std::string& path) {
        if (path.size() >= sizeof pendingTemp) return;
        pendingSet = 0;
        std::memcpy(pendingTemp, path.c_str(), path.size() + 1);
        pendingSet = 1;
    }
    ~PendingTemp() { pendingSet = 0; }
    PendingTemp(const PendingTemp&) = delete;
    PendingTemp& operator=(const PendingTemp&) = delete;
};

} // namespace

void RemovePendingReplacement() noexcept {
    if (pendingSet) ::unlink(pendingTemp);
}

std::uint32_t BufferEndLimit() {
    const TDevGeometry* g = GlobalDevDLL ? GlobalDevDLL->Geometry() : nullptr;
    if (g) return static_cast<std::uint32_t>(std::min<std::uint64_t>(g->BufferEnd(), LastBufferAddress));
    return GlobalBuffer && GlobalBuffer->Size > 0 ? static_cast<std::uint32_t>(GlobalBuffer->Size - 1) : 0;
}

std::string FormatFileRecord(const std::string& fileName, const std::string& typeName,
                             const std::string& third, const TFilePointers& pointers, bool defaults) {
    std::string record = Quoted(fileName) + "," + Quoted(typeName) + "," + third;
    for (std::uint32_t value :
         {pointers.fileStart, pointers.fileEnd, pointers.bufferStart, pointers.bufferEnd}) {
        record += "," + (defaults ? std::string("-1") : std::to_string(value));
    }
    return record;
}

std::string NameWithExtension(const std::string& path, const std::string& extension) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    // "/dev/stdout" stands for whatever standard output is, a file included.
    const bool special = path.rfind("/dev/", 0) == 0 || path.rfind("/proc/", 0) == 0;
    if (!ec && fs::exists(status) && (special || !fs::is_regular_file(status))) return path;
    if (extension.empty() || !fs::path(path).extension().empty()) return path;
    return path + "." + extension;
}

TReplaceResult ReplaceFile(const std::string& path, const std::function<bool(TFileOut&)>& write) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target(path);
    // A link is followed, so that the file it names gets the data and the link stays.
    // A link whose file is missing is written through as well, never replaced by a file.
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::canonical(target, ec);
        if (ec) {
            resolved = fs::read_symlink(target, ec);
            if (!ec && resolved.is_relative()) resolved = target.parent_path() / resolved;
        }
        if (!ec) target = resolved.lexically_normal();
    }
    const fs::file_status status = fs::status(target, ec);
    const bool exists = !ec && fs::exists(status);
    TFileOut out;
    // A device or a pipe cannot be replaced; it is written as it is.
    if (exists && !fs::is_regular_file(status)) {
        if (!out.Open(target.string())) return TReplaceResult::OpenFailed;
        const bool ok = write(out);
        return out.Finish() && ok ? TReplaceResult::Written : TReplaceResult::WriteFailed;
    }
    // Renaming over the file would replace it even when it is write-protected or belongs to
    // someone who did not let us write it: such a file is refused as opening it would be.
    if (exists && (::access(target.c_str(), W_OK) != 0 ||
                   (status.permissions() & (fs::perms::owner_write | fs::perms::group_write |
                                            fs::perms::others_write)) == fs::perms::none)) {
        return TReplaceResult::OpenFailed;
    }
    fs::path temp = target;
    temp += ".kov-" + std::to_string(::getpid()) + ".tmp";
    const PendingTemp pending(temp.string());
    if (!out.Open(temp.string())) return TReplaceResult::OpenFailed;
    bool ok = write(out);
    ok = out.Finish() && ok;
    if (ok) {
        if (exists) {
            // The replacement keeps the owner too (a run under sudo must not take a user's file).
            struct stat old {};
            if (::stat(target.c_str(), &old) == 0 && ::chown(temp.c_str(), old.st_uid, old.st_gid) != 0) {
                // Only root may give a file away; anyone else keeps the owner they are.
            }
            fs::permissions(temp, status.permissions(), ec);
        }
        fs::rename(temp, target, ec);
        ok = !ec;
    }
    if (!ok) {
        fs::remove(temp, ec);
        return TReplaceResult::WriteFailed;
    }
    return TReplaceResult::Written;
}

bool TFileFlow::Confirm(const std::string& text, const std::string& caption) const {
    return FileSetting("SuppressLoadSaveConfirm") ||
           Dialogs().MessageBox(text, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TFileFlow::FileStatus(const std::string& text) const {
    if (ShowFileStatus) ShowFileStatus(text);
}

int TFileFlow::DetectConfirmed(const std::string& fileName) {
    int type = ftAutoDetect;
    {
        StatusLines status(StatusOwner);
        status.Push("Checking file type " + fileName);
        type = DetectFileType(fileName);
    }
    if (type == ftAutoDetect) return type;
    if (!FileSetting("SuppressAutoDetectConfirm") &&
        Dialogs().MessageBox(fileName + " file type is " + FileTypeName(type), "Confirm file type",
                             MB_YESNO | MB_ICONINFORMATION) != IDYES) {
        return ftAutoDetect;
    }
    return type;
}

bool TFileFlow::LoadFile(const std::string& fileName, const std::string& typeName, std::uint32_t bufferEnd,
                         std::uint32_t bufferStart, std::uint32_t fileEnd, std::uint32_t fileStart,
                         bool preload) {
    loaded_ = 0;
    StatusLines status(StatusOwner);
    status.Push("Load file in progress");
    const int type = std::max(FindFileType(typeName), static_cast<int>(ftAutoDetect));
    const TFileType& entry = *FileTypeByIndex(type);
    const std::uint32_t limit = BufferEndLimit();
    TFilePointers p;
    const bool settled = RecordPointers(bufferEnd, bufferStart, fileEnd, fileStart, limit, p);

    std::error_code ec;
    if (!std::filesystem::exists(fileName, ec)) return false;

    const bool wholeRange = type != ftAutoDetect && WholeRange(entry, false);
    if (wholeRange) {
        p = Defaults(limit);
    } else if (!settled) {
        p = Defaults(limit);
        for (;;) {
            if (!PointerDialog ||
                !PointerDialog("Load file options - " + FileTypeName(type), true, p, preload)) {
                return false;
            }
            if (Consistent(p, limit)) break;
            Warn("An error occurred while processing the data pointers", "Invalid data pointers");
        }
    }
    if (!Confirm("Are you sure you want to load\n" + fileName + " ?", "Confirm file load")) return false;

    FileStatus("None");
    status.Push("Attempting to load file - " + fileName);
    if (!Load(fileName, type, p, preload)) return false;

    LogMessage(std::string(entry.countsFuses ? "Total fuses loaded = " : "Total bytes loaded = ") +
                   std::to_string(loaded_),
               2);
    if (loaded_ == 0) {
        Warn(NoDataText, "File load warning");
        return true;
    }
    if (!FileSetting("SuppressSuccessDialog"))
        Dialogs().MessageBox(fileName + " loaded successfully", "File load", MB_OK);
    FileStatus(fileName);
    GlobalBuffer->Untouched = false;
    if (GlobalConfig) {
        GlobalConfig->SetString("MRU", "LoadFileName",
                                FormatFileRecord(fileName, FileTypeName(type), preload ? "TRUE" : "FALSE", p,
                                                 wholeRange || p == Defaults(limit)));
    }
    return true;
}

bool TFileFlow::Load(const std::string& fileName, int type, const TFilePointers& p, bool preload) {
    bool opened = false;
    bool ok = false;
    {
        BusyCursor busy;
        TFileIn in;
        opened = in.Open(fileName);
        std::uint8_t* data = opened ? BufferAt(p) : nullptr;
        if (data) {
            const std::uint64_t length = std::uint64_t{p.bufferEnd} - p.bufferStart + 1;
            if (preload) Preload(data, length);
            if (type < ftBinary || !FileTypeByIndex(type)->read) {
                Warn("Can not load unknown file type", "File type error");
            } else {
                TMemorySink sink(data, length, p.fileStart, p.fileEnd);
                ok = ReadFileOfType(type, in, sink) && !in.Failed();
                loaded_ = sink.Loaded();
            }
        }
    }
    if (!opened) {
        Warn("An error occurred while opening the file:\n" + fileName, "File open error");
        return false;
    }
    if (!ok) Warn("An error occurred while processing the file:\n" + fileName, "File load error");
    return ok;
}

bool TFileFlow::SaveFile(const std::string& fileName, const std::string& typeName, std::uint32_t bufferEnd,
                         std::uint32_t bufferStart, std::uint32_t fileEnd, std::uint32_t fileStart) {
    savedName_.clear();
    StatusLines status(StatusOwner);
    status.Push("Save file in progress");
    // A name the registry does not know saves as the first type of the save list.
    const int type = std::max(FindFileType(typeName), static_cast<int>(ftBinary));
    const TFileType& entry = *FileTypeByIndex(type);
    const std::uint32_t limit = BufferEndLimit();
    TFilePointers p;
    RecordPointers(bufferEnd, bufferStart, fileEnd, fileStart, limit, p);
    if (type == ftBinary) {
        p.fileStart = 0;
        p.fileEnd = 0xFFFFFFFF;
    }
    const bool wholeRange = WholeRange(entry, true);
    if (wholeRange) p = Defaults(limit);
    if (!Consistent(p, limit)) {
        Warn("An error occurred while processing the data pointers", "Invalid data pointers");
        return false;
    }
    if (!Confirm("Are you sure you want to save\n" + fileName + " ?", "Confirm file save")) return false;

    status.Push("Attempting to save file - " + fileName);
    const std::string name = NameWithExtension(fileName, FormatSetting(entry.name, "DefaultExtension"));
    if (!Save(name, type, p, wholeRange || p == Defaults(limit))) return false;
    savedName_ = name;
    return true;
}

bool TFileFlow::Save(const std::string& fileName, int type, const TFilePointers& p, bool defaults) {
    const TFileType& entry = *FileTypeByIndex(type);
    TReplaceResult result = TReplaceResult::WriteFailed;
    {
        BusyCursor busy;
        if (const std::uint8_t* data = BufferAt(p)) {
            const bool filePointers = entry.savePointers == TPointerUse::FileAndBuffer;
            const TDataSource source =
                TDataSource::Window(data, std::uint64_t{p.bufferEnd} - p.bufferStart + 1,
                                    filePointers ? p.fileStart : 0, filePointers ? p.fileEnd : 0xFFFFFFFF);
            result = ReplaceFile(
                fileName, [&](TFileOut& out) { return entry.write && WriteFileOfType(type, out, source); });
        }
    }
    if (result == TReplaceResult::OpenFailed) {
        Warn("An error occurred while opening the file:\n" + fileName, "File open error");
        return false;
    }
    if (result != TReplaceResult::Written) {
        Warn("An error occurred while processing the file:\n" + fileName, "File save error");
        return false;
    }
    if (!FileSetting("SuppressSuccessDialog"))
        Dialogs().MessageBox(fileName + " saved successfully", "File save", MB_OK);
    FileStatus(fileName);
    if (GlobalConfig)
        GlobalConfig->SetString("MRU", "SaveFileName",
                                FormatFileRecord(fileName, entry.name, "", p, defaults));
    LogMessage("File " + fileName + " saved", 2);
    return true;
}

} // namespace kovfiles
