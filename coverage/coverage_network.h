// The coverage network in integer arithmetic: a candidate colour's mask in -> its share out.
#pragma once

#include "coverage_model.h"

#include <cstdint>

// A colour's mask: one byte a window cell, 1 where the colour lies, 0 elsewhere.
struct WindowMask {
    uint8_t cells[inputCells];
};

// The colour's share of the pixel, 0..shareOne: the pass's kernel, which adds only the weight
// columns a mask selects.
int32_t colourShare(const CoverageModel& model, const WindowMask& mask);

// The same share by the plain layer-by-layer loops: the definition the kernel is tested against.
int32_t colourShareReference(const CoverageModel& model, const WindowMask& mask);
