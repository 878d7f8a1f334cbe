/* Helpers shared by the contract-test libraries. */
#ifndef KT_COMMON_H
#define KT_COMMON_H

#include <string.h>

#include "kt_control.h"

static void kt_copy_text(char* to, size_t size, const char* from) {
    size_t n = 0;
    if (from) {
        while (n + 1 < size && from[n]) {
            to[n] = from[n];
            ++n;
        }
    }
    to[n] = 0;
}

/* Copies the structure as a library should: no further than StructSize says. */
static void kt_copy_frame(KtFrameCopy* copy, const FrameStruct* fs) {
    size_t slots;
    ++copy->calls;
    if (!fs) {
        copy->gotNull = 1;
        return;
    }
    copy->version = fs->Head.StructVersion;
    copy->size = fs->Head.StructSize;
    slots = (size_t)copy->size / sizeof(KovFrameSlot);
    if (slots > KOV_FRAME_MAX_SLOTS) slots = KOV_FRAME_MAX_SLOTS;
    copy->slotCount = (int)slots;
    memcpy(copy->slots, fs->Slots, slots * sizeof(KovFrameSlot));
}

#endif
