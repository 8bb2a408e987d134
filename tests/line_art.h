// Random cel-like drawings for the property and randomized tests: flat fills, one-pixel lines and
// blocks in a few colours, or noise in many.
#pragma once

#include "test_host.h"

#include <random>

template <typename Sample>
void drawLineArt(TestHost<Sample>& host, std::mt19937& random, bool opaque, int colours) {
    constexpr int32_t full = SampleTraits<Sample>::fullScale;
    std::uniform_int_distribution<int32_t> sample(0, full);
    std::vector<Rgba<Sample>> palette;
    for (int i = 0; i < colours; ++i) {
        palette.push_back({Sample(sample(random)), Sample(sample(random)), Sample(sample(random)),
                           Sample(opaque || i % 3 ? full : i % 2 ? 0 : sample(random))});
    }
    auto pick = [&] { return palette[std::uniform_int_distribution<size_t>(0, palette.size() - 1)(random)]; };
    host.fill(pick());
    const int32_t w = host.width(), h = host.height();
    std::uniform_int_distribution<int32_t> shapes(1, 12);
    for (int s = shapes(random); s > 0; --s) {
        const Rgba<Sample> colour = pick();
        const int32_t x0 = std::uniform_int_distribution<int32_t>(0, w - 1)(random);
        const int32_t y0 = std::uniform_int_distribution<int32_t>(0, h - 1)(random);
        const int32_t x1 = std::uniform_int_distribution<int32_t>(0, w - 1)(random);
        const int32_t y1 = std::uniform_int_distribution<int32_t>(0, h - 1)(random);
        if (s % 2) { // filled rectangle
            for (int32_t y = std::min(y0, y1); y <= std::max(y0, y1); ++y)
                for (int32_t x = std::min(x0, x1); x <= std::max(x0, x1); ++x)
                    host.at(x, y) = colour;
        } else { // aliased line, one step per column or row
            const int32_t steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
            for (int32_t i = 0; i <= steps; ++i) {
                const int32_t x = steps ? x0 + (x1 - x0) * i / steps : x0;
                const int32_t y = steps ? y0 + (y1 - y0) * i / steps : y0;
                host.at(x, y) = colour;
            }
        }
    }
}
