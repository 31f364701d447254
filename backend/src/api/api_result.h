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

// Runs a stream constructor: running out of memory is BASS_ERROR_MEM,
// anything else thrown BASS_ERROR_CREATE.
template <class Create>
HSTREAM GuardedCreate(Create create) noexcept {
    try {
        return create();
    } catch (const std::bad_alloc&) {
        return Fail<HSTREAM>(BASS_ERROR_MEM, 0);
    } catch (...) {
        return Fail<HSTREAM>(BASS_ERROR_CREATE, 0);
    }
}

} // namespace tsl::api
