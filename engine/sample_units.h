// The two scales of 16-bit samples, image files' 0..65535 and the host's 0..32768, and how a
// filtered pixel goes back to file units. Every host that takes file samples (the command line,
// the library) converts through here, so all of them give the same samples.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// 16-bit file samples (0..65535) to host units (0..32768) and back. Out then in gives the host
// value again, so a filtered value survives a write and a re-read.
constexpr uint16_t toHost16(uint16_t v) {
    return uint16_t((uint32_t{v} * 32768u + 32767u) / 65535u);
}
constexpr uint16_t fromHost16(uint16_t h) {
    return uint16_t((uint32_t{h} * 65535u + 16384u) / 32768u);
}

// Whether the filter left a pixel alone: its four result samples equal its input converted to
// host units. Such a pixel is given back with the file's own samples, since out then in does not
// give back every file value.
template <typename Sample> bool untouchedPixel(const Sample* convertedInput, const Sample* result) {
    return std::memcmp(convertedInput, result, 4 * sizeof(Sample)) == 0;
}

// Interleaved RGBA pixels from file units to host units.
inline void rgbaToHost16(const uint16_t* file, size_t pixels, uint16_t* host) {
    for (size_t s = 0; s < 4 * pixels; ++s)
        host[s] = toHost16(file[s]);
}

// Interleaved RGBA results back to file units, the untouched pixels with the file's samples. out
// may be result or file itself: each pixel is read in full before it is written.
inline void rgbaToFile16(const uint16_t* result, const uint16_t* file, size_t pixels,
                         uint16_t* out) {
    for (size_t p = 0; p < pixels; ++p) {
        uint16_t r[4], f[4], converted[4];
        std::memcpy(r, result + 4 * p, sizeof r);
        std::memcpy(f, file + 4 * p, sizeof f);
        rgbaToHost16(f, 1, converted);
        const bool untouched = untouchedPixel(converted, r);
        for (int c = 0; c < 4; ++c)
            out[4 * p + c] = untouched ? f[c] : fromHost16(r[c]);
    }
}
