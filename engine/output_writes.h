// The two ways the engine changes an output pixel, and the log that lets the banded parallel pass
// replay them in scan order. A written value never depends on the output buffer; only applying it
// does (a merge looks at what the output holds), so writes can be computed anywhere and applied
// later, as long as each output pixel sees its writes in scan order.
#pragma once

#include "pixel_ops.h"
#include "sample_traits.h"

#include <algorithm>
#include <cstdint>
#include <vector>

enum class WriteKind : uint8_t {
    Overwrite, // the value replaces the output pixel
    Merge,     // the value replaces an output pixel that still equals its input, else mixes 50/50
};

template <typename Sample>
void applyWrite(Sample* target, const Sample* input, WriteKind kind, const Sample* value) {
    if (kind == WriteKind::Overwrite || samePixel(target, input)) {
        std::copy(value, value + 4, target);
        return;
    }
    blendPixels(value, 0.5f, target, 0.5f, target);
}

template <typename Sample> struct RecordedWrite {
    int32_t x;
    int32_t y;
    WriteKind kind;
    Colour<Sample> value;
};

// Writes of one band of rows of the banded pass. Writes into the band's own rows are applied at
// once and also kept (a band above may turn out to have written the same pixel first); writes
// into other rows are only kept.
template <typename Sample> struct BandWriteLog {
    int32_t top = 0;    // the band's first row
    int32_t bottom = 0; // one past its last row
    std::vector<RecordedWrite<Sample>> own;
    std::vector<RecordedWrite<Sample>> foreign;

    bool owns(int32_t y) const { return y >= top && y < bottom; }
};
