// Socket and family module names for the main window.
#include "programmer/ProgrammerCore.h"

KOV_EXPORT KovGetDeviceSpecFn get_device_spec;

KOV_EXPORT const KovDeviceSpecRecord* get_device_spec(void) {
    try {
        return kovsim::Prog().DeviceSpec();
    } catch (...) {
        return nullptr;
    }
}
