#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "buffer/Splits.h"
#include "core/Globals.h"

class TDevDLL;
class TDevGeometry;
class TProgDLL;

// The five operations on the selected device.
enum class TDeviceCommand { Erase, BlankCheck, Program, Verify, Read };

// "Erase", "Blank Check", "Program", "Verify", "Read": the names in log lines, status lines and
// success boxes.
const char* DeviceCommandName(TDeviceCommand command);

// Which device commands can be used, from the selected device library's exports.
struct TCommandAvailability {
    bool deviceLoaded = false;   // the checksum command and the command panels
    bool erase = false;
    bool blankCheck = false;
    bool program = false;
    bool verify = false;
    bool read = false;

    bool Enabled(TDeviceCommand command) const;
};

// One extra device function as a button and a "&Device" menu item.
struct TMiscCommand {
    std::string caption;
    std::string hint;
    int tag = 0;                     // the function's identifier
    const TGlyph* glyph = nullptr;   // owned by the device library host; valid until its next rebuild
    int glyphCount = 0;
    std::string menuName;            // "MiscCommand" + index
    std::string shortcut;            // "Ctrl+1" ... "Ctrl+9"; "" where no such key exists
};

// The byte-swap button of 16-bit devices.
struct TByteSwapButton {
    bool offered = false;
    bool on = false;
    std::string hint;                // "Click here to Enable byte swapping" / "... Disable ..."
};

// The four pointer fields: device start and end (device words), buffer start and end (buffer
// addresses).
enum class TPointerField { DeviceStart, DeviceEnd, BufferStart, BufferEnd };

struct TPointerValues {
    std::uint32_t deviceStart = 0;
    std::uint32_t deviceEnd = 0;
    std::uint32_t bufferStart = 0;
    std::uint32_t bufferEnd = 0;

    bool operator==(const TPointerValues&) const = default;
};

// What the operations need from whoever shows them: the main window, or kov-cli without windows.
// Every hook has a harmless default.
class TOperationHost {
public:
    virtual ~TOperationHost() = default;
    // Lock (false) or unlock (true) everything the user could start another command with.
    virtual void SetEnable(bool /*enabled*/) {}
    // The window's close command, disabled while a device library runs.
    virtual void SetCloseEnabled(bool /*enabled*/) {}
    virtual void ShowDeviceChecksum(std::uint32_t /*value*/) {}
    virtual void RefreshBufferEditor() {}
    // The buffer end moved: a view showing addresses beyond it follows.
    virtual void BufferEndChanged(std::uint32_t /*bufferEnd*/) {}
    // Writes the serial number into the buffer; true when that changed the buffer.
    virtual bool WriteSerialNumber() { return false; }
    // The device geometry's splits and sets became valid or not (a library can switch them off).
    virtual void SplitsEnabled(bool /*valid*/) {}
};

// Locks the host for its lifetime: a command's duration, also when the command ends by an
// exception, so that the window can still be used (and closed) afterwards.
class TOperationLock {
public:
    explicit TOperationLock(TOperationHost& host) : host_(host) { host_.SetEnable(false); }
    ~TOperationLock() { host_.SetEnable(true); }
    TOperationLock(const TOperationLock&) = delete;
    TOperationLock& operator=(const TOperationLock&) = delete;

private:
    TOperationHost& host_;
};

// The device operations behind the main window's commands, without windows: the operation frame,
// the confirmations, the results, the checksums, the extra functions, byte swapping, the pointer
// rules and the splits and sets applied to the selected device. Works on GlobalDevDLL, GlobalBuffer
// and GlobalConfig.
class TDeviceOperations {
public:
    // `statusOwner` owns the status lines the frame pushes (the main window).
    TDeviceOperations(TOperationHost& host, const void* statusOwner);
    ~TDeviceOperations();
    TDeviceOperations(const TDeviceOperations&) = delete;
    TDeviceOperations& operator=(const TDeviceOperations&) = delete;

    // ---- The operation frame
    void BeginDeviceFunction(const std::string& name);
    void EndDeviceFunction(const std::string& name, int result);

