// The C interface: checks every argument, hands the engine or the high-quality pass buffers in
// their own units, runs the pass and converts back. Nothing thrown gets out.
#include "tovrin.h"

#include "buffer_host.h"
#include "coverage_pass.h"
#include "sample_units.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

namespace {

constexpr int maxThreads = 1024;

bool knownFormat(int format) {
    return format == TOVRIN_RGBA8 || format == TOVRIN_RGBA16 || format == TOVRIN_RGBA16_HOST;
}

uint64_t pixelBytes(int format) {
    return format == TOVRIN_RGBA8 ? 4 : 8;
}

// One call's image as the caller gave it.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    int format = 0;
    const uint8_t* input = nullptr;
    size_t inputStride = 0;
    uint8_t* output = nullptr;
    size_t outputStride = 0;

    size_t rowBytes() const { return size_t(uint64_t(width) * pixelBytes(format)); }
    int32_t depth() const { return format == TOVRIN_RGBA8 ? 8 : 16; }
    bool inPlace() const { return input == output; }
    const uint8_t* inputRow(int32_t y) const { return input + size_t(y) * inputStride; }
    uint8_t* outputRow(int32_t y) const { return output + size_t(y) * outputStride; }
};

// Bytes from a buffer's first pixel to just past its last one, or 0 when that cannot be
// addressed from base.
size_t bufferSpan(const void* base, size_t stride, const Image& image) {
    const uint64_t span = uint64_t(stride) * uint64_t(image.height - 1) + image.rowBytes();
    if (span > SIZE_MAX || span > UINTPTR_MAX - reinterpret_cast<uintptr_t>(base))
        return 0;
    return size_t(span);
}

bool overlap(const void* a, size_t aBytes, const void* b, size_t bBytes) {
    const uintptr_t x = reinterpret_cast<uintptr_t>(a);
    const uintptr_t y = reinterpret_cast<uintptr_t>(b);
    return x < y + bBytes && y < x + aBytes;
}

// Whether a byte of some row of the input is also a byte of some row of the output: the bytes
// between rows belong to neither, so two images may interleave their rows in one buffer. Both
// row lists are in address order, so one pass over them merged tells.
bool rowsOverlap(const Image& image) {
    const uintptr_t input = reinterpret_cast<uintptr_t>(image.input);
    const uintptr_t output = reinterpret_cast<uintptr_t>(image.output);
    const uintptr_t rowBytes = image.rowBytes();
    int32_t i = 0, o = 0;
    while (i < image.height && o < image.height) {
        const uintptr_t inputRow = input + uintptr_t(i) * image.inputStride;
        const uintptr_t outputRow = output + uintptr_t(o) * image.outputStride;
        if (inputRow + rowBytes <= outputRow)
            ++i;
        else if (outputRow + rowBytes <= inputRow)
            ++o;
        else
            return true;
    }
    return false;
}

tovrin_status checkImage(const Image& image) {
    if (!knownFormat(image.format))
        return TOVRIN_BAD_FORMAT;
    if (image.width < 1 || image.height < 1)
        return TOVRIN_BAD_SIZE;
    if (image.input == nullptr || image.output == nullptr)
        return TOVRIN_NULL_POINTER;
    // The host record keeps row strides in signed 32-bit fields.
    if (uint64_t(image.width) * pixelBytes(image.format) > uint64_t(INT32_MAX))
        return TOVRIN_BAD_SIZE;
    if (image.inputStride < image.rowBytes() || image.outputStride < image.rowBytes())
        return TOVRIN_STRIDE_TOO_SHORT;
    if (image.inputStride > size_t(INT32_MAX) || image.outputStride > size_t(INT32_MAX))
        return TOVRIN_BAD_SIZE;
    const size_t inputSpan = bufferSpan(image.input, image.inputStride, image);
    const size_t outputSpan = bufferSpan(image.output, image.outputStride, image);
    if (inputSpan == 0 || outputSpan == 0)
        return TOVRIN_BAD_SIZE;
    if (image.depth() == 16 &&
        ((reinterpret_cast<uintptr_t>(image.input) | reinterpret_cast<uintptr_t>(image.output) |
          image.inputStride | image.outputStride) &
         1) != 0)
        return TOVRIN_MISALIGNED;
    const bool sameImage = image.inPlace() && image.inputStride == image.outputStride;
    if (!sameImage && overlap(image.input, inputSpan, image.output, outputSpan) &&
        rowsOverlap(image))
        return TOVRIN_OVERLAPPING_BUFFERS;
    return TOVRIN_OK;
}

