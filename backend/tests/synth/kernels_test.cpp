// The vectorised inner loops against their scalar references: the same
// music rendered both ways must agree to within float rounding, and each
// loop alone must agree on the awkward lengths and offsets the synth uses.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

#include "synth/effect_types.h"
#include "synth/kernels.h"
#include "synth/reverb.h"
#include "synth/sinc_table.h"
#include "synth/render_util.h"

using namespace tsl::test;
namespace kernels = tsl::kernels;

namespace {

// The steps of filters whose coefficients hold.
const float kHold[8][5] = {};

struct ScalarScope {
    ScalarScope() { kernels::SetVectorised(false); }
    ~ScalarScope() { kernels::SetVectorised(true); }
};

// The builds of the loops: the scalar reference, SSE2, AVX2 with FMA, and
// the AVX-512 build of the AVX2 code. Selects build `b`; false where this
// processor lacks it.
constexpr int kBuilds = 4;
bool UseBuild(int b) {
    kernels::SetVectorised(b >= 1);
    const kernels::Wide w = b == 3 ? kernels::Wide::kAvx512 : (b == 2 ? kernels::Wide::kAvx2 : kernels::Wide::kNone);
    return kernels::SetWide(w) == w;
}
// Back to what the synth uses by default.
void UseWidest() {
    kernels::SetVectorised(true);
    kernels::SetWide(kernels::Wide::kAvx512);
}
constexpr kernels::Wide kWideBuilds[] = {kernels::Wide::kAvx2, kernels::Wide::kAvx512};

std::vector<float> Scene(HSOUNDFONT f) {
    TestStream s({f}, 0, 48000);
    // Filtered soft notes, unfiltered loud ones, pans, a bend, a release.
    for (int c = 0; c < 6; ++c) s.Event(c, MIDI_EVENT_PAN, static_cast<DWORD>(c * 25));
    for (int i = 0; i < 24; ++i) s.Note(i % 6, 40 + i * 2, 30 + (i * 37) % 98);
    auto a = s.Render(3000);
    s.Event(2, MIDI_EVENT_PITCH, 9000);
    for (int i = 0; i < 24; i += 3) s.Note(i % 6, 40 + i * 2, 0);
    auto b = s.Render(5000);
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The largest difference of `got` from `ref`, relative to the reference's RMS
// (which must be audible).
double RelativeWorst(const std::vector<float>& got, const std::vector<float>& ref) {
    EXPECT_EQ(got.size(), ref.size());
    const double rms = Rms(ref, 0, ref.size());
    EXPECT_GT(rms, 1e-3);
    double worst = 0;
    for (size_t i = 0; i < ref.size() && i < got.size(); ++i)
        worst = std::max(worst, static_cast<double>(std::fabs(got[i] - ref[i])));
    return worst / rms;
}

} // namespace

TEST(Kernels, VectorisedRenderMatchesTheScalarReference) {
    Sf2Sample sine = SineSample(97, 200, 44100, 60, 12000);
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}, {8, 9000}, {9, 100}}}); // cutoff ~3.6 kHz, some resonance
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}, {17, 300}}});            // unfiltered, panned
    HSOUNDFONT f = LoadFont({sine}, {p});
    const auto fast = Scene(f);
    std::vector<float> ref;
    {
        ScalarScope scalar;
        ref = Scene(f);
    }
    EXPECT_LT(RelativeWorst(fast, ref), 1e-4);
    BASS_MIDI_FontFree(f);
}

