#include "synth/midi_stream.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "bass.h"
#include "font/font_table.h"
#include "synth/denormals.h"
#include "synth/render_pool.h"

namespace tsl {
namespace {

constexpr uint32_t kQueueRecords = 1u << 16;
constexpr uint32_t kQueueBytes = 1u << 18;
// How long a sender waits for room in a full queue before dropping.
constexpr auto kSendPatience = std::chrono::milliseconds(200);
// How long a BASS_MIDI_DECAYEND stream's voices may sound after its end; the
// effect tails get one second more.
constexpr uint32_t kMaxTailSeconds = 10;

} // namespace

MidiStream::MidiStream(uint32_t f, uint32_t rate, uint32_t voices)
    : maxVoices_(voices), decayEnd_((f & BASS_MIDI_DECAYEND) != 0), decode_((f & BASS_STREAM_DECODE) != 0),
      liveStamped_((f & BASS_MIDI_ASYNC) != 0 && !decode_),
      synth_(Synth::Options{rate, voices, (f & BASS_MIDI_NOFX) == 0, (f & BASS_MIDI_NOTEOFF1) != 0,
                            (f & BASS_MIDI_SINCINTER) != 0}),
      asyncClock_(liveStamped_), queue_(kQueueRecords, kQueueBytes), sysexScratch_(kQueueBytes), block_(new float[4 * kBlockFrames]) {
    flags = f;
    format.rate = rate;
    format.channels = (f & BASS_SAMPLE_MONO) ? 1 : 2;
    format.isFloat = (f & BASS_SAMPLE_FLOAT) != 0;
    format.bytesPerSample = format.isFloat ? 4 : ((f & BASS_SAMPLE_8BITS) ? 1 : 2);
    synth_.SetLoadRequestHandler(&MidiStream::OnLoadRequest, this);
    for (int c = 0; c < 16; ++c) snapshot_.channels[c] = synth_.Channel(c);
    if (!decode_) loader_ = std::thread([this] { LoaderMain(); });
}

MidiStream::~MidiStream() {
    stopLoader_.store(true);
    if (loader_.joinable()) loader_.join();
    for (TimedList*& l : lists_) delete l;
    TimedList* l;
    while (incoming_.Pop(l)) delete l;
    while (finished_.Pop(l)) delete l;
    // Voices hold their samples; the fonts behind them may go with the font
    // stacks, which are members destroyed before the synth.
    synth_.StopAllVoices();
}

// ---------------------------------------------------------------------------
// Senders

bool MidiStream::PushWithWait(const QueuedEvent& e) {
    if (queue_.Push(e)) return true;
    auto until = std::chrono::steady_clock::now() + kSendPatience;
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (queue_.Push(e)) return true;
    }
    return false;
}

bool MidiStream::PushSysExWithWait(const uint8_t* data, uint32_t size, uint64_t frame) {
    if (size > queue_.ByteCapacity()) return false;
    if (queue_.PushSysEx(data, size, frame)) return true;
    auto until = std::chrono::steady_clock::now() + kSendPatience;
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (queue_.PushSysEx(data, size, frame)) return true;
    }
    return false;
}

int64_t MidiStream::SendRaw(const uint8_t* data, size_t size) {
    struct Sink : RawMidiParser::Sink {
        MidiStream* s;
        uint64_t frame = 0;
        bool ok = true;
        void Event(uint32_t event, uint32_t param, uint32_t chan) override {
            QueuedEvent e{event, param, chan, 0, frame};
            ok = s->PushWithWait(e) && ok;
        }
        void SysEx(const uint8_t* d, uint32_t n) override { ok = s->PushSysExWithWait(d, n, frame) && ok; }
    } sink;
    sink.s = this;
    std::lock_guard<std::mutex> g(sendLock_);
    sink.frame = asyncClock_.Stamp(*this); // the messages of one call arrived together
    uint32_t n = parser_.Feed(data, size, sink);
    return sink.ok ? n : -1;
}

bool MidiStream::SendEvent(uint32_t event, uint32_t param, uint32_t chan) {
    std::lock_guard<std::mutex> g(sendLock_);
    return PushWithWait(QueuedEvent{event, param, chan, 0, asyncClock_.Stamp(*this)});
}

int64_t MidiStream::SendEvents(const BASS_MIDI_EVENT* events, uint32_t count) {
    std::lock_guard<std::mutex> g(sendLock_);
    const uint64_t frame = asyncClock_.Stamp(*this);
    for (uint32_t i = 0; i < count; ++i)
        if (!PushWithWait(QueuedEvent{events[i].event, events[i].param, events[i].chan, 0, frame})) return -1;
    return count;
}

