#include "main/DeviceOperations.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "buffer/VirtBuffer.h"
#include "core/Config.h"
#include "core/DialogPort.h"
#include "core/Logger.h"
#include "core/MessageCodes.h"
#include "core/Statusstack.h"
#include "kov_plugin.h"
#include "plugins/DevDLL.h"
#include "plugins/DevGeometry.h"
#include "plugins/ProgDLL.h"

namespace {

const char* const ProgramQuestion = "This operation will change data in the device.\nAre you sure you want to do this?\n";
const char* const EraseQuestion = "This operation will erase data in the device.\nAre you sure you want to do this?\n";
const char* const NoDataQuestion =
    "You have not loaded any data into the buffer.  Are you absolutely\nsure you want to program this device with no data?";
const char* const NoDataCaption = "Warning: No file loaded";
constexpr int MiscShortcutCount = 9;   // Ctrl+1 to Ctrl+9

bool ConfigBool(const char* section, const char* key) {
    return GlobalConfig && GlobalConfig->GetBool(section, key);
}

bool ConfigBool(const char* section, const char* sub, const char* key) {
    return GlobalConfig && GlobalConfig->GetBool(section, sub, key);
}

TDevGeometry* Geometry() {
    return GlobalDevDLL ? GlobalDevDLL->Geometry() : nullptr;
}

std::string Hex8(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%08llX", static_cast<unsigned long long>(value));
    return text;
}

void ShowError(const std::string& text) {
    Dialogs().MessageBox(text, "Error", MB_OK | MB_ICONEXCLAMATION);
}

// The buffer checksum can fail (a device width no sum is defined for); the user is told and the
// previous value stays, and whatever command asked for it goes on.
void RecalculateBufferChecksum() {
    if (!GlobalBuffer) return;
    try {
        GlobalBuffer->CalculateChecksum();
    } catch (const std::exception& error) {
        ShowError(error.what());
    }
}

// Grows the buffer to hold `end` and sets the write window to the buffer pointers.
bool HoldBufferRange(std::uint64_t start, std::uint64_t end) {
    if (!GlobalBuffer || end > LastBufferAddress) return true;
    try {
        GlobalBuffer->GetByte(static_cast<std::int32_t>(end));
    } catch (const std::exception& error) {
        ShowError(error.what());
        return false;
    }
    GlobalBuffer->SetWriteWindow(static_cast<std::int32_t>(start), static_cast<std::int32_t>(end));
    return true;
}

struct GeometrySnapshot {
    std::uint32_t splits, splitNumber, sets, setNumber, bufferStart, deviceStart, deviceEnd;
    std::uint64_t bufferEnd;

    explicit GeometrySnapshot(const TDevGeometry& g)
        : splits(g.Splits()),
          splitNumber(g.SplitNumber()),
          sets(g.Sets()),
          setNumber(g.SetNumber()),
          bufferStart(g.BufferStart()),
          deviceStart(g.DeviceStart()),
          deviceEnd(g.DeviceEnd()),
          bufferEnd(g.BufferEnd()) {}

    void Restore(TDevGeometry& g) const {
        if (g.Splits() != splits) g.SetSplits(splits);
        if (g.SplitNumber() != splitNumber) g.SetSplitNumber(splitNumber);
        if (g.Sets() != sets) g.SetSets(sets);
        if (g.SetNumber() != setNumber) g.SetSetNumber(setNumber);
        g.SetBufferStart(bufferStart);
        g.SetDeviceStart(deviceStart);
        g.SetDeviceEnd(deviceEnd);
    }
};

}  // namespace

const char* DeviceCommandName(TDeviceCommand command) {
    switch (command) {
        case TDeviceCommand::Erase:
            return "Erase";
        case TDeviceCommand::BlankCheck:
            return "Blank Check";
        case TDeviceCommand::Program:
            return "Program";
        case TDeviceCommand::Verify:
            return "Verify";
        case TDeviceCommand::Read:
            return "Read";
    }
    return "";
}

bool TCommandAvailability::Enabled(TDeviceCommand command) const {
    switch (command) {
        case TDeviceCommand::Erase:
            return erase;
        case TDeviceCommand::BlankCheck:
            return blankCheck;
        case TDeviceCommand::Program:
            return program;
        case TDeviceCommand::Verify:
            return verify;
        case TDeviceCommand::Read:
            return read;
    }
    return false;
}

