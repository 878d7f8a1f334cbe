// I2C (24Cxx) and Microwire (93Cxx) serial EEPROMs: writes replace data, Erase fills the range
// with FF.
#include "device/DeviceCore.h"
#include "kovsim/Tables.h"

kovsim::DeviceFamily& kovsim::ThisFamily() {
    static DeviceFamily family(SerialEepromFamily());
    return family;
}
