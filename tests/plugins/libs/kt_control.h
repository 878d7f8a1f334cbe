/* Control and observation block shared by the contract-test libraries and the host tests. A test
 * opens the same library file the host loads, fetches this block with kt_control(), sets what the
 * library answers and reads back what the library was handed. */
#ifndef KT_CONTROL_H
#define KT_CONTROL_H

#include "kov_plugin.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What a library copied out of the framework structure it received. */
typedef struct KtFrameCopy {
    int calls;
    int gotNull;
    intptr_t version;
    intptr_t size;
    int slotCount;
    KovFrameSlot slots[KOV_FRAME_MAX_SLOTS];
} KtFrameCopy;

/* Results of calling every entry point of the structure while an operation runs. */
typedef struct KtCallbackResults {
    int ran;
    uint64_t wordRead;
    int byteRead;
    int byteReadNegative;
    char stringRead[300];
    int stringReadNullIsEmpty;
    int boolRead;
    int intRead;
    double floatRead;
    char string3Read[300];
    int bool3Read;
    int int3Read;
    double float3Read;
    int reservedZero;
    int messageBoxResult;
    int messageBoxNullResult;
    int progressBoxResult;
    int progressStep;
    int progressStepNullText;
} KtCallbackResults;

typedef struct KtProgrammerControl {
    /* answers */
    int frameworkVersion;
    int setupResult;
    int oemResult;
    int programmerId;
    int initResult;
    char initAnswer[300];      /* written into the port buffer when not empty */
    char name[300];            /* copied into the name buffer, cut to the size it is given */
    int overrunName;           /* fill the whole name buffer without a NUL */
    const char* auxMenu;
    int miscReadResult;
    uint16_t miscStatus;
    const KovDeviceSpecRecord* deviceSpec;
    /* observations */
    KtFrameCopy frame;
    char oemReceived[300];
    int oemCalls;
    int nameCalls;
    int nameSize;
    int nameFirstByte;
    char portReceived[300];
    int portLength;
    int initSize;
    int initCalls;
    int turnOffCalls;
    int auxDispatched[8];
    int auxCount;
    int miscReadArgs[3];
    int miscReadCalls;
} KtProgrammerControl;

typedef struct KtDeviceControl {
    /* answers */
    int setupProgResult;
    int setupFrameworkResult;
    int selectResult;
    int wordSize;
    uint32_t deviceSize;
    uint32_t eraseValue;
    int readResult;
    int readBytes;              /* bytes of the image ReadDevice writes (-1: all) */
    unsigned char readSeed;     /* ReadDevice writes seed, seed+1, ... */
    int overrun;                /* bytes written past the image */
    int programResult;
    int verifyResult;
    int eraseResult;
    int blankResult;
    int checksumResult;
    uint32_t checksumValue;
    int lastChecksumResult;
    uint32_t lastChecksumValue;
    int bufferChecksumResult;   /* the value returned is the byte sum of the image */
    int callbacks;              /* ReadDevice calls every entry point first */
    const void* records[16];    /* replaces the built-in device records when recordCount >= 0 */
    int recordCount;
    const void* misc[16];       /* replaces the built-in extra-function records when miscCount >= 0 */
    int miscCount;
    int miscEndless;            /* GetNextMiscFunct starts again instead of ending its list */
    /* observations */
    KtFrameCopy frame;
    KtCallbackResults callback;
    char progPath[600];
    int setupProgCalls;
    int frameworkBeforeProg;    /* setup_framework ran before setup_prog_dll */
    uint32_t lastStart;
    uint32_t lastEnd;
    unsigned char image[8192];  /* the image Program, Verify or GetBufferChecksum received */
    int imageLength;            /* bytes of it, the fencepost included */
    unsigned char readImage[8192]; /* the image ReadDevice received, before it wrote */
    char selName[80];
    char selMaker[80];
    char selPackage[80];
    int selPins;
    int selWidth;
    int selectCalls;
    int dispatched[16];
    int dispatchCount;
    int resetMiscCalls;
    int resetDeviceCalls;
    int eraseValueCalls;
    int operationCalls;
} KtDeviceControl;

#ifdef __cplusplus
}
#endif

#endif