    // ---- Commands. Each locks the host for its duration, also when it ends by an exception.
    // Erase, Blank Check, Program, Verify or Read with its confirmations; the library's result, or
    // 0 when the user declined or no device library is loaded.
    int RunCommand(TDeviceCommand command);
    // The device checksum; true when the library delivered one.
    bool DeviceChecksumCommand();
    // Recalculates the buffer checksum (shown through the buffer's notification).
    void BufferChecksumCommand();
    // Runs the extra function with that identifier; nothing for tags below 1 or without a device.
    void RunMiscFunction(int tag, const std::string& caption);

    // The device checksum field's value.
    std::uint32_t DeviceChecksum() const { return deviceChecksum_; }

    // ---- What the window offers
    TCommandAvailability Availability() const;
    std::vector<TMiscCommand> MiscCommands() const;
    TByteSwapButton ByteSwapButton() const;
    void ToggleByteSwap();
    // Socket and family module names, when the programmer library reports them.
    std::optional<std::pair<std::string, std::string>> ModuleNames();

    // ---- Pointers
    // The geometry's pointers; all 0 without a device library.
    TPointerValues Pointers() const;
    // A pointer field was left with this value: the geometry keeps or refuses it, then the
    // pointers are shown (ShowPointers). The values to show.
    TPointerValues LeavePointerField(TPointerField field, std::uint32_t value);
    // Makes the buffer hold the buffer end and sets the write window to the buffer pointers.
    TPointerValues ShowPointers();
    // Whether a device library asked for the pointer fields to be locked.
    bool PointersLocked() const;
    // The device start and end handed to the geometry again, as when the user leaves those two
    // fields showing the geometry's values (after a selection or a change of splits and sets).
    TPointerValues ReapplyDevicePointers();

    // ---- Splits and sets
    // The splits dialog's values; they stay as the user left them, OK or Cancel.
    TSplitsModel Splits;
    // Counts from the session, 1 for anything outside 1 to 8.
    void SplitsFromSession();
    void StoreSplitsInSession() const;
    // Hands the four values to the geometry (splits, split device, sets, set device). A layout
    // whose image would end beyond the largest buffer address is refused with a message and the
    // previous values stay. False when refused or without a device library.
    bool ApplySplitsToGeometry();
    // A newly selected device takes the session's splits and sets: the counts from the session,
    // handed to the geometry, then the device pointers re-applied. False as ApplySplitsToGeometry,
    // and when the device library has switched splits and sets off (they then stay off).
    bool ApplySessionSplits();
    // False while the device library has switched splits and sets off (the geometry told its
    // listener "not valid"), or no device is loaded.
    bool SplitsOffered() const;
    // "Splits(k:P) and Sets(m:Q)", or "" unless the geometry's four values are all non-zero.
    std::string SplitsCaption() const;

    // ---- Device selection
    // Before a selection: remembers the pointer lock and clears it, so that the new library can
    // set it again.
    void BeginDeviceSelection();
    // After it. On success the byte-secure mark is cleared and the buffer checksum recalculated;
    // on failure the remembered pointer lock returns.
    void EndDeviceSelection(bool selected);
    // Gives a new device library host the programmer id and the geometry listener (which tells
    // the host's SplitsEnabled).
    void PrepareDeviceHost(TDevDLL& host);

    // ---- Libraries
    // The programmer library host, from start-up until close.
    std::unique_ptr<TProgDLL> ProgLib;

    // Shutdown order: the device library host first, then the programmer is turned off and its
    // host destroyed.
    void ReleaseLibraries();

private:
    int CallDevice(TDeviceCommand command);
    bool Confirm(TDeviceCommand command);
    void SetDeviceChecksum(std::uint32_t value);
    template <class Change>
    bool CommitGeometryChange(TDevGeometry& geometry, Change&& change);
    static void GeometryListener(void* context, TDevGeometry* geometry, bool valid, std::uint32_t splitNumber,
                                 std::uint32_t splits, std::uint32_t setNumber, std::uint32_t sets);

    TOperationHost& host_;
    const void* statusOwner_;
    std::uint32_t deviceChecksum_ = 0;
    bool rememberedPointerLock_ = false;
    bool splitsValid_ = false;   // what the geometry last told its listener
};
