#include "programmer/ProgrammerCore.h"

const kovsim::ProgrammerModel& kovsim::ThisProgrammer() {
    static const ProgrammerModel model{"Demo", Port::Demo, 0, false};
    return model;
}
