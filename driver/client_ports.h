// The ports this program has open. winmm may open one port several times in a
// program; the synth keeps one stream per program and port, so only the first
// open and the last close go to the synth.
//
// While any port is open a keep-alive thread sends an open entry for every
// open port every 2 s. To a stream that exists it is only a sign of life,
// which keeps an idle program (a sequencer waiting with its port open) from
// being closed by the synth's watchdog (at least 4 s between its sweeps); to
// a synth that was restarted meanwhile it re-opens the program's streams.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr DWORD kKeepAliveMs = 2000;

// Sends the open entry on the port's first open. False (and nothing counted)
// when the entry could not be written.
bool OpenClientPort(DWORD port);
// Sends the close entry on the port's last close. False (nothing changed)
// when another thread of the program held the port past the time limit.
bool CloseClientPort(DWORD port);
// One long message, its chunks kept together against other threads of this
// program writing to the same port. `bytes` must be the driver's own copy.
bool SendLongMessage(DWORD port, const uint8_t* bytes, DWORD length);
// Volume as winmm sets and reads it, per port and program.
DWORD PortVolume(DWORD port);
void SetPortVolume(DWORD port, DWORD volume);
// Ports open in this program, all ports together.
LONG OpenPortCount();
