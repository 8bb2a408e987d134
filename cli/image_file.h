// Image files as the host sees them: a file's image decoded into host pixels, and a result
// written back in the file's own sample type and channels.
#pragma once

#include "image_codec.h"
#include "sample_conversion.h"
#include "sample_depth.h"

#include <cstdint>
#include <string>
#include <vector>

struct DecodedImage {
    StoredImage stored; // how the file holds the image
    ChannelLayout layout;
    int32_t depth = 8; // 8 or 16 bits per sample
    // The samples as stored, kept to write back what the filter left alone; empty when the file
    // already has the host's layout at 8 bits, where the host pixels are those samples.
    SampleBytes fileSamples;
    // For premultiplied colour, which fileSamples holds straight: the samples exactly as stored,
    // given back for the pixels the filter leaves alone. Empty otherwise.
    SampleBytes storedSamples;
    SampleBytes host; // RGBA in host units, rows tightly packed

    int32_t width() const { return stored.width; }
    int32_t height() const { return stored.height; }
    size_t pixelCount() const { return size_t(stored.width) * size_t(stored.height); }
    size_t hostRowBytes() const { return size_t(stored.width) * pixelBytes(depth); }
};

// An 8-bit RGBA image held in memory, as if read from a file.
DecodedImage imageFromRgba8(int32_t width, int32_t height, const std::vector<unsigned char>& rgba);

// Reads the image at path. 8- and 16-bit unsigned integer samples are accepted; anything else,
// files of several images, files that are not regular files, and images of more than maxPixels
// pixels are refused with a reason in error. Premultiplied colour is made straight.
bool readImage(const std::string& path, uint64_t maxPixels, DecodedImage& image,
               std::string& error);

// Writes result (host RGBA of the image's size and depth) to path in the image's format and
// channels, atomically. note tells of a change of channels the result forced, else stays empty.
// changedPixels comes in as the pixels the filter changed; when the result keeps the file's
// premultiplied colour, where a changed pixel may come back as stored, it becomes the pixels
// whose samples in the file changed.
bool writeResult(const std::string& path, const DecodedImage& image, const void* result,
                 const EncodeSettings& settings, std::string& note, std::string& error,
                 size_t& changedPixels);

// Writes an 8-bit RGB picture to path, atomically.
bool writePicture(const std::string& path, int32_t width, int32_t height, const uint8_t* rgb,
                  const EncodeSettings& settings, std::string& error);