namespace {

// BeginDeviceFunction ... EndDeviceFunction; when an exception cuts the operation short, the
// status line goes and the close command returns all the same.
class Frame {
public:
    Frame(TDeviceOperations& ops, TOperationHost& host, const void* owner, std::string name)
        : ops_(ops), host_(host), owner_(owner), name_(std::move(name)) {
        ops_.BeginDeviceFunction(name_);
    }
    void End(int result) {
        ops_.EndDeviceFunction(name_, result);
        ended_ = true;
    }
    ~Frame() {
        if (ended_) return;
        if (GlobalStatusStack) GlobalStatusStack->PopStatus(owner_);
        host_.SetCloseEnabled(true);
    }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;

private:
    TDeviceOperations& ops_;
    TOperationHost& host_;
    const void* owner_;
    std::string name_;
    bool ended_ = false;
};

}  // namespace

TDeviceOperations::TDeviceOperations(TOperationHost& host, const void* statusOwner)
    : host_(host), statusOwner_(statusOwner ? statusOwner : this) {}

// The device library host's geometry calls back into this object, so it must not outlive it.
TDeviceOperations::~TDeviceOperations() {
    ReleaseLibraries();
}

void TDeviceOperations::BeginDeviceFunction(const std::string& name) {
    LogMessage("TMainForm: " + name + " started", 7);
    if (GlobalStatusStack) GlobalStatusStack->PushStatus("Performing device function: " + name, statusOwner_);
    host_.SetCloseEnabled(false);
}

void TDeviceOperations::EndDeviceFunction(const std::string& name, int result) {
    if (GlobalStatusStack) GlobalStatusStack->PopStatus(statusOwner_);
    LogMessage("TMainForm: " + name + " ended", 7);
    if (result == KOV_SUCCESS && !ConfigBool("Device", "SuppressSuccessfulMessage")) {
        Dialogs().MessageBox(name + " operation successful.", "Status", MB_OK);
    }
    host_.RefreshBufferEditor();
    host_.SetCloseEnabled(true);
}

bool TDeviceOperations::Confirm(TDeviceCommand command) {
    if (!ConfigBool("Device", "SuppressConfirm")) {
        const char* question = command == TDeviceCommand::Program ? ProgramQuestion : EraseQuestion;
        if (Dialogs().MessageBox(question, "Confirm", MB_YESNO) != IDYES) return false;
    }
    // No setting silences this one: programming an empty buffer is rarely meant.
    if (command == TDeviceCommand::Program && GlobalBuffer && GlobalBuffer->Untouched) {
        if (Dialogs().MessageBox(NoDataQuestion, NoDataCaption, MB_YESNO | MB_ICONWARNING) != IDYES) return false;
    }
    return true;
}

int TDeviceOperations::CallDevice(TDeviceCommand command) {
    if (!GlobalDevDLL) return 0;
    switch (command) {
        case TDeviceCommand::Erase:
            return GlobalDevDLL->Erase();
        case TDeviceCommand::BlankCheck:
            return GlobalDevDLL->BlankCheck();
        case TDeviceCommand::Program:
            return GlobalDevDLL->Program(GlobalBuffer);
        case TDeviceCommand::Verify:
            return GlobalDevDLL->Verify(GlobalBuffer);
        case TDeviceCommand::Read:
            return GlobalDevDLL->Read(GlobalBuffer);
    }
    return 0;
}

void TDeviceOperations::SetDeviceChecksum(std::uint32_t value) {
    deviceChecksum_ = value;
    host_.ShowDeviceChecksum(value);
}

int TDeviceOperations::RunCommand(TDeviceCommand command) {
    TOperationLock lock(host_);
    if (command == TDeviceCommand::Program || command == TDeviceCommand::Erase) {
        if (!Confirm(command)) {
            if (command == TDeviceCommand::Erase) SetDeviceChecksum(0);
            return 0;
        }
    }
    const std::string name = DeviceCommandName(command);
    int result = 0;
    {
        Frame frame(*this, host_, statusOwner_, name);
        result = CallDevice(command);
        frame.End(result);
    }
    SetDeviceChecksum(result == KOV_SUCCESS && GlobalDevDLL ? GlobalDevDLL->LastChecksum() : 0);
    if (command == TDeviceCommand::Read) {
        host_.WriteSerialNumber();
        RecalculateBufferChecksum();
        host_.RefreshBufferEditor();
    }
    return result;
}

bool TDeviceOperations::DeviceChecksumCommand() {
    if (!GlobalDevDLL) return false;
    TOperationLock lock(host_);
    Frame frame(*this, host_, statusOwner_, "Checksum");
    std::uint32_t value = 0;
    const bool ok = GlobalDevDLL->DeviceChecksum(&value);
    if (ok) SetDeviceChecksum(value);
    frame.End(ok ? KOV_SUCCESS : 0);
    return ok;
}

void TDeviceOperations::BufferChecksumCommand() {
    RecalculateBufferChecksum();
}

