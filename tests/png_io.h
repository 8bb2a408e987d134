// Reads an RGBA PNG of 8 or 16 bits per sample into host-order samples, for the reference cases.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PngImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitDepth = 0;           // 8 or 16
    std::vector<uint16_t> samples;  // R, G, B, A row by row, file values
};

// Throws std::runtime_error when the file is missing, not a PNG, or not RGBA.
PngImage readRgbaPng(const std::string& path);