bool inRange(int value, int low, int high) {
    return value >= low && value <= high;
}

tovrin_status checkOptions(const tovrin_options& options) {
    const bool valid = inRange(options.smooth_range, 0, 255) && inRange(options.use_key, 0, 1) &&
                       inRange(options.key_red, 0, 255) && inRange(options.key_green, 0, 255) &&
                       inRange(options.key_blue, 0, 255) && inRange(options.threads, 0, maxThreads);
    return valid ? TOVRIN_OK : TOVRIN_BAD_OPTION;
}

FilterParameters parametersOf(const tovrin_options& options) {
    FilterParameters parameters;
    parameters.smoothRange = options.smooth_range;
    parameters.useColourKey = options.use_key != 0;
    parameters.keyRed = options.key_red;
    parameters.keyGreen = options.key_green;
    parameters.keyBlue = options.key_blue;
    return parameters;
}

int threadsOf(const tovrin_options& options) {
    if (options.threads > 0)
        return options.threads;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : int(cores < unsigned(maxThreads) ? cores : unsigned(maxThreads));
}

// Working copies are written in full before they are read: no zero filling.
std::unique_ptr<uint8_t[]> allocate(size_t bytes) {
    return std::make_unique_for_overwrite<uint8_t[]>(bytes);
}

void copyRows(const uint8_t* from, size_t fromStride, uint8_t* to, size_t toStride, size_t rowBytes,
              int32_t rows) {
    for (int32_t y = 0; y < rows; ++y)
        std::memcpy(to + size_t(y) * toStride, from + size_t(y) * fromStride, rowBytes);
}

bool qualityOf(int number, SmoothingQuality& quality) {
    if (number != TOVRIN_QUALITY_STANDARD && number != TOVRIN_QUALITY_HIGH)
        return false;
    quality = number == TOVRIN_QUALITY_HIGH ? SmoothingQuality::High : SmoothingQuality::Standard;
    return true;
}

OSErr runQualityPass(const PassBuffers& buffers, const FilterParameters& parameters, int threads,
                     SmoothingQuality quality) {
    if (quality == SmoothingQuality::Standard)
        return runPassOverBuffers(buffers, parameters, threads);
    CoverageBuffers coverage;
    coverage.input = buffers.input;
    coverage.output = buffers.output;
    coverage.width = buffers.width;
    coverage.height = buffers.height;
    coverage.depth = buffers.depth;
    coverage.inputRowBytes = buffers.inputRowBytes;
    coverage.outputRowBytes = buffers.outputRowBytes;
    return runCoveragePass(coverage, parameters, threads);
}

tovrin_status runPass(const PassBuffers& buffers, const FilterParameters& parameters, int threads,
                      SmoothingQuality quality) {
    try {
        switch (runQualityPass(buffers, parameters, threads, quality)) {
        case noErr:
            return TOVRIN_OK;
        case memFullErr:
            return TOVRIN_OUT_OF_MEMORY;
        default:
            return TOVRIN_INTERNAL_ERROR;
        }
    } catch (const std::bad_alloc&) {
        return TOVRIN_OUT_OF_MEMORY;
    } catch (...) {
        return TOVRIN_INTERNAL_ERROR;
    }
}

PassBuffers passOver(const Image& image) {
    PassBuffers buffers;
    buffers.width = image.width;
    buffers.height = image.height;
    buffers.depth = image.depth();
    return buffers;
}

