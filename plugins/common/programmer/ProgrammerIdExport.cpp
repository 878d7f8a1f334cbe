#include "programmer/ProgrammerCore.h"

KOV_EXPORT KovGetProgrammerIdFn get_programmer_id;

KOV_EXPORT int get_programmer_id(void) {
    return kovsim::ThisProgrammer().id;
}