// Plain voices go through the fused passes in groups of four, and groups for
// the same buses pair up. Voices for dry only, for reverb and for reverb and
// chorus started in turn (so their groups fill in turn) must each reach their
// buses once: together they sound as the sum of each voice rendered alone
// (a lone voice fills its group with silence and never pairs).
TEST(Kernels, VoicesForDifferentBusesInTurnAddUpToEachRenderedAlone) {
    Sf2Sample sine = SineSample(97, 200, 44100, 60, 12000);
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}}});
    HSOUNDFONT f = LoadFont({sine}, {p});
    const DWORD sends[3][2] = {{0, 0}, {100, 0}, {80, 90}}; // reverb, chorus
    constexpr int kVoices = 66; // 22 of each bus set: five full groups and two voices over
    auto render = [&](int only) {
        TestStream s({f}, 0, 48000);
        for (int c = 0; c < 3; ++c) {
            s.Event(c, MIDI_EVENT_REVERB, sends[c][0]);
            s.Event(c, MIDI_EVENT_CHORUS, sends[c][1]);
        }
        for (int i = 0; i < kVoices; ++i)
            if (only < 0 || i == only) s.Note(i % 3, 30 + i, 90);
        return s.Render(6000);
    };
    const auto all = render(-1);
    std::vector<float> sum(all.size(), 0.0f);
    for (int i = 0; i < kVoices; ++i) {
        const auto one = render(i);
        ASSERT_EQ(one.size(), all.size());
        for (size_t j = 0; j < one.size(); ++j) sum[j] += one[j];
    }
    EXPECT_LT(RelativeWorst(all, sum), 1e-4);
    BASS_MIDI_FontFree(f);
}

TEST(Kernels, EachLoopMatchesOnOddLengthsAndOffsets) {
    tsl::sinc::Init();
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<int16_t> src(4096);
    for (auto& v : src) v = static_cast<int16_t>(sample(rng));
    std::uniform_real_distribution<float> unit(-1, 1);
    for (uint32_t n : {1u, 3u, 4u, 7u, 33u, 64u}) {
        for (uint64_t inc : {0x40000000ull, 0x100000000ull, 0x1C3A5F00Dull}) {
            float out[2][64];
            uint64_t pos[2] = {0x12345678ABCull, 0x12345678ABCull};
            for (int k = 0; k < 2; ++k) {
                kernels::SetVectorised(k == 0);
                kernels::LinearRun16(src.data(), pos[k], inc, out[k], n);
            }
            EXPECT_EQ(pos[0], pos[1]);
            for (uint32_t i = 0; i < n; ++i) EXPECT_NEAR(out[0][i], out[1][i], 0.01f) << n << " " << i;
            // Sixteen taps summed in another order: a few float steps of a
            // value up to ~32768. The SSE2 build, and the wide ones where
            // the processor has them, against the scalar loop.
            for (int band = 0; band < tsl::sinc::kBands; ++band) {
                for (kernels::Wide wide : {kernels::Wide::kNone, kernels::Wide::kAvx2, kernels::Wide::kAvx512}) {
                    if (kernels::SetWide(wide) != wide) continue;
                    uint64_t at[2] = {0x12345678ABCull, 0x12345678ABCull};
                    for (int k = 0; k < 2; ++k) {
                        kernels::SetVectorised(k == 0);
                        kernels::SincRun16(src.data(), at[k], inc, band, out[k], n);
                    }
                    EXPECT_EQ(at[0], at[1]);
                    for (uint32_t i = 0; i < n; ++i)
                        EXPECT_NEAR(out[0][i], out[1][i], 0.05f)
                            << static_cast<int>(wide) << " " << band << " " << n << " " << i;
                }
            }
            UseWidest();
        }
        for (uint32_t from : {0u, 1u, 5u}) {
            if (from > n) continue;
            float x[64], bus[2][3][64];
            for (float& v : x) v = unit(rng);
            for (auto& b : bus[0])
                for (float& v : b) v = unit(rng);
            std::copy(&bus[0][0][0], &bus[0][0][0] + 3 * 64, &bus[1][0][0]);
            const float g0[3] = {0.1f, -0.3f, 0.7f}, d[3] = {0.01f, 0.002f, -0.02f};
            for (int k = 0; k < 2; ++k) {
                kernels::SetVectorised(k == 0);
                kernels::MixRamp(x, bus[k][0], from, n, g0[0], d[0]);
                kernels::MixRamp2(x, bus[k][1], bus[k][2], from, n, g0[1], d[1], g0[2], d[2]);
                kernels::MixRamp3(x, bus[k][0], bus[k][1], bus[k][2], from, n, g0, d);
                float* const four[4] = {bus[k][0], bus[k][1], bus[k][2], bus[k][0]};
                const float g4[4] = {0.2f, 0.1f, -0.4f, 0.05f}, d4[4] = {0.001f, -0.01f, 0.02f, 0.003f};
                kernels::MixRamp4(x, four, from, n, g4, d4);
            }
            for (int b = 0; b < 3; ++b)
                for (uint32_t i = 0; i < 64; ++i) EXPECT_NEAR(bus[0][b][i], bus[1][b][i], 1e-6f) << b << " " << i;
        }
        float buf[2][4][64];
        for (auto& v : buf[0])
            for (float& s : v) s = unit(rng);
        std::copy(&buf[0][0][0], &buf[0][0][0] + 4 * 64, &buf[1][0][0]);
        const float c[4][5] = {{0.2f, 0.4f, 0.2f, -0.5f, 0.3f}, {0.1f, 0.2f, 0.1f, -1.2f, 0.6f},
                               {0.9f, -1.8f, 0.9f, -1.7f, 0.75f}, {0.3f, 0, -0.3f, -0.4f, 0.4f}};
        float z[2][4][2] = {{{0.1f, -0.1f}, {0, 0}, {0.5f, 0.2f}, {-0.3f, 0.1f}}};
        std::copy(&z[0][0][0], &z[0][0][0] + 8, &z[1][0][0]);
        for (int k = 0; k < 2; ++k) {
            kernels::SetVectorised(k == 0);
            float* const x[4] = {buf[k][0], buf[k][1], buf[k][2], buf[k][3]};
            kernels::BiquadFour(x, c, kHold, z[k], n);
        }
        for (int v = 0; v < 4; ++v) {
            for (uint32_t i = 0; i < 64; ++i) EXPECT_NEAR(buf[0][v][i], buf[1][v][i], 1e-5f) << v << " " << i;
            EXPECT_NEAR(z[0][v][0], z[1][v][0], 1e-5f);
            EXPECT_NEAR(z[0][v][1], z[1][v][1], 1e-5f);
        }
    }
    kernels::SetVectorised(true);
}

