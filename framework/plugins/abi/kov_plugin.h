/*
 * kov plug-in interface.
 *
 * The only header a programmer library or a device library includes. Plain C (C11 or C++),
 * no other kov header needed. Everything here is a binary contract with separately built
 * libraries: layouts and values only ever grow, they never change.
 *
 * See docs/plugin-interface.md for the call order and the rules behind each export.
 */
#ifndef KOV_PLUGIN_H
#define KOV_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define KOV_EXTERN_C extern "C"
#define KOV_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define KOV_EXTERN_C
#define KOV_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Marks a function or object as an export of the library (libraries are built with hidden
 * visibility, so only what carries this mark can be found by the framework). */
#define KOV_EXPORT KOV_EXTERN_C __attribute__((visibility("default")))

KOV_STATIC_ASSERT(sizeof(int) == 4, "kov plug-ins need a 32-bit int");
KOV_STATIC_ASSERT(sizeof(double) == 8, "kov plug-ins need a 64-bit IEEE 754 double");

/* ============================================================================================
 * Results, identifiers and message-box codes
 * ========================================================================================== */

/* A device operation succeeds exactly when the library returns 1. Setup exports
 * (setup_framework, setup_prog_dll, set_oem) succeed when the low 8 bits of the result are
 * nonzero; SelectDevice succeeds when its low 8 bits equal 1. */
#define KOV_SUCCESS 1

/* Programmer id assumed when a programmer library gives none (or 0). Type 1 device records
 * are offered only to this id. */
#define KOV_DEFAULT_PROGRAMMER_ID 4

/* Message-box flags (MessageBoxP's third argument). */
#define KOV_MB_OK 0
#define KOV_MB_OKCANCEL 1
#define KOV_MB_ABORTRETRYIGNORE 2
#define KOV_MB_YESNOCANCEL 3
#define KOV_MB_YESNO 4
#define KOV_MB_RETRYCANCEL 5
#define KOV_MB_ICONERROR 16
#define KOV_MB_ICONQUESTION 32
#define KOV_MB_ICONEXCLAMATION 48
#define KOV_MB_ICONINFORMATION 64
#define KOV_MB_DEFBUTTON1 0x000
#define KOV_MB_DEFBUTTON2 0x100
#define KOV_MB_DEFBUTTON3 0x200

/* Message-box results: the button pressed. */
#define KOV_IDOK 1
#define KOV_IDCANCEL 2
#define KOV_IDABORT 3
#define KOV_IDRETRY 4
#define KOV_IDIGNORE 5
#define KOV_IDYES 6
#define KOV_IDNO 7

/* ProgressStepP results. */
#define KOV_PROGRESS_GO_ON 1
#define KOV_PROGRESS_STOP 2

/* ============================================================================================
 * Framework structure
 *
 * A row of slots, one per field. A slot is pointer-sized: 8 bytes in a 64-bit build, 4 bytes in
 * a 32-bit build (where every byte offset of the table in docs/plugin-interface.md holds byte
 * for byte). Slot 0 is StructVersion, slot 1 StructSize (the record's size in bytes), then the
 * entry points of that version; the last slot of every version is 0. A library asks for a
 * version through framework_version(), receives the record in setup_framework() and must copy
 * the entry points it wants to keep: the record is discarded when setup_framework returns.
 * Versions 5 and 6 have the same size; tell them apart by StructVersion, never by StructSize.
 * ========================================================================================== */

/* Entry points into the framework. Strings passed in are NUL-terminated and owned by the
 * caller; strings returned stay valid until the next call of the same entry point. None of
 * them ever fails towards the library: absent objects give 0, 0.0 or "". */
typedef void KovInertFn(void);
typedef void KovLogMessageFn(const char* text, int level);
typedef void KovPutBufferWordFn(int wordAddress, uint64_t value);
typedef uint64_t KovGetBufferWordFn(int wordAddress);
typedef int KovReservedZeroFn(void);
typedef void KovPutBufferByteFn(int address, int byteValue); /* low 8 bits are written */
typedef int KovGetBufferByteFn(int address);                 /* byte in the low 8 bits */
typedef void KovSetSplitsSetsFn(int sets, int splits);
typedef void KovWriteStringFn(const char* section, const char* key, const char* value);
typedef const char* KovReadStringFn(const char* section, const char* key);
typedef void KovWriteBoolFn(const char* section, const char* key, int value);
typedef int KovReadBoolFn(const char* section, const char* key);
typedef void KovWriteIntFn(const char* section, const char* key, int value);
typedef int KovReadIntFn(const char* section, const char* key);
typedef void KovWriteFloatFn(const char* section, const char* key, double value);
typedef double KovReadFloatFn(const char* section, const char* key);
typedef void KovWriteString3Fn(const char* first, const char* second, const char* third, const char* value);
typedef const char* KovReadString3Fn(const char* first, const char* second, const char* third);
typedef void KovWriteBool3Fn(const char* first, const char* second, const char* third, int value);
typedef int KovReadBool3Fn(const char* first, const char* second, const char* third);
typedef void KovWriteInt3Fn(const char* first, const char* second, const char* third, int value);
typedef int KovReadInt3Fn(const char* first, const char* second, const char* third);
typedef void KovWriteFloat3Fn(const char* first, const char* second, const char* third, double value);
typedef double KovReadFloat3Fn(const char* first, const char* second, const char* third);
typedef void KovPushStatusFn(const char* text, const void* caller);
typedef void KovPopStatusFn(const void* caller);
typedef int KovMessageBoxFn(const char* text, const char* caption, int flags);
typedef int KovProgressBoxFn(const char* functionText, const char* caption, unsigned int statusType,
                             const char* progressText, int ignored, int visible);
typedef int KovProgressStepFn(int position, const char* text);

