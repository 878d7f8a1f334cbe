/* Table-driven programmer library. Its table file holds "key=value" lines:
 *     name=TORMEX KOV22     the programmer name
 *     id=2                  the programmer id (none: get_programmer_id is answered with 0)
 *     answer=PORT>REPLY     init_programmer finds the programmer when handed PORT ("*" = any) and
 *                           answers REPLY ("=" = the port text it was handed)
 *     oem=refuse            set_oem refuses every edition
 * Every port text it is handed is appended to "<library path>.log" as "init PORT". */
#include "devlist_table_common.h"

static char name[256];
static int id;
static int refuseOem;
static char answers[16][2][256];
static int answerCount;

static void load_table(void) {
    char line[1024];
    FILE* table = open_table();
    name[0] = 0;
    id = 0;
    refuseOem = 0;
    answerCount = 0;
    if (!table) return;
    while (fgets(line, sizeof line, table)) {
        chomp(line);
        if (strncmp(line, "name=", 5) == 0) {
            copy_text(name, sizeof name, line + 5);
        } else if (strncmp(line, "id=", 3) == 0) {
            id = atoi(line + 3);
        } else if (strcmp(line, "oem=refuse") == 0) {
            refuseOem = 1;
        } else if (strncmp(line, "answer=", 7) == 0 && answerCount < 16) {
            char* arrow = strchr(line + 7, '>');
            if (!arrow) continue;
            *arrow = 0;
            copy_text(answers[answerCount][0], 256, line + 7);
            copy_text(answers[answerCount][1], 256, arrow + 1);
            ++answerCount;
        }
    }
    fclose(table);
}

__attribute__((constructor)) static void on_load(void) {
    load_table();
}

KOV_EXPORT KovInitProgrammerFn init_programmer;
KOV_EXPORT int init_programmer(char* port, int size, int* version) {
    log_line("init", port);
    *version = 1;
    for (int i = 0; i < answerCount; ++i) {
        if (strcmp(answers[i][0], "*") == 0 || strcmp(answers[i][0], port) == 0) {
            if (strcmp(answers[i][1], "=") != 0) copy_text(port, (size_t)size, answers[i][1]);
            return 1;
        }
    }
    return 0;
}

KOV_EXPORT KovGetProgrammerNameFn get_programmer_name;
KOV_EXPORT int get_programmer_name(char* out, int size) {
    copy_text(out, (size_t)size, name);
    return 1;
}

KOV_EXPORT KovGetProgrammerIdFn get_programmer_id;
KOV_EXPORT int get_programmer_id(void) {
    return id;
}

KOV_EXPORT KovSetOemFn set_oem;
KOV_EXPORT int set_oem(const char* edition) {
    log_line("oem", edition);
    return !refuseOem;
}

KOV_EXPORT KovTurnOffProgrammerFn turn_off_programmer;
KOV_EXPORT int turn_off_programmer(void) {
    log_line("off", "");
    return 1;
}

KOV_EXPORT KovGetErrorFn get_error;
KOV_EXPORT int get_error(void) {
    return 0;
}

KOV_EXPORT KovGetAuxMenuTFn GetAuxMenuT;
KOV_EXPORT const char* GetAuxMenuT(void) {
    return "Self test\r\nCalibrate";
}

KOV_EXPORT KovAuxDispatchFn AuxDispatch;
KOV_EXPORT int AuxDispatch(int command) {
    char text[16];
    snprintf(text, sizeof text, "%d", command);
    log_line("aux", text);
    return 1;
}
