// 8-bit UV EPROMs, 2716 to 27C080.
#include "device/DeviceCore.h"
#include "kovsim/Tables.h"

kovsim::DeviceFamily& kovsim::ThisFamily() {
    static DeviceFamily family(Eprom8Family());
    return family;
}
