/* Shared by the table-driven test libraries: each loaded copy reads its behaviour from a text file
 * next to itself ("<library path>.table"), so one build can be copied into a folder many times
 * under other names, each copy with its own table. */
#ifndef DEVLIST_TABLE_COMMON_H
#define DEVLIST_TABLE_COMMON_H

#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "kov_plugin.h"

/* The path of this loaded copy with a suffix, or "" when it cannot be found. */
static void table_path(char* out, size_t size, const char* suffix) {
    Dl_info info;
    out[0] = 0;
    if (!dladdr((void*)&table_path, &info) || !info.dli_fname) return;
    snprintf(out, size, "%s%s", info.dli_fname, suffix);
}

/* Opens "<library path>.table" for reading, or returns null. */
static FILE* open_table(void) {
    char path[4096];
    table_path(path, sizeof path, ".table");
    return path[0] ? fopen(path, "r") : NULL;
}

/* Removes the line end. */
static void chomp(char* line) {
    size_t n = strlen(line);
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = 0;
}

/* Copies at most size - 1 bytes and terminates. */
static void copy_text(char* to, size_t size, const char* from) {
    size_t n = strlen(from);
    if (n >= size) n = size - 1;
    memcpy(to, from, n);
    to[n] = 0;
}

/* Appends a line to "<library path>.log" so that tests can see what the library was handed. */
static void log_line(const char* what, const char* text) {
    char path[4096];
    FILE* log;
    table_path(path, sizeof path, ".log");
    if (!path[0] || !(log = fopen(path, "a"))) return;
    fprintf(log, "%s %s\n", what, text);
    fclose(log);
}

KOV_EXPORT KovFrameworkVersionFn framework_version;
KOV_EXPORT int framework_version(void) {
    return 7;
}

KOV_EXPORT KovSetupFrameworkFn setup_framework;
KOV_EXPORT int setup_framework(const FrameStruct* fs) {
    return fs != NULL;
}

#endif
