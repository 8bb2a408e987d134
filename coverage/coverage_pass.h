// The high-quality mode: smoothing by learned edge coverage. For every pixel near an edge, a small
// network in integer arithmetic estimates how much of the pixel each nearby colour truly covers,
// and the pixel becomes the blend of those colours. A method of its own beside the engine; it
// shares only the engine's options, sample units and colour key.
#pragma once

#include "filter_pass.h"

#include <cstdint>

// Which method smooths an image: the engine's own filter (the plug-in's, the default) or learned
// edge coverage.
enum class SmoothingQuality { Standard, High };

// One image in the engine's units (0..255 at depth 8, 0..32768 at depth 16), four interleaved
// samples a pixel: red, green, blue, straight alpha.
struct CoverageBuffers {
    void* input = nullptr;  // read; the colour key clears alpha here, as the engine's pass does
    void* output = nullptr; // holds a copy of the input on entry and the result on return
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 8; // 8 or 16 bits per sample
    int64_t inputRowBytes = 0;
    int64_t outputRowBytes = 0;
};

// Smooths the whole image from input into output, writing only the pixels it changes. The same
// bytes for every thread count (values below 1 count as 1). smoothRange is the tolerance within
// which nearby colours count as one; the colour key works as in the engine's pass. Returns noErr,
// or filterBadMode for a depth other than 8 or 16. Throws std::bad_alloc when its working memory
// cannot be had.
OSErr runCoveragePass(const CoverageBuffers& buffers, const FilterParameters& parameters,
                      int threads);
