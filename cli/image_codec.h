// What the file codecs share: an image described as its file stores it, and the interface of a
// codec. PNG goes through libpng, built in; every other format through OpenImageIO, in a module
// loaded on first use, because loading OpenImageIO and the libraries it pulls in costs more than
// smoothing a whole HD frame.
#pragma once

#include "output_file.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct StoredImage {
    int32_t width = 0;
    int32_t height = 0;
    int channels = 0;
    int alphaChannel = -1;                 // -1: no alpha
    int bits = 8;                          // unsigned integer samples of 8 or 16 bits
    std::vector<std::string> channelNames; // may be empty
    // The codec that read the file, and its own record of everything else the file held
    // (colour profile, resolution, text); written back only by the same codec.
    std::string codec;
    std::shared_ptr<const void> metadata;

    size_t sampleBytes() const {
        return size_t(width) * size_t(height) * size_t(channels) * size_t(bits / 8);
    }
};

struct ImageCodec {
    const char* name;
    // Reads the image at path: its description, and its samples interleaved, rows tightly
    // packed, 16-bit samples in native byte order. False with a reason in error.
    bool (*read)(const std::string& path, StoredImage& image, std::vector<unsigned char>& samples,
                 std::string& error);
    // Writes samples as described by image into file, in the format that formatName's extension
    // names (file is a temporary of another name).
    bool (*write)(TemporaryFile& file, const std::string& formatName, const StoredImage& image,
                  const void* samples, std::string& error);
};

// The codec for reading path (chosen by the file's contents), or null with a reason in error.
const ImageCodec* codecForReading(const std::string& path, std::string& error);

// The codec for writing path (chosen by its extension), or null with a reason in error.
const ImageCodec* codecForWriting(const std::string& path, std::string& error);

// The name of the exported function through which the OpenImageIO module hands out its codec.
#define TOVRIN_OIIO_CODEC_ENTRY "tovrinOiioCodec"
