// The engine's only door to pixels: the filter rectangle and the host's input and output buffers,
// addressed by document coordinates. A null pixel means "outside the filter rectangle".
#pragma once

#include "host_interface.h"
#include "sample_traits.h"

#include <cstdint>

// The filter rectangle the pass works on: the host's 32-bit rectangle when it supplies big
// document data, its 16-bit one otherwise.
VRect filterBounds(const FilterRecord& record);

// Requests rect as input (output) area: the 32-bit field when the plug-in has announced 32-bit
// coordinates, the 16-bit field (cut to 16 bits) otherwise.
void setInputRect(FilterRecord& record, const VRect& rect);
void setOutputRect(FilterRecord& record, const VRect& rect);

template <typename Sample> class ImageWindow {
  public:
    // Takes the buffers as the host left them after advanceState.
    explicit ImageWindow(const FilterRecord& record)
        : bounds_(filterBounds(record)), inData_(static_cast<uint8_t*>(record.inData)),
          outData_(static_cast<uint8_t*>(record.outData)), inRowBytes_(record.inRowBytes),
          outRowBytes_(record.outRowBytes), width_(extent(bounds_.left, bounds_.right)),
          height_(extent(bounds_.top, bounds_.bottom)) {}

    const VRect& bounds() const { return bounds_; }
    int64_t inputRowBytes() const { return inRowBytes_; }
    int64_t outputRowBytes() const { return outRowBytes_; }

    // One unsigned comparison per axis: a coordinate left of or above the rectangle wraps to a
    // huge offset.
    bool insideFilterRect(int32_t x, int32_t y) const {
        return offset(x, bounds_.left) < width_ && offset(y, bounds_.top) < height_;
    }

    Sample* inputPixel(int32_t x, int32_t y) const { return pixel(inData_, inRowBytes_, x, y); }
    Sample* outputPixel(int32_t x, int32_t y) const { return pixel(outData_, outRowBytes_, x, y); }

    // The same addresses without the inside test, for callers that have established it.
    Sample* inputPixelInside(int32_t x, int32_t y) const { return address(inData_, inRowBytes_, x, y); }
    Sample* outputPixelInside(int32_t x, int32_t y) const { return address(outData_, outRowBytes_, x, y); }

  private:
    static uint64_t offset(int32_t value, int32_t origin) {
        return static_cast<uint64_t>(int64_t{value} - origin);
    }
    static uint64_t extent(int32_t low, int32_t high) { return high > low ? offset(high, low) : 0; }

    Sample* pixel(uint8_t* base, int64_t rowBytes, int32_t x, int32_t y) const {
        return insideFilterRect(x, y) ? address(base, rowBytes, x, y) : nullptr;
    }
    Sample* address(uint8_t* base, int64_t rowBytes, int32_t x, int32_t y) const {
        // 64-bit offsets: a frame of a few gigabytes is legal for the host.
        const int64_t row = static_cast<int64_t>(y) - bounds_.top;
        const int64_t column = static_cast<int64_t>(x) - bounds_.left;
        return reinterpret_cast<Sample*>(base + row * rowBytes +
                                         column * int64_t{SampleTraits<Sample>::pixelSize});
    }

    VRect bounds_;
    uint8_t* inData_;
    uint8_t* outData_;
    int64_t inRowBytes_;
    int64_t outRowBytes_;
    uint64_t width_;
    uint64_t height_;
};
