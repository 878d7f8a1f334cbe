/* Contract-test programmer library. Compile definitions choose its exports and refusals:
 *   KT_MINIMAL        only the six required exports
 *   KT_OMIT_GET_ERROR no get_error (a required export)
 *   KT_REFUSE_FRAME   setup_framework answers 0x100 (low 8 bits zero)
 *   KT_REFUSE_OEM     set_oem answers 0 */
#include "kt_common.h"

static KtProgrammerControl control;

static void reset(void) {
    memset(&control, 0, sizeof control);
    control.frameworkVersion = 7;
    control.setupResult = 1;
    control.oemResult = 1;
    control.programmerId = 2;
    control.initResult = 1;
    kt_copy_text(control.name, sizeof control.name, "TEST Programmer");
}

KOV_EXPORT KtProgrammerControl* kt_control(void) {
    return &control;
}

KOV_EXPORT void kt_reset(void) {
    reset();
}

__attribute__((constructor)) static void on_load(void) {
    reset();
}

KOV_EXPORT KovInitProgrammerFn init_programmer;
KOV_EXPORT int init_programmer(char* port, int size, int* version) {
    ++control.initCalls;
    control.initSize = size;
    control.portLength = (int)strlen(port);
    kt_copy_text(control.portReceived, sizeof control.portReceived, port);
    *version = 3;
    if (control.initAnswer[0]) kt_copy_text(port, 256, control.initAnswer);
    return control.initResult;
}

KOV_EXPORT KovGetProgrammerNameFn get_programmer_name;
KOV_EXPORT int get_programmer_name(char* name, int size) {
    ++control.nameCalls;
    control.nameSize = size;
    control.nameFirstByte = (unsigned char)name[0];
    if (control.overrunName) {
        memset(name, 'N', (size_t)size);
    } else {
        kt_copy_text(name, (size_t)size, control.name);
    }
    return 1;
}

KOV_EXPORT KovTurnOffProgrammerFn turn_off_programmer;
KOV_EXPORT int turn_off_programmer(void) {
    ++control.turnOffCalls;
    return 1;
}

#ifndef KT_OMIT_GET_ERROR
KOV_EXPORT KovGetErrorFn get_error;
KOV_EXPORT int get_error(void) {
    return 0;
}
#endif

KOV_EXPORT KovFrameworkVersionFn framework_version;
KOV_EXPORT int framework_version(void) {
    return control.frameworkVersion;
}

KOV_EXPORT KovSetupFrameworkFn setup_framework;
KOV_EXPORT int setup_framework(const FrameStruct* fs) {
    kt_copy_frame(&control.frame, fs);
#ifdef KT_REFUSE_FRAME
    return 0x100;
#else
    return control.setupResult;
#endif
}

#ifndef KT_MINIMAL

KOV_EXPORT KovGetProgrammerIdFn get_programmer_id;
KOV_EXPORT int get_programmer_id(void) {
    return control.programmerId;
}

KOV_EXPORT KovSetOemFn set_oem;
KOV_EXPORT int set_oem(const char* edition) {
    ++control.oemCalls;
    kt_copy_text(control.oemReceived, sizeof control.oemReceived, edition);
#ifdef KT_REFUSE_OEM
    return 0;
#else
    return control.oemResult;
#endif
}

KOV_EXPORT int init_device(void) {
    return 0;
}
KOV_EXPORT int set_status_mode(void) {
    return 0;
}
KOV_EXPORT int set_buffer_mode(void) {
    return 0;
}
KOV_EXPORT int get_device_id(void) {
    return 0;
}
KOV_EXPORT int get_programmer_result(void) {
    return 0;
}
KOV_EXPORT int misc_write(void) {
    return 0;
}

KOV_EXPORT KovMiscReadFn misc_read;
KOV_EXPORT int misc_read(int a, int b, int c, uint16_t* status) {
    ++control.miscReadCalls;
    control.miscReadArgs[0] = a;
    control.miscReadArgs[1] = b;
    control.miscReadArgs[2] = c;
    *status = control.miscStatus;
    return control.miscReadResult;
}

KOV_EXPORT KovGetDeviceSpecFn get_device_spec;
KOV_EXPORT const KovDeviceSpecRecord* get_device_spec(void) {
    return control.deviceSpec;
}

KOV_EXPORT KovGetAuxMenuTFn GetAuxMenuT;
KOV_EXPORT const char* GetAuxMenuT(void) {
    return control.auxMenu;
}

KOV_EXPORT KovAuxDispatchFn AuxDispatch;
KOV_EXPORT int AuxDispatch(int command) {
    if (control.auxCount < 8) control.auxDispatched[control.auxCount] = command;
    ++control.auxCount;
    return 0;
}

#endif
