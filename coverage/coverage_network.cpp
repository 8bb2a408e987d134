// The coverage network's two kernels. Both use only integer arithmetic: every build, machine and
// thread count gives the same shares.
#include "coverage_network.h"

#include <algorithm>
#include <array>

namespace {

// Accumulators stay far inside int32: at most 121 (first layer) or 64 (second) products of
// weights below 128 and activations below 256, plus a bias below 2^20.
int32_t rescale(int32_t accumulator, int32_t shift) {
    return (accumulator + (int32_t{1} << (shift - 1))) >> shift;
}

int16_t activation(int32_t accumulator, int32_t shift) {
    return int16_t(std::clamp(rescale(accumulator, shift), int32_t{0}, activationMax));
}

int32_t shareOfScore(const CoverageModel& model, int32_t accumulator) {
    const int32_t index =
        std::clamp(rescale(accumulator, model.outputShift), -scoreIndexLimit, scoreIndexLimit);
    return model.sigmoid[index + scoreIndexLimit];
}

// The two layers after the first, from the first layer's accumulators (bias not yet added).
int32_t shareFromFirstSums(const CoverageModel& model, const int32_t* firstSums) {
    int16_t first[firstHidden];
    for (int j = 0; j < firstHidden; ++j)
        first[j] = activation(firstSums[j] + model.firstBias[j], model.firstShift);
    int16_t second[secondHidden];
    for (int k = 0; k < secondHidden; ++k) {
        int32_t sum = 0;
        for (int j = 0; j < firstHidden; ++j)
            sum += int32_t{model.secondWeights[k][j]} * int32_t{first[j]};
        second[k] = activation(sum + model.secondBias[k], model.secondShift);
    }
    int32_t sum = 0;
    for (int k = 0; k < secondHidden; ++k)
        sum += int32_t{model.outputWeights[k]} * int32_t{second[k]};
    return shareOfScore(model, sum + model.outputBias);
}

// Every weight column added up: a mask that covers most of the window subtracts the columns of
// the cells it leaves out instead.
struct ColumnTotals {
    std::array<int16_t, firstHidden> sums{};

    explicit ColumnTotals(const CoverageModel& model) {
        for (int cell = 0; cell < inputCells; ++cell)
            for (int j = 0; j < firstHidden; ++j)
                sums[j] = int16_t(sums[j] + model.firstWeights[cell][j]);
    }
};

} // namespace

int32_t colourShare(const CoverageModel& model, const WindowMask& mask) {
    static const ColumnTotals totals(model);
    int set = 0;
    for (uint8_t cell : mask.cells)
        set += cell;
    // Every partial sum adds a subset of one weight per cell, each of magnitude 127 at most.
    static_assert(inputCells * 127 <= INT16_MAX, "first-layer sums would overflow int16");
    alignas(16) int16_t sums[firstHidden];
    const bool subtract = 2 * set > inputCells;
    const uint8_t wanted = subtract ? 0 : 1;
    for (int j = 0; j < firstHidden; ++j)
        sums[j] = subtract ? totals.sums[j] : 0;
    for (int cell = 0; cell < inputCells; ++cell) {
        if (mask.cells[cell] != wanted)
            continue;
        const int16_t* column = model.firstWeights[cell];
        if (subtract)
            for (int j = 0; j < firstHidden; ++j)
                sums[j] = int16_t(sums[j] - column[j]);
        else
            for (int j = 0; j < firstHidden; ++j)
                sums[j] = int16_t(sums[j] + column[j]);
    }
    int32_t wide[firstHidden];
    for (int j = 0; j < firstHidden; ++j)
        wide[j] = sums[j];
    return shareFromFirstSums(model, wide);
}

int32_t colourShareReference(const CoverageModel& model, const WindowMask& mask) {
    int32_t sums[firstHidden];
    for (int j = 0; j < firstHidden; ++j) {
        sums[j] = 0;
        for (int cell = 0; cell < inputCells; ++cell)
            sums[j] += int32_t{model.firstWeights[cell][j]} * int32_t{mask.cells[cell]};
    }
    return shareFromFirstSums(model, sums);
}
