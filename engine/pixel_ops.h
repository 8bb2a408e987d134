// Pixel primitives shared by every engine operation: the 3x3 cell tables, colour equality within
// a tolerance, the signed luminance difference and the premultiplied two-pixel blend.
//
// Cells of a 3x3 neighbourhood, row-major around the centre 4 (rows grow downward):
//
//     0 1 2
//     3 4 5
//     6 7 8
//
// A direction is the cell index of one neighbour as seen from the centre.
#pragma once

#include "sample_traits.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// The centre cell, and the four side directions in the order the scan faces them.
inline constexpr int32_t centreCell = 4;
enum SideDirection : int32_t { FacingUp = 1, FacingLeft = 3, FacingRight = 5, FacingDown = 7 };
inline constexpr int32_t sideDirections[4] = {FacingRight, FacingLeft, FacingUp, FacingDown};
// Every cell but the centre.
inline constexpr int32_t neighbourCells[8] = {0, 1, 2, 3, 5, 6, 7, 8};

inline constexpr int32_t turnLeft90[9] = {6, 3, 0, 7, 4, 1, 8, 5, 2};
inline constexpr int32_t turnRight90[9] = {2, 5, 8, 1, 4, 7, 0, 3, 6};
inline constexpr int32_t turnLeft45[9] = {3, 0, 1, 6, 4, 2, 7, 8, 5};
inline constexpr int32_t turnRight45[9] = {1, 2, 5, 0, 4, 8, 3, 6, 7};
inline constexpr int32_t cellDx[9] = {-1, 0, 1, -1, 0, 1, -1, 0, 1};
inline constexpr int32_t cellDy[9] = {-1, -1, -1, 0, 0, 0, 1, 1, 1};
inline constexpr int32_t oppositeCell[9] = {8, 7, 6, 5, 4, 3, 2, 1, 0};

// One word comparison of the whole pixel rather than four sample comparisons.
template <typename Sample> bool samePixel(const Sample* a, const Sample* b) {
    return std::memcmp(a, b, SampleTraits<Sample>::pixelSize) == 0;
}

// True when neither pixel is missing and every sample, alpha included, differs by at most the
// smooth range (0..255, in 8-bit units).
template <typename Sample> bool pixelsMatch(const Sample* a, const Sample* b, int32_t tolerance) {
    if (a == nullptr || b == nullptr)
        return false;
    // Line art compares mostly identical pixels: one word comparison settles those.
    if (samePixel(a, b))
        return true;
    if (tolerance == 0)
        return false;
    const int32_t scaled = tolerance * SampleTraits<Sample>::toleranceScale;
    auto within = [&](int c) { return std::abs(int32_t{a[c]} - int32_t{b[c]}) <= scaled; };
    return within(0) && within(1) && within(2) && within(3);
}

// Alpha as a fraction of full opacity. The 8-bit form looks the quotient up (a division costs
// more than the rest of a luminance difference); the 16-bit form divides by a power of two,
// which the compiler turns into an exact multiplication.
struct CoverageTable {
    float values[256];
    constexpr CoverageTable() : values() {
        for (int i = 0; i < 256; ++i)
            values[i] =
                static_cast<float>(i) / static_cast<float>(SampleTraits<uint8_t>::fullScale);
    }
};
inline constexpr CoverageTable coverageTable8;

inline float coverageOf(uint8_t alpha) {
    return coverageTable8.values[alpha];
}
inline float coverageOf(uint16_t alpha) {
    static_assert(SampleTraits<uint16_t>::fullScale == 32768);
    return static_cast<float>(alpha) / static_cast<float>(SampleTraits<uint16_t>::fullScale);
}

// ceil for positive and floor for negative values, as an integer; without SSE4.1 the library
// calls for these cost more than the whole luminance difference. Exact for |value| < 2^31.
inline int32_t roundAwayFromZero(float value) {
    const int32_t truncated = static_cast<int32_t>(value);
    if (static_cast<float>(truncated) == value)
        return truncated;
    return value > 0.0f ? truncated + 1 : truncated - 1;
}

// A pixel's colour premultiplied by its coverage, and its luma.
struct PremultipliedColour {
    float red, green, blue, luma;
};

template <typename Sample> PremultipliedColour premultiplied(const Sample* pixel) {
    const float coverage = coverageOf(pixel[Alpha]);
    const float red = static_cast<float>(pixel[Red]) * coverage;
    const float green = static_cast<float>(pixel[Green]) * coverage;
    const float blue = static_cast<float>(pixel[Blue]) * coverage;
    return {red, green, blue, (0.3f * red + 0.59f * green) + 0.11f * blue};
}

// The luma difference of a over b, rounded away from zero.
inline int32_t roundedLumaDifference(const PremultipliedColour& a, const PremultipliedColour& b) {
    return roundAwayFromZero(a.luma - b.luma);
}

