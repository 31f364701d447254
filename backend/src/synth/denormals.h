// Sets flush-to-zero and denormals-are-zero for the scope of a render call:
// decaying reverb tails and filter states otherwise fall into denormal
// numbers, which are many times slower on x86.
#pragma once

#if defined(__SSE2__) || defined(_M_X64) || defined(__x86_64__)
#include <xmmintrin.h>
#define TSL_HAVE_MXCSR 1
#endif

namespace tsl {

class DenormalGuard {
public:
#ifdef TSL_HAVE_MXCSR
    DenormalGuard() noexcept : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040); }
    ~DenormalGuard() { _mm_setcsr(saved_); }

private:
    unsigned saved_;
#else
    DenormalGuard() noexcept {}
#endif
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;
};

} // namespace tsl
