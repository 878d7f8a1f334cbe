#pragma once
// Loading a file into the buffer and saving the buffer to a file, with the pointers that say
// which part of the file goes to which part of the buffer, the questions and messages around each
// step and the remembered entries of the session. The file dialog shows these flows; the auto
// sequence and kov-cli run them with a complete load or save record.
#include <cstdint>
#include <functional>
#include <string>

#include "files/FileFormat.h"

namespace kovfiles {

// A record field of -1: the pointer's default at the time of use.
constexpr std::uint32_t DefaultPointer = 0xFFFFFFFF;

struct TFilePointers {
    std::uint32_t fileStart = 0;
    std::uint32_t fileEnd = 0xFFFFFFFF;
    std::uint32_t bufferStart = 0;
    std::uint32_t bufferEnd = 0;

    bool operator==(const TFilePointers&) const = default;
};

// The last buffer address the selected device occupies with its splits and sets; without a
// device, the buffer's last address.
std::uint32_t BufferEndLimit();

// The seven fields of a load or save record: the file name and the type name in double quotes,
// then the third field as given, then the four pointers in decimal, or -1 each when `defaults`.
std::string FormatFileRecord(const std::string& fileName, const std::string& typeName,
                             const std::string& third, const TFilePointers& pointers, bool defaults);

// Writes a file through a temporary file beside it, which replaces the file only when `write`
// succeeded and every byte reached the disk: a failed save leaves an existing file as it was.
// A file that is write-protected, or that this user may not write, is not replaced (OpenFailed).
enum class TReplaceResult { Written, OpenFailed, WriteFailed };
TReplaceResult ReplaceFile(const std::string& path, const std::function<bool(TFileOut&)>& write);
// Removes the temporary file of a ReplaceFile that is under way; async-signal-safe, for a
// handler that ends the program (Ctrl+C) without leaving a half-written file behind.
void RemovePendingReplacement() noexcept;

// The name a save writes: `path` with "." + `extension` added when it has no extension and
// `extension` is not empty. An existing device, pipe or terminal, and whatever "/dev/stdout"
// stands for, is written as named.
std::string NameWithExtension(const std::string& path, const std::string& extension);

class TFileFlow {
public:
    // The pointer dialog: its caption, whether it offers "Preload buffer with erase value", the
    // values it shows and returns; true for OK. Unset, it counts as cancelled.
    std::function<bool(const std::string& caption, bool offerPreload, TFilePointers& pointers, bool& preload)>
        PointerDialog;
    // The file status fields of the main window and the buffer editor.
    std::function<void(const std::string& text)> ShowFileStatus;
    // Owner of the status lines the flows push.
    const void* StatusOwner = this;

    // Detection of a file's type with its "Confirm file type" question (unless "File" /
    // "SuppressAutoDetectConfirm"): the type index, or 0 when undecided or not confirmed.
    int DetectConfirmed(const std::string& fileName);

    // Loads a file by a load record (-1 pointers are the defaults; a buffer end of -1 is the
    // buffer end limit): the record's pointers are used when they are consistent, otherwise the
    // pointer dialog is asked. True when a reader ran and reported success; LoadedCount() tells
    // how much it stored. The buffer checksum is the caller's business.
    bool LoadFile(const std::string& fileName, const std::string& typeName, std::uint32_t bufferEnd,
                  std::uint32_t bufferStart, std::uint32_t fileEnd, std::uint32_t fileStart, bool preload);
    // Saves part of the buffer by a save record, without dialogs. A name without extension gets
    // the type's "DefaultExtension". True when the writer ran and reported success; SavedName()
    // is the file written.
    bool SaveFile(const std::string& fileName, const std::string& typeName, std::uint32_t bufferEnd,
                  std::uint32_t bufferStart, std::uint32_t fileEnd, std::uint32_t fileStart);

    std::uint64_t LoadedCount() const { return loaded_; }
    const std::string& SavedName() const { return savedName_; }

private:
    bool Confirm(const std::string& text, const std::string& caption) const;
    void FileStatus(const std::string& text) const;
    bool Load(const std::string& fileName, int type, const TFilePointers& pointers, bool preload);
    bool Save(const std::string& fileName, int type, const TFilePointers& pointers, bool defaults);

    std::uint64_t loaded_ = 0;
    std::string savedName_;
};

} // namespace kovfiles