typedef union KovFrameSlot {
    intptr_t Value;
    KovInertFn* Entry;
} KovFrameSlot;

KOV_STATIC_ASSERT(sizeof(KovFrameSlot) == sizeof(void*), "a slot is pointer-sized");
KOV_STATIC_ASSERT(sizeof(KovLogMessageFn*) == sizeof(KovFrameSlot), "entry points fill one slot");

/* The highest version the framework builds; asking for 8 to 64 gets this one. */
#define KOV_FRAME_VERSION_MAX 7
/* Slots of the largest version; the framework always allocates this many. */
#define KOV_FRAME_MAX_SLOTS 30

/* Slot indices, by version. Byte offset = index * sizeof(KovFrameSlot). */
enum {
    KOV_FS_StructVersion = 0,
    KOV_FS_StructSize = 1,

    KOV_FS1_LogMessageP = 2,
    KOV_FS1_PutBufferWordP = 3,
    KOV_FS1_GetBufferWordP = 4,
    KOV_FS1_Zero = 5,
    KOV_FS1_SLOTS = 6,

    KOV_FS2_LogMessageP = 2,
    KOV_FS2_PutBufferWordP = 3,
    KOV_FS2_GetBufferWordP = 4,
    KOV_FS2_ReservedZeroP = 5,
    KOV_FS2_Zero = 6,
    KOV_FS2_SLOTS = 7,

    KOV_FS3_LogMessageP = 2,
    KOV_FS3_PutBufferWordP = 3,
    KOV_FS3_GetBufferWordP = 4,
    KOV_FS3_PutBufferByteP = 5,
    KOV_FS3_GetBufferByteP = 6,
    KOV_FS3_WriteStringP = 7,
    KOV_FS3_ReadStringP = 8,
    KOV_FS3_Null = 9,
    KOV_FS3_Zero = 10,
    KOV_FS3_SLOTS = 11,

    KOV_FS4_LogMessageP = 2,
    KOV_FS4_PutBufferWordP = 3,
    KOV_FS4_GetBufferWordP = 4,
    KOV_FS4_PutBufferByteP = 5,
    KOV_FS4_GetBufferByteP = 6,
    KOV_FS4_WriteStringP = 7,
    KOV_FS4_ReadStringP = 8,
    KOV_FS4_Null = 9,
    KOV_FS4_Inert1 = 10,
    KOV_FS4_Inert2 = 11,
    KOV_FS4_Zero = 12,
    KOV_FS4_SLOTS = 13,

    KOV_FS5_LogMessageP = 2,
    KOV_FS5_PutBufferWordP = 3,
    KOV_FS5_GetBufferWordP = 4,
    KOV_FS5_PutBufferByteP = 5,
    KOV_FS5_GetBufferByteP = 6,
    KOV_FS5_SetSplitsSetsP = 7,
    KOV_FS5_Inert1 = 8,
    KOV_FS5_Inert2 = 9,
    KOV_FS5_WriteStringP = 10,
    KOV_FS5_ReadStringP = 11,
    KOV_FS5_WriteBoolP = 12,
    KOV_FS5_ReadBoolP = 13,
    KOV_FS5_WriteIntP = 14,
    KOV_FS5_ReadIntP = 15,
    KOV_FS5_WriteFloatP = 16,
    KOV_FS5_ReadFloatP = 17,
    KOV_FS5_WriteString3P = 18,
    KOV_FS5_ReadString3P = 19,
    KOV_FS5_WriteBool3P = 20,
    KOV_FS5_ReadBool3P = 21,
    KOV_FS5_WriteInt3P = 22,
    KOV_FS5_ReadInt3P = 23,
    KOV_FS5_WriteFloat3P = 24,
    KOV_FS5_ReadFloat3P = 25,
    KOV_FS5_Zero = 26,
    KOV_FS5_SLOTS = 27,

    KOV_FS6_LogMessageP = 2,
    KOV_FS6_PutBufferWordP = 3,
    KOV_FS6_GetBufferWordP = 4,
    KOV_FS6_PutBufferByteP = 5,
    KOV_FS6_GetBufferByteP = 6,
    KOV_FS6_SetSplitsSetsP = 7,
    KOV_FS6_WriteStringP = 8,
    KOV_FS6_ReadStringP = 9,
    KOV_FS6_WriteBoolP = 10,
    KOV_FS6_ReadBoolP = 11,
    KOV_FS6_WriteIntP = 12,
    KOV_FS6_ReadIntP = 13,
    KOV_FS6_WriteFloatP = 14,
    KOV_FS6_ReadFloatP = 15,
    KOV_FS6_WriteString3P = 16,
    KOV_FS6_ReadString3P = 17,
    KOV_FS6_WriteBool3P = 18,
    KOV_FS6_ReadBool3P = 19,
    KOV_FS6_WriteInt3P = 20,
    KOV_FS6_ReadInt3P = 21,
    KOV_FS6_WriteFloat3P = 22,
    KOV_FS6_ReadFloat3P = 23,
    KOV_FS6_PushStatusP = 24,
    KOV_FS6_PopStatusP = 25,
    KOV_FS6_Zero = 26,
    KOV_FS6_SLOTS = 27,

