// Asking for what notes will read (Synth::WarmNotes) must change nothing:
// two synthesizers given the same events, one of them warmed before every
// block with the block's notes and with notes that never come, render the
// same bits.
#include <gtest/gtest.h>

#include <vector>

#include "bassmidi.h"
#include "font/model.h"
#include "synth/render_util.h"
#include "synth/synth.h"

namespace tsl::test {
namespace {

std::shared_ptr<font::Font> LayeredFont() {
    const FontParts parts = LayeredSplitAndDrums();
    int error = 0;
    auto font = font::OpenFont(WriteTempFile(BuildSf2(parts.samples, parts.presets), "warm.sf2"), 0, &error);
    EXPECT_TRUE(font) << "error " << error;
    if (font) {
        EXPECT_TRUE(font->Load(-1, -1, &error)) << "error " << error;
    }
    return font;
}

TEST(NoteWarm, WarmedNotesSoundAsColdOnes) {
    auto font = LayeredFont();
    ASSERT_TRUE(font);
    const font::FontStack stack({{font, -1, 0}});
    Synth::Options o;
    o.maxVoices = 48; // the crowd below steals
    Synth cold(o), warm(o);
    cold.SetFontStack(&stack, 1);
    warm.SetFontStack(&stack, 1);
    for (Synth* s : {&cold, &warm}) {
        s->ApplyEvent(MIDI_EVENT_PROGRAM, 5, 1);
        s->ApplyEvent(MIDI_EVENT_TRANSPOSE, 64 + 7, 2);
    }
    std::vector<float> a(2 * kBlockFrames), b(2 * kBlockFrames);
    for (int block = 0; block < 24; ++block) {
        std::vector<Synth::NoteAhead> ahead;
        // Keys at both ends, every velocity, a drum channel, a transposed
        // one, more notes than are asked for, and notes on channels that
        // have not played yet (their presets unresolved).
        for (int k = 0; k < 90; ++k) {
            const uint8_t chan = static_cast<uint8_t>(k % 5 == 4 ? 9 : (block < 2 ? k % 16 : k % 4));
            const uint8_t key = static_cast<uint8_t>(k == 0 ? 0 : (k == 1 ? 127 : (block * 13 + k * 7) % 128));
            const uint8_t vel = static_cast<uint8_t>(1 + (block * 31 + k * 7) % 127);
            ahead.push_back({chan, key, vel});
        }
        warm.WarmNotes(ahead.data(), static_cast<uint32_t>(ahead.size()));
        warm.WarmNotes(ahead.data() + 40, 3);
        for (Synth* s : {&cold, &warm}) {
            // Only some of them come; a program change comes before them.
            if (block == 6) s->ApplyEvent(MIDI_EVENT_PROGRAM, 77, 3);
            for (size_t k = 0; k < ahead.size(); k += block % 3 + 1)
                s->ApplyEvent(MIDI_EVENT_NOTE, ahead[k].key | ahead[k].velocity << 8, ahead[k].chan);
            for (size_t k = 3; k < ahead.size(); k += 8) s->ApplyEvent(MIDI_EVENT_NOTE, ahead[k].key, ahead[k].chan);
        }
        cold.RenderBlock(a.data(), kBlockFrames);
        warm.RenderBlock(b.data(), kBlockFrames);
        cold.CompleteBlock();
        warm.CompleteBlock();
        ASSERT_EQ(a, b) << "block " << block;
    }
    EXPECT_GT(cold.ActiveVoices(), 0u);
}

} // namespace
} // namespace tsl::test
