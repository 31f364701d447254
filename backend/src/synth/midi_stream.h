// A MIDI stream: the synthesizer behind a channel handle.
//
// Threads (one stream is used by all of them at once):
//  - senders (the listen thread; also the main thread for panic and mix
//    levels): SendRaw, SendEvent, SendEvents, HandOverTimedList. Several
//    senders are serialised by a lock taken on the sending side only; events
//    reach the renderer through a lock-free queue and are applied whole and
//    in order at the start of the next render call, or at their exact
//    sample for timed events. Playing streams made with BASS_MIDI_ASYNC
//    stamp live events on arrival with the frame that keeps their latency
//    constant (AsyncClock), and apply them at that sample too.
//  - the main thread: SetFonts, attributes (CPU limit, reverb, volume),
//    readings (ActiveVoices, CpuPercent; relaxed atomics), GetState/SetState.
//  - one render thread at a time: RenderFloat (BASS_ChannelGetData for
//    decoding streams, the playback buffer's filler otherwise). The render
//    path takes no lock and makes no system call or allocation. Decoding
//    streams are the exception for sample data only: they are pulled as fast
//    as their caller wants, so a preset whose samples are not in memory yet is
//    loaded on the spot instead of its notes starting silent; playing streams
//    hand such presets to their loader thread.
//
// MIDI-file streams reuse this class: hand the whole event list over with
// HandOverTimedList (each event's `pos` a byte position in this stream's
// output format) with the end position. At the end the stream stops at once,
// or with BASS_MIDI_DECAYEND releases every note and stops once nothing
// sounds any more (voices and effect tails), after at most kMaxTailSeconds.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bassmidi.h"
#include "core/channel.h"
#include "font/model.h"
#include "synth/async_clock.h"
#include "synth/event_queue.h"
#include "synth/raw_midi.h"
#include "synth/spsc_ring.h"
#include "synth/state_blob.h"
#include "synth/synth.h"

namespace tsl {

class MidiStream : public Channel {
public:
    // flags: BASS_SAMPLE_*, BASS_STREAM_DECODE, BASS_MIDI_*; rate 22050..96000
    // (checked by the caller). voices: the voice limit.
    MidiStream(uint32_t flags, uint32_t rate, uint32_t voices);
    ~MidiStream() override;

    uint32_t RenderFloat(float* out, uint32_t frames) noexcept override;

    // --- senders ---
    // Raw MIDI bytes; returns the number of messages, or -1 when the queue
    // stayed full (the renderer is not keeping up) and events were dropped.
    int64_t SendRaw(const uint8_t* data, size_t size);
    bool SendEvent(uint32_t event, uint32_t param, uint32_t chan);
    // BASS_MIDI_EVENT records applied in order at the next block.
    int64_t SendEvents(const BASS_MIDI_EVENT* events, uint32_t count);
    // A whole timed list (BASS_MIDI_EVENTS_TIME); positions are bytes of this
    // stream's output. A MIDI_EVENT_END in the list, or endBytes when given
    // (>= 0), marks the end of the stream. The list is copied and sorted on the
    // calling thread; the renderer merges up to four lists at once and takes
    // further ones as earlier lists finish.
    bool HandOverTimedList(const BASS_MIDI_EVENT* events, size_t count, int64_t endBytes = -1);

    // --- main thread ---
    bool SetFonts(const BASS_MIDI_FONT* fonts, uint32_t count, int* error);
    uint32_t GetFonts(BASS_MIDI_FONT* fonts, uint32_t count);
    void SetCpuLimit(float percent) noexcept { cpuLimit_.store(percent, std::memory_order_relaxed); }
    float CpuLimit() const noexcept { return cpuLimit_.load(std::memory_order_relaxed); }
    void SetReverbScale(float s) noexcept { reverbScale_.store(s, std::memory_order_relaxed); }
    float ReverbScale() const noexcept { return reverbScale_.load(std::memory_order_relaxed); }
    void SetVolume(float v) noexcept { volume_.store(v, std::memory_order_relaxed); }
    float Volume() const noexcept { return volume_.load(std::memory_order_relaxed); }
    // Threads rendering the voices (0 = automatic); starts the render pool's
    // helpers it needs, and takes effect at the next block.
    void SetThreads(uint32_t threads) noexcept;
    uint32_t Threads() const noexcept { return threads_.load(std::memory_order_relaxed); }
    uint32_t ActiveVoices() const noexcept { return activeVoices_.load(std::memory_order_relaxed); }
    uint32_t MaxVoices() const noexcept { return maxVoices_; }
    float CpuPercent() const noexcept { return cpu_.load(std::memory_order_relaxed); }
    bool Ended() const noexcept { return ended_.load(std::memory_order_acquire); }
    // Frames rendered so far.
    uint64_t Position() const noexcept { return positionPub_.load(std::memory_order_relaxed); }

