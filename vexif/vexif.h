/* vexif.h - C interface of the Vex device library (libvexif).
 *
 * Every function returns a 32-bit status, 0 on success. All functions except
 * QV_Info take the library handle returned by QV_Initialize first. A handle
 * must be connected with QV_ConnectToServer before any other call with it.
 *
 * Pointer and length arguments are always checked: a null pointer, a buffer
 * that is too small or an out-of-range code gives QV_ERR_BAD_ARGUMENT and
 * leaves the caller's memory untouched.
 */
#ifndef VEXIF_H
#define VEXIF_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VEXIF_API __attribute__((visibility("default")))
#else
#define VEXIF_API
#endif

/* Status codes. Callers may only rely on 0 meaning success. */
enum {
    QV_OK = 0,
    QV_ERR_BAD_HANDLE = 1,         /* unknown or finalised handle */
    QV_ERR_BAD_ARGUMENT = 2,       /* null pointer, short buffer, code out of range */
    QV_ERR_NOT_CONNECTED = 3,      /* QV_ConnectToServer has not succeeded on this handle */
    QV_ERR_CONNECT_FAILED = 4,     /* the server could not be reached */
    QV_ERR_CONNECTION_LOST = 5,    /* the server went away during the call */
    QV_ERR_TIMEOUT = 6,            /* the server did not answer in time */
    QV_ERR_NO_SUCH_MODULE = 7,     /* no present module of that name / index */
    QV_ERR_MODULE_TAKEN = 8,       /* the module is held by another session */
    QV_ERR_NO_MODULE_OPEN = 9,     /* the call needs an open module */
    QV_ERR_ALREADY_CONNECTED = 10, /* QV_ConnectToServer called twice */
    QV_ERR_UNKNOWN_MODEL = 11,     /* QV_Info with a model code not in the table */
    QV_ERR_TOO_MANY_HANDLES = 12,  /* the handle table is full */
    QV_ERR_PROTOCOL = 13,          /* the server sent a reply the library cannot read */
    QV_ERR_SERVER_BUSY = 14,       /* the server refused the session (too many clients) */
    QV_ERR_INTERNAL = 15,          /* the library failed inside (e.g. out of memory) */
    QV_ERR_MODULE_GONE = 16,       /* the open module's device went away (unplugged, or its
                                      acquisition failed); the session no longer holds it */
    QV_ERR_NOT_SUPPORTED = 17      /* the server does not offer the request (an older server) */
};

/* Fixed sizes of the buffers that QV_ModInfo fills. */
#define QV_MODULE_NAME_SIZE 9 /* at most 8 characters and a terminating zero */
#define QV_MODULE_INFO_SIZE 4 /* model code, 'f'/'t', 'p', reserved */

/* Default TCP port of the counting server (port 0 in QV_ConnectToServer). */
#define QV_DEFAULT_PORT 8279

/* Model description filled by QV_Info; exactly 88 bytes. */
typedef struct QV_ModuleInfo {
    int32_t channelCount;   /*  0: number of input channels (pins) */
    int32_t sampleCount;    /*  4: samples of the capture memory */
    int32_t modelCode;      /*  8: the model code character */
    int32_t sampleRateKHz;  /* 12: highest sample rate, kHz */
    int32_t thresholdMin;   /* 16: lowest threshold, tenths of a volt */
    int32_t thresholdMax;   /* 20: highest threshold, tenths of a volt */
    int32_t armChannels;    /* 24: channels whose codes arm the counter */
    int32_t counterClockHz; /* 28: period counter clock, Hz */
    int32_t reserved32;     /* 32: zero */
    int32_t thresholdFlags; /* 36: bit 0 set when the threshold is adjustable */
    int32_t featureFlags;   /* 40: bit 1 set when the model has extended triggers */
    char modelName[44];     /* 44: zero-terminated display name, e.g. "Vex18e" */
} QV_ModuleInfo;

#define QV_MODULE_INFO_BYTES 88