// 8-bit samples and 16-bit host units go to the engine as they are.
tovrin_status smoothHostUnits(const Image& image, const FilterParameters& parameters, int threads,
                              SmoothingQuality quality) {
    const size_t rowBytes = image.rowBytes();
    PassBuffers buffers = passOver(image);
    // The pass reads its input while it writes its output, and the colour key clears alpha in
    // the input: in both cases it gets a copy, and the caller's input stays as it was.
    std::unique_ptr<uint8_t[]> inputCopy;
    if (image.inPlace() || parameters.useColourKey) {
        inputCopy = allocate(rowBytes * size_t(image.height));
        copyRows(image.input, image.inputStride, inputCopy.get(), rowBytes, rowBytes, image.height);
        buffers.input = inputCopy.get();
        buffers.inputRowBytes = int32_t(rowBytes);
    } else {
        buffers.input = const_cast<uint8_t*>(image.input);
        buffers.inputRowBytes = int32_t(image.inputStride);
    }
    // As the host does, the output starts as a copy of the input: the engine writes only the
    // pixels it changes.
    if (!image.inPlace())
        copyRows(image.input, image.inputStride, image.output, image.outputStride, rowBytes,
                 image.height);
    buffers.output = image.output;
    buffers.outputRowBytes = int32_t(image.outputStride);

    const tovrin_status status = runPass(buffers, parameters, threads, quality);
    if (status != TOVRIN_OK && image.inPlace())
        copyRows(inputCopy.get(), rowBytes, image.output, image.outputStride, rowBytes,
                 image.height);
    return status;
}

// 16-bit file units: the engine works on the input converted to host units, and the result is
// converted back with the file's own samples for the pixels it left alone.
tovrin_status smoothFileUnits(const Image& image, const FilterParameters& parameters, int threads,
                              SmoothingQuality quality) {
    const size_t rowBytes = image.rowBytes();
    const size_t width = size_t(image.width);
    PassBuffers buffers = passOver(image);
    std::unique_ptr<uint8_t[]> hostInput = allocate(rowBytes * size_t(image.height));
    for (int32_t y = 0; y < image.height; ++y)
        rgbaToHost16(reinterpret_cast<const uint16_t*>(image.inputRow(y)), width,
                     reinterpret_cast<uint16_t*>(hostInput.get() + size_t(y) * rowBytes));
    buffers.input = hostInput.get();
    buffers.inputRowBytes = int32_t(rowBytes);

    // In place, the caller's samples are still needed after the pass: the result goes into a
    // buffer of its own.
    std::unique_ptr<uint8_t[]> hostOutput;
    uint8_t* result = image.output;
    size_t resultStride = image.outputStride;
    if (image.inPlace()) {
        hostOutput = allocate(rowBytes * size_t(image.height));
        result = hostOutput.get();
        resultStride = rowBytes;
    }
    copyRows(hostInput.get(), rowBytes, result, resultStride, rowBytes, image.height);
    buffers.output = result;
    buffers.outputRowBytes = int32_t(resultStride);

    const tovrin_status status = runPass(buffers, parameters, threads, quality);
    if (status != TOVRIN_OK)
        return status;
    for (int32_t y = 0; y < image.height; ++y)
        rgbaToFile16(reinterpret_cast<const uint16_t*>(result + size_t(y) * resultStride),
                     reinterpret_cast<const uint16_t*>(image.inputRow(y)), width,
                     reinterpret_cast<uint16_t*>(image.outputRow(y)));
    return TOVRIN_OK;
}

