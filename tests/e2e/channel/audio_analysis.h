// What end-to-end tests of the synth's sound share: named events a test and
// its client programs wait on, and the analysis of the captured audio (where
// notes sound, and at which frequency).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "channel_fixture.h"

namespace tsltest {

// Named events a test shares with its clients; the test's process id keeps
// them apart from any other run in the same Wine session.
class SharedEvent {
public:
    explicit SharedEvent(const std::wstring& name)
        : m_name(L"tsl-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name),
          m_event(CreateEventW(nullptr, TRUE, FALSE, m_name.c_str()))
    {
    }
    ~SharedEvent()
    {
        if (m_event)
            CloseHandle(m_event);
    }
    SharedEvent(const SharedEvent&) = delete;
    SharedEvent& operator=(const SharedEvent&) = delete;

    const std::wstring& Name() const { return m_name; }
    bool Wait(DWORD timeoutMs) const { return m_event && WaitForSingleObject(m_event, timeoutMs) == WAIT_OBJECT_0; }
    void Signal() const { SetEvent(m_event); }

private:
    std::wstring m_name;
    HANDLE m_event;
};

struct Segment {
    size_t begin = 0, end = 0; // samples
};

inline size_t LevelWindow(const CapturedAudio& audio) { return std::max<size_t>(1, size_t(audio.rate / 100)); }

// The RMS level of each whole 10 ms window of the left channel in [from, to).
inline std::vector<double> WindowLevels(const CapturedAudio& audio, size_t from, size_t to)
{
    const size_t window = LevelWindow(audio);
    std::vector<double> level;
    for (size_t at = from; at + window <= to; at += window) {
        double sum = 0;
        for (size_t i = at; i < at + window; ++i)
            sum += double(audio.left[i]) * audio.left[i];
        level.push_back(std::sqrt(sum / double(window)));
    }
    return level;
}

// The stretches where something sounds: 10 ms windows louder than a tenth of
// the loudest one, short dips joined and blips shorter than `shortest`
// windows dropped.
inline std::vector<Segment> SoundingSegments(const CapturedAudio& audio, size_t shortest = 10)
{
    const size_t window = LevelWindow(audio);
    const std::vector<double> level = WindowLevels(audio, 0, audio.left.size());
    const double loudest = level.empty() ? 0 : *std::max_element(level.begin(), level.end());
    std::vector<Segment> segments;
    if (loudest <= 0)
        return segments;
    for (size_t w = 0; w < level.size(); ++w) {
        if (level[w] < loudest * 0.1)
            continue;
        if (!segments.empty() && w * window - segments.back().end <= 8 * window)
            segments.back().end = (w + 1) * window;
        else
            segments.push_back({w * window, (w + 1) * window});
    }
    std::erase_if(segments, [&](const Segment& s) { return s.end - s.begin < shortest * window; });
    return segments;
}

// The steady part of a note in a stretch: from the first to the last of its
// 10 ms windows that reach half the loudest one, and the median level of
// those windows. Under Wine the captured device takes the audio at an uneven
// pace, so a note held for half a second may be heard for far less; a fixed
// span from the onset would then take in the release.
struct Sustain {
    size_t from = 0, count = 0; // samples
    double level = 0;
};

inline Sustain SustainedPart(const CapturedAudio& audio, const Segment& s)
{
    const size_t window = LevelWindow(audio);
    const std::vector<double> level = WindowLevels(audio, s.begin, std::min(s.end, audio.left.size()));
    if (level.empty())
        return {};
    const double loudest = *std::max_element(level.begin(), level.end());
    std::vector<double> steady;
    size_t first = level.size(), last = 0;
    for (size_t w = 0; w < level.size(); ++w) {
        if (level[w] < loudest / 2)
            continue;
        steady.push_back(level[w]);
        first = std::min(first, w);
        last = w;
    }
    std::nth_element(steady.begin(), steady.begin() + steady.size() / 2, steady.end());
    return {s.begin + first * window, (last + 1 - first) * window, steady[steady.size() / 2]};
}

// The strongest frequency of the stretch, scanned in steps of 0.1 % between
// 100 Hz and 2 kHz (Hann-windowed Goertzel), taking the lowest peak nearly as
// strong as the strongest so that a loud overtone is not taken for the note.
inline double DominantHz(const std::vector<float>& x, size_t from, size_t count, double rate)
{
    std::vector<double> windowed(count);
    for (size_t i = 0; i < count; ++i)
        windowed[i] = x[from + i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(count - 1)));
    std::vector<double> hz, power;
    for (double f = 100; f < 2000; f *= 1.001) {
        const double coefficient = 2 * std::cos(2 * std::numbers::pi * f / rate);
        double s1 = 0, s2 = 0;
        for (double v : windowed) {
            const double s0 = v + coefficient * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        hz.push_back(f);
        power.push_back(s1 * s1 + s2 * s2 - coefficient * s1 * s2);
    }
    const size_t strongest = size_t(std::max_element(power.begin(), power.end()) - power.begin());
    const double best = power[strongest];
    // A fundamental weaker than its harmonic lies an octave or more below the
    // strongest peak; nearer peaks are sidebands (a capture that skipped
    // frames), not notes.
    for (size_t i = 1; i + 1 < power.size(); ++i)
        if ((i == strongest || hz[i] < 0.6 * hz[strongest]) && power[i] >= 0.3 * best && power[i] >= power[i - 1] &&
            power[i] >= power[i + 1])
            return hz[i];
    return best > 0 ? hz[strongest] : 0;
}

inline double NoteHz(int key) { return 440.0 * std::pow(2.0, (key - 69) / 12.0); }

}  // namespace tsltest
