// The 3x3 window of input pixels around a centre, and its coverage-weighted mean.
#pragma once

#include "pixel_ops.h"
#include "sample_traits.h"

#include <cstdint>

template <typename Sample> struct PixelNeighbourhood {
    // Cells 0..8 (see pixel_ops.h); null where the cell lies outside the filter rectangle.
    const Sample* cells[9];

    const Sample* centre() const { return cells[4]; }

    // Writes into target the premultiplied mean of the non-null cells, the centre counted
    // centreWeight (>= 1) times. The centre must not be null; target must be a real pixel.
    void average(Sample* target, int32_t centreWeight) const;
};

template <typename Sample>
void PixelNeighbourhood<Sample>::average(Sample* target, int32_t centreWeight) const {
    float count = 0.0f;
    float alphaSum = 0.0f;
    float redSum = 0.0f;
    float greenSum = 0.0f;
    float blueSum = 0.0f;
    auto add = [&](const Sample* pixel) {
        const float alpha = static_cast<float>(pixel[Alpha]);
        const float coverage = coverageOf(pixel[Alpha]);
        count += 1.0f;
        alphaSum += alpha;
        redSum += static_cast<float>(pixel[Red]) * coverage;
        greenSum += static_cast<float>(pixel[Green]) * coverage;
        blueSum += static_cast<float>(pixel[Blue]) * coverage;
    };
    for (int cell : {0, 1, 2, 3, 5, 6, 7, 8}) {
        if (cells[cell] != nullptr)
            add(cells[cell]);
    }
    for (int32_t i = 0; i < centreWeight; ++i)
        add(cells[4]);
    if (count <= 0.0f)
        return;

    // Alpha never exceeds full scale, also where 16-bit pixels carry the host's full opacity.
    auto clampToScale = [](int32_t value) { return std::clamp(value, 0, int32_t{SampleTraits<Sample>::fullScale}); };
    target[Alpha] = static_cast<Sample>(clampToScale(static_cast<int32_t>(alphaSum / count)));
    target[Red] = static_cast<Sample>(static_cast<int32_t>(redSum / count));
    target[Green] = static_cast<Sample>(static_cast<int32_t>(greenSum / count));
    target[Blue] = static_cast<Sample>(static_cast<int32_t>(blueSum / count));
    if (target[Alpha] == 0) {
        target[Red] = target[Green] = target[Blue] = 0;
        return;
    }
    // Un-premultiplied from the truncated integer samples, as stored.
    const float coverage = coverageOf(target[Alpha]);
    for (int c = Red; c <= Blue; ++c) {
        target[c] = static_cast<Sample>(
            clampToScale(static_cast<int32_t>(static_cast<float>(target[c]) / coverage)));
    }
}
