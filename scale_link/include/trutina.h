/* Public interface of the scale link library TRUTINA (libtrutina.so).
 *
 * The library owns one serial port, counts and identifies the balances
 * chained on it and polls their weights on a worker thread of its own.
 * Callers load it by file name and look up the two functions below; this
 * header also describes the block of readings that FreshData fills. */
#ifndef TRUTINA_H
#define TRUTINA_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Chooses the port (1..4 for COM1..COM4, any other value searches all four)
 * and restarts the port search. The first call starts the worker and returns
 * nonzero when it started; every later call returns 0. */
int32_t SetComPort(int32_t port);

/* Copies the link state and all reading tables into block, which must have
 * room for TRUTINA_BLOCK_WORDS words. Returns nonzero; 0 for a null block. */
int32_t FreshData(int32_t *block);

/* Optional, Linux only: assigns the device path (such as
 * /dev/serial/by-id/...) that port 1..4 opens from its next open on; an empty
 * or null path removes the assignment. The environment variable
 * TRUTINA_COM1..4 still wins over it. Returns nonzero, 0 for a port out of
 * range. Callers look it up by name and do without it when it is missing. */
int32_t SetPortDevice(int32_t port, const char *path);

typedef int32_t (*TrutinaSetComPortFn)(int32_t port);
typedef int32_t (*TrutinaFreshDataFn)(int32_t *block);
typedef int32_t (*TrutinaSetPortDeviceFn)(int32_t port, const char *path);

#define TRUTINA_BLOCK_WORDS 132
#define TRUTINA_MAX_BALANCES 15
#define TRUTINA_TABLE_SLOTS 16

/* Header words of the block. */
enum TrutinaHeaderWord {
    TRUTINA_WORD_VERSION = 0,
    TRUTINA_WORD_LINK_STATE = 1,
    TRUTINA_WORD_CURRENT_PORT = 2,
    TRUTINA_WORD_BALANCE_COUNT = 3
};

/* Eight tables of TRUTINA_TABLE_SLOTS words each follow the header,
 * indexed by balance position 1..15 (slot 0 is never used). */
enum TrutinaTable {
    TRUTINA_TABLE_MODEL_CODE = 0,
    TRUTINA_TABLE_IDENT_NUMBER = 1,
    TRUTINA_TABLE_READING_COUNT = 2,
    TRUTINA_TABLE_STABLE_FLAG = 3,
    TRUTINA_TABLE_UNIT_CODE = 4,
    TRUTINA_TABLE_DIVISOR = 5,
    TRUTINA_TABLE_RAW_VALUE = 6,
    TRUTINA_TABLE_TIME_OF_DAY = 7
};

#define TRUTINA_HEADER_WORDS 4
/* Index of the word of table t for balance position p. */
#define TRUTINA_WORD(t, p) (TRUTINA_HEADER_WORDS + TRUTINA_TABLE_SLOTS * (t) + (p))

#define TRUTINA_VERSION 65538 /* 1 in the high half, 2 in the low half */

enum TrutinaLinkState {
    TRUTINA_LINK_SETTING_UP = 101,  /* a port is being opened */
    TRUTINA_LINK_INITIALISING = 102, /* balances are counted and identified */
    TRUTINA_LINK_ONLINE = 103        /* weights are polled */
};

/* Unit codes: 200 g, 201 ct, 202 %, 203 pc, 204 mg, 205 kg, 206 o, 207 ot;
 * 100 before the first reading. */
enum TrutinaUnitCode {
    TRUTINA_UNIT_NONE = 100,
    TRUTINA_UNIT_FIRST = 200,
    TRUTINA_UNIT_LAST = 207
};

/* Model codes: 100 unknown; 1 or 2 when only the kind is known;
 * 300..311 models of kind 1; 400..404 models of kind 2. */
enum TrutinaModelCode {
    TRUTINA_MODEL_UNKNOWN = 100,
    TRUTINA_KIND_1 = 1,
    TRUTINA_KIND_2 = 2,
    TRUTINA_MODEL_KIND1_FIRST = 300,
    TRUTINA_MODEL_KIND1_LAST = 311,
    TRUTINA_MODEL_KIND2_FIRST = 400,
    TRUTINA_MODEL_KIND2_LAST = 404
};

#ifdef __cplusplus
}
#endif

#endif /* TRUTINA_H */
