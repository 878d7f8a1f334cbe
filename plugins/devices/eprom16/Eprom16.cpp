// 16-bit UV EPROMs, 27C1024 to 27C322; being 16 bits wide they get kov's byte-swap button.
#include "device/DeviceCore.h"
#include "kovsim/Tables.h"

kovsim::DeviceFamily& kovsim::ThisFamily() {
    static DeviceFamily family(Eprom16Family());
    return family;
}
