// A host for the tests: a document of RGBA pixels, a FilterRecord laid out as the real host's,
// and an advanceState that delivers the requested rectangle in buffers with padded rows and guard
// bytes, the way the host hands its tiles to the plug-in.
#pragma once

#include "filter_pass.h"
#include "host_interface.h"
#include "sample_traits.h"

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

template <typename Sample> using Rgba = std::array<Sample, 4>;

template <typename Sample> class TestHost {
  public:
    TestHost(int32_t width, int32_t height);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    Rgba<Sample>& at(int32_t x, int32_t y) { return document_[index(x, y)]; }
    const Rgba<Sample>& at(int32_t x, int32_t y) const { return document_[index(x, y)]; }
    void fill(const Rgba<Sample>& colour);

    // The pixels after the last run: the document with the output buffer written back.
    const Rgba<Sample>& result(int32_t x, int32_t y) const { return result_[index(x, y)]; }
    const std::vector<Rgba<Sample>>& result() const { return result_; }
    // The input buffer as the plug-in left it (the colour key writes into it).
    Rgba<Sample> inputAfterRun(int32_t x, int32_t y) const;

    // Runs the pass through runFilterPass for this depth and writes the output back.
    OSErr run(const FilterParameters& parameters);
    // The same with another caller of the pass (the plug-in's entry point, for instance), which
    // receives the record as the host set it up and returns the call's result code.
    OSErr runWith(const std::function<OSErr(FilterRecord&)>& call);

    // Set up before run().
    VRect filterRect;                  // document coordinates, default the whole document
    bool bigDocument = true;           // supply BigDocumentStruct
    int32_t rowPadding = 12;           // extra bytes at the end of each buffer row
    // Deliver the rectangle as a window into a copy of the whole document (row bytes of a
    // document row), so that a stray access outside the rectangle lands on real pixels.
    bool embedInDocument = false;
    OSErr advanceResult = noErr;       // what advanceState returns
    std::function<void(FilterRecord&)> onAdvance; // called inside advanceState

    // Observed by the tests.
    FilterRecord record{};
    BigDocumentStruct bigDocumentData{};
    int advanceCalls = 0;
    VRect requestedIn{}, requestedOut{}; // what the plug-in had requested at advanceState
    int16_t requestedLoPlane = -1, requestedHiPlane = -1;
    bool guardsIntact = true;
    bool outsideUntouched = true; // embedInDocument: no pixel outside the rectangle changed

  private:
    size_t index(int32_t x, int32_t y) const { return size_t(y) * size_t(width_) + size_t(x); }
    OSErr advance();
    const uint8_t* bufferPixel(const std::vector<uint8_t>& buffer, int32_t x, int32_t y) const;

    int32_t width_;
    int32_t height_;
    std::vector<Rgba<Sample>> document_;
    std::vector<Rgba<Sample>> result_;
    std::vector<uint8_t> inBuffer_, outBuffer_;
    int32_t rowBytes_ = 0;
    size_t bufferOrigin_ = 0; // byte offset of the rectangle's first pixel in the buffers
};

inline constexpr uint8_t guardByte = 0xA5;
inline constexpr size_t guardSize = 64;