    // The state as of the last rendered block (or creation), as a blob.
    std::vector<uint8_t> GetState();
    // Applies a blob at the start of the next block. False for a bad blob.
    bool SetState(const uint8_t* data, size_t size);

private:
    struct TimedEvent {
        uint64_t frame;
        uint32_t event, param, chan;
    };
    struct TimedList {
        std::vector<TimedEvent> events;
        size_t next = 0;
    };
    struct StackRecord {
        std::shared_ptr<font::FontStack> stack;
        std::vector<BASS_MIDI_FONT> triples;
        uint32_t generation = 0;
    };

    bool PushWithWait(const QueuedEvent& e);
    bool PushSysExWithWait(const uint8_t* data, uint32_t size, uint64_t frame);
    void CollectGarbage();      // sender/main side: frees what the renderer has let go
    void DrainQueue() noexcept; // render side
    // Stamped live events, render side: how many of the next `frames` frames
    // may be rendered before a queued event that must cut the block, and
    // applying those due inside the next `frames` frames.
    uint32_t LiveCut(uint64_t blockStart, uint32_t frames) const noexcept;
    void ApplyDueLive(uint64_t blockStart, uint32_t frames) noexcept;
    void TakeTimedLists() noexcept;
    uint64_t NextTimedFrame() const noexcept;
    // Applies the timed events due in the next `frames` frames; returns how
    // many frames to render before the next event that must cut the block.
    uint32_t ApplyDueTimed(uint64_t blockStart, uint32_t frames) noexcept;
    // Hand the note-ons due before blockEnd (up to kWarmNotes), of the timed
    // lists or of the live queue, to Synth::WarmNotes before they are
    // applied, reading them without taking them.
    void WarmDueNotes(uint64_t blockEnd) noexcept;
    void WarmQueuedNotes(uint64_t blockEnd) noexcept;
    static constexpr uint32_t kWarmNotes = 64;
    void PublishSnapshot() noexcept;
    void LoaderMain();
    static void OnLoadRequest(void* ctx, const Synth::LoadRequest& r) noexcept;

    const uint32_t maxVoices_;
    const bool decayEnd_;
    const bool decode_;
    const bool liveStamped_; // live events wait in the queue for their frame
    Synth synth_;

    // Sender side.
    std::mutex sendLock_;
    RawMidiParser parser_;
    AsyncClock asyncClock_;
    EventQueue queue_; // producer: senders (under sendLock_); consumer: render thread
    std::vector<uint8_t> sysexScratch_; // render side, sized to the byte ring

    // Timed lists: senders -> render (incoming), render -> senders (finished).
    SpscRing<TimedList*, 16> incoming_;
    SpscRing<TimedList*, 16> finished_;
    static constexpr int kMaxLists = 4;
    TimedList* lists_[kMaxLists] = {};   // render side
    uint64_t endFrame_ = UINT64_MAX;     // render side
    std::atomic<uint64_t> pendingEnd_{UINT64_MAX}; // sender -> render: end from HandOverTimedList
    bool decaying_ = false;
    bool tailCut_ = false;

    // Font stacks: main thread publishes, render thread adopts.
    std::mutex fontLock_; // main-thread side only
    std::vector<std::unique_ptr<StackRecord>> stacks_;
    std::atomic<StackRecord*> latestStack_{nullptr};
    uint32_t nextGeneration_ = 1;
    uint32_t renderGeneration_ = 0;            // render side
    std::atomic<uint32_t> oldestInUse_{0};     // render -> main

    // State restore: main thread fills the slot, render thread applies it.
    MidiState restore_;
    std::atomic<bool> restorePending_{false};
    // Snapshot for GetState: render thread writes when it can take the flag.
    MidiState snapshot_;
    std::atomic<bool> snapshotBusy_{false};
    bool stateDirty_ = true; // render side

    // Sample loading for playing streams: render -> loader thread.
    SpscRing<Synth::LoadRequest, 64> loadRequests_;
    std::thread loader_;
    std::atomic<bool> stopLoader_{false};

    // Attributes and readings.
    std::atomic<float> cpuLimit_{0}, reverbScale_{1}, volume_{1}, cpu_{0};
    std::atomic<uint32_t> threads_{1};
    std::atomic<uint32_t> activeVoices_{0};
    std::atomic<uint64_t> positionPub_{0};
    std::atomic<bool> ended_{false};
    uint64_t position_ = 0; // render side
    std::unique_ptr<float[]> block_;
};

} // namespace tsl
