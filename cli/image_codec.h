// What the file codecs share: an image described as its file stores it, and the interface of a
// codec. PNG goes through libpng, built in; every other format through OpenImageIO, in a module
// loaded on first use, because loading OpenImageIO and the libraries it pulls in costs more than
// smoothing a whole HD frame.
#pragma once

#include "output_file.h"

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

// An allocator whose resize leaves new bytes as they are: a decoder writes every sample anyway,
// and zero-filling a frame first costs a pass over memory as large as the frame.
template <typename T> struct UninitialisedAllocator : std::allocator<T> {
    template <typename U> struct rebind { using other = UninitialisedAllocator<U>; };
    UninitialisedAllocator() = default;
    template <typename U> UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <typename U, typename... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// Samples of a whole frame.
using SampleBytes = std::vector<unsigned char, UninitialisedAllocator<unsigned char>>;

struct StoredImage {
    int32_t width = 0;
    int32_t height = 0;
    int channels = 0;
    int alphaChannel = -1;                 // -1: no alpha
    int bits = 8;                          // unsigned integer samples of 8 or 16 bits
    bool premultiplied = false;            // colour stored multiplied by alpha (associated)
    std::vector<std::string> channelNames; // may be empty
    // The codec that read the file, and its own record of everything else the file held
    // (colour profile, resolution, text); written back only by the same codec.
    std::string codec;
    std::shared_ptr<const void> metadata;

    size_t sampleBytes() const {
        return size_t(width) * size_t(height) * size_t(channels) * size_t(bits / 8);
    }
};

// zlib level 1: several times faster than zlib's default, and flat line art still compresses
// well.
constexpr int defaultPngCompression = 1;

// Choices about how results are encoded; none of them changes a pixel.
struct EncodeSettings {
    int pngCompression = defaultPngCompression; // zlib level, 0..9
};

struct ImageCodec {
    const char* name;
    // Reads the image at path: its description, and its samples interleaved, rows tightly
    // packed, 16-bit samples in native byte order, as stored (premultiplied ones too). An image
    // of more than maxPixels pixels is refused before its samples are allocated. False with a
    // reason in error.
    bool (*read)(const std::string& path, uint64_t maxPixels, StoredImage& image,
                 SampleBytes& samples, std::string& error);
    // Writes samples as described by image into file, in the format that formatName's extension
    // names (file is a temporary of another name).
    bool (*write)(TemporaryFile& file, const std::string& formatName, const StoredImage& image,
                  const void* samples, const EncodeSettings& settings, std::string& error);
    // Reads the image's size from the file's header, and no more. False with a reason in error.
    bool (*readSize)(const std::string& path, int32_t& width, int32_t& height, std::string& error);
};

// The codec for reading path (chosen by the file's contents), or null with a reason in error.
const ImageCodec* codecForReading(const std::string& path, std::string& error);

// The codec for writing path (chosen by its extension), or null with a reason in error.
const ImageCodec* codecForWriting(const std::string& path, std::string& error);

// "is too large: W x H pixels, more than the limit of N (--max-pixels)", or "" when it fits.
// Inline: the OpenImageIO module uses it and cannot link back into the binary.
inline std::string sizeRefusal(int64_t width, int64_t height, uint64_t maxPixels) {
    if (width <= 0 || height <= 0)
        return "has no pixels: " + std::to_string(width) + " x " + std::to_string(height);
    if (uint64_t(width) <= maxPixels / uint64_t(height))
        return "";
    return "is too large: " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels, more than the limit of " + std::to_string(maxPixels) + " (--max-pixels)";
}

// The name of the exported function through which the OpenImageIO module hands out its codec.
#define TOVRIN_OIIO_CODEC_ENTRY "tovrinOiioCodec"
