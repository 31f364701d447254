// Bytes this program holds through operator new, counted by its own
// replacement of the global allocation functions. Unlike the process's
// private memory, which under Wine swings by tens of megabytes with the
// heap's reuse of freed blocks across threads, this moves only with what the
// code really holds: a leak shows as a climb, whatever the heap does.
#pragma once

#include <cstdint>

int64_t LiveHeapBytes();