void TDeviceOperations::RunMiscFunction(int tag, const std::string& caption) {
    if (tag <= 0 || !GlobalDevDLL) return;
    TOperationLock lock(host_);
    Frame frame(*this, host_, statusOwner_, caption);
    GlobalDevDLL->DispatchMiscFunction(tag);
    frame.End(0);
}

TCommandAvailability TDeviceOperations::Availability() const {
    TCommandAvailability a;
    if (!GlobalDevDLL) return a;
    a.deviceLoaded = true;
    a.erase = GlobalDevDLL->HasErase();
    a.blankCheck = GlobalDevDLL->HasBlankCheck();
    a.program = GlobalDevDLL->HasProgram();
    a.verify = GlobalDevDLL->HasVerify();
    a.read = GlobalDevDLL->HasRead();
    return a;
}

std::vector<TMiscCommand> TDeviceOperations::MiscCommands() const {
    std::vector<TMiscCommand> commands;
    if (!GlobalDevDLL) return commands;
    for (int i = 0; i < GlobalDevDLL->MiscFunctionCount(); ++i) {
        const TDeviceFunction* f = GlobalDevDLL->MiscFunction(i);
        if (!f) continue;
        TMiscCommand c;
        c.caption = f->Name();
        c.hint = f->Tooltip();
        c.tag = f->Identifier();
        c.glyph = f->Glyph();
        c.glyphCount = f->GlyphCount();
        c.menuName = "MiscCommand" + std::to_string(i);
        if (i < MiscShortcutCount) c.shortcut = "Ctrl+" + std::to_string(i + 1);
        commands.push_back(std::move(c));
    }
    return commands;
}

TByteSwapButton TDeviceOperations::ByteSwapButton() const {
    TByteSwapButton b;
    const TDevGeometry* g = Geometry();
    b.offered = g && g->WordWidth() == 16 && !ConfigBool("Hidden", "Suppress", "ByteSwap");
    b.on = ConfigBool("Hidden", "Device", "ByteSwap");
    b.hint = std::string("Click here to ") + (b.on ? "Disable" : "Enable") + " byte swapping";
    return b;
}

void TDeviceOperations::ToggleByteSwap() {
    if (GlobalConfig) GlobalConfig->SetBool("Hidden", "Device", "ByteSwap", !ConfigBool("Hidden", "Device", "ByteSwap"));
}

std::optional<std::pair<std::string, std::string>> TDeviceOperations::ModuleNames() {
    if (!ProgLib || !ProgLib->ReadDeviceSpec()) return std::nullopt;
    return std::make_pair(ProgLib->SocketModule(), ProgLib->FamilyModule());
}

TPointerValues TDeviceOperations::Pointers() const {
    TPointerValues p;
    const TDevGeometry* g = Geometry();
    if (!g) return p;
    p.deviceStart = g->DeviceStart();
    p.deviceEnd = g->DeviceEnd();
    p.bufferStart = g->BufferStart();
    p.bufferEnd = static_cast<std::uint32_t>(std::min<std::uint64_t>(g->BufferEnd(), UINT32_MAX));
    return p;
}

TPointerValues TDeviceOperations::ShowPointers() {
    const TDevGeometry* g = Geometry();
    if (!g) return Pointers();
    HoldBufferRange(g->BufferStart(), g->BufferEnd());
    const TPointerValues p = Pointers();
    host_.BufferEndChanged(p.bufferEnd);
    return p;
}

template <class Change>
bool TDeviceOperations::CommitGeometryChange(TDevGeometry& geometry, Change&& change) {
    const GeometrySnapshot before(geometry);
    change(geometry);
    const std::uint64_t end = geometry.BufferEnd();
    if (end == before.bufferEnd) return true;
    if (end > LastBufferAddress) {
        before.Restore(geometry);
        ShowError("The data would end at buffer address " + Hex8(end) + ", beyond the last buffer address " +
                  Hex8(LastBufferAddress) + ".\nThe previous values are kept.");
        return false;
    }
    if (!HoldBufferRange(geometry.BufferStart(), end)) {
        before.Restore(geometry);
        return false;
    }
    return true;
}

TPointerValues TDeviceOperations::LeavePointerField(TPointerField field, std::uint32_t value) {
    TDevGeometry* g = Geometry();
    if (!g) return Pointers();
    CommitGeometryChange(*g, [field, value](TDevGeometry& geometry) {
        switch (field) {
            case TPointerField::DeviceStart:
                geometry.SetDeviceStart(value);
                break;
            case TPointerField::DeviceEnd:
                geometry.SetDeviceEnd(value);
                break;
            case TPointerField::BufferStart:
                geometry.SetBufferStart(value);
                break;
            case TPointerField::BufferEnd:
                geometry.SetBufferEnd(value);
                break;
        }
    });
    return ShowPointers();
}

