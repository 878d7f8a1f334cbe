#pragma once
// The entry points a simulated plug-in keeps from the framework structure it was handed, with
// the neutral behaviour of a missing entry (older structure versions lack most of them).
#include <cstdint>
#include <string>

#include "kov_plugin.h"

namespace kovsim {

class FrameworkLink {
public:
    // Copies the entries of any version from 1 to 7; false for a null or unknown structure.
    bool Accept(const FrameStruct* frame);
    bool Accepted() const { return version_ != 0; }
    int Version() const { return version_; }

    void Log(int level, const std::string& text) const;
    // Without a message box entry the text goes to the log and the box answers as the auto
    // sequence does (OK), except that a Yes/No question is answered No.
    int Box(const std::string& text, const std::string& caption, int flags) const;

    std::string ReadString(const char* section, const char* key) const;
    std::string ReadString3(const char* first, const char* second, const char* third) const;
    bool ReadBool(const char* section, const char* key) const;
    bool ReadBool3(const char* first, const char* second, const char* third) const;
    int ReadInt3(const char* first, const char* second, const char* third) const;
    void WriteBool3(const char* first, const char* second, const char* third, bool value) const;
    void SetSplitsSets(int sets, int splits) const;

    bool HasProgress() const { return progressBox_ && progressStep_; }
    // Shows the progress box; while it is open already (an operation in several phases) only its
    // text changes. False when the user has pressed Abort since it was opened.
    bool OpenProgress(const std::string& function, const std::string& caption) const;
    // Hides the box when the outermost opener closes it.
    void CloseProgress(const std::string& function, const std::string& caption) const;
    // True while the user has not pressed Abort.
    bool StepProgress(int percent, const char* text) const;

private:
    // The entries that versions 5 to 7 share, at their own places in each.
    template <typename Version> void CopyEntries(const Version& f) {
        log_ = f.LogMessageP;
        setSplitsSets_ = f.SetSplitsSetsP;
        readString_ = f.ReadStringP;
        readBool_ = f.ReadBoolP;
        readString3_ = f.ReadString3P;
        readBool3_ = f.ReadBool3P;
        readInt3_ = f.ReadInt3P;
        writeBool3_ = f.WriteBool3P;
    }

    int version_ = 0;
    KovLogMessageFn* log_ = nullptr;
    KovSetSplitsSetsFn* setSplitsSets_ = nullptr;
    KovReadStringFn* readString_ = nullptr;
    KovReadBoolFn* readBool_ = nullptr;
    KovReadString3Fn* readString3_ = nullptr;
    KovReadBool3Fn* readBool3_ = nullptr;
    KovReadInt3Fn* readInt3_ = nullptr;
    KovWriteBool3Fn* writeBool3_ = nullptr;
    KovMessageBoxFn* messageBox_ = nullptr;
    KovProgressBoxFn* progressBox_ = nullptr;
    KovProgressStepFn* progressStep_ = nullptr;
    mutable int progressDepth_ = 0;
};

} // namespace kovsim
