/* Tessaline audio back end: MIDI streams and soundfonts.
 *
 * Threads: BASS_MIDI_StreamEvent(s) may be called from one producer thread
 * (the listen thread) while another thread renders the same stream; events
 * are applied whole and in order at the start of the next render block, or at
 * their exact sample with BASS_MIDI_EVENTS_TIME. Font functions may be called
 * from any thread; a font stays alive while a stream uses it, even after
 * BASS_MIDI_FontFree.
 */
#ifndef TESSALINE_BASSMIDI_H
#define TESSALINE_BASSMIDI_H

#include "bass.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Configuration */
#define BASS_CONFIG_MIDI_VOICES 0x10401   /* voice limit of new streams, 16 to 100000 */
#define BASS_CONFIG_MIDI_THREADS 0x10480  /* threads of new streams, 1 to 64; 0 = automatic (the default) */

/* Additional error codes */
#define BASS_ERROR_MIDI_INCLUDE 7000      /* an SFZ #include file could not be opened */

/* Stream flags */
#define BASS_MIDI_DECAYEND 0x1000
#define BASS_MIDI_NOFX 0x2000
#define BASS_MIDI_NOTEOFF1 0x10000
#define BASS_MIDI_ASYNC 0x400000
#define BASS_MIDI_SINCINTER 0x800000

/* Font flags */
#define BASS_MIDI_FONT_XGDRUMS 0x40000

/* Attributes */
#define BASS_ATTRIB_MIDI_CPU 0x12001          /* render-time limit, percent of real time (0 = none) */
#define BASS_ATTRIB_MIDI_VOICES 0x12003       /* voice limit of this stream */
#define BASS_ATTRIB_MIDI_VOICES_ACTIVE 0x12004
#define BASS_ATTRIB_MIDI_STATE 0x12005        /* opaque MIDI state blob (Get/SetAttributeEx) */
#define BASS_ATTRIB_MIDI_REVERB 0x12009       /* master reverb level, 1 = normal */
#define BASS_ATTRIB_MIDI_THREADS 0x12080      /* threads rendering the stream's voices, 1 to 64; 0 = automatic */

/* BASS_MIDI_StreamEvents modes */
#define BASS_MIDI_EVENTS_STRUCT 0
#define BASS_MIDI_EVENTS_RAW 0x10000
#define BASS_MIDI_EVENTS_TIME 0x8000000       /* with STRUCT: each event's pos is a byte position */

/* Event types */
#define MIDI_EVENT_END 0
#define MIDI_EVENT_NOTE 1           /* param: LOBYTE key, HIBYTE velocity (0 = off) */
#define MIDI_EVENT_PROGRAM 2
#define MIDI_EVENT_CHANPRES 3
#define MIDI_EVENT_PITCH 4          /* 0 to 16383, 8192 = centre */
#define MIDI_EVENT_PITCHRANGE 5     /* semitones */
#define MIDI_EVENT_DRUMS 6          /* 1 = drum channel */
#define MIDI_EVENT_FINETUNE 7       /* 0 to 16383 */
#define MIDI_EVENT_COARSETUNE 8     /* 0 to 127, 64 = centre */
#define MIDI_EVENT_MASTERVOL 9      /* 0 to 16383 */
#define MIDI_EVENT_BANK 10
#define MIDI_EVENT_MODULATION 11
#define MIDI_EVENT_VOLUME 12
#define MIDI_EVENT_PAN 13
#define MIDI_EVENT_EXPRESSION 14
#define MIDI_EVENT_SUSTAIN 15
#define MIDI_EVENT_SOUNDOFF 16
#define MIDI_EVENT_RESET 17         /* reset controllers */
#define MIDI_EVENT_NOTESOFF 18
#define MIDI_EVENT_MODE 22          /* 0 = poly, 1 = mono */
#define MIDI_EVENT_REVERB 23        /* reverb send 0 to 127 */
#define MIDI_EVENT_CHORUS 24        /* chorus send 0 to 127 */
#define MIDI_EVENT_REVERB_LEVEL 36  /* percent of the full return level (50 = GS/XG level 64), 0 to 100 */
#define MIDI_EVENT_CHORUS_LEVEL 41  /* as MIDI_EVENT_REVERB_LEVEL */
#define MIDI_EVENT_SYSTEM 44        /* MIDI_SYSTEM_* */
#define MIDI_EVENT_KEYPRES 48       /* LOBYTE key, HIBYTE pressure */
#define MIDI_EVENT_BANK_LSB 66
#define MIDI_EVENT_CONTROL 64       /* LOBYTE controller, HIBYTE value (any controller) */
#define MIDI_EVENT_TEMPO 62         /* microseconds per quarter note */
#define MIDI_EVENT_MIXLEVEL 0x10000 /* channel level, percent (100 = unchanged) */
#define MIDI_EVENT_TRANSPOSE 0x10001 /* semitones + 100 */
#define MIDI_EVENT_SYSTEMEX 0x10002 /* param: id of a SysEx message kept by the back end */

