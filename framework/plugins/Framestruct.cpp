#include "plugins/Framestruct.h"

#include <climits>
#include <cstdint>
#include <string>

#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/Globals.h"
#include "core/Statusstack.h"
#include "plugins/DevDLL.h"
#include "plugins/DevGeometry.h"

// Every function here is called by plug-in libraries through the framework structure. None may
// let an exception escape into the library, and every string argument may be null.
namespace {

const char* Text(const char* text) {
    return text ? text : "";
}

// The buffer address of a device word, or -1 when there is no selected device, no geometry, no
// buffer, or the word lies outside what the buffer can address.
std::int64_t WordBufferAddress(int wordAddress, std::uint32_t* bytesPerWord) {
    if (!GlobalDevDLL || !GlobalBuffer || wordAddress < 0) return -1;
    const TDevGeometry* geometry = GlobalDevDLL->Geometry();
    if (!geometry) return -1;
    const std::uint64_t bytes = geometry->BytesPerWord();
    if (bytes == 0 || bytes > 8) return -1;   // a device word has to fit the 64-bit value
    const std::uint64_t address = geometry->WordAddress(static_cast<std::uint32_t>(wordAddress));
    if (address + bytes - 1 > static_cast<std::uint64_t>(INT32_MAX)) return -1;
    *bytesPerWord = static_cast<std::uint32_t>(bytes);
    return static_cast<std::int64_t>(address);
}

// Runs an entry's work; an exception ends it with the neutral result.
template <class R, class F>
R Shielded(R neutral, F&& work) {
    try {
        return work();
    } catch (...) {
        return neutral;
    }
}

template <class F>
void Shielded(F&& work) {
    try {
        work();
    } catch (...) {
    }
}

bool Named(const char* a, const char* b, const char* c = "") {
    return a && b && c;
}

extern "C" {

void FsInert(void) {}

void FsLogMessage(const char* text, int level) {
    Shielded([&] { LogMessage(Text(text), level); });
}

void FsPutBufferWord(int wordAddress, std::uint64_t value) {
    Shielded([&] { PutBufferWord(wordAddress, value); });
}

std::uint64_t FsGetBufferWord(int wordAddress) {
    return Shielded<std::uint64_t>(0, [&] { return GetBufferWord(wordAddress); });
}

int FsReservedZero(void) {
    return 0;
}

void FsPutBufferByte(int address, int byteValue) {
    Shielded([&] {
        if (GlobalBuffer && address >= 0) GlobalBuffer->SetByte(address, static_cast<std::uint8_t>(byteValue));
    });
}

int FsGetBufferByte(int address) {
    return Shielded(0, [&] { return GlobalBuffer && address >= 0 ? int{GlobalBuffer->GetByte(address)} : 0; });
}

void FsSetSplitsSets(int sets, int splits) {
    Shielded([&] {
        TDevGeometry* geometry = GlobalDevDLL ? GlobalDevDLL->Geometry() : nullptr;
        if (!geometry) return;
        geometry->SetSets(static_cast<std::uint32_t>(sets));
        geometry->SetSplits(static_cast<std::uint32_t>(splits));
    });
}

// The store's accessors check empty names and the store itself; null names stop here.
void FsWriteString(const char* section, const char* key, const char* value) {
    if (Named(section, key, value)) Shielded([&] { KovCfgWriteString(section, key, value); });
}

const char* FsReadString(const char* section, const char* key) {
    const char* value = Named(section, key) ? Shielded<const char*>(nullptr, [&] { return KovCfgReadString(section, key); })
                                            : nullptr;
    return value ? value : "";
}

void FsWriteBool(const char* section, const char* key, int value) {
    if (Named(section, key)) Shielded([&] { KovCfgWriteBool(section, key, value); });
}

int FsReadBool(const char* section, const char* key) {
    return Named(section, key) ? Shielded(0, [&] { return KovCfgReadBool(section, key); }) : 0;
}

void FsWriteInt(const char* section, const char* key, int value) {
    if (Named(section, key)) Shielded([&] { KovCfgWriteInt(section, key, value); });
}

int FsReadInt(const char* section, const char* key) {
    return Named(section, key) ? Shielded(0, [&] { return KovCfgReadInt(section, key); }) : 0;
}

void FsWriteFloat(const char* section, const char* key, double value) {
    if (Named(section, key)) Shielded([&] { KovCfgWriteFloat(section, key, value); });
}

double FsReadFloat(const char* section, const char* key) {
    return Named(section, key) ? Shielded(0.0, [&] { return KovCfgReadFloat(section, key); }) : 0.0;
}

void FsWriteString3(const char* first, const char* second, const char* third, const char* value) {
    if (Named(first, second, third) && value) Shielded([&] { KovCfgWriteString3(first, second, third, value); });
}

const char* FsReadString3(const char* first, const char* second, const char* third) {
    const char* value = Named(first, second, third)
                            ? Shielded<const char*>(nullptr, [&] { return KovCfgReadString3(first, second, third); })
                            : nullptr;
    return value ? value : "";
}

void FsWriteBool3(const char* first, const char* second, const char* third, int value) {
    if (Named(first, second, third)) Shielded([&] { KovCfgWriteBool3(first, second, third, value); });
}

int FsReadBool3(const char* first, const char* second, const char* third) {
    return Named(first, second, third) ? Shielded(0, [&] { return KovCfgReadBool3(first, second, third); }) : 0;
}

void FsWriteInt3(const char* first, const char* second, const char* third, int value) {
    if (Named(first, second, third)) Shielded([&] { KovCfgWriteInt3(first, second, third, value); });
}

int FsReadInt3(const char* first, const char* second, const char* third) {
    return Named(first, second, third) ? Shielded(0, [&] { return KovCfgReadInt3(first, second, third); }) : 0;
}

void FsWriteFloat3(const char* first, const char* second, const char* third, double value) {
    if (Named(first, second, third)) Shielded([&] { KovCfgWriteFloat3(first, second, third, value); });
}

double FsReadFloat3(const char* first, const char* second, const char* third) {
    return Named(first, second, third) ? Shielded(0.0, [&] { return KovCfgReadFloat3(first, second, third); })
                                       : 0.0;
}

void FsPushStatus(const char* text, const void* caller) {
    Shielded([&] {
        if (GlobalStatusStack) GlobalStatusStack->PushStatus(Text(text), caller);
    });
}

void FsPopStatus(const void* caller) {
    Shielded([&] {
        if (GlobalStatusStack) GlobalStatusStack->PopStatus(caller);
    });
}

int FsMessageBox(const char* text, const char* caption, int flags) {
    return Shielded(int{KOV_IDOK}, [&] { return LibraryMessageBox(Text(text), Text(caption), flags); });
}

int FsProgressBox(const char* functionText, const char* caption, unsigned int statusType, const char* progressText,
                  int ignored, int visible) {
    Shielded([&] {
        ShowProgressBox(Text(functionText), Text(caption), statusType, Text(progressText), ignored, visible);
    });
    return 0;
}

int FsProgressStep(int position, const char* text) {
    return Shielded(int{KOV_PROGRESS_GO_ON}, [&] {
        return UpdateProgress(position, text) == KOV_PROGRESS_STOP ? KOV_PROGRESS_STOP : KOV_PROGRESS_GO_ON;
    });
}

}  // extern "C"

template <class Fn>
KovFrameSlot Entry(Fn* function) {
    KovFrameSlot slot;
    slot.Entry = reinterpret_cast<KovInertFn*>(function);
    return slot;
}

KovFrameSlot Value(intptr_t value) {
    KovFrameSlot slot;
    slot.Value = value;
    return slot;
}

// The entries from the buffer byte access to the float readers, in the order versions 3 to 7
// share them (version 3 and 4 stop after the string reader).
void FillConfigEntries(KovFrameSlot* slots, int first) {
    slots[first + 0] = Entry(FsWriteString);
    slots[first + 1] = Entry(FsReadString);
    slots[first + 2] = Entry(FsWriteBool);
    slots[first + 3] = Entry(FsReadBool);
    slots[first + 4] = Entry(FsWriteInt);
    slots[first + 5] = Entry(FsReadInt);
    slots[first + 6] = Entry(FsWriteFloat);
    slots[first + 7] = Entry(FsReadFloat);
    slots[first + 8] = Entry(FsWriteString3);
    slots[first + 9] = Entry(FsReadString3);
    slots[first + 10] = Entry(FsWriteBool3);
    slots[first + 11] = Entry(FsReadBool3);
    slots[first + 12] = Entry(FsWriteInt3);
    slots[first + 13] = Entry(FsReadInt3);
    slots[first + 14] = Entry(FsWriteFloat3);
    slots[first + 15] = Entry(FsReadFloat3);
}

int SlotCount(int version) {
    switch (version) {
    case 1: return KOV_FS1_SLOTS;
    case 2: return KOV_FS2_SLOTS;
    case 3: return KOV_FS3_SLOTS;
    case 4: return KOV_FS4_SLOTS;
    case 5: return KOV_FS5_SLOTS;
    case 6: return KOV_FS6_SLOTS;
    default: return KOV_FS7_SLOTS;
    }
}

}  // namespace