bool MidiStream::HandOverTimedList(const BASS_MIDI_EVENT* events, size_t count, int64_t endBytes) {
    CollectGarbage();
    const uint32_t fb = format.FrameBytes();
    auto list = std::make_unique<TimedList>();
    list->events.reserve(count);
    uint64_t end = UINT64_MAX;
    for (size_t i = 0; i < count; ++i) {
        const BASS_MIDI_EVENT& e = events[i];
        uint64_t frame = e.pos / fb;
        if (e.event == MIDI_EVENT_END) {
            end = std::min(end, frame);
            continue;
        }
        list->events.push_back(TimedEvent{frame, e.event, e.param, e.chan});
    }
    if (endBytes >= 0) end = std::min<uint64_t>(end, static_cast<uint64_t>(endBytes) / fb);
    std::stable_sort(list->events.begin(), list->events.end(),
                     [](const TimedEvent& a, const TimedEvent& b) { return a.frame < b.frame; });
    std::lock_guard<std::mutex> g(sendLock_);
    if (end != UINT64_MAX) {
        uint64_t cur = pendingEnd_.load(std::memory_order_relaxed);
        if (end < cur || cur == UINT64_MAX) pendingEnd_.store(end, std::memory_order_release);
    }
    if (list->events.empty()) return true;
    auto until = std::chrono::steady_clock::now() + kSendPatience;
    while (!incoming_.Push(list.get())) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        CollectGarbage();
    }
    list.release();
    return true;
}

void MidiStream::CollectGarbage() {
    // Callers come from several threads; the lock keeps this side of the
    // finished-list ring single-consumer.
    std::lock_guard<std::mutex> g(fontLock_);
    TimedList* l;
    while (finished_.Pop(l)) delete l;
    StackRecord* latest = latestStack_.load(std::memory_order_acquire);
    uint32_t oldest = oldestInUse_.load(std::memory_order_acquire);
    // A stack may go once the renderer has moved past it and no voice it
    // started still plays; the latest is always kept.
    stacks_.erase(std::remove_if(stacks_.begin(), stacks_.end(),
                                 [&](const std::unique_ptr<StackRecord>& r) {
                                     return r.get() != latest && r->generation < oldest;
                                 }),
                  stacks_.end());
}

// ---------------------------------------------------------------------------
// Main thread

bool MidiStream::SetFonts(const BASS_MIDI_FONT* fonts, uint32_t count, int* error) {
    std::vector<font::StackEntry> entries;
    std::vector<BASS_MIDI_FONT> triples;
    for (uint32_t i = 0; i < count; ++i) {
        std::shared_ptr<font::Font> f = font::FindFont(fonts[i].font);
        if (!f) {
            *error = BASS_ERROR_HANDLE;
            return false;
        }
        entries.push_back(font::StackEntry{std::move(f), fonts[i].preset, fonts[i].bank});
        triples.push_back(fonts[i]);
    }
    auto rec = std::make_unique<StackRecord>();
    rec->stack = std::make_shared<font::FontStack>(std::move(entries));
    rec->triples = std::move(triples);
    {
        std::lock_guard<std::mutex> g(fontLock_);
        rec->generation = nextGeneration_++;
        latestStack_.store(rec.get(), std::memory_order_release);
        stacks_.push_back(std::move(rec));
    }
    CollectGarbage();
    return true;
}

uint32_t MidiStream::GetFonts(BASS_MIDI_FONT* fonts, uint32_t count) {
    std::lock_guard<std::mutex> g(fontLock_);
    StackRecord* r = latestStack_.load(std::memory_order_acquire);
    if (!r) return 0;
    uint32_t n = static_cast<uint32_t>(r->triples.size());
    if (fonts) {
        for (uint32_t i = 0; i < n && i < count; ++i) fonts[i] = r->triples[i];
        return std::min(n, count);
    }
    return n;
}

void MidiStream::SetThreads(uint32_t threads) noexcept {
    RenderPool::Instance().Reserve(threads == 0 ? RenderPool::AutomaticThreads() : threads);
    threads_.store(threads, std::memory_order_relaxed);
}

std::vector<uint8_t> MidiStream::GetState() {
    MidiState s;
    bool expected = false;
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (!snapshotBusy_.compare_exchange_weak(expected, true, std::memory_order_acquire)) {
        expected = false;
        if (std::chrono::steady_clock::now() >= until) break; // cannot happen with a live renderer; never hang
        std::this_thread::yield();
    }
    s = snapshot_;
    snapshotBusy_.store(false, std::memory_order_release);
    std::vector<uint8_t> blob(StateBlobSize());
    EncodeState(s, blob.data());
    return blob;
}

