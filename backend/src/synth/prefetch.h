// Asking the caches for a line ahead of its use, where the processor has an
// instruction for it (a no-op elsewhere): the passes over a thousand voices,
// whose records are long out of the caches by the time they come round.
#pragma once

#if defined(__SSE__) || defined(_M_X64) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace tsl {

inline void Prefetch(const void* p) noexcept {
#if defined(__SSE__) || defined(_M_X64) || defined(__x86_64__)
    _mm_prefetch(static_cast<const char*>(p), _MM_HINT_T0);
#else
    (void)p;
#endif
}

} // namespace tsl
