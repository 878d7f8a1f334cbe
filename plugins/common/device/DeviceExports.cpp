// The exports every simulated device library has. No exception may leave them.
#include "device/DeviceCore.h"
#include "kovsim/Guard.h"

using kovsim::Engine;
using kovsim::Guard;

KOV_EXPORT KovFrameworkVersionFn framework_version;
KOV_EXPORT KovSetupFrameworkFn setup_framework;
KOV_EXPORT KovSetupProgDllFn setup_prog_dll;
KOV_EXPORT KovResetDeviceRecordPtrFn ResetDeviceRecordPtr;
KOV_EXPORT KovGetNextDeviceFn GetNextDevice;
KOV_EXPORT KovSelectDeviceFn SelectDevice;
KOV_EXPORT KovGetDeviceWordSizeFn GetDeviceWordSize;
KOV_EXPORT KovGetDeviceSizeFn GetDeviceSize;
KOV_EXPORT KovGetEraseValueFn GetEraseValue;
KOV_EXPORT KovGetErrorFn get_error;
KOV_EXPORT KovReadDeviceFn ReadDevice;
KOV_EXPORT KovProgramDeviceFn ProgramDevice;
KOV_EXPORT KovVerifyDeviceFn VerifyDevice;
KOV_EXPORT KovBlankCheckDeviceFn BlankCheckDevice;
KOV_EXPORT KovChecksumDeviceFn ChecksumDevice;
KOV_EXPORT KovGetLastChecksumFn GetLastChecksum;
KOV_EXPORT KovResetMiscFunctFn ResetMiscFunct;
KOV_EXPORT KovGetNextMiscFunctFn GetNextMiscFunct;
KOV_EXPORT KovMiscFunctDispatchFn MiscFunctDispatch;

KOV_EXPORT int framework_version(void) {
    return KOV_FRAME_VERSION_MAX;
}

KOV_EXPORT int setup_framework(const FrameStruct* frame) {
    return Guard([&] { return Engine().SetupFramework(frame); }, 0);
}

KOV_EXPORT int setup_prog_dll(const char* path) {
    return Guard([&] { return Engine().SetupProgrammer(path); }, 0);
}

KOV_EXPORT int ResetDeviceRecordPtr(void) {
    return Guard(
        [] {
            Engine().ResetDevices();
            return 1;
        },
        0);
}

KOV_EXPORT const KovDeviceRecord* GetNextDevice(void) {
    return Guard([] { return Engine().NextDevice(); }, static_cast<const KovDeviceRecord*>(nullptr));
}

KOV_EXPORT int SelectDevice(const char* name, const char* maker, const char* package, int pins, int width) {
    return Guard([&] { return Engine().Select(name, maker, package, pins, width); }, 0);
}

KOV_EXPORT int GetDeviceWordSize(void) {
    return Guard([] { return Engine().WordSize(); }, 0);
}

KOV_EXPORT uint32_t GetDeviceSize(void) {
    return Guard([] { return Engine().Size(); }, 0u);
}

KOV_EXPORT uint32_t GetEraseValue(void) {
    return Guard([] { return Engine().EraseValue(); }, 0xFFFFFFFFu);
}

KOV_EXPORT int get_error(void) {
    return Guard([] { return Engine().LastResult(); }, 0);
}

KOV_EXPORT int ReadDevice(uint32_t start, uint32_t end, unsigned char* image) {
    return Guard([&] { return Engine().Read(start, end, image); }, 0);
}

KOV_EXPORT int ProgramDevice(uint32_t start, uint32_t end, const unsigned char* image) {
    return Guard([&] { return Engine().Program(start, end, image); }, 0);
}

KOV_EXPORT int VerifyDevice(uint32_t start, uint32_t end, const unsigned char* image) {
    return Guard([&] { return Engine().Verify(start, end, image); }, 0);
}

KOV_EXPORT int BlankCheckDevice(uint32_t start, uint32_t end) {
    return Guard([&] { return Engine().BlankCheck(start, end); }, 0);
}

KOV_EXPORT int ChecksumDevice(uint32_t start, uint32_t end, uint32_t* checksum) {
    return Guard([&] { return Engine().Checksum(start, end, checksum); }, 0);
}

KOV_EXPORT int GetLastChecksum(uint32_t, uint32_t, uint32_t* checksum) {
    return Guard([&] { return Engine().LastChecksum(checksum); }, 0);
}

KOV_EXPORT int ResetMiscFunct(void) {
    return Guard(
        [] {
            Engine().ResetMisc();
            return 1;
        },
        0);
}

KOV_EXPORT const KovMiscFunctRecord* GetNextMiscFunct(void) {
    return Guard([] { return Engine().NextMisc(); }, static_cast<const KovMiscFunctRecord*>(nullptr));
}

KOV_EXPORT int MiscFunctDispatch(int identifier) {
    return Guard([&] { return Engine().Dispatch(identifier); }, 0);
}