TPointerValues TDeviceOperations::ReapplyDevicePointers() {
    if (!Geometry()) return Pointers();
    LeavePointerField(TPointerField::DeviceStart, Pointers().deviceStart);
    return LeavePointerField(TPointerField::DeviceEnd, Pointers().deviceEnd);
}

bool TDeviceOperations::PointersLocked() const {
    return ConfigBool("Hidden", "Suppress", "DevicePointers");
}

void TDeviceOperations::SplitsFromSession() {
    auto count = [](const char* key) {
        const int value = GlobalConfig ? GlobalConfig->GetInt("SplitsSets", key) : 1;
        return value < 1 || value > MaxSplitsSets ? 1 : value;
    };
    Splits.SetSplits(count("SplitsCols"));
    Splits.SetSets(count("SplitsRows"));
}

void TDeviceOperations::StoreSplitsInSession() const {
    StoreSplitsCounts(Splits.Values());
}

bool TDeviceOperations::ApplySplitsToGeometry() {
    TDevGeometry* g = Geometry();
    if (!g) return false;
    const TSplitsSets v = Splits.Values();
    const bool applied = CommitGeometryChange(*g, [&v](TDevGeometry& geometry) {
        geometry.SetSplits(static_cast<std::uint32_t>(v.Splits));
        geometry.SetSplitNumber(static_cast<std::uint32_t>(v.SplitDevice));
        geometry.SetSets(static_cast<std::uint32_t>(v.Sets));
        geometry.SetSetNumber(static_cast<std::uint32_t>(v.SetDevice));
    });
    if (!applied) {
        // The dialog shows what is in force.
        Splits.SetSplits(static_cast<int>(g->Splits()));
        Splits.SetSets(static_cast<int>(g->Sets()));
        Splits.SelectDevice(static_cast<int>(g->SplitNumber()), static_cast<int>(g->SetNumber()));
    }
    ShowPointers();
    return applied;
}

bool TDeviceOperations::ApplySessionSplits() {
    SplitsFromSession();
    // A library that switched splits and sets off while its device was selected keeps them off:
    // laying its image out by the session's counts would hand it the wrong bytes.
    const bool applied = SplitsOffered() && ApplySplitsToGeometry();
    ReapplyDevicePointers();
    return applied;
}

bool TDeviceOperations::SplitsOffered() const {
    return Geometry() && splitsValid_;
}

std::string TDeviceOperations::SplitsCaption() const {
    const TDevGeometry* g = Geometry();
    if (!g || !g->Splits() || !g->SplitNumber() || !g->Sets() || !g->SetNumber()) return {};
    return "Splits(" + std::to_string(g->SplitNumber()) + ":" + std::to_string(g->Splits()) + ") and Sets(" +
           std::to_string(g->SetNumber()) + ":" + std::to_string(g->Sets()) + ")";
}

void TDeviceOperations::BeginDeviceSelection() {
    rememberedPointerLock_ = PointersLocked();
    if (GlobalConfig) GlobalConfig->SetBool("Hidden", "Suppress", "DevicePointers", false);
}

void TDeviceOperations::EndDeviceSelection(bool selected) {
    if (!selected) {
        if (GlobalConfig) GlobalConfig->SetBool("Hidden", "Suppress", "DevicePointers", rememberedPointerLock_);
        return;
    }
    if (GlobalConfig) GlobalConfig->SetBool("Hidden", "Device", "AutoSecure", false);
    RecalculateBufferChecksum();
}

void TDeviceOperations::PrepareDeviceHost(TDevDLL& host) {
    host.SetProgrammerId(ProgLib && ProgLib->ProgrammerId() ? ProgLib->ProgrammerId() : KOV_DEFAULT_PROGRAMMER_ID);
    host.SetGeometryListener(&TDeviceOperations::GeometryListener, this);
}

void TDeviceOperations::GeometryListener(void* context, TDevGeometry* /*geometry*/, bool valid,
                                         std::uint32_t /*splitNumber*/, std::uint32_t /*splits*/,
                                         std::uint32_t /*setNumber*/, std::uint32_t /*sets*/) {
    if (!context) return;
    auto* ops = static_cast<TDeviceOperations*>(context);
    ops->splitsValid_ = valid;
    ops->host_.SplitsEnabled(valid);
}

void TDeviceOperations::ReleaseLibraries() {
    delete GlobalDevDLL;
    GlobalDevDLL = nullptr;
    if (ProgLib) {
        ProgLib->TurnOff();
        ProgLib.reset();
    }
}
