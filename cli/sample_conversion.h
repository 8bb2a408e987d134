// Conversion between the samples of an image file and the host's RGBA pixels: which file
// channels are colour and alpha, the host's 16-bit units, and how a result is written back in
// the file's own layout. The unit conversion itself is sample_units.h.
#pragma once

#include "sample_units.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Where the colour and the alpha of a pixel sit among a file's channels.
struct ChannelLayout {
    int channels = 4;          // samples per pixel in the file
    bool gray = false;         // one colour channel, given to the host as red = green = blue
    int colour[3] = {0, 1, 2}; // file channels of red, green and blue (all three equal if gray)
    int alpha = 3;             // file channel of alpha; -1 when the file has none
    std::vector<int> extras;   // every other channel, in file order, kept as it is
};

// How a file with this many channels, and alpha at alphaChannel (-1: none), is read: gray when
// fewer than three non-alpha channels remain, else the first three are red, green and blue.
ChannelLayout readLayout(int channels, int alphaChannel);

// Whether the layout is already the host's interleaved red, green, blue, alpha.
bool isHostLayout(const ChannelLayout& layout);

// The channels a result is written back with: the file's, except that alpha is added when the
// result is no longer opaque everywhere and a gray file becomes RGB when the result is no longer
// gray. Order: colour, alpha, extras.
struct WriteLayout {
    bool gray = false;
    bool alpha = true;
    std::vector<int> extras; // file channels copied unchanged

    int channels() const { return (gray ? 1 : 3) + (alpha ? 1 : 0) + int(extras.size()); }
};

// The samples are uint8_t for 8-bit and uint16_t for 16-bit images, in the file and the host
// alike; pixels is the pixel count of the frame, the buffers are tightly packed.
template <typename Sample>
void fileToHost(const Sample* file, const ChannelLayout& layout, size_t pixels, Sample* host);

template <typename Sample>
WriteLayout chooseWriteLayout(const ChannelLayout& layout, const Sample* result, size_t pixels);

// Writes result in the write layout. A 16-bit pixel whose result equals its converted input
// gets the file's exact samples back, so untouched pixels survive the unit conversion.
// associated, when not null, holds the file's samples as stored with premultiplied colour (file
// then holds them straight): the changed pixels are written premultiplied, and the untouched
// ones get those stored samples back exactly, even where colour exceeds alpha (glows, additive
// light), which straight colour cannot express. Returns the pixels whose written samples differ
// from the stored ones.
template <typename Sample>
size_t hostToFile(const Sample* result, const Sample* file, const ChannelLayout& layout,
                  const WriteLayout& written, size_t pixels, Sample* out,
                  const Sample* associated = nullptr);

// Pixels whose four samples differ between the two host buffers.
template <typename Sample>
size_t countChangedPixels(const Sample* a, const Sample* b, size_t pixels);

// Associated (premultiplied) alpha to straight and back, in place, on interleaved file samples:
// every channel but alpha. Where alpha is 0 colour stays 0. Straightening then premultiplying
// gives back every stored value that does not exceed its alpha, so untouched pixels are kept.
template <typename Sample>
void unpremultiply(Sample* samples, size_t pixels, int channels, int alpha);
template <typename Sample>
void premultiply(Sample* samples, size_t pixels, int channels, int alpha);
