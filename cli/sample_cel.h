// The bundled sample cel: a small drawing of our own with aliased ink lines and flat fills on a
// transparent background, rasterized with integer arithmetic only, so it is the same on every
// machine.
#pragma once

#include <cstdint>
#include <vector>

struct SampleCel {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgba; // 8-bit, straight alpha, rows tightly packed
};

SampleCel drawSampleCel();
