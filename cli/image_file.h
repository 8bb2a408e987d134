// Image files through OpenImageIO: a file's first image decoded into host pixels, and a result
// written back in the file's own sample type and channels.
#pragma once

#include "sample_conversion.h"

#include <OpenImageIO/imageio.h>

#include <cstdint>
#include <string>
#include <vector>

struct DecodedImage {
    OIIO::ImageSpec spec; // as the file described itself: size, sample type, names, metadata
    ChannelLayout layout;
    int32_t depth = 8;    // 8 or 16 bits per sample
    // The samples as stored, kept to write back what the filter left alone; empty when the file
    // already has the host's layout at 8 bits, where the host pixels are those samples.
    std::vector<unsigned char> fileSamples;
    std::vector<unsigned char> host; // RGBA in host units, rows tightly packed

    int32_t width() const { return spec.width; }
    int32_t height() const { return spec.height; }
    size_t pixelCount() const { return size_t(spec.width) * size_t(spec.height); }
    size_t hostRowBytes() const { return size_t(spec.width) * size_t(depth / 2); }
};

// Reads the image at path. 8- and 16-bit unsigned integer samples are accepted; anything else,
// and files of several images, are refused with a reason in error.
bool readImage(const std::string& path, DecodedImage& image, std::string& error);

// Writes result (host RGBA of the image's size and depth) to path in the image's format and
// channels, atomically. note tells of a change of channels the result forced, else stays empty.
bool writeResult(const std::string& path, const DecodedImage& image, const void* result,
                 std::string& note, std::string& error);

// Writes an 8-bit picture of 3 or 4 interleaved channels to path, atomically.
bool writePicture(const std::string& path, int32_t width, int32_t height, int channels,
                  const uint8_t* pixels, std::string& error);
