// Finding, within a row, the pixels that differ from one of their four side neighbours. Only
// those can start an edge: facing an identical neighbour, or the missing neighbour beyond the
// filter rectangle, the luminance difference is 0 and no edge class fires. On line art almost
// every pixel is interior to a flat area, so the scan skips whole stretches of a row at memory
// speed instead of classifying each pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace changed_pixels_detail {

// Bytes compared per block: whole pixels of either depth, and wide enough for the compiler to use
// vector registers.
inline constexpr int32_t blockBytes = 64;

// True when a pixel of the block at c differs from its left or right neighbour or from the
// pixel at the same place in the rows above (a) and below (b). The caller guarantees a pixel on
// each side of the block. Each pixel's right neighbour is the next one's left, so only the last
// pixel needs its right compared apart. The bytes are an OR reduction, which the compiler turns
// into vector instructions.
template <size_t PixelSize>
bool blockChanged(const uint8_t* c, const uint8_t* a, const uint8_t* b) {
    constexpr int32_t pixel = int32_t{PixelSize};
    uint8_t difference = 0;
    for (int32_t i = 0; i < blockBytes; ++i)
        difference |= static_cast<uint8_t>((c[i] ^ c[i - pixel]) | (c[i] ^ a[i]) | (c[i] ^ b[i]));
    return difference != 0 || std::memcmp(c + blockBytes - pixel, c + blockBytes, PixelSize) != 0;
}

} // namespace changed_pixels_detail

// Whether pixel x of a row of `width` pixels differs from a side neighbour. `above` and `below`
// are the rows around it; pass the row itself for a missing one. The row ends have no left or
// right neighbour.
template <size_t PixelSize>
bool pixelChanged(const uint8_t* row, const uint8_t* above, const uint8_t* below, int32_t x,
                  int32_t width) {
    const size_t at = size_t(x) * PixelSize;
    const uint8_t* centre = row + at;
    bool changed = std::memcmp(centre, above + at, PixelSize) != 0 ||
                   std::memcmp(centre, below + at, PixelSize) != 0;
    if (x > 0)
        changed = changed || std::memcmp(centre, centre - PixelSize, PixelSize) != 0;
    if (x + 1 < width)
        changed = changed || std::memcmp(centre, centre + PixelSize, PixelSize) != 0;
    return changed;
}

// The first x in from..width - 1 for which pixelChanged holds, or width when there is none.
template <size_t PixelSize>
int32_t firstChangedPixel(const uint8_t* row, const uint8_t* above, const uint8_t* below,
                          int32_t from, int32_t width) {
    using namespace changed_pixels_detail;
    constexpr int32_t blockPixels = blockBytes / int32_t{PixelSize};
    int32_t x = from;
    if (x == 0) {
        if (width > 0 && pixelChanged<PixelSize>(row, above, below, 0, width))
            return 0;
        x = 1;
    }
    // A block that holds no change is skipped whole; the first one that does is searched pixel
    // by pixel below.
    while (x + blockPixels < width) {
        const size_t at = size_t(x) * PixelSize;
        if (blockChanged<PixelSize>(row + at, above + at, below + at))
            break;
        x += blockPixels;
    }
    for (; x < width; ++x) {
        if (pixelChanged<PixelSize>(row, above, below, x, width))
            return x;
    }
    return width;
}