/* Counter types, gate codes and edge codes of QV_FCRun. */
enum { QV_COUNT_FREQUENCY = 0, QV_COUNT_PERIOD = 1, QV_COUNT_EVENTS = 2 };
enum { QV_GATE_100MS = 0, QV_GATE_1S = 1, QV_GATE_10S = 2, QV_GATE_INFINITE = 7 };
/* Edge code: bit 0 set = first edge rising, bit 1 set = second edge rising. */
enum { QV_EDGE_FALL_FALL = 0, QV_EDGE_RISE_FALL = 1, QV_EDGE_FALL_RISE = 2, QV_EDGE_RISE_RISE = 3 };

/* Channel states in bits 0..2 of status words 1..n of QV_FCGetStatus. */
enum {
    QV_CH_IDLE = 0,
    QV_CH_COUNTING = 1,
    QV_CH_DONE = 2,
    QV_CH_FORCED_STOP = 3,
    QV_CH_GATE_TIMEOUT = 5
};
/* Bit 0 of status word 0: the counter is busy. */
#define QV_STATUS_BUSY 1u
/* Bit 1 of status word 0: the channel codes have armed the count (its gate
 * has opened). Clear while a started count still waits for its trigger and
 * when no count was started; it stays set once the count has finished. */
#define QV_STATUS_ARMED 2u

/* Allocates a session handle (a small positive integer) into *handle. */
VEXIF_API int32_t QV_Initialize(int32_t* handle);
/* Connects the session: host null = the built-in server inside this process,
 * "" = this machine, anything else a host name or address of a vexcountd.
 * port 0 = QV_DEFAULT_PORT. Once per handle.
 * The built-in server offers the simulated modules and the logic analysers
 * the environment variable VEXIF_DEVICES names: unset = every USB logic
 * analyser found (looked for in the background, again when the module list
 * is asked for); "" = none; else libsigrok device configs separated by ';',
 * each DRIVER[:key=value...], e.g. "demo" or "fx2lafw:conn=1.5"; an entry
 * that does not parse or check is left out alone and reported by
 * QV_GetDeviceProblems. */
VEXIF_API int32_t QV_ConnectToServer(int32_t handle, const char* host, int32_t port);
/* Stops the session's count, releases its module and the handle. */
VEXIF_API int32_t QV_Finalize(int32_t handle);
/* "name,version,start date,start time" of the server, cut to length - 1
 * characters and always zero-terminated; length >= 1. */
VEXIF_API int32_t QV_QueryServerID(int32_t handle, char* buffer, int32_t length);
/* Number of modules the server knows; index them 0 .. count - 1. */
VEXIF_API int32_t QV_ModCount(int32_t handle, int32_t* count);
/* name: QV_MODULE_NAME_SIZE bytes, gets the zero-terminated module name.
 * info: QV_MODULE_INFO_SIZE bytes: [0] model code, [1] 'f' free or 't' taken
 * by another session ('f' for the module this session holds), [2] 'p' present,
 * [3] zero. */
VEXIF_API int32_t QV_ModInfo(int32_t handle, int32_t index, char* name, char* info);
/* Opens the named module for this session, closing the one it held before. */
VEXIF_API int32_t QV_OpenMod(int32_t handle, const char* name);
/* *isOpen = 1 while the session holds a module, else 0. */
VEXIF_API int32_t QV_ModIsOpen(int32_t handle, int32_t* isOpen);
/* Stops the count and releases the module; no module open is not an error. */
VEXIF_API int32_t QV_CloseMod(int32_t handle);
/* Model description of modelCode ('r', 'o', 'c', 'b'); length >= 88.
 * Needs no handle and no connection. */
VEXIF_API int32_t QV_Info(int32_t modelCode, QV_ModuleInfo* info, int32_t length);
/* One character per pin, pin 0 first, no terminator: '0' / '1' steady since
 * the last read, 'R' / 'F' one rising / falling change, 'B' both.
 * length >= the open module's channel count. */
VEXIF_API int32_t QV_GetPinStatus(int32_t handle, char* buffer, int32_t length);
/* which: 0 or 1; tenthsOfVolt: 8 .. 25. Needs an open module. */
VEXIF_API int32_t QV_SetThreshold(int32_t handle, int32_t which, int32_t tenthsOfVolt);
/* run = 1 starts a count: counterType 0..2, edgeCode 0..3, gateCode 0, 1, 2 or
 * 7 (7 only for period and event counts), channelCodes 8 characters of
 * "01RFE-" for channels 0..7. run = 0 stops the count; the other arguments
 * are ignored and channelCodes may be null. Needs an open module. */
