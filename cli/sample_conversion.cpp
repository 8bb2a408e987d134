// File samples to host pixels and back.
#include "sample_conversion.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace {

template <typename Sample> struct Units;

template <> struct Units<uint8_t> {
    static constexpr uint8_t hostFull = 255;
    static constexpr uint8_t fileFull = 255;
    static uint8_t in(uint8_t v) { return v; }
    static uint8_t out(uint8_t h) { return h; }
};

template <> struct Units<uint16_t> {
    static constexpr uint16_t hostFull = 32768;
    static constexpr uint16_t fileFull = 65535;
    static uint16_t in(uint16_t v) { return toHost16(v); }
    static uint16_t out(uint16_t h) { return fromHost16(h); }
};

template <typename Sample> void hostPixel(const Sample* f, const ChannelLayout& layout, Sample* h) {
    using U = Units<Sample>;
    h[0] = U::in(f[layout.colour[0]]);
    h[1] = U::in(f[layout.colour[1]]);
    h[2] = U::in(f[layout.colour[2]]);
    h[3] = layout.alpha >= 0 ? U::in(f[layout.alpha]) : U::hostFull;
}

} // namespace

ChannelLayout readLayout(int channels, int alphaChannel) {
    ChannelLayout layout;
    layout.channels = channels;
    // A lone channel is taken as gray even when flagged as alpha: there is nothing else to smooth.
    layout.alpha = alphaChannel >= 0 && alphaChannel < channels && channels > 1 ? alphaChannel : -1;
    std::vector<int> others;
    for (int c = 0; c < channels; ++c)
        if (c != layout.alpha)
            others.push_back(c);
    const size_t colours = others.size() >= 3 ? 3 : 1;
    layout.gray = colours == 1;
    for (int i = 0; i < 3; ++i)
        layout.colour[i] = others.empty() ? 0 : others[layout.gray ? 0 : size_t(i)];
    layout.extras.assign(others.begin() + std::min(colours, others.size()), others.end());
    return layout;
}

bool isHostLayout(const ChannelLayout& layout) {
    return layout.channels == 4 && !layout.gray && layout.colour[0] == 0 && layout.colour[1] == 1 &&
           layout.colour[2] == 2 && layout.alpha == 3;
}

template <typename Sample>
void fileToHost(const Sample* file, const ChannelLayout& layout, size_t pixels, Sample* host) {
    const size_t stride = size_t(layout.channels);
    for (size_t p = 0; p < pixels; ++p)
        hostPixel(file + p * stride, layout, host + p * 4);
}

template <typename Sample>
WriteLayout chooseWriteLayout(const ChannelLayout& layout, const Sample* result, size_t pixels) {
    WriteLayout written;
    written.extras = layout.extras;
    written.alpha = layout.alpha >= 0;
    written.gray = layout.gray;
    for (size_t p = 0; p < pixels && !(written.alpha && !written.gray); ++p) {
        const Sample* r = result + p * 4;
        if (r[3] != Units<Sample>::hostFull)
            written.alpha = true;
        if (r[0] != r[1] || r[0] != r[2])
            written.gray = false;
    }
    return written;
}

