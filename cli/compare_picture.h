// The before/after picture: input and result side by side, and under them both enlarged around
// the place the filter changed most, transparency shown on a checkerboard.
#pragma once

#include <cstdint>
#include <vector>

// A square of the frame, in pixels.
struct CropWindow {
    int32_t left = 0;
    int32_t top = 0;
    int32_t size = 0;
};

// 8-bit RGB, rows tightly packed.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;
};

// The size x size window whose pixels changed the most, summed over the absolute sample
// differences; the first such window in reading order on a tie. weights holds one value per
// pixel, row by row.
CropWindow mostChangedWindow(const std::vector<uint32_t>& weights, int32_t width, int32_t height,
                             int32_t size);

// source and result are host RGBA buffers (tightly packed) of the frame at depth 8 or 16.
Picture comparePicture(const void* source, const void* result, int32_t width, int32_t height,
                       int32_t depth);

// How many times the crop is enlarged: at least 4, more for small crops of large frames.
int32_t cropZoom(int32_t frameWidth, int32_t cropSize);