// The fused pass over four voices must produce what the separate loops do
// (interpolate, scale by the gain ramp, filter, share out into each bus), in
// each of its versions (the scalar one included), with filters that hold
// and with low-pass filters that glide while the gain ramps.
TEST(Kernels, FusedFourVoicesMatchTheSeparateLoops) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_real_distribution<float> unit(-1, 1);
    std::vector<int16_t> src[4];
    for (auto& s : src) {
        s.resize(4096);
        for (auto& v : s) v = static_cast<int16_t>(sample(rng));
    }
    const uint64_t inc[4] = {0x40000000ull, 0x100000000ull, 0x1C3A5F00Dull, 0x0F1234567ull};
    const float shapes[4][5] = {{0.2f, 0.4f, 0.2f, -0.5f, 0.3f}, {1, 0, 0, 0, 0},
                                {0.9f, -1.8f, 0.9f, -1.7f, 0.75f}, {0.3f, 0, -0.3f, -0.4f, 0.4f}};
    // Low-pass shapes whose b0 nearly doubles over 64 frames while the gain
    // falls by more than half: the passes carry the gain on b0, and b0·e
    // must follow the product of the two ramps, not a line.
    const float lowpass[4][5] = {{0.05f, 0.1f, 0.05f, -1.2f, 0.45f}, {0.1f, 0.2f, 0.1f, -0.9f, 0.3f},
                                 {0.2f, 0.4f, 0.2f, -0.5f, 0.3f}, {0.01f, 0.02f, 0.01f, -1.6f, 0.65f}};
    for (bool glide : {false, true}) {
        for (uint32_t buses = 2; buses <= 4; ++buses) {
            for (uint32_t n : {1u, 3u, 4u, 33u, 64u}) {
                const auto& c = glide ? lowpass : shapes;
                float dc[4][5] = {};
                if (glide)
                    for (int k = 0; k < 4; ++k) {
                        const float d = c[k][0] * 0.8f / 64;
                        dc[k][0] = dc[k][2] = d;
                        dc[k][1] = 2 * d;
                    }
                kernels::FourVoices v{};
                for (int k = 0; k < 4; ++k) {
                    v.src[k] = src[k].data();
                    v.pos[k] = (static_cast<uint64_t>(100 + 37 * k) << 32) + 0x9ABCDEF0ull * static_cast<uint64_t>(k + 1) / 3;
                    v.inc[k] = inc[k];
                    v.left[k] = 64; // one buffer for the whole block
                    for (int j = 0; j < 5; ++j) {
                        v.c[j][k] = c[k][j];
                        v.dc[j][k] = dc[k][j];
                    }
                    v.z[0][k] = k == 1 ? 0 : 0.1f * unit(rng);
                    v.z[1][k] = k == 1 ? 0 : 0.1f * unit(rng);
                    v.e0[k] = 0.5f * unit(rng);
                    v.de[k] = glide ? -v.e0[k] * 0.6f / 64 : 0.01f * unit(rng);
                    for (uint32_t b = 0; b < 4; ++b) v.share[b][k] = unit(rng);
                }
                // The reference: the separate loops, scalar.
                kernels::SetVectorised(false);
                float ref[4][64] = {};
                float start[4][64];
                for (auto& b : start)
                    for (float& x : b) x = unit(rng);
                std::copy(&start[0][0], &start[0][0] + 4 * 64, &ref[0][0]);
                float tmp[4][64];
                float z[4][2];
                uint64_t refPos[4];
                for (int k = 0; k < 4; ++k) {
                    refPos[k] = v.pos[k];
                    kernels::LinearRun16(v.src[k], refPos[k], v.inc[k], tmp[k], n);
                    kernels::ScaleRamp(tmp[k], 0, n, v.e0[k], v.de[k]);
                    z[k][0] = v.z[0][k];
                    z[k][1] = v.z[1][k];
                }
                float* const x[4] = {tmp[0], tmp[1], tmp[2], tmp[3]};
                kernels::BiquadFour(x, c, dc, z, n);
                for (int k = 0; k < 4; ++k)
                    for (uint32_t b = 0; b < buses; ++b) kernels::MixRamp(tmp[k], ref[b], 0, n, v.share[b][k], 0);

                // Scalar, SSE2, and the wide builds where the processor has them.
                for (int vec = 0; vec < kBuilds; ++vec) {
                    if (!UseBuild(vec)) continue;
                    kernels::FourVoices w = v;
                    alignas(32) float acc[4 * kernels::kLaneStride] = {};
                    // A group adds into lanes 0-3 or, given acc + 4, lanes 4-7;
                    // ReduceLanes must fold both halves.
                    kernels::RenderFour(w, acc + (buses == 3 ? 4 : 0), buses, n);
                    float got[4][64];
                    std::copy(&start[0][0], &start[0][0] + 4 * 64, &got[0][0]);
                    for (uint32_t b = 0; b < buses; ++b) kernels::ReduceLanes(acc + b * kernels::kLaneStride, got[b], n);
                    for (int k = 0; k < 4; ++k) {
                        EXPECT_EQ(w.pos[k], refPos[k]);
                        EXPECT_NEAR(w.z[0][k], z[k][0], 0.05f) << k;
                        EXPECT_NEAR(w.z[1][k], z[k][1], 0.05f) << k;
                    }
                    // Sample units (full scale 32768, the filtered terms reach a
                    // few times that): differences are float rounding of the
                    // terms, whatever their sum.
                    for (uint32_t b = 0; b < 4; ++b)
                        for (uint32_t i = 0; i < 64; ++i)
                            EXPECT_NEAR(got[b][i], ref[b][i], 0.05f) << vec << " " << buses << " " << n << " " << b << " " << i;
                }
            }
        }
    }
    UseWidest();
}

