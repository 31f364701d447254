// What the listen thread asks of a client open on a port for one ring entry,
// and how an entry becomes that request. No system calls: the whole path from
// ring entry to request builds anywhere (the ring fuzz target runs it natively).
#pragma once

#include "ipc/ring_layout.h"

#include <algorithm>
#include <cstdint>

enum class ClientAction {
    SignOfLife,  // counted, nothing else
    Reset,
    AllNotesOff,
    ShortMessage,
    LongMessage,
};

struct ClientCall {
    ClientAction action = ClientAction::SignOfLife;
    uint32_t param1 = 0;
    uint32_t param2 = 0;
    const uint8_t* data = nullptr;
    uint32_t length = 0;
};

// The request for an entry of a client that is open on the entry's port.
// Open and close entries are the server's own business; every other type
// without an action of its own is a sign of life.
inline ClientCall CallFor(const ring::Entry& entry)
{
    ClientCall call;
    call.param1 = entry.param1;
    call.param2 = entry.param2;
    switch (entry.type) {
    case ring::kReset:
        call.action = ClientAction::Reset;
        break;
    case ring::kAllNotesOff:
        call.action = ClientAction::AllNotesOff;
        break;
    case ring::kShortMessage:
        call.action = ClientAction::ShortMessage;
        break;
    case ring::kLongChunk:
        call.action = ClientAction::LongMessage;
        call.data = entry.data;
        call.length = std::min(entry.dataLength, ring::kChunkBytes);
        break;
    default:
        break;
    }
    return call;
}