VEXIF_API int32_t QV_FCRun(int32_t handle, int32_t counterType, int32_t edgeCode, int32_t gateCode,
                           const char* channelCodes, int32_t run);
/* words[0] bit 0: busy; words[1 + i] bits 0..2: state of channel i.
 * count >= channel count + 1; words beyond that are zeroed. */
VEXIF_API int32_t QV_FCGetStatus(int32_t handle, uint32_t* words, int32_t count);
/* counts[i]: count of channel i; count >= channel count; extra entries zeroed. */
VEXIF_API int32_t QV_FCGetCounts(int32_t handle, int64_t* counts, int32_t count);

/* --- Beyond the 15 functions (library version 1.1): what the engine
 * measures besides the counts. Each struct begins with its size: the caller
 * sets it to sizeof its own struct, so that the struct can grow in later
 * versions. A size below the first version's is QV_ERR_BAD_ARGUMENT; a
 * larger one (a caller built against a later header) gets the fields this
 * library knows, and the bytes beyond them are left as they are; arrays of
 * entries are laid out at that size. A server that predates these requests
 * answers QV_ERR_NOT_SUPPORTED, and the connection stays usable. */

/* Per channel of the current or last count. Values NaN where unknown. */
typedef struct QV_ChannelMeasures {
    int32_t size;         /* sizeof(QV_ChannelMeasures), set by the caller */
    int32_t referenced;   /* 1: the count's gate and times came from a locked external
                             reference (the same for every channel of a count) */
    double frequency;     /* Hz: the best the engine has (regression, else reciprocal) */
    double period;        /* s: the mean period behind a period count, through the time base
                             (NaN for frequency and event counts) */
    double positiveWidth; /* s: mean time high */
    double negativeWidth; /* s: mean time low */
    double duty;          /* 0..1: time high / time between the first and last rising edge */
} QV_ChannelMeasures;

/* The time base of the open module. */
typedef struct QV_TimeBase {
    int32_t size;        /* sizeof(QV_TimeBase), set by the caller */
    int32_t channel;     /* the reference's channel, -1 without one */
    int32_t locked;      /* 1 while the reference's estimate times the counts */
    int32_t reserved;    /* zero */
    double referenceHz;  /* the reference's nominal frequency, 0 without one */
    double offsetPpm;    /* (measured / nominal rate - 1) x 1e6 while locked, else 0: positive
                            when the analyser samples faster than it claims (unreferenced
                            frequencies then read low) */
    double measuredRate; /* samples/s the counts use now (the estimate while locked) */
    double nominalRate;  /* samples/s the device claims (0: not sampled, e.g. simulated) */
} QV_TimeBase;

/* measures[i] for channel i of the open module's current or last count;
 * count >= channel count, every entry's size set to sizeof(QV_ChannelMeasures)
 * (the same in every entry); extra entries get NaN and referenced 0. Needs
 * an open module. */
VEXIF_API int32_t QV_FCGetMeasures(int32_t handle, QV_ChannelMeasures* measures, int32_t count);
/* The open module's time base. Needs an open module. */
VEXIF_API int32_t QV_GetTimeBase(int32_t handle, QV_TimeBase* info);
/* The server's current device-config and device problems, one a line (each
 * ended by '\n'), as its log states them; "" when there are none. Cut to
 * length - 1 characters at a line end where possible, always zero-terminated;
 * length >= 1. Needs a connection, not a module. */
VEXIF_API int32_t QV_GetDeviceProblems(int32_t handle, char* buffer, int32_t length);

#ifdef __cplusplus
}
static_assert(sizeof(QV_ModuleInfo) == QV_MODULE_INFO_BYTES, "ModuleInfo is 88 bytes");
static_assert(sizeof(QV_ChannelMeasures) == 48, "the first version of QV_ChannelMeasures");
static_assert(sizeof(QV_TimeBase) == 48, "the first version of QV_TimeBase");
#endif

#endif /* VEXIF_H */
