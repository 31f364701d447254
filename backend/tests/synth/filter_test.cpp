// The voice filter's coefficients: the sine and cosine they are built from,
// and the responses they give, against the analog prototypes' landmarks.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "synth/filter.h"

namespace tsl {
namespace {

// |H| in decibels at `hz` for a biquad run at `rate`.
double ResponseDb(const BiquadCoeffs& c, double hz, double rate) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / rate), z2 = z1 * z1;
    const double b0 = c.b0, b1 = c.b1, b2 = c.b2, a1 = c.a1, a2 = c.a2;
    const std::complex<double> h = (b0 + b1 * z1 + b2 * z2) / (1.0 + a1 * z1 + a2 * z2);
    return 20.0 * std::log10(std::abs(h));
}

TEST(Filter, SinCosFollowTheLibraryOverTheWholeRange) {
    double worst = 0;
    for (int k = 0; k <= 100000; ++k) {
        const float w = static_cast<float>(std::numbers::pi * k / 100000.0);
        float s, c;
        SinCos(w, s, c);
        const double x = w;
        worst = std::max({worst, std::fabs(s - std::sin(x)), std::fabs(c - std::cos(x))});
    }
    EXPECT_LT(worst, 3e-7);
}

// The low-pass with no resonance is a Butterworth: 0 dB at DC, -3 dB at the
// cutoff. A resonant one peaks near the cutoff by Q (0.707 x 10^(cb/200))
// above its passband, which is lowered by half its centibels. Across the
// range a voice's cutoff sweeps; below about 100 Hz at 48 kHz a float biquad
// itself is no longer that exact (1 - cos w is lost in rounding).
TEST(Filter, LowpassMeetsItsLandmarksFromTheBottomToNearNyquist) {
    const float rate = 48000;
    const float radiansPerHz = 6.28318531f / rate;
    for (float hz : {100.0f, 440.0f, 1000.0f, 5000.0f, 12000.0f, 18000.0f}) {
        const BiquadCoeffs flat = FilterCoeffs(font::FilterType::kLowpass2, hz, Resonance::Of(0), rate, radiansPerHz);
        EXPECT_NEAR(ResponseDb(flat, 1, rate), 0.0, 0.05) << hz;
        EXPECT_NEAR(ResponseDb(flat, hz, rate), -3.01, 0.05) << hz;
        EXPECT_LT(ResponseDb(flat, std::min(4.0 * hz, 23000.0), rate), -20.0) << hz;

        const BiquadCoeffs peaked = FilterCoeffs(font::FilterType::kLowpass2, hz, Resonance::Of(200), rate, radiansPerHz); // Q 7.07
        const double dc = ResponseDb(peaked, 1, rate);
        EXPECT_NEAR(dc, -10.0, 0.1) << hz;
        double top = -100;
        for (double f = 0.8 * hz; f <= std::min(1.2 * hz, 23900.0); f += hz / 400.0)
            top = std::max(top, ResponseDb(peaked, f, rate));
        EXPECT_NEAR(top - dc, 20.0 * std::log10(7.0710678), 0.3) << hz;
    }
    // The lowest cutoff a SoundFont can ask for (1500 cents, 19.4 Hz) still
    // passes DC and cuts at about its cutoff.
    const BiquadCoeffs low = FilterCoeffs(font::FilterType::kLowpass2, 19.4f, Resonance::Of(0), rate, radiansPerHz);
    EXPECT_NEAR(ResponseDb(low, 0.5, rate), 0.0, 0.1);
    EXPECT_NEAR(ResponseDb(low, 19.4, rate), -3.0, 0.3);
}

TEST(Filter, OtherShapesPassAndStopWhereTheyShould) {
    const float rate = 44100;
    const float radiansPerHz = 6.28318531f / rate;
    const Resonance none = Resonance::Of(0);
    const BiquadCoeffs high = FilterCoeffs(font::FilterType::kHighpass2, 1000, none, rate, radiansPerHz);
    EXPECT_NEAR(ResponseDb(high, 1000, rate), -3.01, 0.05);
    EXPECT_NEAR(ResponseDb(high, 15000, rate), 0.0, 0.1);
    EXPECT_LT(ResponseDb(high, 100, rate), -35.0);
    const BiquadCoeffs band = FilterCoeffs(font::FilterType::kBandpass2, 2000, none, rate, radiansPerHz);
    EXPECT_NEAR(ResponseDb(band, 2000, rate), 0.0, 0.05);
    EXPECT_LT(ResponseDb(band, 100, rate), -20.0);
    const BiquadCoeffs notch = FilterCoeffs(font::FilterType::kBandStop2, 2000, none, rate, radiansPerHz);
    EXPECT_LT(ResponseDb(notch, 2000, rate), -60.0);
    EXPECT_NEAR(ResponseDb(notch, 20, rate), 0.0, 0.05);
    const BiquadCoeffs low1 = FilterCoeffs(font::FilterType::kLowpass1, 1000, none, rate, radiansPerHz);
    EXPECT_NEAR(ResponseDb(low1, 1000, rate), -3.01, 0.05);
}

} // namespace
} // namespace tsl
