// The exports every simulated programmer library has. No exception may leave them.
#include "kovsim/Guard.h"
#include "programmer/ProgrammerCore.h"

using kovsim::Guard;
using kovsim::Prog;

KOV_EXPORT KovInitProgrammerFn init_programmer;
KOV_EXPORT KovGetProgrammerNameFn get_programmer_name;
KOV_EXPORT KovSetOemFn set_oem;
KOV_EXPORT KovTurnOffProgrammerFn turn_off_programmer;
KOV_EXPORT KovGetErrorFn get_error;
KOV_EXPORT KovFrameworkVersionFn framework_version;
KOV_EXPORT KovSetupFrameworkFn setup_framework;
KOV_EXPORT KovGetAuxMenuTFn GetAuxMenuT;
KOV_EXPORT KovAuxDispatchFn AuxDispatch;
KOV_EXPORT KovSimBusFn kovsim_bus;

KOV_EXPORT int init_programmer(char* port, int size, int* version) {
    return Guard([&] { return Prog().Init(port, size, version); }, 0);
}

KOV_EXPORT int get_programmer_name(char* name, int size) {
    return Guard([&] { return Prog().Name(name, size); }, 0);
}

KOV_EXPORT int set_oem(const char* editionId) {
    return Guard([&] { return Prog().SetOem(editionId); }, 1);
}

KOV_EXPORT int turn_off_programmer(void) {
    return Guard([] { return Prog().TurnOff(); }, 0);
}

KOV_EXPORT int get_error(void) {
    return 0;
}

KOV_EXPORT int framework_version(void) {
    return KOV_FRAME_VERSION_MAX;
}

KOV_EXPORT int setup_framework(const FrameStruct* frame) {
    return Guard([&] { return Prog().SetupFramework(frame); }, 0);
}

KOV_EXPORT const char* GetAuxMenuT(void) {
    return Guard([] { return Prog().AuxMenu(); }, "");
}

KOV_EXPORT int AuxDispatch(int command) {
    return Guard([&] { return Prog().AuxDispatch(command); }, 0);
}

KOV_EXPORT const KovSimBus* kovsim_bus(void) {
    return kovsim::Bus();
}
