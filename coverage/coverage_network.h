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

// The pass's kernel. The first layer adds one weight column per cell a mask covers; here the
// cells fall into chunks of a few cells, and the column sums of every pattern a chunk can show
// are added up once, so that a mask costs one table row per chunk.
class CoverageNetwork {
public:
    // useAvx2 (where the processor has AVX2; only for tests to turn off): wider vectors for the
    // same sums, and the same shares.
    explicit CoverageNetwork(const CoverageModel& model, bool useAvx2 = true);

    static bool canUseAvx2();

    // The colour's share of the pixel, 0..shareOne.
    int32_t share(const WindowMask& mask) const;

private:
    static constexpr int chunkCells = 6;
    static constexpr int chunks = (inputCells + chunkCells - 1) / chunkCells;
    static constexpr int patterns = 1 << chunkCells;

    const CoverageModel& model_;
    bool useAvx2_;
    std::vector<std::array<int16_t, firstHidden>> chunkSums_; // [chunk * patterns + pattern]
};

// The same share by the plain layer-by-layer loops: the definition the kernel is tested against.
int32_t colourShareReference(const CoverageModel& model, const WindowMask& mask);
