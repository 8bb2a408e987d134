// The one place where a host's bits per sample become the engine's sample type.
#pragma once

#include "host_interface.h"
#include "sample_traits.h"

#include <cstddef>
#include <cstdint>

// Names a sample type for a callable that is templated on it:
//     withSampleType(depth, [&]<typename Sample>(SampleTag<Sample>) { ... return noErr; });
template <typename Sample> struct SampleTag { using type = Sample; };

// Runs work(SampleTag<uint8_t>) for 8 bits per sample and work(SampleTag<uint16_t>) for 16 and
// returns its result code; any other depth is filterBadMode, and work does not run.
template <typename Work> OSErr withSampleType(int32_t depth, Work&& work) {
    switch (depth) {
    case 8:
        return work(SampleTag<uint8_t>{});
    case 16:
        return work(SampleTag<uint16_t>{});
    default:
        return filterBadMode;
    }
}

// Bytes of one RGBA pixel at 8 or 16 bits per sample; 0 for any other depth.
constexpr size_t pixelBytes(int32_t depth) {
    switch (depth) {
    case 8:
        return SampleTraits<uint8_t>::pixelSize;
    case 16:
        return SampleTraits<uint16_t>::pixelSize;
    default:
        return 0;
    }
}