tovrin_status smoothChecked(const Image& image, const tovrin_options& options, int qualityNumber) {
    if (const tovrin_status status = checkImage(image); status != TOVRIN_OK)
        return status;
    if (const tovrin_status status = checkOptions(options); status != TOVRIN_OK)
        return status;
    SmoothingQuality quality = SmoothingQuality::Standard;
    if (!qualityOf(qualityNumber, quality))
        return TOVRIN_BAD_OPTION;
    const FilterParameters parameters = parametersOf(options);
    const int threads = threadsOf(options);
    return image.format == TOVRIN_RGBA16 ? smoothFileUnits(image, parameters, threads, quality)
                                         : smoothHostUnits(image, parameters, threads, quality);
}

tovrin_status smoothCall(int width, int height, tovrin_format format, const void* input,
                         size_t input_stride, void* output, size_t output_stride,
                         const tovrin_options* options, int quality) {
    try {
        tovrin_options defaults;
        tovrin_options_init(&defaults);
        Image image;
        image.width = width;
        image.height = height;
        image.format = static_cast<int>(format);
        image.input = static_cast<const uint8_t*>(input);
        image.inputStride = input_stride;
        image.output = static_cast<uint8_t*>(output);
        image.outputStride = output_stride;
        return smoothChecked(image, options != nullptr ? *options : defaults, quality);
    } catch (const std::bad_alloc&) {
        return TOVRIN_OUT_OF_MEMORY;
    } catch (...) {
        return TOVRIN_INTERNAL_ERROR;
    }
}

#define TOVRIN_TEXT(x) #x
#define TOVRIN_VERSION_STRING(major, minor, patch)                                                 \
    TOVRIN_TEXT(major) "." TOVRIN_TEXT(minor) "." TOVRIN_TEXT(patch)

} // namespace

extern "C" {

void tovrin_options_init(tovrin_options* options) {
    if (options == nullptr)
        return;
    options->smooth_range = 0;
    options->use_key = 0;
    options->key_red = 255;
    options->key_green = 255;
    options->key_blue = 255;
    options->threads = 0;
}

tovrin_status tovrin_smooth(int width, int height, tovrin_format format, const void* input,
                            size_t input_stride, void* output, size_t output_stride,
                            const tovrin_options* options) {
    return smoothCall(width, height, format, input, input_stride, output, output_stride, options,
                      TOVRIN_QUALITY_STANDARD);
}

tovrin_status tovrin_smooth_quality(int width, int height, tovrin_format format, const void* input,
                                    size_t input_stride, void* output, size_t output_stride,
                                    const tovrin_options* options, tovrin_quality quality) {
    // The int a C caller passed: C lets its enum hold any int, while reading a value beyond the
    // enumerators as the C++ enum would be undefined behaviour.
    int number = 0;
    static_assert(sizeof quality == sizeof number);
    std::memcpy(&number, &quality, sizeof number);
    return smoothCall(width, height, format, input, input_stride, output, output_stride, options,
                      number);
}

const char* tovrin_status_message(tovrin_status status) {
    switch (static_cast<int>(status)) {
    case TOVRIN_OK:
        return "success";
    case TOVRIN_NULL_POINTER:
        return "the input or output pointer is null";
    case TOVRIN_BAD_SIZE:
        return "the width or height is below 1, or the image is too large to address";
    case TOVRIN_STRIDE_TOO_SHORT:
        return "a row stride is shorter than a row of pixels";
    case TOVRIN_BAD_FORMAT:
        return "unknown sample format";
    case TOVRIN_MISALIGNED:
        return "16-bit pixels must start at an even address and have an even row stride";
    case TOVRIN_OVERLAPPING_BUFFERS:
        return "the input and output overlap without being the same image";
    case TOVRIN_BAD_OPTION:
        return "an option is outside its range";
    case TOVRIN_OUT_OF_MEMORY:
        return "out of memory";
    case TOVRIN_INTERNAL_ERROR:
        return "internal error: the engine refused the image";
    default:
        return "unknown status code";
    }
}

const char* tovrin_version(void) {
    return TOVRIN_VERSION_STRING(TOVRIN_VERSION_MAJOR, TOVRIN_VERSION_MINOR, TOVRIN_VERSION_PATCH);
}

} // extern "C"