/* MIDI_EVENT_SYSTEM values */
#define MIDI_SYSTEM_DEFAULT 0
#define MIDI_SYSTEM_GM1 1
#define MIDI_SYSTEM_GM2 2
#define MIDI_SYSTEM_XG 3
#define MIDI_SYSTEM_GS 4

typedef struct BASS_MIDI_EVENT {
    DWORD event; /* MIDI_EVENT_* */
    DWORD param;
    DWORD chan;
    DWORD tick;  /* in the file's ticks (MIDI-file streams) */
    DWORD pos;   /* byte position in the stream's output (BASS_MIDI_EVENTS_TIME) */
} BASS_MIDI_EVENT;

typedef struct BASS_MIDI_FONT {
    HSOUNDFONT font;
    int preset; /* -1 = every preset, bank then offsets the font's banks */
    int bank;
} BASS_MIDI_FONT;

typedef struct BASS_MIDI_FONTINFO {
    const char* name;
    const char* copyright;
    const char* comment;
    DWORD presets;    /* number of presets */
    DWORD samsize;    /* sample data size, bytes */
    DWORD samload;    /* sample data loaded, bytes */
    DWORD samtype;    /* 0 = 16/24-bit PCM, else the codec of compressed samples */
} BASS_MIDI_FONTINFO;

#define BASS_MIDI_SAMTYPE_PCM 0
#define BASS_MIDI_SAMTYPE_OGG 0x10002

HSOUNDFONT BASSDEF(BASS_MIDI_FontInit)(const void* file, DWORD flags);
BOOL BASSDEF(BASS_MIDI_FontFree)(HSOUNDFONT handle);
BOOL BASSDEF(BASS_MIDI_FontLoad)(HSOUNDFONT handle, int preset, int bank);
BOOL BASSDEF(BASS_MIDI_FontUnload)(HSOUNDFONT handle, int preset, int bank);
BOOL BASSDEF(BASS_MIDI_FontSetVolume)(HSOUNDFONT handle, float volume);
float BASSDEF(BASS_MIDI_FontGetVolume)(HSOUNDFONT handle);
BOOL BASSDEF(BASS_MIDI_FontGetInfo)(HSOUNDFONT handle, BASS_MIDI_FONTINFO* info);
/* Fills presets[] with (preset | bank << 16) and returns TRUE; presets may be NULL to count via info. */
BOOL BASSDEF(BASS_MIDI_FontGetPresets)(HSOUNDFONT handle, DWORD* presets);
const char* BASSDEF(BASS_MIDI_FontGetPreset)(HSOUNDFONT handle, int preset, int bank);

HSTREAM BASSDEF(BASS_MIDI_StreamCreate)(DWORD channels, DWORD flags, DWORD freq);
HSTREAM BASSDEF(BASS_MIDI_StreamCreateFile)(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags, DWORD freq);
BOOL BASSDEF(BASS_MIDI_StreamSetFonts)(HSTREAM handle, const BASS_MIDI_FONT* fonts, DWORD count);
DWORD BASSDEF(BASS_MIDI_StreamGetFonts)(HSTREAM handle, BASS_MIDI_FONT* fonts, DWORD count);
/* Returns the number of events processed, or -1 on failure. */
DWORD BASSDEF(BASS_MIDI_StreamEvents)(HSTREAM handle, DWORD mode, const void* events, DWORD length);
BOOL BASSDEF(BASS_MIDI_StreamEvent)(HSTREAM handle, DWORD chan, DWORD event, DWORD param);
/* track -1 = all tracks, filter 0 = all types; events NULL returns the count. */
DWORD BASSDEF(BASS_MIDI_StreamGetEvents)(HSTREAM handle, int track, DWORD filter, BASS_MIDI_EVENT* events);
/* Copies the SysEx message of a MIDI_EVENT_SYSTEMEX id; returns its length (0 if unknown). */
DWORD BASSDEF(BASS_MIDI_GetSysEx)(DWORD id, void* buffer, DWORD length);

#ifdef __cplusplus
}
#endif

#endif
