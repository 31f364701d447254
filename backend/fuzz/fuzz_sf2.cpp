// libFuzzer target: any byte string through the SoundFont reader. Whatever
// opens must load, answer every note, and keep every voice inside its sample.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "font/readers.h"

using namespace tsl::font;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int error = 0;
    auto font = OpenSf2(std::make_unique<MemorySource>(std::vector<uint8_t>(data, data + size)), 0, &error);
    if (!font) return 0;
    font->Load(-1, -1, &error);
    static VoiceDesc out[64];
    for (const auto& p : font->presets) {
        for (int key = 0; key < 128; key += 9) {
            NoteRequest n;
            n.key = uint8_t(key);
            n.velocity = uint8_t(1 + key);
            size_t count = CollectVoices(*p, n, out, 64);
            for (size_t i = 0; i < count; ++i) {
                const VoiceDesc& v = out[i];
                const Sample& s = *v.sample;
                if (v.end > s.length || v.start > v.end || v.loopStart > v.loopEnd || v.loopEnd > v.end)
                    __builtin_trap();
                if (s.length == 0) continue;
                // The interpolator's reach: a guard's worth either side of the play range.
                volatile int sum = s.pcm[int64_t(v.start) - kGuard] + s.pcm[int64_t(v.end) - 1 + kGuard];
                if (v.loopMode) sum = sum + s.LoopSeam(v.loop)[2 * kGuard - 1];
                (void)sum;
            }
        }
    }
    font->Unload(-1, -1);
    return 0;
}
