// Frozen copy of the straightforward engine, kept as the oracle that the fast engine and the
// parallel pass are compared against byte for byte. Do not optimise.
// Per-depth constants of the engine: every operation is written once over the sample type and
// takes its scale factors from here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tovrin_reference {

template <typename Sample> struct SampleTraits;

template <> struct SampleTraits<uint8_t> {
    // Full intensity and full opacity.
    static constexpr int32_t fullScale = 255;
    // Smooth ranges are given in 8-bit units; this brings them to sample units.
    static constexpr int32_t toleranceScale = 1;
    // Added before a blended value is truncated, so that single-precision error never drops a
    // result one unit below its exact value (two opaque pixels must mix to alpha 255).
    static constexpr float blendGuard = 1.0f / 1024.0f;
    static constexpr size_t pixelSize = 4 * sizeof(uint8_t);
};

template <> struct SampleTraits<uint16_t> {
    // The host's own 16-bit full value (not 255 x 128): anything lower caps white and leaks
    // opacity from every blended pixel of an opaque layer.
    static constexpr int32_t fullScale = 32768;
    static constexpr int32_t toleranceScale = 128;
    static constexpr float blendGuard = 1.0f / 128.0f;
    static constexpr size_t pixelSize = 4 * sizeof(uint16_t);
};

// One RGBA pixel copied out of a buffer.
template <typename Sample> struct Colour {
    Sample samples[4];

    const Sample* data() const { return samples; }
    Sample* data() { return samples; }
};

enum Channel { Red = 0, Green = 1, Blue = 2, Alpha = 3 };

} // namespace tovrin_reference