// Two groups in one pass must give exactly what the two groups give one
// after the other, in each wide build (and the AVX-512 build what the AVX2
// one gives), the first in lanes 0-3 and the second in lanes 4-7: the
// same bus sums to the bit and the same state, with
// voices moving to other buffers inside the block, for every bus count and
// with low-pass, general and mixed filter shapes; with some voice moving two
// frames a frame or more, and with all of them slower (where one load serves
// two frames: up to the fastest such step, and a voice standing still).
TEST(Kernels, EightVoicesGiveTheBitsOfTwoFourVoicePasses) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::uniform_real_distribution<float> unit(-1, 1);
    std::vector<int16_t> data[8], seam[8];
    for (int k = 0; k < 8; ++k) {
        data[k].resize(4096);
        seam[k].resize(4096);
        for (auto& x : data[k]) x = static_cast<int16_t>(sample(rng));
        for (auto& x : seam[k]) x = static_cast<int16_t>(sample(rng));
    }
    // A voice whose buffer runs out moves to its seam buffer, 50 frames on.
    struct Ctx {
        std::vector<int16_t>* seam;
    };
    auto refill = [](void* ctx, int k, const int16_t*& src, uint64_t& p, uint32_t& left, uint32_t) noexcept {
        src = static_cast<Ctx*>(ctx)->seam[k].data();
        p = (p & 0xFFFFFFFFull) | (50ull << 32);
        left = 1000;
    };
    const float lowpass[5] = {0.2f, 0.4f, 0.2f, -0.5f, 0.3f}, general[5] = {0.3f, 0.1f, -0.3f, -0.4f, 0.4f};
    auto increment = [&](bool slow, int voice) -> uint64_t {
        if (!slow) return voice == 7 ? 0x280000000ull : 0x80000000ull + (static_cast<uint64_t>(rng()) << 1);
        if (voice == 0) return 0;
        if (voice == 5) return 0x1FFFFFFFFull;
        return static_cast<uint64_t>(rng()) << 1;
    };
    for (int round = 0; round < 6; ++round) {
        const int shapes = round % 3;
        const bool slow = round >= 3;
        for (uint32_t buses = 2; buses <= 4; ++buses) {
            for (uint32_t n : {1u, 33u, 128u}) {
                kernels::FourVoices v[2] = {};
                Ctx ctx[2] = {{&seam[0]}, {&seam[4]}};
                for (int h = 0; h < 2; ++h) {
                    const float* c = shapes == 0 || (shapes == 2 && h == 0) ? lowpass : general;
                    for (int k = 0; k < 4; ++k) {
                        v[h].src[k] = data[4 * h + k].data();
                        v[h].pos[k] = (static_cast<uint64_t>(10 + 3 * k) << 32) + rng();
                        v[h].inc[k] = increment(slow, 4 * h + k);
                        v[h].left[k] = (k + h) % 3 == 0 ? 1 + rng() % 40 : 4000;
                        for (int j = 0; j < 5; ++j) v[h].c[j][k] = c[j];
                        // Every other voice glides, in its filter's shape.
                        if (k % 2) {
                            const float step = 0.001f * unit(rng) / static_cast<float>(n);
                            for (int j = 0; j < 5; ++j) v[h].dc[j][k] = c == lowpass ? (j == 1 ? 2 * step : step) : 0.001f * unit(rng);
                        }
                        v[h].z[0][k] = 0.1f * unit(rng);
                        v[h].z[1][k] = 0.1f * unit(rng);
                        v[h].e0[k] = 0.5f * unit(rng);
                        v[h].de[k] = 0.01f * unit(rng);
                        for (uint32_t b = 0; b < 4; ++b) v[h].share[b][k] = unit(rng);
                    }
                    v[h].refill = refill;
                    v[h].ctx = &ctx[h];
                }
                alignas(32) static float start[4 * kernels::kLaneStride], accOne[4 * kernels::kLaneStride],
                    accBoth[4 * kernels::kLaneStride], accAvx2[4 * kernels::kLaneStride];
                for (float& x : start) x = 1000 * unit(rng);
                for (kernels::Wide wide : kWideBuilds) {
                    if (kernels::SetWide(wide) != wide) continue;
                    std::copy(std::begin(start), std::end(start), accOne);
                    std::copy(std::begin(start), std::end(start), accBoth);
                    kernels::FourVoices one[2] = {v[0], v[1]}, both[2] = {v[0], v[1]};
                    kernels::RenderFour(one[0], accOne, buses, n);
                    kernels::RenderFour(one[1], accOne + 4, buses, n);
                    kernels::RenderEight(both[0], both[1], accBoth, buses, n);
                    ASSERT_EQ(std::memcmp(accOne, accBoth, sizeof accOne), 0)
                        << static_cast<int>(wide) << " " << shapes << " " << slow << " " << buses << " " << n;
                    if (wide == kernels::Wide::kAvx2) std::copy(std::begin(accBoth), std::end(accBoth), accAvx2);
                    else ASSERT_EQ(std::memcmp(accAvx2, accBoth, sizeof accBoth), 0) << "AVX-512 against AVX2";
                    for (int h = 0; h < 2; ++h) {
                        for (int k = 0; k < 4; ++k) {
                            EXPECT_EQ(one[h].pos[k], both[h].pos[k]);
                            EXPECT_EQ(one[h].src[k], both[h].src[k]);
                            EXPECT_EQ(one[h].left[k], both[h].left[k]);
                        }
                        EXPECT_EQ(std::memcmp(one[h].z, both[h].z, sizeof one[h].z), 0);
                    }
                }
                UseWidest();
            }
        }
    }
}

