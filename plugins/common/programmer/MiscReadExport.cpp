// The start button: polled by the auto sequence for programmers with id 2.
#include "programmer/ProgrammerCore.h"

KOV_EXPORT KovMiscReadFn misc_read;

KOV_EXPORT int misc_read(int, int, int, uint16_t* status) {
    try {
        return kovsim::Prog().MiscRead(status);
    } catch (...) {
        return -1;
    }
}
