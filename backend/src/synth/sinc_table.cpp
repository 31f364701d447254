#include "synth/sinc_table.h"

#include <cmath>
#include <mutex>

namespace tsl::sinc {

alignas(64) float g_table[kBands][kPhases][kTaps];

namespace {

std::once_flag g_once;

double BesselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 30; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

void Build() {
    const double cutoffs[kBands] = {0.92, 0.62, 0.42};
    const double beta = 7.5;
    const double half = kTaps / 2.0;
    const double pi = 3.14159265358979323846;
    for (int b = 0; b < kBands; ++b) {
        for (int p = 0; p < kPhases; ++p) {
            double frac = static_cast<double>(p) / kPhases;
            double sum = 0;
            double k[kTaps];
            for (int t = 0; t < kTaps; ++t) {
                double x = (t - kHalf) - frac; // distance from the wanted position
                double fc = cutoffs[b];
                double s = x == 0 ? fc : std::sin(pi * fc * x) / (pi * x);
                double r = x / half;
                double w = std::fabs(r) >= 1 ? 0 : BesselI0(beta * std::sqrt(1 - r * r)) / BesselI0(beta);
                k[t] = s * w;
                sum += k[t];
            }
            for (int t = 0; t < kTaps; ++t) g_table[b][p][t] = static_cast<float>(k[t] / sum);
        }
    }
}

} // namespace

void Init() { std::call_once(g_once, Build); }

} // namespace tsl::sinc