// Eight voices' filters at once give each voice exactly what the four-voice
// filter gives it, in each wide build, on every length a block part can have.
TEST(Kernels, EightFiltersGiveTheBitsOfTwoFourFilterRuns) {
    std::mt19937 rng(9);
    std::uniform_real_distribution<float> unit(-1, 1);
    for (uint32_t n : {1u, 3u, 4u, 5u, 33u, 128u}) {
        float buf[2][8][128], c[8][5], dc[8][5], z[2][8][2];
        for (int v = 0; v < 8; ++v) {
            // Half of them gliding to other coefficients over the block.
            for (int j = 0; j < 5; ++j) dc[v][j] = v % 2 ? 0.002f * unit(rng) / static_cast<float>(n) : 0.0f;
            for (float& x : buf[0][v]) x = 20000 * unit(rng);
            // Low-pass-like coefficients of different cutoffs, some resonant.
            const float b = 0.05f + 0.1f * static_cast<float>(v);
            c[v][0] = b; c[v][1] = 2 * b; c[v][2] = b;
            c[v][3] = -1.2f + 0.1f * static_cast<float>(v); c[v][4] = 0.5f + 0.03f * static_cast<float>(v);
            z[0][v][0] = 100 * unit(rng);
            z[0][v][1] = 100 * unit(rng);
        }
        std::memcpy(buf[1], buf[0], sizeof buf[0]);
        std::memcpy(z[1], z[0], sizeof z[0]);
        float* one[8];
        for (int v = 0; v < 8; ++v) one[v] = buf[0][v];
        kernels::BiquadFour(one, c, dc, z[0], n);
        kernels::BiquadFour(one + 4, c + 4, dc + 4, z[0] + 4, n);
        for (kernels::Wide wide : kWideBuilds) {
            if (kernels::SetWide(wide) != wide) continue;
            float again[8][128], zz[8][2];
            std::memcpy(again, buf[1], sizeof again);
            std::memcpy(zz, z[1], sizeof zz);
            float* rows[8];
            for (int v = 0; v < 8; ++v) rows[v] = again[v];
            kernels::BiquadEight(rows, c, dc, zz, n);
            EXPECT_EQ(std::memcmp(buf[0], again, sizeof again), 0) << static_cast<int>(wide) << " " << n;
            EXPECT_EQ(std::memcmp(z[0], zz, sizeof zz), 0) << static_cast<int>(wide) << " " << n;
        }
        UseWidest();
    }
}

