// BASS_Encode_Start / BASS_Encode_IsActive / BASS_Encode_Stop.
//
// One encoder per channel: starting another replaces the channel's current
// one. Encoders receive what BASS_ChannelGetData pulls from their channel.
// The ENCODEPROC callback is not supported (the command or file receives the
// data); NOHEAD is not supported either.
#include <memory>
#include <mutex>
#include <unordered_map>

#include "bassenc.h"
#include "core/registry.h"
#include "encode/byte_output.h"
#include "encode/native_file.h"
#include "encode/pcm_sink.h"

namespace {

struct EncoderEntry {
    std::weak_ptr<tsl::EncoderSink> sink;
    std::shared_ptr<tsl::EncoderSink> owned; // without AUTOFREE the encoder outlives its stream
    uint32_t channel = 0;
};

struct EncoderTable {
    std::mutex lock;
    std::unordered_map<uint32_t, EncoderEntry> entries;
    uint32_t next = 0x60000001u;
};

EncoderTable& Table() {
    static EncoderTable t;
    return t;
}

// Entries of freed streams whose encoders went with them.
void PruneLocked(EncoderTable& t) {
    for (auto it = t.entries.begin(); it != t.entries.end();)
        it = it->second.sink.expired() ? t.entries.erase(it) : std::next(it);
}

std::shared_ptr<tsl::EncoderSink> Resolve(uint32_t handle) {
    if (auto channel = tsl::FindChannel(handle)) return channel->encoder;
    EncoderTable& t = Table();
    std::lock_guard<std::mutex> g(t.lock);
    auto it = t.entries.find(handle);
    return it == t.entries.end() ? nullptr : it->second.sink.lock();
}

bool IsKnown(uint32_t handle) {
    if (tsl::FindChannel(handle)) return true;
    EncoderTable& t = Table();
    std::lock_guard<std::mutex> g(t.lock);
    PruneLocked(t);
    return t.entries.count(handle) != 0;
}

} // namespace

extern "C" {

HENCODE BASSDEF(BASS_Encode_Start)(DWORD handle, const void* cmdline, DWORD flags, ENCODEPROC, void*) {
    try {
        auto channel = tsl::FindChannel(handle);
        if (!channel) {
            tsl::SetError(BASS_ERROR_HANDLE);
            return 0;
        }
        const std::string command = tsl::encode::ApiTextToUtf8(cmdline, (flags & BASS_UNICODE) != 0);
        const auto in = tsl::encode::LayoutOf(channel->format);
        const auto out = tsl::encode::OutputLayout(in, flags);
        int error = BASS_OK;
        auto dest = (flags & BASS_ENCODE_PCM) ? tsl::encode::OpenWavFile(command, out, error)
                                              : tsl::encode::StartEncoderProcess(command, out, error);
        if (!dest) {
            tsl::SetError(error);
            return 0;
        }
        auto sink = std::make_shared<tsl::encode::PcmSink>(in, out, std::move(dest));
        sink->autoFree = (flags & BASS_ENCODE_AUTOFREE) != 0;

        EncoderTable& t = Table();
        uint32_t id;
        {
            std::lock_guard<std::mutex> g(t.lock);
            PruneLocked(t);
            id = t.next++;
            t.entries[id] = EncoderEntry{sink, sink->autoFree ? nullptr : sink, handle};
        }
        channel->encoder = std::move(sink);
        tsl::SetError(BASS_OK);
        return id;
    } catch (...) {
        tsl::SetError(BASS_ERROR_MEM);
        return 0;
    }
}

DWORD BASSDEF(BASS_Encode_IsActive)(DWORD handle) {
    try {
        auto sink = Resolve(handle);
        if (!sink && !IsKnown(handle)) {
            tsl::SetError(BASS_ERROR_HANDLE);
            return BASS_ACTIVE_STOPPED;
        }
        tsl::SetError(BASS_OK);
        return sink && sink->IsActive() ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STOPPED;
    } catch (...) {
        tsl::SetError(BASS_ERROR_MEM);
        return BASS_ACTIVE_STOPPED;
    }
}

BOOL BASSDEF(BASS_Encode_Stop)(DWORD handle) {
    try {
        auto sink = Resolve(handle);
        if (!sink) {
            tsl::SetError(IsKnown(handle) ? BASS_ERROR_NOTAVAIL : BASS_ERROR_HANDLE);
            return FALSE;
        }
        // The channel keeps the finished sink until another encoder replaces
        // it or the channel goes: its pointer belongs to the pulling thread.
        sink->Stop();
        EncoderTable& t = Table();
        {
            std::lock_guard<std::mutex> g(t.lock);
            for (auto it = t.entries.begin(); it != t.entries.end();)
                it = it->second.sink.lock() == sink ? t.entries.erase(it) : std::next(it);
            PruneLocked(t);
        }
        tsl::SetError(BASS_OK);
        return TRUE;
    } catch (...) {
        tsl::SetError(BASS_ERROR_UNKNOWN);
        return FALSE;
    }
}

} // extern "C"
