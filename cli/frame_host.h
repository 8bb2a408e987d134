// The command-line host's side of the filter interface: a FilterRecord filled over one decoded
// frame the way the real host fills it for an RGB layer with editable transparency, and one run
// of the plug-in's filter pass on it; or, in high quality, the same frame through the coverage
// pass.
#pragma once

#include "coverage_pass.h"
#include "filter_pass.h"

#include <cstddef>
#include <cstdint>

// One frame of interleaved RGBA pixels in host units: 0..255 at depth 8, 0..32768 at depth 16.
// Both buffers have the same size and row stride.
struct FrameBuffers {
    const void* source = nullptr; // the frame as decoded; never written
    void* result = nullptr;       // receives the filtered frame
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 8;   // 8 or 16 bits per sample
    size_t rowBytes = 0; // at least width * 4 samples
};

// The largest frame the host record can describe: the row stride is a signed 32-bit field.
bool frameFitsHostRecord(int32_t width, int32_t height, int32_t depth);

// Runs the filter pass over the whole frame as the filter rectangle, on up to `threads` threads
// for a frame of largeFramePixels or more (same bytes either way); in high quality, the coverage
// pass, which may use the threads on a frame of any size. Returns the pass's result code; result
// holds the filtered frame only when it is noErr.
OSErr smoothFrame(const FrameBuffers& frame, const FilterParameters& parameters,
                  unsigned threads = 1, SmoothingQuality quality = SmoothingQuality::Standard);
