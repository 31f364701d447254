#include "mixer/art_resample.h"

#include <algorithm>
#include <cmath>

namespace {

// For each target index, the source indices it covers and their weights
// (summing to 1): a box filter over [i * ratio, (i + 1) * ratio).
struct Span {
    int first = 0;
    std::vector<float> weights;
};

std::vector<Span> Spans(int sourceSize, int targetSize)
{
    std::vector<Span> spans(static_cast<size_t>(targetSize));
    const double ratio = static_cast<double>(sourceSize) / targetSize;
    for (int i = 0; i < targetSize; ++i) {
        const double from = i * ratio, to = (i + 1) * ratio;
        Span& span = spans[static_cast<size_t>(i)];
        span.first = std::min(static_cast<int>(std::floor(from)), sourceSize - 1);
        const int last = std::min(static_cast<int>(std::ceil(to)) - 1, sourceSize - 1);
        double total = 0;
        for (int s = span.first; s <= std::max(last, span.first); ++s) {
            const double covered = std::min<double>(to, s + 1) - std::max<double>(from, s);
            const float w = static_cast<float>(std::max(covered, 0.0));
            span.weights.push_back(w);
            total += w;
        }
        for (float& w : span.weights)
            w = total > 0 ? static_cast<float>(w / total) : 1.0f / static_cast<float>(span.weights.size());
    }
    return spans;
}

}  // namespace

std::vector<uint32_t> ResampleArea(const uint32_t* source, int sourceWidth, int sourceHeight, int width, int height)
{
    if (!source || sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0)
        return {};
    // Premultiply once: averaging straight colour would let fully transparent
    // pixels bleed their (meaningless) colour into the edges.
    std::vector<float> premultiplied(static_cast<size_t>(sourceWidth) * sourceHeight * 4);
    for (size_t i = 0; i < static_cast<size_t>(sourceWidth) * sourceHeight; ++i) {
        const uint32_t p = source[i];
        const float a = static_cast<float>(p >> 24) / 255.0f;
        premultiplied[i * 4 + 0] = static_cast<float>(p >> 16 & 0xFF) * a;
        premultiplied[i * 4 + 1] = static_cast<float>(p >> 8 & 0xFF) * a;
        premultiplied[i * 4 + 2] = static_cast<float>(p & 0xFF) * a;
        premultiplied[i * 4 + 3] = static_cast<float>(p >> 24);
    }
    const std::vector<Span> columns = Spans(sourceWidth, width);
    const std::vector<Span> rows = Spans(sourceHeight, height);

    // Horizontal pass into an intermediate of width x sourceHeight, then vertical.
    std::vector<float> horizontal(static_cast<size_t>(width) * sourceHeight * 4, 0.0f);
    for (int y = 0; y < sourceHeight; ++y) {
        for (int x = 0; x < width; ++x) {
            const Span& span = columns[static_cast<size_t>(x)];
            float* out = &horizontal[(static_cast<size_t>(y) * width + x) * 4];
            for (size_t k = 0; k < span.weights.size(); ++k) {
                const float* in = &premultiplied[(static_cast<size_t>(y) * sourceWidth + span.first + k) * 4];
                for (int c = 0; c < 4; ++c)
                    out[c] += in[c] * span.weights[k];
            }
        }
    }
    std::vector<uint32_t> result(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const Span& span = rows[static_cast<size_t>(y)];
        for (int x = 0; x < width; ++x) {
            float sum[4] = {};
            for (size_t k = 0; k < span.weights.size(); ++k) {
                const float* in = &horizontal[((span.first + k) * static_cast<size_t>(width) + x) * 4];
                for (int c = 0; c < 4; ++c)
                    sum[c] += in[c] * span.weights[k];
            }
            auto channel = [](float v) { return static_cast<uint32_t>(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
            const uint32_t a = channel(sum[3]);
            // Premultiplied colour can never exceed its alpha.
            const uint32_t r = std::min(channel(sum[0]), a), g = std::min(channel(sum[1]), a), b = std::min(channel(sum[2]), a);
            result[static_cast<size_t>(y) * width + x] = a << 24 | r << 16 | g << 8 | b;
        }
    }
    return result;
}