bool MidiStream::SetState(const uint8_t* data, size_t size) {
    MidiState s;
    if (!DecodeState(data, size, s)) return false;
    std::lock_guard<std::mutex> g(sendLock_);
    auto until = std::chrono::steady_clock::now() + kSendPatience;
    while (restorePending_.load(std::memory_order_acquire)) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    restore_ = s;
    restorePending_.store(true, std::memory_order_release);
    return true;
}

// ---------------------------------------------------------------------------
// Sample loading

void MidiStream::OnLoadRequest(void* ctx, const Synth::LoadRequest& r) noexcept {
    auto* self = static_cast<MidiStream*>(ctx);
    if (self->decode_) {
        // Pulled by its caller, not by a device: loading here only delays
        // the caller, while a silent note would be a wrong render.
        try {
            const_cast<font::Font*>(r.font)->EnsureLoaded(*r.preset);
        } catch (...) {
        }
        return;
    }
    self->loadRequests_.Push(r); // full: the preset is asked for again at its next program change
}

void MidiStream::LoaderMain() {
    while (!stopLoader_.load(std::memory_order_acquire)) {
        Synth::LoadRequest r;
        bool any = false;
        while (loadRequests_.Pop(r)) {
            any = true;
            // Only load fonts still held by one of our stacks, through a
            // strong reference, so a font freed meanwhile is not touched.
            std::shared_ptr<font::Font> keep;
            {
                std::lock_guard<std::mutex> g(fontLock_);
                for (auto& rec : stacks_)
                    for (const font::StackEntry& e : rec->stack->Entries())
                        if (e.font.get() == r.font) keep = e.font;
            }
            if (keep) {
                try {
                    keep->EnsureLoaded(*r.preset);
                } catch (...) {
                }
            }
        }
        if (!any) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// ---------------------------------------------------------------------------
// Render thread

void MidiStream::DrainQueue() noexcept {
    WarmQueuedNotes(UINT64_MAX);
    queue_.Drain(sysexScratch_.data(), [this](const QueuedEvent& e, const uint8_t* bytes) {
        if (e.event == kEventSysExBytes) synth_.ApplySysEx(bytes, e.size);
        else synth_.ApplyEvent(e.event, e.param, e.chan);
        stateDirty_ = true;
    });
}

namespace {

bool SoundsInsideBlock(const QueuedEvent& e) noexcept {
    return e.event != kEventSysExBytes && Synth::AppliesInsideBlock(e.event, e.param);
}

} // namespace

uint32_t MidiStream::LiveCut(uint64_t blockStart, uint32_t frames) const noexcept {
    const uint64_t blockEnd = blockStart + frames;
    for (uint32_t i = 0;; ++i) {
        const QueuedEvent* e = queue_.Peek(i);
        if (!e || e->frame >= blockEnd) return frames; // stamps never go back: the rest are later
        if (e->frame > blockStart && !SoundsInsideBlock(*e)) return static_cast<uint32_t>(e->frame - blockStart);
    }
}

void MidiStream::ApplyDueLive(uint64_t blockStart, uint32_t frames) noexcept {
    const uint64_t blockEnd = blockStart + frames;
    WarmQueuedNotes(blockEnd);
    while (const QueuedEvent* e = queue_.Peek()) {
        if (e->frame >= blockEnd) return;
        const uint32_t at = e->frame > blockStart ? static_cast<uint32_t>(e->frame - blockStart) : 0;
        // Arrived after LiveCut and needs the block cut at its frame: it
        // starts the next block instead, a few samples late.
        if (at > 0 && !SoundsInsideBlock(*e)) return;
        const QueuedEvent ev = queue_.Pop(sysexScratch_.data());
        synth_.SetEventOffset(at);
        if (ev.event == kEventSysExBytes) synth_.ApplySysEx(sysexScratch_.data(), ev.size);
        else synth_.ApplyEvent(ev.event, ev.param, ev.chan);
        synth_.SetEventOffset(0);
        stateDirty_ = true;
    }
}

void MidiStream::TakeTimedLists() noexcept {
    for (TimedList*& slot : lists_) {
        if (slot && slot->next >= slot->events.size()) {
            if (finished_.Push(slot)) slot = nullptr;
        }
        if (!slot) {
            TimedList* l;
            if (incoming_.Pop(l)) slot = l;
        }
    }
}

uint64_t MidiStream::NextTimedFrame() const noexcept {
    uint64_t best = UINT64_MAX;
    for (const TimedList* l : lists_)
        if (l && l->next < l->events.size()) best = std::min(best, l->events[l->next].frame);
    return best;
}

namespace {

// A note-on, as WarmNotes takes it, added to notes[n].
inline void AddNoteAhead(uint32_t event, uint32_t param, uint32_t chan, Synth::NoteAhead* notes, uint32_t& n) noexcept {
    if (event == MIDI_EVENT_NOTE && chan < Synth::kChannels && (param >> 8 & 0xff) != 0)
        notes[n++] = Synth::NoteAhead{static_cast<uint8_t>(chan), static_cast<uint8_t>(param & 0x7f),
                                      static_cast<uint8_t>(param >> 8 & 0xff)};
}

} // namespace

void MidiStream::WarmDueNotes(uint64_t blockEnd) noexcept {
    Synth::NoteAhead notes[kWarmNotes];
    uint32_t n = 0;
    for (const TimedList* l : lists_) {
        if (!l) continue;
        for (size_t i = l->next; i < l->events.size() && n < kWarmNotes; ++i) {
            const TimedEvent& e = l->events[i];
            if (e.frame >= blockEnd) break;
            AddNoteAhead(e.event, e.param, e.chan, notes, n);
        }
    }
    if (n > 0) synth_.WarmNotes(notes, n);
}

void MidiStream::WarmQueuedNotes(uint64_t blockEnd) noexcept {
    Synth::NoteAhead notes[kWarmNotes];
    uint32_t n = 0;
    for (uint32_t i = 0; i < 4 * kWarmNotes && n < kWarmNotes; ++i) {
        const QueuedEvent* e = queue_.Peek(i);
        if (!e || e->frame >= blockEnd) break;
        AddNoteAhead(e->event, e->param, e->chan, notes, n);
    }
    if (n > 0) synth_.WarmNotes(notes, n);
}

uint32_t MidiStream::ApplyDueTimed(uint64_t blockStart, uint32_t frames) noexcept {
    // Events before the end of the block are applied in time order (equal
    // times keep the order the lists were handed over in). Notes and releases
    // are told their frame, so they sound exactly there without cutting the
    // block for every voice; any other event inside the block ends the block
    // at its frame, and is applied at the start of the next one.
    const uint64_t blockEnd = blockStart + frames;
    WarmDueNotes(blockEnd);
    for (;;) {
        TimedList* pick = nullptr;
        for (TimedList* l : lists_)
            if (l && l->next < l->events.size() && l->events[l->next].frame < blockEnd &&
                (!pick || l->events[l->next].frame < pick->events[pick->next].frame))
                pick = l;
        if (!pick) return frames;
        const TimedEvent& e = pick->events[pick->next];
        const uint32_t at = e.frame > blockStart ? static_cast<uint32_t>(e.frame - blockStart) : 0;
        if (at > 0 && !Synth::AppliesInsideBlock(e.event, e.param)) return at;
        ++pick->next;
        synth_.SetEventOffset(at);
        synth_.ApplyEvent(e.event, e.param, e.chan);
        synth_.SetEventOffset(0);
        stateDirty_ = true;
    }
}

void MidiStream::PublishSnapshot() noexcept {
    if (!stateDirty_) return;
    bool expected = false;
    if (!snapshotBusy_.compare_exchange_strong(expected, true, std::memory_order_acquire)) return; // next time
    snapshot_.mode = synth_.Mode();
    snapshot_.masterVolume = synth_.MasterVolume();
    snapshot_.reverbLevel = synth_.ReverbLevel();
    snapshot_.chorusLevel = synth_.ChorusLevel();
    for (int c = 0; c < 16; ++c) snapshot_.channels[c] = synth_.Channel(c);
    snapshotBusy_.store(false, std::memory_order_release);
    stateDirty_ = false;
}

uint32_t MidiStream::RenderFloat(float* out, uint32_t frames) noexcept {
    if (ended_.load(std::memory_order_relaxed)) return 0;
    DenormalGuard guard;
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();

    StackRecord* latest = latestStack_.load(std::memory_order_acquire);
    if (latest && latest->generation != renderGeneration_) {
        renderGeneration_ = latest->generation;
        synth_.SetFontStack(latest->stack.get(), renderGeneration_);
    }
    if (restorePending_.load(std::memory_order_acquire)) {
        synth_.RestoreGlobals(restore_.mode, restore_.masterVolume, restore_.reverbLevel, restore_.chorusLevel);
        for (int c = 0; c < 16; ++c) synth_.RestoreChannel(c, restore_.channels[c]);
        restorePending_.store(false, std::memory_order_release);
        stateDirty_ = true;
    }
    if (!liveStamped_) DrainQueue();
    TakeTimedLists();
    uint64_t pend = pendingEnd_.load(std::memory_order_acquire);
    if (pend < endFrame_) endFrame_ = pend;
    synth_.SetReverbScale(reverbScale_.load(std::memory_order_relaxed));
    synth_.SetThreads(threads_.load(std::memory_order_relaxed));
    const float vol = volume_.load(std::memory_order_relaxed);
    const float limit = cpuLimit_.load(std::memory_order_relaxed);
    const double blockBudget = limit > 0 ? limit / 100.0 / format.rate : 0; // seconds per frame allowed
    const bool mono = format.channels == 1;
    // Two block buffers: while a helper finishes one block (its sum and
    // effects), the next is rendered into the other, and the finished one
    // is copied out only then (RenderBlock's hand-over).
    float* const blocks[2] = {block_.get(), block_.get() + 2 * kBlockFrames};
    int cur = 0;
    struct Pending {
        const float* blk = nullptr;
        float* out = nullptr;
        uint32_t frames = 0;
    } pending;
    auto copyOut = [&](const Pending& p) noexcept {
        if (mono) {
            for (uint32_t i = 0; i < p.frames; ++i) p.out[i] = (p.blk[2 * i] + p.blk[2 * i + 1]) * 0.5f * vol;
        } else {
            for (uint32_t i = 0; i < 2 * p.frames; ++i) p.out[i] = p.blk[i] * vol;
        }
    };

    uint32_t produced = 0;
    while (produced < frames) {
        if (position_ >= endFrame_ && !decaying_) {
            if (!decayEnd_) { ended_.store(true, std::memory_order_release); break; }
            // A player that stops lets go of every key and pedal; a note
            // whose note-off the file lacks would otherwise hold a looped
            // sample for ever.
            decaying_ = true;
            synth_.ReleaseEverything();
        }
        if (decaying_) {
            const uint64_t tail = position_ - std::min(position_, endFrame_);
            if (synth_.IsSilent() || tail >= static_cast<uint64_t>(kMaxTailSeconds + 1) * format.rate) {
                ended_.store(true, std::memory_order_release);
                break;
            }
            // Releases of a minute and more exist; nobody wants them in a
            // rendered file's tail, which ends faded out at this bound.
            if (tail >= static_cast<uint64_t>(kMaxTailSeconds) * format.rate && !tailCut_) {
                synth_.CutEverything();
                tailCut_ = true;
            }
        }
        uint32_t n = std::min(kBlockFrames, frames - produced);
        if (!decaying_ && endFrame_ > position_ && endFrame_ - position_ < n) n = static_cast<uint32_t>(endFrame_ - position_);
        if (liveStamped_) n = LiveCut(position_, n);
        n = ApplyDueTimed(position_, n);
        if (liveStamped_) ApplyDueLive(position_, n);
        auto b0 = limit > 0 ? Clock::now() : Clock::time_point();
        // Its first act is to complete the last block, if a helper still
        // had it.
        synth_.RenderBlock(blocks[cur], n, true);
        if (limit > 0) {
            double took = std::chrono::duration<double>(Clock::now() - b0).count();
            if (took > blockBudget * n) synth_.ShedVoices(std::max<uint32_t>(1, synth_.ActiveVoices() / 16));
        }
        if (pending.frames) copyOut(pending);
        pending = Pending{blocks[cur], out + static_cast<size_t>(produced) * format.channels, n};
        cur ^= 1;
        position_ += n;
        produced += n;
        if (NextTimedFrame() == UINT64_MAX) TakeTimedLists();
    }
    synth_.CompleteBlock();
    if (pending.frames) copyOut(pending);

    const double took = std::chrono::duration<double>(Clock::now() - t0).count();
    if (produced > 0) {
        float pct = static_cast<float>(took * format.rate / produced * 100.0);
        float prev = cpu_.load(std::memory_order_relaxed);
        cpu_.store(prev * 0.8f + pct * 0.2f, std::memory_order_relaxed);
    }
    activeVoices_.store(synth_.ActiveVoices(), std::memory_order_relaxed);
    positionPub_.store(position_, std::memory_order_relaxed);
    uint32_t oldest = synth_.OldestStackInUse();
    oldestInUse_.store(oldest < renderGeneration_ ? oldest : renderGeneration_, std::memory_order_release);
    PublishSnapshot();
    return produced;
}

} // namespace tsl
