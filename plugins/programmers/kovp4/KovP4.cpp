#include "programmer/ProgrammerCore.h"

const kovsim::ProgrammerModel& kovsim::ThisProgrammer() {
    static const ProgrammerModel model{"KOVP4", Port::Parallel, 4, true};
    return model;
}