// The least magnitude of a luminance difference between two different pixels: a quarter of how
// far apart they are in premultiplied colour and alpha, at least 1.
template <typename Sample>
int32_t leastMagnitude(const Sample* a, const Sample* b, const PremultipliedColour& colourA,
                       const PremultipliedColour& colourB) {
    const float alphaDifference =
        static_cast<float>(std::abs(int32_t{a[Alpha]} - int32_t{b[Alpha]}));
    const float spread = ((std::fabs(colourA.red - colourB.red) + alphaDifference) +
                          std::fabs(colourA.blue - colourB.blue)) +
                         std::fabs(colourA.green - colourB.green);
    return std::max(static_cast<int32_t>(spread) / 4, 1);
}

// Signed brightness of a over b in sample units: positive when a is brighter, negative when it is
// darker or equally bright but different, 0 when they are identical or one is missing. Pixels
// that differ at all are at least 1 apart, and a difference in coverage counts even where the
// premultiplied luma is equal.
template <typename Sample> int32_t luminanceDifference(const Sample* a, const Sample* b) {
    if (a == nullptr || b == nullptr || samePixel(a, b))
        return 0;
    const PremultipliedColour colourA = premultiplied(a);
    const PremultipliedColour colourB = premultiplied(b);
    const int32_t rounded = roundedLumaDifference(colourA, colourB);
    const int32_t magnitude = std::max(leastMagnitude(a, b, colourA, colourB), std::abs(rounded));
    return rounded > 0 ? magnitude : -magnitude;
}

// luminanceDifference(a, b) > tolerance, and luminanceDifference(a, b) < -tolerance: every use
// of the difference compares it with the smooth range, and the answer mostly follows from the
// sign and the luma alone, without the least magnitude.
template <typename Sample>
bool brighterBeyond(const Sample* a, const Sample* b, int32_t tolerance) {
    if (tolerance < 0)
        return luminanceDifference(a, b) > tolerance;
    if (a == nullptr || b == nullptr || samePixel(a, b))
        return false;
    const PremultipliedColour colourA = premultiplied(a);
    const PremultipliedColour colourB = premultiplied(b);
    const int32_t rounded = roundedLumaDifference(colourA, colourB);
    if (rounded <= 0)
        return false;
    return rounded > tolerance || leastMagnitude(a, b, colourA, colourB) > tolerance;
}

template <typename Sample> bool darkerBeyond(const Sample* a, const Sample* b, int32_t tolerance) {
    if (tolerance < 0)
        return luminanceDifference(a, b) < -tolerance;
    if (a == nullptr || b == nullptr || samePixel(a, b))
        return false;
    const PremultipliedColour colourA = premultiplied(a);
    const PremultipliedColour colourB = premultiplied(b);
    const int32_t rounded = roundedLumaDifference(colourA, colourB);
    if (rounded > 0)
        return false;
    return -rounded > tolerance || leastMagnitude(a, b, colourA, colourB) > tolerance;
}

// Weighted premultiplied mix of two pixels A and B into out, every channel clamped to
// channelMaximum. Weights are non-negative; out may alias A or B (all inputs are read first).
template <typename Sample>
void blendChannels(const Sample* redA, const Sample* greenA, const Sample* blueA,
                   const Sample* alphaA, float weightA, const Sample* redB, const Sample* greenB,
                   const Sample* blueB, const Sample* alphaB, float weightB, Sample* redOut,
                   Sample* greenOut, Sample* blueOut, Sample* alphaOut,
                   const float& channelMaximum) {
    const float maximum = channelMaximum;
    const float inA[3] = {static_cast<float>(*redA), static_cast<float>(*greenA),
                          static_cast<float>(*blueA)};
    const float inB[3] = {static_cast<float>(*redB), static_cast<float>(*greenB),
                          static_cast<float>(*blueB)};
    const float coverageA = static_cast<float>(*alphaA);
    const float coverageB = static_cast<float>(*alphaB);

    const float alpha = coverageA * weightA + coverageB * weightB;
    float clampedAlpha = alpha;
    if (clampedAlpha > maximum)
        clampedAlpha = maximum;
    if (clampedAlpha < 0.0f)
        clampedAlpha = 0.0f;

    float colour[3];
    for (int c = 0; c < 3; ++c) {
        const float numerator = (inA[c] * weightA) * coverageA + (inB[c] * weightB) * coverageB;
        float value;
        if (clampedAlpha == 0.0f)
            value = numerator > 0.0f ? maximum : 0.0f; // no coverage: no colour to recover
        else
            value = numerator / clampedAlpha;
        if (value > maximum)
            value = maximum;
        if (value < 0.0f)
            value = 0.0f;
        colour[c] = value;
    }

    constexpr float guard = SampleTraits<Sample>::blendGuard;
    *redOut = static_cast<Sample>(colour[0] + guard);
    *greenOut = static_cast<Sample>(colour[1] + guard);
    *blueOut = static_cast<Sample>(colour[2] + guard);
    *alphaOut = static_cast<Sample>(clampedAlpha + guard);
}

template <typename Sample>
void blendPixels(const Sample* a, float weightA, const Sample* b, float weightB, Sample* out) {
    static constexpr float maximum = SampleTraits<Sample>::fullScale;
    blendChannels(&a[Red], &a[Green], &a[Blue], &a[Alpha], weightA, &b[Red], &b[Green], &b[Blue],
                  &b[Alpha], weightB, &out[Red], &out[Green], &out[Blue], &out[Alpha], maximum);
}
