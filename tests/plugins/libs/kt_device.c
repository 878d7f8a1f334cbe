/* Contract-test device library. Compile definitions choose its exports and behaviour:
 *   KT_FRAME_VERSION=N      the framework structure version it asks for (default 7)
 *   KT_UNDERSCORE           every export carries a leading underscore
 *   KT_MINIMAL              only the required exports
 *   KT_OMIT_GET_DEVICE_SIZE no GetDeviceSize (a required export)
 *   KT_REFUSE_PROG          setup_prog_dll answers 0x200 (low 8 bits zero)
 *   KT_REFUSE_FRAME         setup_framework answers 0
 *   KT_OVERRUN              ReadDevice writes one byte past the image
 *   KT_BAD_MISC             corrupt extra-function records among the good ones
 *   KT_CALLBACKS            ReadDevice first calls every entry point of its structure */
#include "kt_common.h"

#ifndef KT_FRAME_VERSION
#define KT_FRAME_VERSION 7
#endif

#ifdef KT_UNDERSCORE
#define KT_NAME(n) _##n
#else
#define KT_NAME(n) n
#endif

static KtDeviceControl control;
static int nextRecord;
#ifndef KT_MINIMAL
static int nextMisc;
#endif

static const unsigned char glyph_png[] = {
    0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0xF4, 0x22, 0x7F, 0x8A, 0x00, 0x00, 0x00,
    0x0E, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0x00, 0x42, 0xFF, 0x01, 0x0F, 0xF9, 0x03,
    0xFD, 0x85, 0x11, 0x99, 0x76, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
static const unsigned char not_a_picture[] = {'G', 'I', 'F', '8', '9', 'a', 0, 0};

KOV_EXPORT_BITMAP(KTGLYPH, glyph_png, sizeof glyph_png);
KOV_EXPORT_BITMAP(KTNOTPIC, not_a_picture, sizeof not_a_picture);

static KovDeviceRecord records[5];
static int recordCount;
static KovMiscFunctRecord misc[12];
static int miscCount;

static KovDeviceRecord* add_record(int type, const char* name, const char* maker, const char* kind, int width,
                                   const char* package, int pins, uint32_t mask) {
    KovDeviceRecord* r = &records[recordCount++];
    memset(r, 0, sizeof *r);
    r->RecordType = type;
    kt_copy_text(r->DeviceName, sizeof r->DeviceName, name);
    kt_copy_text(r->Manufacturer, sizeof r->Manufacturer, maker);
    kt_copy_text(r->DeviceType, sizeof r->DeviceType, kind);
    r->DataWidth = width;
    kt_copy_text(r->Package, sizeof r->Package, package);
    r->PinCount = pins;
    r->ProgrammerMask = mask;
    return r;
}

static KovMiscFunctRecord* add_misc(int type, const char* name, const char* glyph, int count, int id,
                                    const char* tip) {
    KovMiscFunctRecord* m = &misc[miscCount++];
    memset(m, 0, sizeof *m);
    m->RecordType = type;
    kt_copy_text(m->Name, sizeof m->Name, name);
    kt_copy_text(m->GlyphName, sizeof m->GlyphName, glyph);
    m->GlyphCount = count;
    m->Identifier = id;
    kt_copy_text(m->Tooltip, sizeof m->Tooltip, tip);
    return m;
}

static void build_tables(void) {
    recordCount = 0;
    add_record(1, "KT27C256", "KtSemi", "EPROM", 8, "DIP", 28, 0);
    add_record(2, "KT29F010", "KtSemi", "FLASH", 8, "PLCC", 32, 0x06);
    add_record(2, "KT93C46", "KtMicro", "EEPROM", 16, "SOIC", 8, 0x01);
    add_record(3, "KTFUTURE", "KtMicro", "EEPROM", 8, "DIP", 8, 0xFFFFFFFFu);
    add_record(2, "KT24C02", "KtMicro", "EEPROM", 8, "DIP", 8, 0xFFFFFFFFu);

    miscCount = 0;
    add_misc(1, "Lock", "", 0, 1, "");
    add_misc(2, "Unlock", "KTGLYPH", 2, 2, "Remove the lock");
#ifdef KT_BAD_MISC
    add_misc(1, "Zero id", "", 0, 0, "");
    add_misc(1, "Too high id", "", 0, 255, "");
    memset(add_misc(1, "", "", 0, 3, "")->Name, 'n', 64);
    memset(add_misc(1, "Long glyph", "", 1, 4, "")->GlyphName, 'g', 16);
    memset(add_misc(2, "Long tip", "", 0, 5, "")->Tooltip, 't', 128);
    add_misc(1, "Missing glyph", "NOSUCH", 1, 6, "");
    add_misc(1, "Not a picture", "KTNOTPIC", 1, 7, "");
    add_misc(3, "Unknown type", "", 0, 8, "");
    add_misc(1, "Glyph without count", "KTGLYPH", 0, 9, "");
    add_misc(1, "Negative count", "KTGLYPH", -2, 10, "");
#endif
}

static void reset(void) {
    memset(&control, 0, sizeof control);
    control.setupProgResult = 1;
    control.setupFrameworkResult = 1;
    control.selectResult = 1;
    control.wordSize = 8;
    control.deviceSize = 16;
    control.eraseValue = 0xFFFFFFFFu;
    control.readResult = 1;
    control.readBytes = -1;
    control.readSeed = 0x40;
    control.programResult = 1;
    control.verifyResult = 1;
    control.eraseResult = 1;
    control.blankResult = 1;
    control.checksumResult = 1;
    control.lastChecksumResult = 1;
    control.bufferChecksumResult = 1;
    control.recordCount = -1;
    control.miscCount = -1;
#ifdef KT_OVERRUN
    control.overrun = 1;
#endif
#ifdef KT_CALLBACKS
    control.callbacks = 1;
#endif
    build_tables();
}

KOV_EXPORT KtDeviceControl* kt_control(void) {
    return &control;
}

KOV_EXPORT void kt_reset(void) {
    reset();
}

__attribute__((constructor)) static void on_load(void) {
    reset();
}

static size_t image_length(uint32_t start, uint32_t end) {
    size_t bytes = control.wordSize <= 0 ? 1 : (size_t)(control.wordSize + 7) / 8;
    return ((size_t)end - start + 1) * bytes;
}

#ifndef KT_MINIMAL
static void keep_image(const unsigned char* image, uint32_t start, uint32_t end) {
    size_t n = image_length(start, end) + 18;
    if (n > sizeof control.image) n = sizeof control.image;
    memcpy(control.image, image, n);
    control.imageLength = (int)n;
}
#endif

/* Every entry point of the structure, as far as the version has it. */
typedef struct Entries {
    KovLogMessageFn* log;
    KovPutBufferWordFn* putWord;
    KovGetBufferWordFn* getWord;
    KovReservedZeroFn* reservedZero;
    KovPutBufferByteFn* putByte;
    KovGetBufferByteFn* getByte;
    KovSetSplitsSetsFn* splitsSets;
    KovInertFn* inert1;
    KovInertFn* inert2;
    KovWriteStringFn* writeString;
    KovReadStringFn* readString;
    KovWriteBoolFn* writeBool;
    KovReadBoolFn* readBool;
    KovWriteIntFn* writeInt;
    KovReadIntFn* readInt;
    KovWriteFloatFn* writeFloat;
    KovReadFloatFn* readFloat;
    KovWriteString3Fn* writeString3;
    KovReadString3Fn* readString3;
    KovWriteBool3Fn* writeBool3;
    KovReadBool3Fn* readBool3;
    KovWriteInt3Fn* writeInt3;
    KovReadInt3Fn* readInt3;
    KovWriteFloat3Fn* writeFloat3;
    KovReadFloat3Fn* readFloat3;
    KovPushStatusFn* pushStatus;
    KovPopStatusFn* popStatus;
    KovMessageBoxFn* messageBox;
    KovProgressBoxFn* progressBox;
    KovProgressStepFn* progressStep;
} Entries;

#define KT_CONFIG_ENTRIES(v)                                                                                         \
    e.writeString = v.WriteStringP;                                                                                  \
    e.readString = v.ReadStringP;                                                                                    \
    e.writeBool = v.WriteBoolP;                                                                                      \
    e.readBool = v.ReadBoolP;                                                                                        \
    e.writeInt = v.WriteIntP;                                                                                        \
    e.readInt = v.ReadIntP;                                                                                          \
    e.writeFloat = v.WriteFloatP;                                                                                    \
    e.readFloat = v.ReadFloatP;                                                                                      \
    e.writeString3 = v.WriteString3P;                                                                                \
    e.readString3 = v.ReadString3P;                                                                                  \
    e.writeBool3 = v.WriteBool3P;                                                                                    \
    e.readBool3 = v.ReadBool3P;                                                                                      \
    e.writeInt3 = v.WriteInt3P;                                                                                      \
    e.readInt3 = v.ReadInt3P;                                                                                        \
    e.writeFloat3 = v.WriteFloat3P;                                                                                  \
    e.readFloat3 = v.ReadFloat3P;

static Entries resolve(void) {
    Entries e;
    const FrameStruct* f = (const FrameStruct*)control.frame.slots;
    memset(&e, 0, sizeof e);
    if (control.frame.version < 1 || control.frame.version > 7) return e;
    e.log = f->V1.LogMessageP;
    e.putWord = f->V1.PutBufferWordP;
    e.getWord = f->V1.GetBufferWordP;
    switch (control.frame.version) {
    case 2:
        e.reservedZero = f->V2.ReservedZeroP;
        break;
    case 3:
    case 4:
        e.putByte = f->V3.PutBufferByteP;
        e.getByte = f->V3.GetBufferByteP;
        e.writeString = f->V3.WriteStringP;
        e.readString = f->V3.ReadStringP;
        if (control.frame.version == 4) {
            e.inert1 = f->V4.Inert1;
            e.inert2 = f->V4.Inert2;
        }
        break;
    case 5:
        e.putByte = f->V5.PutBufferByteP;
        e.getByte = f->V5.GetBufferByteP;
        e.splitsSets = f->V5.SetSplitsSetsP;
        e.inert1 = f->V5.Inert1;
        e.inert2 = f->V5.Inert2;
        KT_CONFIG_ENTRIES(f->V5)
        break;
    case 6:
        e.putByte = f->V6.PutBufferByteP;
        e.getByte = f->V6.GetBufferByteP;
        e.splitsSets = f->V6.SetSplitsSetsP;
        KT_CONFIG_ENTRIES(f->V6)
        e.pushStatus = f->V6.PushStatusP;
        e.popStatus = f->V6.PopStatusP;
        break;
    case 7:
        e.putByte = f->V7.PutBufferByteP;
        e.getByte = f->V7.GetBufferByteP;
        e.splitsSets = f->V7.SetSplitsSetsP;
        KT_CONFIG_ENTRIES(f->V7)
        e.pushStatus = f->V7.PushStatusP;
        e.popStatus = f->V7.PopStatusP;
        e.messageBox = f->V7.MessageBoxP;
        e.progressBox = f->V7.ProgressBoxP;
        e.progressStep = f->V7.ProgressStepP;
        break;
    }
    return e;
}

static void call_everything(void) {
    KtCallbackResults* r = &control.callback;
    Entries e = resolve();
    r->ran = 1;
    e.log("kt callback log", 2);
    e.log(NULL, 2);
    e.putWord(3, 0x1234);
    r->wordRead = e.getWord(3);
    e.putWord(-1, 0x55);
    if (e.reservedZero) r->reservedZero = e.reservedZero();
    if (e.inert1) e.inert1();
    if (e.inert2) e.inert2();
    if (e.putByte) {
        e.putByte(0x10, 0x1AB);
        e.putByte(-5, 0x11);
        r->byteRead = e.getByte(0x10);
        r->byteReadNegative = e.getByte(-1);
    }
    if (e.splitsSets) {
        e.splitsSets(3, 2);
        e.splitsSets(9, 0);
    }
    if (e.writeString) {
        const char* empty;
        e.writeString("KtSection", "Key", "value");
        e.writeString(NULL, "Key", "null section");
        e.writeString("KtSection", NULL, "null key");
        e.writeString("KtSection", "Key", NULL);
        e.writeString("KtSection", "Key", "");
        kt_copy_text(r->stringRead, sizeof r->stringRead, e.readString("KtSection", "Key"));
        empty = e.readString(NULL, NULL);
        r->stringReadNullIsEmpty = empty != NULL && empty[0] == 0;
    }
    if (e.writeBool) {
        e.writeBool("KtSection", "Flag", 1);
        e.writeBool(NULL, "Flag", 0);
        r->boolRead = e.readBool("KtSection", "Flag") + e.readBool(NULL, "Flag");
        e.writeInt("KtSection", "Number", 42);
        r->intRead = e.readInt("KtSection", "Number") + e.readInt("KtSection", NULL);
        e.writeFloat("KtSection", "Ratio", 2.5);
        r->floatRead = e.readFloat("KtSection", "Ratio") + e.readFloat(NULL, NULL);
        e.writeString3("Hidden", "Kt", "Text", "three");
        e.writeString3("Hidden", NULL, "Text", "null");
        kt_copy_text(r->string3Read, sizeof r->string3Read, e.readString3("Hidden", "Kt", "Text"));
        e.writeBool3("Hidden", "Kt", "Flag", 1);
        r->bool3Read = e.readBool3("Hidden", "Kt", "Flag") + e.readBool3(NULL, "Kt", "Flag");
        e.writeInt3("Hidden", "Kt", "Number", -7);
        r->int3Read = e.readInt3("Hidden", "Kt", "Number") + e.readInt3("Hidden", "Kt", NULL);
        e.writeFloat3("Hidden", "Kt", "Ratio", 0.125);
        r->float3Read = e.readFloat3("Hidden", "Kt", "Ratio") + e.readFloat3(NULL, NULL, NULL);
    }
    if (e.pushStatus) {
        e.pushStatus("kt status", &control);
        e.pushStatus(NULL, &control);
        e.popStatus(&control);
        e.popStatus(&control);
    }
    if (e.messageBox) {
        r->messageBoxResult = e.messageBox("kt box", "kt caption", KOV_MB_YESNO | KOV_MB_ICONQUESTION);
        r->messageBoxNullResult = e.messageBox(NULL, NULL, KOV_MB_OK);
        r->progressBoxResult = e.progressBox("kt function", "kt caption", 0, "kt progress", 12345, 1);
        r->progressStep = e.progressStep(50, "half");
        r->progressStepNullText = e.progressStep(60, NULL);
        e.progressBox(NULL, NULL, 0, NULL, 0, 0);
    }
}

KOV_EXPORT KovFrameworkVersionFn KT_NAME(framework_version);
KOV_EXPORT int KT_NAME(framework_version)(void) {
    return KT_FRAME_VERSION;
}

KOV_EXPORT KovSetupFrameworkFn KT_NAME(setup_framework);
KOV_EXPORT int KT_NAME(setup_framework)(const FrameStruct* fs) {
    kt_copy_frame(&control.frame, fs);
#ifdef KT_REFUSE_FRAME
    return 0;
#else
    return control.setupFrameworkResult;
#endif
}

KOV_EXPORT KovSetupProgDllFn KT_NAME(setup_prog_dll);
KOV_EXPORT int KT_NAME(setup_prog_dll)(const char* path) {
    ++control.setupProgCalls;
    control.frameworkBeforeProg = control.frame.calls > 0;
    kt_copy_text(control.progPath, sizeof control.progPath, path);
#ifdef KT_REFUSE_PROG
    return 0x200;
#else
    return control.setupProgResult;
#endif
}

KOV_EXPORT KovReadDeviceFn KT_NAME(ReadDevice);
KOV_EXPORT int KT_NAME(ReadDevice)(uint32_t start, uint32_t end, unsigned char* image) {
    size_t length = image_length(start, end);
    size_t n = length + 18;
    size_t write = control.readBytes < 0 ? length : (size_t)control.readBytes;
    size_t i;
    ++control.operationCalls;
    control.lastStart = start;
    control.lastEnd = end;
    if (n > sizeof control.readImage) n = sizeof control.readImage;
    memcpy(control.readImage, image, n);
    if (control.callbacks) call_everything();
    if (write > length) write = length;
    for (i = 0; i < write; ++i) image[i] = (unsigned char)(control.readSeed + i);
    for (i = 0; i < (size_t)control.overrun; ++i) image[length + i] = 0xEE;
    return control.readResult;
}

KOV_EXPORT KovGetDeviceWordSizeFn KT_NAME(GetDeviceWordSize);
KOV_EXPORT int KT_NAME(GetDeviceWordSize)(void) {
    return control.wordSize;
}

#ifndef KT_OMIT_GET_DEVICE_SIZE
KOV_EXPORT KovGetDeviceSizeFn KT_NAME(GetDeviceSize);
KOV_EXPORT uint32_t KT_NAME(GetDeviceSize)(void) {
    return control.deviceSize;
}
#endif

KOV_EXPORT KovResetDeviceRecordPtrFn KT_NAME(ResetDeviceRecordPtr);
KOV_EXPORT int KT_NAME(ResetDeviceRecordPtr)(void) {
    ++control.resetDeviceCalls;
    nextRecord = 0;
    return 1;
}

KOV_EXPORT KovGetNextDeviceFn KT_NAME(GetNextDevice);
KOV_EXPORT const KovDeviceRecord* KT_NAME(GetNextDevice)(void) {
    if (control.recordCount >= 0) {
        return nextRecord < control.recordCount ? (const KovDeviceRecord*)control.records[nextRecord++] : NULL;
    }
    return nextRecord < recordCount ? &records[nextRecord++] : NULL;
}

KOV_EXPORT KovSelectDeviceFn KT_NAME(SelectDevice);
KOV_EXPORT int KT_NAME(SelectDevice)(const char* name, const char* maker, const char* package, int pins, int width) {
    ++control.selectCalls;
    kt_copy_text(control.selName, sizeof control.selName, name);
    kt_copy_text(control.selMaker, sizeof control.selMaker, maker);
    kt_copy_text(control.selPackage, sizeof control.selPackage, package);
    control.selPins = pins;
    control.selWidth = width;
    return control.selectResult;
}

#ifndef KT_MINIMAL

KOV_EXPORT KovProgramDeviceFn KT_NAME(ProgramDevice);
KOV_EXPORT int KT_NAME(ProgramDevice)(uint32_t start, uint32_t end, const unsigned char* image) {
    ++control.operationCalls;
    control.lastStart = start;
    control.lastEnd = end;
    keep_image(image, start, end);
    return control.programResult;
}

KOV_EXPORT KovEraseDeviceFn KT_NAME(EraseDevice);
KOV_EXPORT int KT_NAME(EraseDevice)(uint32_t start, uint32_t end) {
    ++control.operationCalls;
    control.lastStart = start;
    control.lastEnd = end;
    return control.eraseResult;
}

KOV_EXPORT KovVerifyDeviceFn KT_NAME(VerifyDevice);
KOV_EXPORT int KT_NAME(VerifyDevice)(uint32_t start, uint32_t end, const unsigned char* image) {
    ++control.operationCalls;
    control.lastStart = start;
    control.lastEnd = end;
    keep_image(image, start, end);
    return control.verifyResult;
}

KOV_EXPORT KovBlankCheckDeviceFn KT_NAME(BlankCheckDevice);
KOV_EXPORT int KT_NAME(BlankCheckDevice)(uint32_t start, uint32_t end) {
    ++control.operationCalls;
    control.lastStart = start;
    control.lastEnd = end;
    return control.blankResult;
}

KOV_EXPORT KovChecksumDeviceFn KT_NAME(ChecksumDevice);
KOV_EXPORT int KT_NAME(ChecksumDevice)(uint32_t start, uint32_t end, uint32_t* checksum) {
    control.lastStart = start;
    control.lastEnd = end;
    *checksum += control.checksumValue; /* the host zeroes it first */
    return control.checksumResult;
}

KOV_EXPORT KovGetLastChecksumFn KT_NAME(GetLastChecksum);
KOV_EXPORT int KT_NAME(GetLastChecksum)(uint32_t start, uint32_t end, uint32_t* checksum) {
    control.lastStart = start;
    control.lastEnd = end;
    *checksum = control.lastChecksumValue;
    return control.lastChecksumResult;
}

KOV_EXPORT KovGetBufferChecksumFn KT_NAME(GetBufferChecksum);
KOV_EXPORT int KT_NAME(GetBufferChecksum)(uint32_t start, uint32_t end, uint32_t* checksum,
                                          const unsigned char* image) {
    size_t i;
    size_t length = image_length(start, end);
    uint32_t sum = 0;
    keep_image(image, start, end);
    for (i = 0; i < length; ++i) sum += image[i];
    *checksum = sum;
    return control.bufferChecksumResult;
}

KOV_EXPORT KovGetEraseValueFn KT_NAME(GetEraseValue);
KOV_EXPORT uint32_t KT_NAME(GetEraseValue)(void) {
    ++control.eraseValueCalls;
    return control.eraseValue;
}

KOV_EXPORT KovGetErrorFn KT_NAME(get_error);
KOV_EXPORT int KT_NAME(get_error)(void) {
    return 0;
}

KOV_EXPORT KovResetMiscFunctFn KT_NAME(ResetMiscFunct);
KOV_EXPORT int KT_NAME(ResetMiscFunct)(void) {
    ++control.resetMiscCalls;
    nextMisc = 0;
    return 1;
}

KOV_EXPORT KovGetNextMiscFunctFn KT_NAME(GetNextMiscFunct);
KOV_EXPORT const KovMiscFunctRecord* KT_NAME(GetNextMiscFunct)(void) {
    if (control.miscEndless && miscCount > 0) return &misc[nextMisc++ % miscCount];
    if (control.miscCount >= 0) {
        return nextMisc < control.miscCount ? (const KovMiscFunctRecord*)control.misc[nextMisc++] : NULL;
    }
    return nextMisc < miscCount ? &misc[nextMisc++] : NULL;
}

KOV_EXPORT KovMiscFunctDispatchFn KT_NAME(MiscFunctDispatch);
KOV_EXPORT int KT_NAME(MiscFunctDispatch)(int identifier) {
    if (control.dispatchCount < 16) control.dispatched[control.dispatchCount] = identifier;
    ++control.dispatchCount;
    return 0;
}

#endif
