#include "programmer/ProgrammerCore.h"

const kovsim::ProgrammerModel& kovsim::ThisProgrammer() {
    static const ProgrammerModel model{"KOV22", Port::Usb, 2, true};
    return model;
}
