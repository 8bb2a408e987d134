// The coverage network in integer arithmetic: a candidate colour's mask in, its share out.
#pragma once

#include "coverage_model.h"

#include <array>
#include <cstdint>
#include <vector>

// A colour's mask: one byte a cell, 1 where the colour lies, 0 elsewhere, in the model's order.
struct WindowMask {
    uint8_t cells[inputCells];
};

// The same mask as bits: cell i is bit i % 64 of word i / 64. Equal masks, equal bits.
struct MaskBits {
    uint64_t low = 0;
    uint64_t high = 0;
};

MaskBits bitsOf(const WindowMask& mask);

// The pass's kernel. The network judges a mask and its mirror image across the diagonal, and a
// colour's share is the mean of the two: each view's error is partly its own, and the mean halves
// that part. The first layer adds one weight column per cell a mask covers; here the cells fall
// into chunks of a few cells, and the column sums of every pattern a chunk can show are added up
// once for each view, so that a view costs one table row per chunk.
class CoverageNetwork {
public:
    // useAvx2 (where the processor has AVX2; only for tests to turn off): wider vectors for the
    // same sums, and the same shares.
    explicit CoverageNetwork(const CoverageModel& model, bool useAvx2 = true);

    static bool canUseAvx2();

    // The colour's share of the pixel, 0..shareOne.
    int32_t share(const WindowMask& mask) const { return share(bitsOf(mask)); }
    int32_t share(const MaskBits& mask) const;

private:
    static constexpr int chunkCells = 6;
    static constexpr int chunks = (inputCells + chunkCells - 1) / chunkCells;
    static constexpr int patterns = 1 << chunkCells;
    static constexpr int views = 2;

    int32_t shareOfView(const int* patternOfChunk, int view) const;

    const CoverageModel& model_;
    bool useAvx2_;
    // [(view * chunks + chunk) * patterns + pattern]
    std::vector<std::array<int16_t, firstHidden>> chunkSums_;
    // The second layer's weights in pairs of inputs: [input pair][output][2].
    std::vector<int16_t> secondPairs_;
};

// The same share by the plain layer-by-layer loops: the definition the kernel is tested against.
int32_t colourShareReference(const CoverageModel& model, const WindowMask& mask);