    KOV_FS7_LogMessageP = 2,
    KOV_FS7_PutBufferWordP = 3,
    KOV_FS7_GetBufferWordP = 4,
    KOV_FS7_PutBufferByteP = 5,
    KOV_FS7_GetBufferByteP = 6,
    KOV_FS7_SetSplitsSetsP = 7,
    KOV_FS7_WriteStringP = 8,
    KOV_FS7_ReadStringP = 9,
    KOV_FS7_WriteBoolP = 10,
    KOV_FS7_ReadBoolP = 11,
    KOV_FS7_WriteIntP = 12,
    KOV_FS7_ReadIntP = 13,
    KOV_FS7_WriteFloatP = 14,
    KOV_FS7_ReadFloatP = 15,
    KOV_FS7_WriteString3P = 16,
    KOV_FS7_ReadString3P = 17,
    KOV_FS7_WriteBool3P = 18,
    KOV_FS7_ReadBool3P = 19,
    KOV_FS7_WriteInt3P = 20,
    KOV_FS7_ReadInt3P = 21,
    KOV_FS7_WriteFloat3P = 22,
    KOV_FS7_ReadFloat3P = 23,
    KOV_FS7_PushStatusP = 24,
    KOV_FS7_PopStatusP = 25,
    KOV_FS7_MessageBoxP = 26,
    KOV_FS7_ProgressBoxP = 27,
    KOV_FS7_ProgressStepP = 28,
    KOV_FS7_Zero = 29,
    KOV_FS7_SLOTS = 30
};

/* StructSize of each version in this build, in bytes. */
#define KOV_FRAME_SIZE(slots) ((intptr_t)((slots) * sizeof(KovFrameSlot)))

/* The same layouts as named fields. Cast a received FrameStruct to the version it says it is. */
typedef struct FrameStructV1 {
    intptr_t StructVersion;
    intptr_t StructSize;
    KovLogMessageFn* LogMessageP;
    KovPutBufferWordFn* PutBufferWordP;
    KovGetBufferWordFn* GetBufferWordP;
    intptr_t Zero;
} FrameStructV1;

typedef struct FrameStructV2 {
    intptr_t StructVersion;
    intptr_t StructSize;
    KovLogMessageFn* LogMessageP;
    KovPutBufferWordFn* PutBufferWordP;
    KovGetBufferWordFn* GetBufferWordP;
    KovReservedZeroFn* ReservedZeroP;
    intptr_t Zero;
} FrameStructV2;

typedef struct FrameStructV3 {
    intptr_t StructVersion;
    intptr_t StructSize;
    KovLogMessageFn* LogMessageP;
    KovPutBufferWordFn* PutBufferWordP;
    KovGetBufferWordFn* GetBufferWordP;
    KovPutBufferByteFn* PutBufferByteP;
    KovGetBufferByteFn* GetBufferByteP;
    KovWriteStringFn* WriteStringP;
    KovReadStringFn* ReadStringP;
    KovInertFn* Null; /* always null */
    intptr_t Zero;
} FrameStructV3;

typedef struct FrameStructV4 {
    intptr_t StructVersion;
    intptr_t StructSize;
    KovLogMessageFn* LogMessageP;
    KovPutBufferWordFn* PutBufferWordP;
    KovGetBufferWordFn* GetBufferWordP;
    KovPutBufferByteFn* PutBufferByteP;
    KovGetBufferByteFn* GetBufferByteP;
    KovWriteStringFn* WriteStringP;
    KovReadStringFn* ReadStringP;
    KovInertFn* Null; /* always null */
    KovInertFn* Inert1;
    KovInertFn* Inert2;
    intptr_t Zero;
} FrameStructV4;

typedef struct FrameStructV5 {
    intptr_t StructVersion;
    intptr_t StructSize;
    KovLogMessageFn* LogMessageP;
    KovPutBufferWordFn* PutBufferWordP;
    KovGetBufferWordFn* GetBufferWordP;
    KovPutBufferByteFn* PutBufferByteP;
    KovGetBufferByteFn* GetBufferByteP;
    KovSetSplitsSetsFn* SetSplitsSetsP;
    KovInertFn* Inert1;
    KovInertFn* Inert2;
    KovWriteStringFn* WriteStringP;
    KovReadStringFn* ReadStringP;
    KovWriteBoolFn* WriteBoolP;
    KovReadBoolFn* ReadBoolP;
    KovWriteIntFn* WriteIntP;
    KovReadIntFn* ReadIntP;
    KovWriteFloatFn* WriteFloatP;
    KovReadFloatFn* ReadFloatP;
    KovWriteString3Fn* WriteString3P;
    KovReadString3Fn* ReadString3P;
    KovWriteBool3Fn* WriteBool3P;
    KovReadBool3Fn* ReadBool3P;
    KovWriteInt3Fn* WriteInt3P;
    KovReadInt3Fn* ReadInt3P;
    KovWriteFloat3Fn* WriteFloat3P;
    KovReadFloat3Fn* ReadFloat3P;
    intptr_t Zero;
} FrameStructV5;

typedef struct FrameStructV6 {
    intptr_t StructVersion;
    intptr_t StructSize;
    KovLogMessageFn* LogMessageP;
    KovPutBufferWordFn* PutBufferWordP;
    KovGetBufferWordFn* GetBufferWordP;
    KovPutBufferByteFn* PutBufferByteP;
    KovGetBufferByteFn* GetBufferByteP;
    KovSetSplitsSetsFn* SetSplitsSetsP;
    KovWriteStringFn* WriteStringP;
    KovReadStringFn* ReadStringP;
    KovWriteBoolFn* WriteBoolP;
    KovReadBoolFn* ReadBoolP;
    KovWriteIntFn* WriteIntP;
    KovReadIntFn* ReadIntP;
    KovWriteFloatFn* WriteFloatP;
    KovReadFloatFn* ReadFloatP;
    KovWriteString3Fn* WriteString3P;
    KovReadString3Fn* ReadString3P;
    KovWriteBool3Fn* WriteBool3P;
    KovReadBool3Fn* ReadBool3P;
    KovWriteInt3Fn* WriteInt3P;
    KovReadInt3Fn* ReadInt3P;
    KovWriteFloat3Fn* WriteFloat3P;
    KovReadFloat3Fn* ReadFloat3P;
    KovPushStatusFn* PushStatusP;
    KovPopStatusFn* PopStatusP;
    intptr_t Zero;
} FrameStructV6;