// The wide gain ramps give the buses the SSE2 ones' bits, from any start
// frame to any end (and with one bus given twice, as a caller may); so does
// the ramp that scales a voice's block before its filter.
TEST(Kernels, WideGainRampsGiveTheBitsOfTheNarrowOnes) {
    if (kernels::SetWide(kernels::Wide::kAvx2) != kernels::Wide::kAvx2) GTEST_SKIP() << "no AVX2/FMA here";
    std::mt19937 rng(13);
    std::uniform_real_distribution<float> unit(-1, 1);
    float x[128];
    for (float& v : x) v = 30000 * unit(rng);
    const float g0[4] = {0.1f, -0.3f, 0.7f, 0.05f}, d[4] = {0.001f, 0.0002f, -0.002f, 0.003f};
    for (uint32_t from : {0u, 1u, 5u, 13u}) {
        for (uint32_t to : {13u, 20u, 21u, 64u, 128u}) {
            if (to < from) continue;
            float start[4][128], bus[2][4][128];
            for (float& v : start[0]) v = unit(rng);
            for (int b = 1; b < 4; ++b) std::memcpy(start[b], start[0], sizeof start[0]);
            auto ramps = [&](kernels::Wide wide, float (&out)[4][128]) {
                if (kernels::SetWide(wide) != wide) return false;
                std::memcpy(out, start, sizeof start);
                kernels::MixRamp3(x, out[0], out[1], out[2], from, to, g0, d);
                float* const four[4] = {out[3], out[1], out[2], out[3]};
                kernels::MixRamp4(x, four, from, to, g0, d);
                kernels::ScaleRamp(out[0], from, to, g0[2], d[2]);
                return true;
            };
            ramps(kernels::Wide::kNone, bus[0]);
            for (kernels::Wide wide : kWideBuilds) {
                if (!ramps(wide, bus[1])) continue;
                EXPECT_EQ(std::memcmp(bus[0], bus[1], sizeof bus[0]), 0) << static_cast<int>(wide) << " " << from << " " << to;
            }
        }
    }
    UseWidest();
}

