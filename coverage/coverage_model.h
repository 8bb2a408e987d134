// The coverage network's shape and the layout of its integer weights. For one candidate colour
// of a pixel, the network reads the colour's binary mask in the window around the pixel and gives
// the colour's share of the pixel. The numbers come from training (coverage_weights.cpp, written
// by training/export.py); this header says once how they are laid out.
#pragma once

#include <cstdint>

inline constexpr int windowSide = 11;
inline constexpr int windowRadius = windowSide / 2;
inline constexpr int windowCells = windowSide * windowSide; // row by row from the top left
inline constexpr int firstHidden = 64;
inline constexpr int secondHidden = 32;

// Each layer's accumulator is rescaled by an arithmetic right shift that rounds half up,
// (accumulator + 2^(shift - 1)) >> shift; hidden activations are then clamped to
// 0..activationMax, and the last layer's score, clamped to -scoreIndexLimit..scoreIndexLimit,
// indexes the sigmoid table.
inline constexpr int32_t activationMax = 255;
inline constexpr int32_t scoreIndexLimit = 128;
inline constexpr int sigmoidEntries = 2 * scoreIndexLimit + 1;
// A colour's share of a pixel is 0..shareOne.
inline constexpr int32_t shareOne = 1 << 15;

struct CoverageModel {
    // First layer, one column of weights per window cell: a mask adds the columns of its cells.
    int16_t firstWeights[windowCells][firstHidden]; // each -127..127
    int32_t firstBias[firstHidden]; // each below 2^20 in magnitude, as every bias
    int32_t firstShift;
    int16_t secondWeights[secondHidden][firstHidden]; // each -127..127
    int32_t secondBias[secondHidden];
    int32_t secondShift;
    int16_t outputWeights[secondHidden]; // each -127..127
    int32_t outputBias;
    int32_t outputShift;
    uint16_t sigmoid[sigmoidEntries]; // 0..shareOne
};

extern const CoverageModel coverageModel;
