// The library's side of the filter interface: a FilterRecord over two pixel buffers in memory,
// filled the way the real host fills it for an RGB layer with editable transparency, and one run
// of the engine's pass on it.
#pragma once

#include "filter_pass.h"

#include <cstdint>

// The buffers of one pass, in host units (0..255 at depth 8, 0..32768 at depth 16). The caller
// has checked the sizes: rows fit the host record's 32-bit fields and the buffers are distinct.
struct PassBuffers {
    void* input = nullptr;  // read by the pass, and written where the colour key clears alpha
    void* output = nullptr; // holds a copy of the input on entry and the result on return
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 8; // 8 or 16 bits per sample
    int32_t inputRowBytes = 0;
    int32_t outputRowBytes = 0;
};

// Runs the pass over the whole image as the filter rectangle, on up to `threads` threads for an
// image of largeFramePixels or more (the engine's banded pass; the same bytes for any count).
// Returns the pass's result code.
OSErr runPassOverBuffers(const PassBuffers& buffers, const FilterParameters& parameters,
                         int threads);
