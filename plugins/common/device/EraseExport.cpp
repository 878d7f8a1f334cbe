// Only families that can be erased electrically export EraseDevice; without it kov disables Erase.
#include "device/DeviceCore.h"

KOV_EXPORT KovEraseDeviceFn EraseDevice;

KOV_EXPORT int EraseDevice(uint32_t start, uint32_t end) {
    try {
        return kovsim::Engine().Erase(start, end);
    } catch (...) {
        return 0;
    }
}