typedef struct FrameStructV7 {
    intptr_t StructVersion;
    intptr_t StructSize;
    KovLogMessageFn* LogMessageP;
    KovPutBufferWordFn* PutBufferWordP;
    KovGetBufferWordFn* GetBufferWordP;
    KovPutBufferByteFn* PutBufferByteP;
    KovGetBufferByteFn* GetBufferByteP;
    KovSetSplitsSetsFn* SetSplitsSetsP;
    KovWriteStringFn* WriteStringP;
    KovReadStringFn* ReadStringP;
    KovWriteBoolFn* WriteBoolP;
    KovReadBoolFn* ReadBoolP;
    KovWriteIntFn* WriteIntP;
    KovReadIntFn* ReadIntP;
    KovWriteFloatFn* WriteFloatP;
    KovReadFloatFn* ReadFloatP;
    KovWriteString3Fn* WriteString3P;
    KovReadString3Fn* ReadString3P;
    KovWriteBool3Fn* WriteBool3P;
    KovReadBool3Fn* ReadBool3P;
    KovWriteInt3Fn* WriteInt3P;
    KovReadInt3Fn* ReadInt3P;
    KovWriteFloat3Fn* WriteFloat3P;
    KovReadFloat3Fn* ReadFloat3P;
    KovPushStatusFn* PushStatusP;
    KovPopStatusFn* PopStatusP;
    KovMessageBoxFn* MessageBoxP;
    KovProgressBoxFn* ProgressBoxP;
    KovProgressStepFn* ProgressStepP;
    intptr_t Zero;
} FrameStructV7;

typedef struct KovFrameHead {
    intptr_t StructVersion;
    intptr_t StructSize;
} KovFrameHead;

/* What setup_framework receives. Read Head.StructVersion, then use the matching view. */
typedef union FrameStruct {
    KovFrameHead Head;
    FrameStructV1 V1;
    FrameStructV2 V2;
    FrameStructV3 V3;
    FrameStructV4 V4;
    FrameStructV5 V5;
    FrameStructV6 V6;
    FrameStructV7 V7;
    KovFrameSlot Slots[KOV_FRAME_MAX_SLOTS];
} FrameStruct;

