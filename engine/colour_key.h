// The colour key: opaque pixels of exactly the key colour become transparent before smoothing.
#pragma once

#include "filter_pass.h"
#include "sample_traits.h"

#include <cstdint>

template <typename Sample> bool matchesKey(const Sample* pixel, const FilterParameters& key);

template <> inline bool matchesKey(const uint8_t* pixel, const FilterParameters& key) {
    return pixel[Red] == key.keyRed && pixel[Green] == key.keyGreen && pixel[Blue] == key.keyBlue &&
           pixel[Alpha] == 255;
}

// The key is given in 8-bit units: each 16-bit sample is rounded to 8 bits before comparing, and
// only the host's full opacity counts as opaque.
template <> inline bool matchesKey(const uint16_t* pixel, const FilterParameters& key) {
    auto to8 = [](uint16_t v) { return (int32_t{v} * 255 + 16384) / 32768; };
    return to8(pixel[Red]) == key.keyRed && to8(pixel[Green]) == key.keyGreen &&
           to8(pixel[Blue]) == key.keyBlue && pixel[Alpha] == 32768;
}

// Clears the alpha of every keyed pixel of one row, in the input and in the output that starts
// as its copy.
template <typename Sample>
void clearKeyedPixels(Sample* input, Sample* output, int32_t width, const FilterParameters& key) {
    for (int32_t column = 0; column < width; ++column) {
        if (matchesKey(input + 4 * column, key)) {
            input[4 * column + Alpha] = 0;
            output[4 * column + Alpha] = 0;
        }
    }
}
