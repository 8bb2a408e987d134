// The coverage network's two kernels. Both use only integer arithmetic: every build, machine and
// thread count gives the same shares.
#include "coverage_network.h"

#include <algorithm>
#include <array>
#include <cstring>

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

} // namespace

CoverageNetwork::CoverageNetwork(const CoverageModel& model)
    : model_(model), chunkSums_(size_t(chunks) * patterns) {
    for (int chunk = 0; chunk < chunks; ++chunk)
        for (int pattern = 0; pattern < patterns; ++pattern) {
            auto& sums = chunkSums_[size_t(chunk * patterns + pattern)];
            sums.fill(0);
            for (int bit = 0; bit < chunkCells; ++bit) {
                const int cell = chunk * chunkCells + bit;
                if ((pattern >> bit & 1) == 0 || cell >= inputCells)
                    continue;
                for (int j = 0; j < firstHidden; ++j)
                    sums[size_t(j)] = int16_t(sums[size_t(j)] + model.firstWeights[cell][j]);
            }
        }
}

int32_t CoverageNetwork::share(const WindowMask& mask) const {
    // Every partial sum adds one weight of magnitude 127 at most from each of a set of cells.
    static_assert(inputCells * 127 <= INT16_MAX, "first-layer sums would overflow int16");
    // Eight sums at a time: the compiler's vector extension, so that every build adds them as
    // vectors (plain loops over the table rows were left scalar by some compilers).
    using Lanes = int16_t __attribute__((vector_size(16)));
    constexpr int vectors = firstHidden / 8;
    static_assert(firstHidden % 8 == 0);
    uint8_t padded[chunks * chunkCells] = {};
    std::copy(std::begin(mask.cells), std::end(mask.cells), padded);
    Lanes sums[vectors] = {};
    for (int chunk = 0; chunk < chunks; ++chunk) {
        const uint8_t* bits = padded + chunk * chunkCells;
        int pattern = 0;
        for (int bit = 0; bit < chunkCells; ++bit)
            pattern |= bits[bit] << bit;
        Lanes row[vectors];
        std::memcpy(row, chunkSums_[size_t(chunk * patterns + pattern)].data(), sizeof row);
        for (int v = 0; v < vectors; ++v)
            sums[v] += row[v];
    }
    int32_t wide[firstHidden];
    for (int j = 0; j < firstHidden; ++j)
        wide[j] = sums[j / 8][j % 8];
    return shareFromFirstSums(model_, wide);
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
