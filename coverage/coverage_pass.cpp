// Placeholder until the network lands: applies the colour key and leaves every pixel as it is.
#include "coverage_pass.h"

#include "colour_key.h"
#include "sample_depth.h"

OSErr runCoveragePass(const CoverageBuffers& buffers, const FilterParameters& parameters,
                      int /*threads*/) {
    return withSampleType(buffers.depth, [&]<typename Sample>(SampleTag<Sample>) {
        if (parameters.useColourKey)
            for (int32_t y = 0; y < buffers.height; ++y) {
                auto* input = reinterpret_cast<Sample*>(static_cast<uint8_t*>(buffers.input) +
                                                        y * buffers.inputRowBytes);
                auto* output = reinterpret_cast<Sample*>(static_cast<uint8_t*>(buffers.output) +
                                                         y * buffers.outputRowBytes);
                clearKeyedPixels(input, output, buffers.width, parameters);
            }
        return noErr;
    });
}
