/* Table-driven device library. Its table file holds one device record a line:
 *     type|name|manufacturer|device type|width|package|pins|mask
 * and optionally the line "refuse" (SelectDevice refuses every device) or "endless" (GetNextDevice
 * never ends, always answering the first record). */
#include "devlist_table_common.h"

static KovDeviceRecord* records;
static int recordCount;
static int nextRecord;
static int refuse;
static int endless;
static int selectedWidth = 8;

static void split_record(char* line) {
    char* fields[8];
    int n = 0;
    KovDeviceRecord* r;
    char* p = line;
    while (n < 8) {
        fields[n++] = p;
        p = strchr(p, '|');
        if (!p) break;
        *p++ = 0;
    }
    if (n < 8) return;
    records = realloc(records, (size_t)(recordCount + 1) * sizeof *records);
    r = &records[recordCount++];
    memset(r, 0, sizeof *r);
    r->RecordType = atoi(fields[0]);
    copy_text(r->DeviceName, sizeof r->DeviceName, fields[1]);
    copy_text(r->Manufacturer, sizeof r->Manufacturer, fields[2]);
    copy_text(r->DeviceType, sizeof r->DeviceType, fields[3]);
    r->DataWidth = atoi(fields[4]);
    copy_text(r->Package, sizeof r->Package, fields[5]);
    r->PinCount = atoi(fields[6]);
    r->ProgrammerMask = (uint32_t)strtoul(fields[7], NULL, 0);
}

static void load_table(void) {
    char line[1024];
    FILE* table = open_table();
    free(records);
    records = NULL;
    recordCount = 0;
    refuse = 0;
    endless = 0;
    if (!table) return;
    while (fgets(line, sizeof line, table)) {
        chomp(line);
        if (strcmp(line, "refuse") == 0) {
            refuse = 1;
        } else if (strcmp(line, "endless") == 0) {
            endless = 1;
        } else if (line[0] && line[0] != '#') {
            split_record(line);
        }
    }
    fclose(table);
}

__attribute__((constructor)) static void on_load(void) {
    load_table();
}

__attribute__((destructor)) static void on_unload(void) {
    free(records);
    records = NULL;
}

KOV_EXPORT KovResetDeviceRecordPtrFn ResetDeviceRecordPtr;
KOV_EXPORT int ResetDeviceRecordPtr(void) {
    load_table();
    nextRecord = 0;
    return 1;
}

KOV_EXPORT KovGetNextDeviceFn GetNextDevice;
KOV_EXPORT const KovDeviceRecord* GetNextDevice(void) {
    if (endless && recordCount > 0) return &records[0];
    return nextRecord < recordCount ? &records[nextRecord++] : NULL;
}

KOV_EXPORT KovSelectDeviceFn SelectDevice;
KOV_EXPORT int SelectDevice(const char* name, const char* maker, const char* package, int pins, int width) {
    char text[300];
    snprintf(text, sizeof text, "%s|%s|%s|%d|%d", name, maker, package, pins, width);
    log_line("select", text);
    if (refuse) return 0;
    for (int i = 0; i < recordCount; ++i) {
        const KovDeviceRecord* r = &records[i];
        if (strcmp(r->DeviceName, name) == 0 && strcmp(r->Manufacturer, maker) == 0 &&
            strcmp(r->Package, package) == 0 && r->PinCount == pins && r->DataWidth == width) {
            selectedWidth = width;
            return 1;
        }
    }
    return 0;
}

KOV_EXPORT KovSetupProgDllFn setup_prog_dll;
KOV_EXPORT int setup_prog_dll(const char* path) {
    log_line("programmer", path);
    return 1;
}

KOV_EXPORT KovReadDeviceFn ReadDevice;
KOV_EXPORT int ReadDevice(uint32_t start, uint32_t end, unsigned char* image) {
    size_t bytes = selectedWidth <= 8 ? 1 : (size_t)(selectedWidth + 7) / 8;
    memset(image, 0, ((size_t)end - start + 1) * bytes);
    return 1;
}

KOV_EXPORT KovGetDeviceWordSizeFn GetDeviceWordSize;
KOV_EXPORT int GetDeviceWordSize(void) {
    return selectedWidth;
}

KOV_EXPORT KovGetDeviceSizeFn GetDeviceSize;
KOV_EXPORT uint32_t GetDeviceSize(void) {
    return 256;
}