void PutBufferWord(int wordAddress, std::uint64_t value) {
    std::uint32_t bytes = 0;
    const std::int64_t address = WordBufferAddress(wordAddress, &bytes);
    if (address < 0) return;
    struct HoldChecksum {
        explicit HoldChecksum(TVirtBuffer* b) : buffer(b), previous(b->ChecksumHold) { b->ChecksumHold = true; }
        ~HoldChecksum() { buffer->ChecksumHold = previous; }
        TVirtBuffer* buffer;
        bool previous;
    } hold(GlobalBuffer);
    for (std::uint32_t i = 0; i < bytes; ++i) {
        GlobalBuffer->SetByte(static_cast<std::int32_t>(address + i), static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

std::uint64_t GetBufferWord(int wordAddress) {
    std::uint32_t bytes = 0;
    const std::int64_t address = WordBufferAddress(wordAddress, &bytes);
    if (address < 0) return 0;
    std::uint64_t value = 0;
    for (std::uint32_t i = 0; i < bytes; ++i) {
        value |= static_cast<std::uint64_t>(GlobalBuffer->GetByte(static_cast<std::int32_t>(address + i))) << (8 * i);
    }
    return value;
}

std::unique_ptr<FrameStruct> BuildFrameStruct(int requestedVersion) {
    if (requestedVersion <= 0 || requestedVersion > 64) {
        LogMessage("Error: Framework Structure possibly corrupted.  ", 1);
        return nullptr;
    }
    int version = requestedVersion;
    if (version > KOV_FRAME_VERSION_MAX) {
        LogMessage("Warning: Framework Structure version #" + std::to_string(requestedVersion) + " not supported. ", 3);
        LogMessage("Passing framework structure version #" + std::to_string(KOV_FRAME_VERSION_MAX) + " instead.", 3);
        version = KOV_FRAME_VERSION_MAX;
    }

    // Always the largest block, all zero, so a library reading past its version finds zeros.
    auto frame = std::make_unique<FrameStruct>();
    KovFrameSlot* s = frame->Slots;
    for (int i = 0; i < KOV_FRAME_MAX_SLOTS; ++i) s[i] = Value(0);

    s[KOV_FS_StructVersion] = Value(version);
    s[KOV_FS_StructSize] = Value(KOV_FRAME_SIZE(SlotCount(version)));
    s[KOV_FS1_LogMessageP] = Entry(FsLogMessage);
    s[KOV_FS1_PutBufferWordP] = Entry(FsPutBufferWord);
    s[KOV_FS1_GetBufferWordP] = Entry(FsGetBufferWord);

    switch (version) {
    case 1:
        break;
    case 2:
        s[KOV_FS2_ReservedZeroP] = Entry(FsReservedZero);
        break;
    case 3:
    case 4:
        s[KOV_FS3_PutBufferByteP] = Entry(FsPutBufferByte);
        s[KOV_FS3_GetBufferByteP] = Entry(FsGetBufferByte);
        s[KOV_FS3_WriteStringP] = Entry(FsWriteString);
        s[KOV_FS3_ReadStringP] = Entry(FsReadString);
        if (version == 4) {
            s[KOV_FS4_Inert1] = Entry(FsInert);
            s[KOV_FS4_Inert2] = Entry(FsInert);
        }
        break;
    case 5:
        s[KOV_FS5_PutBufferByteP] = Entry(FsPutBufferByte);
        s[KOV_FS5_GetBufferByteP] = Entry(FsGetBufferByte);
        s[KOV_FS5_SetSplitsSetsP] = Entry(FsSetSplitsSets);
        s[KOV_FS5_Inert1] = Entry(FsInert);
        s[KOV_FS5_Inert2] = Entry(FsInert);
        FillConfigEntries(s, KOV_FS5_WriteStringP);
        break;
    default:   // 6 and 7
        s[KOV_FS6_PutBufferByteP] = Entry(FsPutBufferByte);
        s[KOV_FS6_GetBufferByteP] = Entry(FsGetBufferByte);
        s[KOV_FS6_SetSplitsSetsP] = Entry(FsSetSplitsSets);
        FillConfigEntries(s, KOV_FS6_WriteStringP);
        s[KOV_FS6_PushStatusP] = Entry(FsPushStatus);
        s[KOV_FS6_PopStatusP] = Entry(FsPopStatus);
        if (version == 7) {
            s[KOV_FS7_MessageBoxP] = Entry(FsMessageBox);
            s[KOV_FS7_ProgressBoxP] = Entry(FsProgressBox);
            s[KOV_FS7_ProgressStepP] = Entry(FsProgressStep);
        }
        break;
    }
    return frame;
}

bool ExchangeFrameStruct(const char* hostPrefix, const std::string& libraryFileName,
                         KovFrameworkVersionFn* frameworkVersion, KovSetupFrameworkFn* setupFramework) {
    if (!frameworkVersion) return false;
    const int requested = frameworkVersion();
    if (GlobalLog) {
        LogMessage(std::string(hostPrefix) + libraryFileName + " expects framework structure version #" +
                       std::to_string(requested),
                   7);
    }
    if (!setupFramework) return false;
    std::unique_ptr<FrameStruct> frame = BuildFrameStruct(requested);
    if (!frame) return false;
    const int result = setupFramework(frame.get());
    return (result & 0xFF) != 0;
}