#define KOV_SLOT_AT(type, field, index)                                                                      \
    KOV_STATIC_ASSERT(offsetof(type, field) == (index) * sizeof(KovFrameSlot), #type "." #field " slot")

KOV_SLOT_AT(FrameStructV1, StructVersion, KOV_FS_StructVersion);
KOV_SLOT_AT(FrameStructV1, StructSize, KOV_FS_StructSize);
KOV_SLOT_AT(FrameStructV1, LogMessageP, KOV_FS1_LogMessageP);
KOV_SLOT_AT(FrameStructV1, PutBufferWordP, KOV_FS1_PutBufferWordP);
KOV_SLOT_AT(FrameStructV1, GetBufferWordP, KOV_FS1_GetBufferWordP);
KOV_SLOT_AT(FrameStructV1, Zero, KOV_FS1_Zero);
KOV_STATIC_ASSERT(sizeof(FrameStructV1) == KOV_FS1_SLOTS * sizeof(KovFrameSlot), "version 1 size");

KOV_SLOT_AT(FrameStructV2, LogMessageP, KOV_FS2_LogMessageP);
KOV_SLOT_AT(FrameStructV2, PutBufferWordP, KOV_FS2_PutBufferWordP);
KOV_SLOT_AT(FrameStructV2, GetBufferWordP, KOV_FS2_GetBufferWordP);
KOV_SLOT_AT(FrameStructV2, ReservedZeroP, KOV_FS2_ReservedZeroP);
KOV_SLOT_AT(FrameStructV2, Zero, KOV_FS2_Zero);
KOV_STATIC_ASSERT(sizeof(FrameStructV2) == KOV_FS2_SLOTS * sizeof(KovFrameSlot), "version 2 size");

KOV_SLOT_AT(FrameStructV3, LogMessageP, KOV_FS3_LogMessageP);
KOV_SLOT_AT(FrameStructV3, PutBufferWordP, KOV_FS3_PutBufferWordP);
KOV_SLOT_AT(FrameStructV3, GetBufferWordP, KOV_FS3_GetBufferWordP);
KOV_SLOT_AT(FrameStructV3, PutBufferByteP, KOV_FS3_PutBufferByteP);
KOV_SLOT_AT(FrameStructV3, GetBufferByteP, KOV_FS3_GetBufferByteP);
KOV_SLOT_AT(FrameStructV3, WriteStringP, KOV_FS3_WriteStringP);
KOV_SLOT_AT(FrameStructV3, ReadStringP, KOV_FS3_ReadStringP);
KOV_SLOT_AT(FrameStructV3, Null, KOV_FS3_Null);
KOV_SLOT_AT(FrameStructV3, Zero, KOV_FS3_Zero);
KOV_STATIC_ASSERT(sizeof(FrameStructV3) == KOV_FS3_SLOTS * sizeof(KovFrameSlot), "version 3 size");

KOV_SLOT_AT(FrameStructV4, LogMessageP, KOV_FS4_LogMessageP);
KOV_SLOT_AT(FrameStructV4, PutBufferWordP, KOV_FS4_PutBufferWordP);
KOV_SLOT_AT(FrameStructV4, GetBufferWordP, KOV_FS4_GetBufferWordP);
KOV_SLOT_AT(FrameStructV4, PutBufferByteP, KOV_FS4_PutBufferByteP);
KOV_SLOT_AT(FrameStructV4, GetBufferByteP, KOV_FS4_GetBufferByteP);
KOV_SLOT_AT(FrameStructV4, WriteStringP, KOV_FS4_WriteStringP);
KOV_SLOT_AT(FrameStructV4, ReadStringP, KOV_FS4_ReadStringP);
KOV_SLOT_AT(FrameStructV4, Null, KOV_FS4_Null);
KOV_SLOT_AT(FrameStructV4, Inert1, KOV_FS4_Inert1);
KOV_SLOT_AT(FrameStructV4, Inert2, KOV_FS4_Inert2);
KOV_SLOT_AT(FrameStructV4, Zero, KOV_FS4_Zero);
KOV_STATIC_ASSERT(sizeof(FrameStructV4) == KOV_FS4_SLOTS * sizeof(KovFrameSlot), "version 4 size");

KOV_SLOT_AT(FrameStructV5, LogMessageP, KOV_FS5_LogMessageP);
KOV_SLOT_AT(FrameStructV5, PutBufferWordP, KOV_FS5_PutBufferWordP);
KOV_SLOT_AT(FrameStructV5, GetBufferWordP, KOV_FS5_GetBufferWordP);
KOV_SLOT_AT(FrameStructV5, PutBufferByteP, KOV_FS5_PutBufferByteP);
KOV_SLOT_AT(FrameStructV5, GetBufferByteP, KOV_FS5_GetBufferByteP);
KOV_SLOT_AT(FrameStructV5, SetSplitsSetsP, KOV_FS5_SetSplitsSetsP);
KOV_SLOT_AT(FrameStructV5, Inert1, KOV_FS5_Inert1);
KOV_SLOT_AT(FrameStructV5, Inert2, KOV_FS5_Inert2);
KOV_SLOT_AT(FrameStructV5, WriteStringP, KOV_FS5_WriteStringP);
KOV_SLOT_AT(FrameStructV5, ReadStringP, KOV_FS5_ReadStringP);
KOV_SLOT_AT(FrameStructV5, WriteBoolP, KOV_FS5_WriteBoolP);
KOV_SLOT_AT(FrameStructV5, ReadBoolP, KOV_FS5_ReadBoolP);
KOV_SLOT_AT(FrameStructV5, WriteIntP, KOV_FS5_WriteIntP);
KOV_SLOT_AT(FrameStructV5, ReadIntP, KOV_FS5_ReadIntP);
KOV_SLOT_AT(FrameStructV5, WriteFloatP, KOV_FS5_WriteFloatP);
KOV_SLOT_AT(FrameStructV5, ReadFloatP, KOV_FS5_ReadFloatP);
KOV_SLOT_AT(FrameStructV5, WriteString3P, KOV_FS5_WriteString3P);
KOV_SLOT_AT(FrameStructV5, ReadString3P, KOV_FS5_ReadString3P);
KOV_SLOT_AT(FrameStructV5, WriteBool3P, KOV_FS5_WriteBool3P);
KOV_SLOT_AT(FrameStructV5, ReadBool3P, KOV_FS5_ReadBool3P);
KOV_SLOT_AT(FrameStructV5, WriteInt3P, KOV_FS5_WriteInt3P);
KOV_SLOT_AT(FrameStructV5, ReadInt3P, KOV_FS5_ReadInt3P);
KOV_SLOT_AT(FrameStructV5, WriteFloat3P, KOV_FS5_WriteFloat3P);
KOV_SLOT_AT(FrameStructV5, ReadFloat3P, KOV_FS5_ReadFloat3P);
KOV_SLOT_AT(FrameStructV5, Zero, KOV_FS5_Zero);
KOV_STATIC_ASSERT(sizeof(FrameStructV5) == KOV_FS5_SLOTS * sizeof(KovFrameSlot), "version 5 size");

KOV_SLOT_AT(FrameStructV6, LogMessageP, KOV_FS6_LogMessageP);
KOV_SLOT_AT(FrameStructV6, PutBufferWordP, KOV_FS6_PutBufferWordP);
KOV_SLOT_AT(FrameStructV6, GetBufferWordP, KOV_FS6_GetBufferWordP);
KOV_SLOT_AT(FrameStructV6, PutBufferByteP, KOV_FS6_PutBufferByteP);
KOV_SLOT_AT(FrameStructV6, GetBufferByteP, KOV_FS6_GetBufferByteP);
KOV_SLOT_AT(FrameStructV6, SetSplitsSetsP, KOV_FS6_SetSplitsSetsP);
KOV_SLOT_AT(FrameStructV6, WriteStringP, KOV_FS6_WriteStringP);
KOV_SLOT_AT(FrameStructV6, ReadStringP, KOV_FS6_ReadStringP);
KOV_SLOT_AT(FrameStructV6, WriteBoolP, KOV_FS6_WriteBoolP);
KOV_SLOT_AT(FrameStructV6, ReadBoolP, KOV_FS6_ReadBoolP);
KOV_SLOT_AT(FrameStructV6, WriteIntP, KOV_FS6_WriteIntP);
KOV_SLOT_AT(FrameStructV6, ReadIntP, KOV_FS6_ReadIntP);
KOV_SLOT_AT(FrameStructV6, WriteFloatP, KOV_FS6_WriteFloatP);
KOV_SLOT_AT(FrameStructV6, ReadFloatP, KOV_FS6_ReadFloatP);
KOV_SLOT_AT(FrameStructV6, WriteString3P, KOV_FS6_WriteString3P);
KOV_SLOT_AT(FrameStructV6, ReadString3P, KOV_FS6_ReadString3P);
KOV_SLOT_AT(FrameStructV6, WriteBool3P, KOV_FS6_WriteBool3P);
KOV_SLOT_AT(FrameStructV6, ReadBool3P, KOV_FS6_ReadBool3P);
KOV_SLOT_AT(FrameStructV6, WriteInt3P, KOV_FS6_WriteInt3P);
KOV_SLOT_AT(FrameStructV6, ReadInt3P, KOV_FS6_ReadInt3P);
KOV_SLOT_AT(FrameStructV6, WriteFloat3P, KOV_FS6_WriteFloat3P);
KOV_SLOT_AT(FrameStructV6, ReadFloat3P, KOV_FS6_ReadFloat3P);
KOV_SLOT_AT(FrameStructV6, PushStatusP, KOV_FS6_PushStatusP);
KOV_SLOT_AT(FrameStructV6, PopStatusP, KOV_FS6_PopStatusP);
KOV_SLOT_AT(FrameStructV6, Zero, KOV_FS6_Zero);
KOV_STATIC_ASSERT(sizeof(FrameStructV6) == KOV_FS6_SLOTS * sizeof(KovFrameSlot), "version 6 size");

KOV_SLOT_AT(FrameStructV7, LogMessageP, KOV_FS7_LogMessageP);
KOV_SLOT_AT(FrameStructV7, PutBufferWordP, KOV_FS7_PutBufferWordP);
KOV_SLOT_AT(FrameStructV7, GetBufferWordP, KOV_FS7_GetBufferWordP);
KOV_SLOT_AT(FrameStructV7, PutBufferByteP, KOV_FS7_PutBufferByteP);
KOV_SLOT_AT(FrameStructV7, GetBufferByteP, KOV_FS7_GetBufferByteP);
KOV_SLOT_AT(FrameStructV7, SetSplitsSetsP, KOV_FS7_SetSplitsSetsP);
KOV_SLOT_AT(FrameStructV7, WriteStringP, KOV_FS7_WriteStringP);
KOV_SLOT_AT(FrameStructV7, ReadStringP, KOV_FS7_ReadStringP);
KOV_SLOT_AT(FrameStructV7, WriteBoolP, KOV_FS7_WriteBoolP);
KOV_SLOT_AT(FrameStructV7, ReadBoolP, KOV_FS7_ReadBoolP);
KOV_SLOT_AT(FrameStructV7, WriteIntP, KOV_FS7_WriteIntP);
KOV_SLOT_AT(FrameStructV7, ReadIntP, KOV_FS7_ReadIntP);
KOV_SLOT_AT(FrameStructV7, WriteFloatP, KOV_FS7_WriteFloatP);
KOV_SLOT_AT(FrameStructV7, ReadFloatP, KOV_FS7_ReadFloatP);
KOV_SLOT_AT(FrameStructV7, WriteString3P, KOV_FS7_WriteString3P);
KOV_SLOT_AT(FrameStructV7, ReadString3P, KOV_FS7_ReadString3P);
KOV_SLOT_AT(FrameStructV7, WriteBool3P, KOV_FS7_WriteBool3P);
KOV_SLOT_AT(FrameStructV7, ReadBool3P, KOV_FS7_ReadBool3P);
KOV_SLOT_AT(FrameStructV7, WriteInt3P, KOV_FS7_WriteInt3P);
KOV_SLOT_AT(FrameStructV7, ReadInt3P, KOV_FS7_ReadInt3P);
KOV_SLOT_AT(FrameStructV7, WriteFloat3P, KOV_FS7_WriteFloat3P);
KOV_SLOT_AT(FrameStructV7, ReadFloat3P, KOV_FS7_ReadFloat3P);
KOV_SLOT_AT(FrameStructV7, PushStatusP, KOV_FS7_PushStatusP);
KOV_SLOT_AT(FrameStructV7, PopStatusP, KOV_FS7_PopStatusP);
KOV_SLOT_AT(FrameStructV7, MessageBoxP, KOV_FS7_MessageBoxP);
KOV_SLOT_AT(FrameStructV7, ProgressBoxP, KOV_FS7_ProgressBoxP);
KOV_SLOT_AT(FrameStructV7, ProgressStepP, KOV_FS7_ProgressStepP);
KOV_SLOT_AT(FrameStructV7, Zero, KOV_FS7_Zero);
KOV_STATIC_ASSERT(sizeof(FrameStructV7) == KOV_FS7_SLOTS * sizeof(KovFrameSlot), "version 7 size");
KOV_STATIC_ASSERT(sizeof(FrameStruct) == KOV_FRAME_MAX_SLOTS * sizeof(KovFrameSlot), "largest version");

/* In a 32-bit build the byte offsets are those of the published table. */
#if UINTPTR_MAX == 0xFFFFFFFFu
KOV_STATIC_ASSERT(offsetof(FrameStructV5, WriteStringP) == 40, "32-bit offset of V5 WriteStringP");
KOV_STATIC_ASSERT(offsetof(FrameStructV6, WriteStringP) == 32, "32-bit offset of V6 WriteStringP");
KOV_STATIC_ASSERT(offsetof(FrameStructV7, MessageBoxP) == 104, "32-bit offset of V7 MessageBoxP");
KOV_STATIC_ASSERT(sizeof(FrameStructV1) == 24 && sizeof(FrameStructV2) == 28 && sizeof(FrameStructV3) == 44 &&
                      sizeof(FrameStructV4) == 52 && sizeof(FrameStructV5) == 108 &&
                      sizeof(FrameStructV6) == 108 && sizeof(FrameStructV7) == 120,
                  "32-bit sizes of the framework structure");
#endif

/* ============================================================================================
 * Records returned by libraries (fixed byte layouts, little-endian, the same in every build).
 * String fields are 8-bit text ending in a NUL inside the field.
 * ========================================================================================== */

#define KOV_RECORD_TYPE1 1
#define KOV_RECORD_TYPE2 2

/* Device record, returned by GetNextDevice(). A type 1 record may end before ProgrammerMask
 * (KOV_DEVICE_RECORD_TYPE1_SIZE bytes); the framework reads the mask of type 2 records only. */
typedef struct KovDeviceRecord {
    int32_t RecordType;          /* 1 or 2 */
    char DeviceName[64];         /* "27C256" */
    char Manufacturer[64];       /* "Atmel" */
    char DeviceType[16];         /* category, e.g. "EPROM" */
    int32_t DataWidth;           /* bits */
    unsigned char Reserved1[4];  /* not read by the framework */
    char Package[16];            /* "DIP" */
    int32_t PinCount;            /* 28 */
    unsigned char Reserved2[72]; /* not read by the framework */
    uint32_t ProgrammerMask;     /* type 2: offered to programmer id P when (mask & P) == P */
} KovDeviceRecord;

#define KOV_DEVICE_RECORD_TYPE1_SIZE 248
#define KOV_DEVICE_RECORD_TYPE2_SIZE 252

KOV_STATIC_ASSERT(offsetof(KovDeviceRecord, RecordType) == 0, "device record: type");
KOV_STATIC_ASSERT(offsetof(KovDeviceRecord, DeviceName) == 4, "device record: name");
KOV_STATIC_ASSERT(offsetof(KovDeviceRecord, Manufacturer) == 68, "device record: manufacturer");
KOV_STATIC_ASSERT(offsetof(KovDeviceRecord, DeviceType) == 132, "device record: device type");
KOV_STATIC_ASSERT(offsetof(KovDeviceRecord, DataWidth) == 148, "device record: data width");
KOV_STATIC_ASSERT(offsetof(KovDeviceRecord, Package) == 156, "device record: package");
KOV_STATIC_ASSERT(offsetof(KovDeviceRecord, PinCount) == 172, "device record: pin count");
KOV_STATIC_ASSERT(offsetof(KovDeviceRecord, ProgrammerMask) == KOV_DEVICE_RECORD_TYPE1_SIZE, "device record: mask");
KOV_STATIC_ASSERT(sizeof(KovDeviceRecord) == KOV_DEVICE_RECORD_TYPE2_SIZE, "device record: size");

/* Extra-function record, returned by GetNextMiscFunct(). A type 1 record may end before Tooltip
 * (KOV_MISC_RECORD_TYPE1_SIZE bytes); the framework reads the tooltip of type 2 records only.
 * Name must be shorter than 64 characters, GlyphName shorter than 16, Tooltip shorter than 128
 * and Identifier within 1 to 254, or the record is skipped. */
typedef struct KovMiscFunctRecord {
    int32_t RecordType; /* 1 or 2 */
    char Name[64];      /* button and menu caption */
    char GlyphName[16]; /* bitmap resource of the library (see KOV_EXPORT_BITMAP); "" for none */
    int32_t GlyphCount; /* images side by side in the bitmap; 0 = no glyph */
    int32_t Identifier; /* 1..254, passed to MiscFunctDispatch */
    char Tooltip[128];  /* type 2 only */
} KovMiscFunctRecord;

#define KOV_MISC_RECORD_TYPE1_SIZE 92
#define KOV_MISC_RECORD_TYPE2_SIZE 220

KOV_STATIC_ASSERT(offsetof(KovMiscFunctRecord, Name) == 4, "extra-function record: name");
KOV_STATIC_ASSERT(offsetof(KovMiscFunctRecord, GlyphName) == 68, "extra-function record: glyph name");
KOV_STATIC_ASSERT(offsetof(KovMiscFunctRecord, GlyphCount) == 84, "extra-function record: glyph count");
KOV_STATIC_ASSERT(offsetof(KovMiscFunctRecord, Identifier) == 88, "extra-function record: identifier");
KOV_STATIC_ASSERT(offsetof(KovMiscFunctRecord, Tooltip) == KOV_MISC_RECORD_TYPE1_SIZE, "extra-function record: tooltip");
KOV_STATIC_ASSERT(sizeof(KovMiscFunctRecord) == KOV_MISC_RECORD_TYPE2_SIZE, "extra-function record: size");

/* Device-spec record, returned by a programmer library's get_device_spec(). Only Version 1 is
 * understood. FamilyModule is read up to its NUL, never past the end of this record. */
typedef struct KovDeviceSpecRecord {
    int32_t Version;              /* 1 */
    unsigned char Reserved[68];   /* not read by the framework */
    char SocketModule[16];
    char FamilyModule[168];
} KovDeviceSpecRecord;

#define KOV_DEVICE_SPEC_VERSION 1

KOV_STATIC_ASSERT(offsetof(KovDeviceSpecRecord, SocketModule) == 72, "device-spec record: socket module");
KOV_STATIC_ASSERT(offsetof(KovDeviceSpecRecord, FamilyModule) == 88, "device-spec record: family module");
KOV_STATIC_ASSERT(sizeof(KovDeviceSpecRecord) == 256, "device-spec record: size");

/* ============================================================================================
 * Programmer library exports (dlsym by exact name). Required: init_programmer,
 * get_programmer_name, turn_off_programmer, get_error, framework_version, setup_framework.
 * ========================================================================================== */

/* (port text buffer of 256 bytes, 254, receives a version) -> nonzero: found, and the buffer now
 * holds the port text to use. */
typedef int KovInitProgrammerFn(char* port, int size, int* version);
/* (buffer of 256 bytes, first byte 0; 256) -> result ignored; the buffer holds the name. */
typedef int KovGetProgrammerNameFn(char* name, int size);
/* -> programmer id; 0 = none given (the framework then uses KOV_DEFAULT_PROGRAMMER_ID). */
typedef int KovGetProgrammerIdFn(void);
/* (edition identifier) -> 0 refuses to run under this edition. */
typedef int KovSetOemFn(const char* editionId);
/* -> result ignored. */
typedef int KovTurnOffProgrammerFn(void);
/* (0, 0, 0, the caller's 16-bit status value) -> negative = failure. Polled by the auto
 * sequence for programmer id 2: a status of 0 means "start pressed". */
typedef int KovMiscReadFn(int arg1, int arg2, int arg3, uint16_t* status);
/* -> the framework structure version wanted (1..7; 8..64 receive 7). Device libraries too. */
typedef int KovFrameworkVersionFn(void);
/* (the framework structure, valid only during the call) -> low 8 bits nonzero = accepted.
 * Device libraries too. */
typedef int KovSetupFrameworkFn(const FrameStruct* frame);
/* -> the library's device-spec record, or null. Read at once by the framework. */
typedef const KovDeviceSpecRecord* KovGetDeviceSpecFn(void);
/* -> the captions of the auxiliary commands, one per line (CR, LF or CR LF). */
typedef const char* KovGetAuxMenuTFn(void);
/* (command number, 1-based line of GetAuxMenuT) -> result ignored. */
typedef int KovAuxDispatchFn(int command);

/* Looked up and kept, but never called by the framework; their parameters are the library's own. */
typedef int KovInitDeviceFn(void);
typedef int KovGetErrorFn(void);
typedef int KovSetStatusModeFn(void);
typedef int KovSetBufferModeFn(void);
typedef int KovGetDeviceIdFn(void);
typedef int KovGetProgrammerResultFn(void);
typedef int KovMiscWriteFn(void);

/* ============================================================================================
 * Device library exports (dlsym by name as written, then with a leading underscore).
 * Required: ReadDevice, GetDeviceWordSize, GetDeviceSize, ResetDeviceRecordPtr, GetNextDevice,
 * SelectDevice, setup_prog_dll, framework_version, setup_framework.
 *
 * start and end are device words (first and last of the range, inclusive). image is the device
 * image of (end - start + 1) words, each word's bytes lowest first, bytes per word = the device
 * width rounded up to whole bytes (a width of 0 counts as 8 bits). Writing past its end is a
 * fault that the framework detects and reports in debug mode.
 * ========================================================================================== */

/* -> 1 = read; anything else is a failure code. */
typedef int KovReadDeviceFn(uint32_t start, uint32_t end, unsigned char* image);
/* -> 1 = programmed. */
typedef int KovProgramDeviceFn(uint32_t start, uint32_t end, const unsigned char* image);
/* -> 1 = erased. */
typedef int KovEraseDeviceFn(uint32_t start, uint32_t end);
/* -> 1 = the device matches the image. */
typedef int KovVerifyDeviceFn(uint32_t start, uint32_t end, const unsigned char* image);
/* -> 1 = blank. */
typedef int KovBlankCheckDeviceFn(uint32_t start, uint32_t end);
/* (the checksum, zeroed by the caller) -> 1 = the checksum holds the device checksum. */
typedef int KovChecksumDeviceFn(uint32_t start, uint32_t end, uint32_t* checksum);
/* -> 1 = the checksum holds the library's last checksum. */
typedef int KovGetLastChecksumFn(uint32_t start, uint32_t end, uint32_t* checksum);
/* (image filled from the buffer) -> 1 = the checksum holds the checksum of that data. */
typedef int KovGetBufferChecksumFn(uint32_t start, uint32_t end, uint32_t* checksum, const unsigned char* image);
/* After a successful SelectDevice: the device word width in bits. */
typedef int KovGetDeviceWordSizeFn(void);
/* After a successful SelectDevice: the device size in words. */
typedef uint32_t KovGetDeviceSizeFn(void);
/* -> 32-bit pattern (bytes used lowest first) with which a read image is prefilled. */
typedef uint32_t KovGetEraseValueFn(void);
/* -> result ignored; restarts the device enumeration. */
typedef int KovResetDeviceRecordPtrFn(void);
/* -> the next device record, or null at the end. Stays owned by the library; read at once. */
typedef const KovDeviceRecord* KovGetNextDeviceFn(void);
/* (name, manufacturer, package: copies cut to 49, 49 and 14 characters; pins; width in bits)
 * -> low 8 bits equal to 1 = selected. */
typedef int KovSelectDeviceFn(const char* deviceName, const char* manufacturer, const char* package, int pinCount,
                              int dataWidth);
/* (path of the bound programmer library) -> low 8 bits nonzero = bound. */
typedef int KovSetupProgDllFn(const char* programmerLibraryPath);
/* -> the next extra-function record, or null at the end. Read at once. */
typedef const KovMiscFunctRecord* KovGetNextMiscFunctFn(void);
/* -> result ignored; restarts the extra-function enumeration. */
typedef int KovResetMiscFunctFn(void);
/* (identifier from the record) -> result ignored. */
typedef int KovMiscFunctDispatchFn(int identifier);
/* get_error of a device library: looked up, never called (KovGetErrorFn). */

/* ============================================================================================
 * Bitmap resources (the glyphs of extra functions)
 *
 * A library exports a bitmap named N as an object `kov_bitmap_N` of type KovBitmapResource that
 * points at the bytes of a PNG or BMP file. N is the record's GlyphName, matched exactly (so it
 * has to be usable in a C identifier: letters, digits, underscores). For a glyph with several
 * images, the images lie side by side, each as wide as the bitmap's width / GlyphCount.
 *
 *     static const unsigned char erase_png[] = { 0x89, 'P', 'N', 'G', ... };
 *     KOV_EXPORT_BITMAP(ERASE, erase_png, sizeof erase_png);
 * ========================================================================================== */

#define KOV_BITMAP_SYMBOL_PREFIX "kov_bitmap_"
/* Larger resources are refused. */
#define KOV_BITMAP_MAX_SIZE (16u * 1024u * 1024u)

typedef struct KovBitmapResource {
    const unsigned char* Data; /* PNG or BMP file bytes */
    uint32_t Size;             /* bytes at Data */
} KovBitmapResource;

#define KOV_EXPORT_BITMAP(name, data, size) KOV_EXPORT const KovBitmapResource kov_bitmap_##name = {(data), (size)}

#ifdef __cplusplus
}
#endif

#endif /* KOV_PLUGIN_H */
