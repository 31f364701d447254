/* Tessaline audio back end: the core audio API (devices, channels, configuration).
 *
 * Handles are 32-bit; functions report failure with FALSE, 0 or -1 and leave the
 * reason in BASS_ErrorGetCode(), which is kept per calling thread.
 *
 * Threads: any function may be called from any thread. One stream is commonly
 * used at once by the listen thread (events), the main thread (attributes,
 * levels) and a render/update thread (BASS_ChannelUpdate, BASS_ChannelGetData);
 * the back end serialises what must be serialised without blocking the render
 * path on the event producers (events travel through a lock-free queue).
 */
#ifndef TESSALINE_BASS_H
#define TESSALINE_BASS_H

#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

#ifndef _WIN32
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
typedef void* HWND;
#endif

typedef uint64_t QWORD;
typedef DWORD HSTREAM;
typedef DWORD HSOUNDFONT;
typedef DWORD HENCODE;

#ifdef _WIN32
#define BASSDEF(f) WINAPI f
#else
#define BASSDEF(f) f
#endif

/* Error codes */
#define BASS_OK 0
#define BASS_ERROR_MEM 1
#define BASS_ERROR_FILEOPEN 2
#define BASS_ERROR_DRIVER 3
#define BASS_ERROR_BUFLOST 4
#define BASS_ERROR_HANDLE 5
#define BASS_ERROR_FORMAT 6
#define BASS_ERROR_POSITION 7
#define BASS_ERROR_INIT 8
#define BASS_ERROR_START 9
#define BASS_ERROR_ALREADY 14
#define BASS_ERROR_NOTAUDIO 17
#define BASS_ERROR_NOCHAN 18
#define BASS_ERROR_ILLTYPE 19
#define BASS_ERROR_ILLPARAM 20
#define BASS_ERROR_NO3D 21
#define BASS_ERROR_DEVICE 23
#define BASS_ERROR_NOPLAY 24
#define BASS_ERROR_FREQ 25
#define BASS_ERROR_NOTFILE 27
#define BASS_ERROR_NOHW 29
#define BASS_ERROR_EMPTY 31
#define BASS_ERROR_CREATE 33
#define BASS_ERROR_NOFX 34
#define BASS_ERROR_NOTAVAIL 37
#define BASS_ERROR_DECODE 38
#define BASS_ERROR_DX 39
#define BASS_ERROR_TIMEOUT 40
#define BASS_ERROR_FILEFORM 41
#define BASS_ERROR_SPEAKER 42
#define BASS_ERROR_VERSION 43
#define BASS_ERROR_CODEC 44
#define BASS_ERROR_ENDED 45
#define BASS_ERROR_BUSY 46
#define BASS_ERROR_UNKNOWN -1

/* Configuration options (BASS_SetConfig / BASS_GetConfig) */
#define BASS_CONFIG_BUFFER 0        /* playback buffer length of new streams, ms */
#define BASS_CONFIG_UPDATEPERIOD 1  /* automatic update period, ms; 0 = only BASS_ChannelUpdate */
#define BASS_CONFIG_DEV_DEFAULT 36  /* device 1 follows the system default device */

/* BASS_Init flags */
#define BASS_DEVICE_LATENCY 0x100

/* Sample / stream flags */
#define BASS_SAMPLE_8BITS 1
#define BASS_SAMPLE_MONO 2
#define BASS_SAMPLE_SOFTWARE 0x10
#define BASS_SAMPLE_FLOAT 0x100
#define BASS_STREAM_DECODE 0x200000
#define BASS_UNICODE 0x80000000u

/* Channel attributes */
#define BASS_ATTRIB_VOL 2
#define BASS_ATTRIB_CPU 7

/* BASS_ChannelGetLength / Seconds2Bytes modes */
#define BASS_POS_BYTE 0

typedef struct BASS_INFO {
    DWORD flags;     /* device capabilities */
    DWORD hwsize;
    DWORD hwfree;
    DWORD freesam;
    DWORD free3d;
    DWORD minrate;
    DWORD maxrate;
    BOOL eax;
    DWORD minbuf;    /* minimum buffer length, ms, suggested for BASS_CONFIG_BUFFER */
    DWORD dsver;
    DWORD latency;   /* average delay before a sample starts playing, ms */
    DWORD initflags; /* the flags given to BASS_Init */
    DWORD speakers;
    DWORD freq;      /* current output rate */
} BASS_INFO;

#define BASS_DEVICE_ENABLED 1
#define BASS_DEVICE_DEFAULT 2
#define BASS_DEVICE_INIT 4

typedef struct BASS_DEVICEINFO {
    const char* name;   /* ANSI description */
    const char* driver; /* driver / endpoint identifier */
    DWORD flags;        /* BASS_DEVICE_ENABLED, BASS_DEVICE_DEFAULT, BASS_DEVICE_INIT */
} BASS_DEVICEINFO;

BOOL BASSDEF(BASS_SetConfig)(DWORD option, DWORD value);
DWORD BASSDEF(BASS_GetConfig)(DWORD option);
int BASSDEF(BASS_ErrorGetCode)(void);

BOOL BASSDEF(BASS_Init)(int device, DWORD freq, DWORD flags, HWND win, const void* dsguid);
BOOL BASSDEF(BASS_Free)(void);
BOOL BASSDEF(BASS_SetDevice)(DWORD device);
DWORD BASSDEF(BASS_GetDevice)(void);
BOOL BASSDEF(BASS_GetInfo)(BASS_INFO* info);
BOOL BASSDEF(BASS_GetDeviceInfo)(DWORD device, BASS_DEVICEINFO* info);

BOOL BASSDEF(BASS_StreamFree)(HSTREAM handle);
BOOL BASSDEF(BASS_ChannelPlay)(DWORD handle, BOOL restart);
BOOL BASSDEF(BASS_ChannelStop)(DWORD handle);
BOOL BASSDEF(BASS_ChannelUpdate)(DWORD handle, DWORD length);
DWORD BASSDEF(BASS_ChannelIsActive)(DWORD handle);
DWORD BASSDEF(BASS_ChannelGetLevel)(DWORD handle);
DWORD BASSDEF(BASS_ChannelGetData)(DWORD handle, void* buffer, DWORD length);
QWORD BASSDEF(BASS_ChannelSeconds2Bytes)(DWORD handle, double pos);
double BASSDEF(BASS_ChannelBytes2Seconds)(DWORD handle, QWORD pos);
BOOL BASSDEF(BASS_ChannelSetAttribute)(DWORD handle, DWORD attrib, float value);
BOOL BASSDEF(BASS_ChannelGetAttribute)(DWORD handle, DWORD attrib, float* value);
BOOL BASSDEF(BASS_ChannelSetAttributeEx)(DWORD handle, DWORD attrib, void* value, DWORD size);
DWORD BASSDEF(BASS_ChannelGetAttributeEx)(DWORD handle, DWORD attrib, void* value, DWORD size);

/* BASS_ChannelIsActive results */
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1
#define BASS_ACTIVE_STALLED 2
#define BASS_ACTIVE_PAUSED 3

#ifdef __cplusplus
}
#endif

#endif