template <typename Sample>
size_t hostToFile(const Sample* result, const Sample* file, const ChannelLayout& layout,
                  const WriteLayout& written, size_t pixels, Sample* out,
                  const Sample* associated) {
    using U = Units<Sample>;
    const size_t inStride = size_t(layout.channels);
    const size_t outStride = size_t(written.channels());
    const int colours = written.gray ? 1 : 3;
    // A pixel as the untouched one is written: the samples of `from`, in the written layout.
    const auto keep = [&](const Sample* from, Sample* o) {
        for (int c = 0; c < colours; ++c)
            o[c] = from[layout.colour[c]];
        if (written.alpha)
            o[colours] = layout.alpha >= 0 ? from[layout.alpha] : U::fileFull;
        Sample* extra = o + colours + (written.alpha ? 1 : 0);
        for (int e : written.extras)
            *extra++ = from[e];
    };
    const auto sameAs = [&](const Sample* from, const Sample* o) {
        for (int c = 0; c < colours; ++c)
            if (o[c] != from[layout.colour[c]])
                return false;
        if (written.alpha && o[colours] != (layout.alpha >= 0 ? from[layout.alpha] : U::fileFull))
            return false;
        const Sample* extra = o + colours + (written.alpha ? 1 : 0);
        for (int e : written.extras)
            if (*extra++ != from[e])
                return false;
        return true;
    };
    size_t changed = 0;
    for (size_t p = 0; p < pixels; ++p) {
        const Sample* r = result + p * 4;
        const Sample* f = file + p * inStride;
        Sample* o = out + p * outStride;
        Sample converted[4];
        hostPixel(f, layout, converted);
        if (untouchedPixel(converted, r)) {
            keep(associated != nullptr ? associated + p * inStride : f, o);
            continue;
        }
        for (int c = 0; c < colours; ++c)
            o[c] = U::out(r[c]);
        if (written.alpha)
            o[colours] = U::out(r[3]);
        Sample* extra = o + colours + (written.alpha ? 1 : 0);
        for (int e : written.extras)
            *extra++ = f[e];
        if (associated != nullptr)
            premultiply(o, 1, int(outStride), colours);
        // Premultiplied, a changed pixel may come back as it was stored.
        changed += associated == nullptr || !sameAs(associated + p * inStride, o);
    }
    return changed;
}

template <typename Sample>
size_t countChangedPixels(const Sample* a, const Sample* b, size_t pixels) {
    // A whole pixel as one word: the loop then vectorises.
    using Pixel = std::conditional_t<sizeof(Sample) == 1, uint32_t, uint64_t>;
    static_assert(sizeof(Pixel) == 4 * sizeof(Sample));
    size_t changed = 0;
    for (size_t p = 0; p < pixels; ++p) {
        Pixel x, y;
        std::memcpy(&x, a + p * 4, sizeof x);
        std::memcpy(&y, b + p * 4, sizeof y);
        changed += x != y;
    }
    return changed;
}

template <typename Sample>
void unpremultiply(Sample* samples, size_t pixels, int channels, int alpha) {
    const uint32_t full = Units<Sample>::fileFull;
    for (size_t p = 0; p < pixels; ++p) {
        Sample* pixel = samples + p * size_t(channels);
        const uint32_t a = pixel[alpha];
        for (int c = 0; c < channels; ++c)
            if (c != alpha)
                pixel[c] =
                    a == 0 ? 0 : Sample(std::min<uint32_t>(full, (pixel[c] * full + a / 2) / a));
    }
}

template <typename Sample>
void premultiply(Sample* samples, size_t pixels, int channels, int alpha) {
    const uint32_t full = Units<Sample>::fileFull;
    for (size_t p = 0; p < pixels; ++p) {
        Sample* pixel = samples + p * size_t(channels);
        const uint32_t a = pixel[alpha];
        for (int c = 0; c < channels; ++c)
            if (c != alpha)
                pixel[c] = Sample((pixel[c] * a + full / 2) / full);
    }
}

template void unpremultiply(uint8_t*, size_t, int, int);
template void unpremultiply(uint16_t*, size_t, int, int);
template void premultiply(uint8_t*, size_t, int, int);
template void premultiply(uint16_t*, size_t, int, int);
template void fileToHost(const uint8_t*, const ChannelLayout&, size_t, uint8_t*);
template void fileToHost(const uint16_t*, const ChannelLayout&, size_t, uint16_t*);
template WriteLayout chooseWriteLayout(const ChannelLayout&, const uint8_t*, size_t);
template WriteLayout chooseWriteLayout(const ChannelLayout&, const uint16_t*, size_t);
template size_t hostToFile(const uint8_t*, const uint8_t*, const ChannelLayout&,
                           const WriteLayout&, size_t, uint8_t*, const uint8_t*);
template size_t hostToFile(const uint16_t*, const uint16_t*, const ChannelLayout&,
                           const WriteLayout&, size_t, uint16_t*, const uint16_t*);
template size_t countChangedPixels(const uint8_t*, const uint8_t*, size_t);
template size_t countChangedPixels(const uint16_t*, const uint16_t*, size_t);
