// The coverage network's shape and the layout of its integer weights. For one candidate colour
// of a pixel, the network reads the colour's binary mask in the window around the pixel and gives
// the colour's share of the pixel. The numbers come from training (coverage_weights.cpp, written
// by training/export.py); this header says once how they are laid out.
#pragma once

#include <array>
#include <cstdint>

// The cells the network reads around a pixel: a square window, and arms that reach further along
// the three rows and the three columns through the pixel, where the long steps of nearly
// horizontal and nearly vertical edges lie.
inline constexpr int windowRadius = 5;
inline constexpr int armLength = 16;
inline constexpr int windowSide = 2 * windowRadius + 1;
inline constexpr int armCells = armLength - windowRadius; // cells of one arm
inline constexpr int inputCells = windowSide * windowSide + 12 * armCells;

struct CellOffset {
    int dx;
    int dy;
};

// In strips of cells in a line: the window row by row from the top left; then, for each side
// (left or up first) and each of the three rows or columns (from -1 to 1), the row's arm
// outwards, then the column's.
constexpr std::array<CellOffset, inputCells> cellOffsets() {
    std::array<CellOffset, inputCells> cells{};
    int i = 0;
    for (int dy = -windowRadius; dy <= windowRadius; ++dy)
        for (int dx = -windowRadius; dx <= windowRadius; ++dx)
            cells[i++] = {dx, dy};
    for (int side : {-1, 1})
        for (int across = -1; across <= 1; ++across) {
            for (int reach = windowRadius + 1; reach <= armLength; ++reach)
                cells[i++] = {side * reach, across};
            for (int reach = windowRadius + 1; reach <= armLength; ++reach)
                cells[i++] = {across, side * reach};
        }
    return cells;
}

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
    uint16_t sigmoid[sigmoidEntries]; // 0..shareOne
};

extern const CoverageModel coverageModel;