// Read positions at the edges of the 32.32 format: fractions that carry on
// every frame or on none, steps of almost one and two frames, a step of the
// smallest fraction. Every build of the pass must end where the scalar loop
// does and read the same frames.
TEST(Kernels, FourVoicePassPositionsCarryExactly) {
    std::vector<int16_t> ramp(1 << 16);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i * 7 % 65536 - 32768);
    const uint64_t inc[4] = {0x1FFFFFFFFull, 0x0FFFFFFFFull, 0x000000001ull, 0x280000000ull};
    const uint64_t pos[4] = {0xFFFFFFFFull, (3ull << 32) | 0x80000000ull, 0xFFFFFFFFull, 7ull << 32};
    const uint32_t n = 64;
    for (int vec = 0; vec < kBuilds; ++vec) {
        if (!UseBuild(vec)) continue;
        kernels::FourVoices v{};
        for (int k = 0; k < 4; ++k) {
            v.src[k] = ramp.data();
            v.pos[k] = pos[k];
            v.inc[k] = inc[k];
            v.left[k] = n;
            v.c[0][k] = 1;
            v.e0[k] = 1;
            v.share[0][k] = 1;
        }
        alignas(32) float acc[4 * kernels::kLaneStride] = {};
        kernels::RenderFour(v, acc, 2, n);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(v.pos[k], pos[k] + n * inc[k]) << vec << " voice " << k;
            // Each frame's value in the voice's lane of the first bus,
            // against the ramp interpolated by hand (one frame off would be
            // 7 away).
            uint64_t p = pos[k];
            for (uint32_t i = 0; i < n; ++i, p += inc[k]) {
                const int16_t* s = ramp.data() + (p >> 32);
                const float f = static_cast<float>(static_cast<uint32_t>(p) >> 9) / 8388608.0f;
                const float want = s[0] + (static_cast<float>(s[1]) - s[0]) * f;
                EXPECT_NEAR(acc[kernels::kLanes * i + k], want, 0.05f) << vec << " " << k << " " << i;
            }
        }
    }
    UseWidest();
}

// The widest steps 16-bit data can take, from -32768 to 32767 and back, at
// quarter frames: every build must interpolate them exactly (each value is a
// float), so the first frame and the step to the next may not lose a bit
// or overflow however they are taken apart.
TEST(Kernels, FullScaleStepsInterpolateExactly) {
    std::vector<int16_t> edge(256);
    for (size_t i = 0; i < edge.size(); ++i) edge[i] = i % 2 ? 32767 : -32768;
    edge[7] = -1; // and a step of one, from -1 to 32767
    const uint32_t n = 128;
    const uint64_t inc = 0x40000000ull;
    auto want = [&](uint32_t i) {
        const int16_t* s = edge.data() + i / 4;
        return static_cast<float>(s[0] + (static_cast<double>(s[1]) - s[0]) * (i % 4) / 4.0);
    };
    std::vector<float> run(n);
    for (int vec = 0; vec < kBuilds; ++vec) {
        if (!UseBuild(vec)) continue;
        uint64_t p = 0;
        kernels::LinearRun16(edge.data(), p, inc, run.data(), n);
        kernels::FourVoices v[2] = {};
        for (auto& g : v) {
            for (int k = 0; k < 4; ++k) {
                g.src[k] = edge.data();
                g.inc[k] = inc;
                g.left[k] = n;
                g.c[0][k] = 1;
                g.e0[k] = 1;
                g.share[0][k] = 1;
            }
        }
        alignas(32) float four[2 * kernels::kLaneStride] = {}, eight[2 * kernels::kLaneStride] = {};
        kernels::FourVoices single = v[0];
        kernels::RenderFour(single, four, 2, n);
        kernels::RenderEight(v[0], v[1], eight, 2, n);
        for (uint32_t i = 0; i < n; ++i) {
            ASSERT_EQ(run[i], want(i)) << vec << " frame " << i;
            EXPECT_EQ(four[kernels::kLanes * i], want(i)) << vec << " frame " << i;
            EXPECT_EQ(eight[kernels::kLanes * i + 5], want(i)) << vec << " frame " << i;
        }
    }
    UseWidest();
}

