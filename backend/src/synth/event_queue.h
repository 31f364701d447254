// The lock-free hand-over of live events from the thread that sends them to
// the thread that renders.
//
// Producer: the sending thread (BASS_MIDI_StreamEvent(s) callers; several
// senders are serialised by the stream's producer-side lock, never by the
// renderer). Consumer: the render thread, which either drains everything at
// the start of each render call, or, for events stamped with the frame they
// belong to, takes them from the front as the rendering reaches that frame. Records are fixed-size; a SysEx message travels as a
// record that names its length, its bytes in a preallocated byte ring that is
// published by the same record, so a message is seen whole or not at all.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>

namespace tsl {

// One event as the synthesizer core consumes it: a MIDI_EVENT_* type with its
// parameter and channel, or kEventSysExBytes (size bytes in the byte ring).
struct QueuedEvent {
    uint32_t event = 0;
    uint32_t param = 0;
    uint32_t chan = 0;
    uint32_t size = 0;
    // Render frame at which the event takes effect; 0 = the next block.
    uint64_t frame = 0;
};

// Internal event types beyond the MIDI_EVENT_* range.
constexpr uint32_t kEventSysExBytes = 0x7fff0001u;

class EventQueue {
public:
    // capacity: records (power of two); byteCapacity: SysEx ring (power of two).
    EventQueue(uint32_t capacity, uint32_t byteCapacity)
        : cap_(capacity), byteCap_(byteCapacity),
          records_(new QueuedEvent[capacity]), bytes_(new uint8_t[byteCapacity]) {}

    // Producer side. False when full (nothing is written).
    bool Push(const QueuedEvent& e) noexcept {
        uint32_t t = tail_.load(std::memory_order_relaxed);
        if (t - head_.load(std::memory_order_acquire) >= cap_) return false;
        records_[t & (cap_ - 1)] = e;
        tail_.store(t + 1, std::memory_order_release);
        return true;
    }

    // Producer side: a whole SysEx message. False when either ring is full.
    bool PushSysEx(const uint8_t* data, uint32_t size, uint64_t frame = 0) noexcept {
        if (size == 0 || size > byteCap_) return false;
        uint32_t t = tail_.load(std::memory_order_relaxed);
        if (t - head_.load(std::memory_order_acquire) >= cap_) return false;
        uint32_t bt = byteTail_; // producer-private
        if (bt - byteHead_.load(std::memory_order_acquire) + size > byteCap_) return false;
        for (uint32_t i = 0; i < size; ++i) bytes_[(bt + i) & (byteCap_ - 1)] = data[i];
        byteTail_ = bt + size;
        QueuedEvent e;
        e.event = kEventSysExBytes;
        e.size = size;
        e.frame = frame;
        records_[t & (cap_ - 1)] = e;
        tail_.store(t + 1, std::memory_order_release);
        return true;
    }

    // Consumer side: calls f(event, bytes) for every record published so far,
    // in order. `bytes` is a consumer-owned scratch buffer of byteCapacity
    // bytes holding a SysEx message's bytes (only for kEventSysExBytes).
    template <class F>
    void Drain(uint8_t* scratch, F&& f) noexcept {
        uint32_t h = head_.load(std::memory_order_relaxed);
        uint32_t t = tail_.load(std::memory_order_acquire);
        uint32_t bh = byteHead_.load(std::memory_order_relaxed);
        while (h != t) {
            const QueuedEvent e = records_[h & (cap_ - 1)];
            if (e.event == kEventSysExBytes) {
                for (uint32_t i = 0; i < e.size; ++i) scratch[i] = bytes_[(bh + i) & (byteCap_ - 1)];
                bh += e.size;
                byteHead_.store(bh, std::memory_order_release);
            }
            ++h;
            head_.store(h, std::memory_order_release);
            f(e, scratch);
        }
    }

    // Consumer side, for events that wait for their frame: the i-th record
    // not yet taken (0 = the oldest), or null when fewer are published.
    const QueuedEvent* Peek(uint32_t i = 0) const noexcept {
        const uint32_t h = head_.load(std::memory_order_relaxed);
        if (tail_.load(std::memory_order_acquire) - h <= i) return nullptr;
        return &records_[(h + i) & (cap_ - 1)];
    }

    // Consumer side: takes the oldest record (there must be one, seen through
    // Peek); a SysEx message's bytes are copied to `scratch` first.
    QueuedEvent Pop(uint8_t* scratch) noexcept {
        const uint32_t h = head_.load(std::memory_order_relaxed);
        const QueuedEvent e = records_[h & (cap_ - 1)];
        if (e.event == kEventSysExBytes) {
            const uint32_t bh = byteHead_.load(std::memory_order_relaxed);
            for (uint32_t i = 0; i < e.size; ++i) scratch[i] = bytes_[(bh + i) & (byteCap_ - 1)];
            byteHead_.store(bh + e.size, std::memory_order_release);
        }
        head_.store(h + 1, std::memory_order_release);
        return e;
    }

    uint32_t ByteCapacity() const noexcept { return byteCap_; }
    bool Empty() const noexcept {
        return head_.load(std::memory_order_acquire) == tail_.load(std::memory_order_acquire);
    }

private:
    const uint32_t cap_;
    const uint32_t byteCap_;
    std::unique_ptr<QueuedEvent[]> records_;
    std::unique_ptr<uint8_t[]> bytes_;
    alignas(64) std::atomic<uint32_t> head_{0};     // written by the consumer
    std::atomic<uint32_t> byteHead_{0};             // written by the consumer
    alignas(64) std::atomic<uint32_t> tail_{0};     // written by the producer
    uint32_t byteTail_ = 0;                         // producer-private
};

} // namespace tsl
