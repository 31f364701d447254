#include "core/config.h"

#include <atomic>

#include "bass.h"
#include "bassmidi.h"

namespace tsl {
namespace {

struct Option {
    uint32_t id;
    uint32_t defaultValue;
    std::atomic<uint32_t> value;
    std::atomic<bool> set;
};

// A small fixed table: options are few and lookups must never allocate.
Option g_options[] = {
    {BASS_CONFIG_BUFFER, 500, {0}, {false}},
    {BASS_CONFIG_UPDATEPERIOD, 100, {0}, {false}},
    {BASS_CONFIG_DEV_DEFAULT, 0, {0}, {false}},
    {BASS_CONFIG_MIDI_VOICES, 500, {0}, {false}},
    {BASS_CONFIG_MIDI_THREADS, 0, {0}, {false}},
};

Option* Find(uint32_t id) noexcept {
    for (Option& o : g_options)
        if (o.id == id) return &o;
    return nullptr;
}

} // namespace

uint32_t GetConfigValue(uint32_t option) noexcept {
    Option* o = Find(option);
    if (!o) return 0;
    return o->set.load(std::memory_order_acquire) ? o->value.load(std::memory_order_relaxed) : o->defaultValue;
}

void SetConfigValue(uint32_t option, uint32_t value) noexcept {
    Option* o = Find(option);
    if (!o) return;
    o->value.store(value, std::memory_order_relaxed);
    o->set.store(true, std::memory_order_release);
}

bool IsKnownConfigOption(uint32_t option) noexcept { return Find(option) != nullptr; }

} // namespace tsl
