/* Tessaline audio back end: encoding a stream's output to a WAV file or an
 * external encoder's standard input.
 *
 * Threads: the encoder is fed by whichever thread pulls data from the stream
 * (BASS_ChannelGetData); Start/Stop/IsActive may come from another thread.
 */
#ifndef TESSALINE_BASSENC_H
#define TESSALINE_BASSENC_H

#include "bass.h"

#ifdef __cplusplus
extern "C" {
#endif

#define BASS_ENCODE_NOHEAD 1
#define BASS_ENCODE_FP_8BIT 2
#define BASS_ENCODE_FP_16BIT 4
#define BASS_ENCODE_FP_24BIT 6
#define BASS_ENCODE_FP_32BIT 8
#define BASS_ENCODE_PCM 0x40       /* command is a file name: write a WAV file */
#define BASS_ENCODE_AUTOFREE 0x40000

/* BASS_Encode_IsActive results */
#define BASS_ACTIVE_STOPPED 0
#define BASS_ACTIVE_PLAYING 1

typedef void (*ENCODEPROC)(HENCODE handle, DWORD channel, const void* buffer, DWORD length, void* user);

HENCODE BASSDEF(BASS_Encode_Start)(DWORD handle, const void* cmdline, DWORD flags, ENCODEPROC proc, void* user);
DWORD BASSDEF(BASS_Encode_IsActive)(DWORD handle);
BOOL BASSDEF(BASS_Encode_Stop)(DWORD handle);

#ifdef __cplusplus
}
#endif

#endif