// Four equal voices go through the fused four-voice pass, a lone one through
// the general loops: across many crossings of a short loop's seam (at a pitch
// that does not divide the loop), four voices must sound four times as loud.
TEST(Kernels, FourVoicesAcrossLoopSeamsMatchOneVoiceRenderedAlone) {
    Sf2Sample s;
    s.rate = 44100;
    s.root = 60;
    for (int i = 0; i < 400; ++i)
        s.pcm.push_back(static_cast<int16_t>(9000 * std::sin(i * 0.37) + 4000 * std::sin(i * 1.91 + 0.5)));
    s.loopStart = 120;
    s.loopEnd = 157;
    Sf2Preset p;
    p.zones.push_back(Sf2Zone{0, 127, 0, {{54, 1}, {8, 9000}}});
    HSOUNDFONT f = LoadFont({s}, {p});
    auto render = [&](int voices) {
        TestStream t({f}, BASS_MIDI_NOFX, 48000);
        for (int c = 0; c < voices; ++c) t.Note(c, 67, 100);
        return t.Render(24000);
    };
    const auto one = render(1), four = render(4);
    ASSERT_EQ(one.size(), four.size());
    const double rms = Rms(one, 0, one.size());
    ASSERT_GT(rms, 1e-3);
    double worst = 0;
    for (size_t i = 0; i < one.size(); ++i) worst = std::max(worst, std::fabs(static_cast<double>(four[i]) - 4.0 * one[i]));
    EXPECT_LT(worst / rms, 1e-4);
    BASS_MIDI_FontFree(f);
}

// The reverb's network eight frames at a time against frame by frame: the
// same bits for every program, at rates that make the lines short (at
// 2 kHz the smallest room has lines shorter than a group, which must then
// go frame by frame) or long, for blocks of any length (the rest after the
// eights goes frame by frame), and the same moment of falling quiet once
// the send stops.
TEST(Kernels, ReverbInEightsGivesTheBitsOfOneFrameAtATime) {
    const uint32_t lengths[] = {128, 1, 7, 8, 9, 64, 127, 3, 16, 100};
    for (uint32_t rate : {2000u, 8000u, 22050u, 48000u}) {
        for (int type = 0; type < static_cast<int>(tsl::ReverbType::kCount); ++type) {
            SCOPED_TRACE(testing::Message() << "rate " << rate << ", program " << type);
            tsl::ReverbSettings set = tsl::ReverbProgram(static_cast<tsl::ReverbType>(type));
            // The smallest room has the shortest lines; one of them the
            // widest stereo and no pre-delay.
            if (type == 1) set.size = 0.1f;
            if (type == 2) { set.preDelay = 0; set.width = 1; }
            tsl::Reverb wide(rate), single(rate);
            wide.Configure(set);
            single.Configure(set);
            std::mt19937 rng(rate + type);
            std::normal_distribution<float> noise(0.0f, 0.3f);
            // Half a second of send, then until both have rung out.
            const uint32_t sending = rate / 2, total = sending + 12 * rate;
            uint32_t done = 0, quietAt = 0;
            for (size_t b = 0; done < total; ++b) {
                const uint32_t n = std::min(lengths[b % std::size(lengths)], total - done);
                std::vector<float> in(n, 0.0f), a(2 * n, 0.25f), s(2 * n, 0.25f);
                if (done < sending)
                    for (float& x : in) x = noise(rng);
                wide.Process(in.data(), a.data(), n, 0.7f);
                {
                    ScalarScope scalar;
                    single.Process(in.data(), s.data(), n, 0.7f);
                }
                ASSERT_EQ(0, std::memcmp(a.data(), s.data(), a.size() * sizeof(float))) << "block at frame " << done;
                ASSERT_EQ(wide.Quiet(), single.Quiet()) << "block at frame " << done;
                done += n;
                if (quietAt == 0 && wide.Quiet()) quietAt = done;
            }
            EXPECT_GT(quietAt, sending) << "never fell quiet";
        }
    }
}
