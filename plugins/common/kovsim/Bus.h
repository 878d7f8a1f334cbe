#pragma once
/* How a simulated device library drives the chip in the socket of a simulated programmer
 * library. The device library gets the programmer library's path through setup_prog_dll, opens
 * it and asks its export kovsim_bus() for this table. Plain C, so that the two libraries only
 * share this layout, never C++ objects. */
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KOVSIM_BUS_SYMBOL "kovsim_bus"
#define KOVSIM_BUS_VERSION 1

typedef struct KovSimChipInfo {
    const char* Maker;
    const char* Name;
    const char* Package;
    const char* Family; /* shown as the programmer's family module */
    uint32_t Width;     /* bits of a chip word, 1 to 16 */
    uint32_t Words;
    uint16_t MfrId;    /* 0xFFFF: none */
    uint16_t DevId;    /* 0xFFFF: none */
    int WriteReplaces; /* 1: a write sets the word (EEPROM); 0: it can only clear bits */
} KovSimChipInfo;

/* Functions return 1 for success and 0 for failure unless said otherwise. */
typedef struct KovSimBus {
    uint32_t Version;
    int (*ProgrammerId)(void);                 /* 0 for the demo, which takes every device */
    const char* (*Model)(void);                /* "KOV22" */
    int (*Attach)(const KovSimChipInfo* chip); /* that part's chip goes into the socket */
    void (*BeginOperation)(void);              /* re-reads the session's faults and timing */
    int (*Present)(void);                      /* a chip is in the socket */
    int (*ReadIds)(uint16_t* mfr, uint16_t* dev);
    int (*Read)(uint32_t first, uint32_t count, uint16_t* words);
    int (*Write)(uint32_t address, uint16_t value); /* one write cycle or programming pulse */
    int (*Erase)(uint32_t first, uint32_t count);
    int (*EraseAll)(void);          /* every word and the extra cells */
    uint64_t (*GetExtra)(int cell); /* security fuse, protection bits, ... (cells 0 to 7) */
    int (*SetExtra)(int cell, uint64_t value);
    double (*TimeScale)(void); /* 0: instant; 1: the chip's real timing */
    int (*Commit)(void);       /* keeps the chip's state; tells the user when it cannot */
} KovSimBus;

typedef const KovSimBus* KovSimBusFn(void);

#ifdef __cplusplus
}
#endif
