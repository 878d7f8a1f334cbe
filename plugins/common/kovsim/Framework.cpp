#include "kovsim/Framework.h"

namespace kovsim {

bool FrameworkLink::Accept(const FrameStruct* frame) {
    *this = FrameworkLink{};
    if (!frame) return false;
    switch (frame->Head.StructVersion) {
    case 1:
        log_ = frame->V1.LogMessageP;
        break;
    case 2:
        log_ = frame->V2.LogMessageP;
        break;
    case 3:
        log_ = frame->V3.LogMessageP;
        readString_ = frame->V3.ReadStringP;
        break;
    case 4:
        log_ = frame->V4.LogMessageP;
        readString_ = frame->V4.ReadStringP;
        break;
    case 5:
        CopyEntries(frame->V5);
        break;
    case 6:
        CopyEntries(frame->V6);
        break;
    case 7:
        CopyEntries(frame->V7);
        messageBox_ = frame->V7.MessageBoxP;
        progressBox_ = frame->V7.ProgressBoxP;
        progressStep_ = frame->V7.ProgressStepP;
        break;
    default:
        return false;
    }
    version_ = static_cast<int>(frame->Head.StructVersion);
    return true;
}

void FrameworkLink::Log(int level, const std::string& text) const {
    if (log_) log_(text.c_str(), level);
}

int FrameworkLink::Box(const std::string& text, const std::string& caption, int flags) const {
    if (messageBox_) return messageBox_(text.c_str(), caption.c_str(), flags);
    Log(1, caption + ": " + text);
    return (flags & 0xF) == KOV_MB_YESNO ? KOV_IDNO : KOV_IDOK;
}

std::string FrameworkLink::ReadString(const char* section, const char* key) const {
    const char* v = readString_ ? readString_(section, key) : nullptr;
    return v ? std::string(v) : std::string();
}

std::string FrameworkLink::ReadString3(const char* first, const char* second, const char* third) const {
    const char* v = readString3_ ? readString3_(first, second, third) : nullptr;
    return v ? std::string(v) : std::string();
}

bool FrameworkLink::ReadBool(const char* section, const char* key) const {
    return readBool_ && readBool_(section, key) != 0;
}

bool FrameworkLink::ReadBool3(const char* first, const char* second, const char* third) const {
    return readBool3_ && readBool3_(first, second, third) != 0;
}

int FrameworkLink::ReadInt3(const char* first, const char* second, const char* third) const {
    return readInt3_ ? readInt3_(first, second, third) : 0;
}

void FrameworkLink::WriteBool3(const char* first, const char* second, const char* third, bool value) const {
    if (writeBool3_) writeBool3_(first, second, third, value ? 1 : 0);
}

void FrameworkLink::SetSplitsSets(int sets, int splits) const {
    if (setSplitsSets_) setSplitsSets_(sets, splits);
}

bool FrameworkLink::OpenProgress(const std::string& function, const std::string& caption) const {
    if (progressDepth_++ > 0) return StepProgress(0, function.c_str());
    if (progressBox_) progressBox_(function.c_str(), caption.c_str(), 0, "", 0, 1);
    return true;
}

void FrameworkLink::CloseProgress(const std::string& function, const std::string& caption) const {
    if (progressDepth_ > 0 && --progressDepth_ == 0 && progressBox_)
        progressBox_(function.c_str(), caption.c_str(), 0, "", 0, 0);
}

bool FrameworkLink::StepProgress(int percent, const char* text) const {
    if (!progressStep_) return true;
    return progressStep_(percent, text) != KOV_PROGRESS_STOP;
}

} // namespace kovsim
