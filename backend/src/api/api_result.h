// How the C API reports results: the per-thread error code set on every
// return, and stream creation guarded so nothing thrown crosses the C
// boundary.
#pragma once

#include <algorithm>
#include <memory>
#include <new>

#include "bass.h"
#include "core/registry.h"
#include "output/device_manager.h"

namespace tsl::api {

template <class T>
T Fail(int code, T value) {
    SetError(code);
    return value;
}

template <class T>
T Ok(T value) {
    SetError(BASS_OK);
    return value;
}

// Gives a new stream its handle; it will play on the current device.
inline HSTREAM Register(std::shared_ptr<Channel> stream) {
    stream->device = std::max(output::CurrentDevice(), 0);
    const HSTREAM h = RegisterChannel(std::move(stream));
    return h ? Ok(h) : Fail<HSTREAM>(BASS_ERROR_MEM, 0);
}

// Runs `f`, turning an escaping exception into an error result: running out
// of memory is BASS_ERROR_MEM, anything else `otherError`.
template <class T, class F>
T Guarded(T failed, int otherError, F&& f) noexcept {
    try {
        return f();
    } catch (const std::bad_alloc&) {
        return Fail<T>(BASS_ERROR_MEM, failed);
    } catch (...) {
        return Fail<T>(otherError, failed);
    }
}

// A stream constructor: what fails for another reason is BASS_ERROR_CREATE.
template <class Create>
HSTREAM GuardedCreate(Create create) noexcept {
    return Guarded<HSTREAM>(0, BASS_ERROR_CREATE, create);
}

} // namespace tsl::api
