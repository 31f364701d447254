// The names of the channel's shared objects. The program and the driver use
// the defaults; tests give their own so they cannot meet a running synth.
#pragma once

#include "ipc/ring_layout.h"

#include <string>

struct ChannelNames {
    std::wstring sharedMem = ring::kSharedMemName;
    std::wstring dataAvailable = ring::kDataAvailableName;
    std::wstring queueFree = ring::kQueueFreeName;
    std::wstring listener = ring::kListenerName;
};
