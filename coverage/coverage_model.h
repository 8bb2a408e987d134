// The coverage network's shape and the layout of its integer weights. For one candidate colour
// of a pixel, the network reads the colour's binary mask in the window around the pixel and gives
// the colour's share of the pixel. The numbers come from training (coverage_weights.cpp, written
// by training/export.py); this header says once how they are laid out.
#pragma once

#include <cstdint>

// The window of cells the network reads around a pixel, row by row from the top left.
inline constexpr int windowRadius = 5;
inline constexpr int windowSide = 2 * windowRadius + 1;
inline constexpr int inputCells = windowSide * windowSide;

inline constexpr int firstHidden = 128;
inline constexpr int secondHidden = 64;

// Each layer's accumulator is rescaled by an arithmetic right shift that rounds half up,
// (accumulator + 2^(shift - 1)) >> shift; hidden activations are then clamped to
// 0..activationMax, and the last layer's score, clamped to -scoreIndexLimit..scoreIndexLimit,
// indexes the table of shares.
inline constexpr int32_t activationMax = 255;
inline constexpr int32_t scoreIndexLimit = 512;
inline constexpr int scoreEntries = 2 * scoreIndexLimit + 1;
// A colour's share of a pixel is 0..shareOne.
inline constexpr int32_t shareOne = 1 << 15;

struct CoverageModel {
    // First layer, one column of weights per cell: a mask adds the columns of its cells.
    int16_t firstWeights[inputCells][firstHidden]; // each -127..127
    int32_t firstBias[firstHidden]; // each below 2^20 in magnitude, as every bias
    int32_t firstShift;
    int16_t secondWeights[secondHidden][firstHidden]; // each -127..127
    int32_t secondBias[secondHidden];
    int32_t secondShift;
    int16_t outputWeights[secondHidden]; // each -127..127
    int32_t outputBias;
    int32_t outputShift;
    uint16_t scoreShares[scoreEntries]; // 0..shareOne
};

extern const CoverageModel coverageModel;
