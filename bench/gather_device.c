/* A device library for the gather benchmark: a chip of any width and size held in memory.
 * Program copies the image into the chip, Read copies it back, so the library itself costs one
 * memcpy per operation, as a fast programmer link would. The benchmark sets width and size with
 * gather_bench_configure before selecting. */
#include <stdlib.h>
#include <string.h>

#include "kov_plugin.h"

static int wordBits = 16;
static uint32_t words = 1;
static unsigned char* chip;
static size_t chipBytes;

static size_t bytes_per_word(void) {
    return wordBits <= 0 ? 1 : (size_t)(wordBits + 7) / 8;
}

KOV_EXPORT int gather_bench_configure(int bits, uint32_t size) {
    wordBits = bits;
    words = size;
    free(chip);
    chipBytes = (size_t)size * bytes_per_word();
    chip = calloc(chipBytes ? chipBytes : 1, 1);
    return chip != NULL;
}

KOV_EXPORT const unsigned char* gather_bench_chip(void) {
    return chip;
}

KOV_EXPORT int framework_version(void) { return 7; }
KOV_EXPORT int setup_framework(const FrameStruct* fs) { return fs != NULL; }
KOV_EXPORT int setup_prog_dll(const char* path) { return path != NULL; }
KOV_EXPORT int ResetDeviceRecordPtr(void) { return 1; }
KOV_EXPORT const KovDeviceRecord* GetNextDevice(void) { return NULL; }
KOV_EXPORT int SelectDevice(const char* name, const char* maker, const char* package, int pins, int width) {
    (void)name; (void)maker; (void)package; (void)pins; (void)width;
    return chip != NULL;
}
KOV_EXPORT int GetDeviceWordSize(void) { return wordBits; }
KOV_EXPORT uint32_t GetDeviceSize(void) { return words; }

static int range(uint32_t start, uint32_t end, size_t* offset, size_t* length) {
    if (!chip || end < start || end >= words) return 0;
    *offset = (size_t)start * bytes_per_word();
    *length = ((size_t)end - start + 1) * bytes_per_word();
    return 1;
}

KOV_EXPORT int ReadDevice(uint32_t start, uint32_t end, unsigned char* image) {
    size_t offset, length;
    if (!range(start, end, &offset, &length)) return 0;
    memcpy(image, chip + offset, length);
    return 1;
}

KOV_EXPORT int ProgramDevice(uint32_t start, uint32_t end, const unsigned char* image) {
    size_t offset, length;
    if (!range(start, end, &offset, &length)) return 0;
    memcpy(chip + offset, image, length);
    return 1;
}
