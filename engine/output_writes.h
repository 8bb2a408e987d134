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

// A pixel position as one sortable number.
inline int64_t pixelKey(int32_t x, int32_t y) {
    return static_cast<int64_t>(static_cast<uint64_t>(static_cast<int64_t>(y)) << 32 |
                                static_cast<uint32_t>(x));
}

enum class WriteRoute { Apply, Keep, KeepForeign, Drop };

// Where the writes of one band of rows of the banded pass go. Writes into the band's own rows are
// applied at once, except in its first rows, which a band above may also write: those are kept
// and applied once the bands above are done. Writes into other bands' rows are kept. When
// onlyPixels is set (a band scanned again to recover its writes to a few pixels), writes to those
// pixels are kept and all others dropped.
template <typename Sample> struct BandWriteLog {
    int32_t top = 0;            // the band's first row
    int32_t bottom = 0;         // one past its last row
    int32_t deferredBottom = 0; // own writes into rows top..deferredBottom - 1 are kept
    const std::vector<int64_t>* onlyPixels = nullptr; // sorted pixel keys
    std::vector<RecordedWrite<Sample>> kept;          // own writes, in scan order
    std::vector<RecordedWrite<Sample>> foreign;       // in scan order

    WriteRoute route(int32_t x, int32_t y) const {
        if (onlyPixels != nullptr)
            return std::binary_search(onlyPixels->begin(), onlyPixels->end(), pixelKey(x, y))
                       ? WriteRoute::Keep
                       : WriteRoute::Drop;
        if (y < top || y >= bottom)
            return WriteRoute::KeepForeign;
        return y < deferredBottom ? WriteRoute::Keep : WriteRoute::Apply;
    }
};
