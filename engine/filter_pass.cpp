// The filter pass: host request, colour-key pre-pass and pixel scan.
#include "filter_pass.h"

#include "colour_key.h"
#include "image_window.h"
#include "sample_depth.h"
#include "smoothing_engine.h"

namespace {

template <typename Sample>
void applyColourKey(const ImageWindow<Sample>& window, const FilterParameters& key) {
    const VRect& bounds = window.bounds();
    for (int32_t y = bounds.top; y < bounds.bottom; ++y)
        clearKeyedPixels(window.inputPixelInside(bounds.left, y),
                         window.outputPixelInside(bounds.left, y), bounds.right - bounds.left, key);
}

bool isEmpty(const VRect& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

} // namespace

template <typename Sample>
OSErr runFilterPassWithScan(FilterRecord& record, const FilterParameters& parameters,
                            const std::function<void(SmoothingEngine<Sample>&)>& scan) {
    // Four interleaved samples a pixel are all the engine reads and writes.
    if (record.planes != 4)
        return filterBadMode;
    if (record.advanceState == nullptr)
        return filterBadParameters;
    BigDocumentStruct* bigDocument = record.bigDocumentData;
    record.inRect = record.filterRect;
    record.outRect = record.filterRect;
    record.inLoPlane = record.outLoPlane = 0;
    record.inHiPlane = record.outHiPlane = static_cast<int16_t>(record.planes - 1);
    if (bigDocument != nullptr) {
        // Hosts that know big documents read the 32-bit request once we say we use it.
        bigDocument->PluginUsing32BitCoordinates = 1;
        bigDocument->inRect32 = bigDocument->filterRect32;
        bigDocument->outRect32 = bigDocument->filterRect32;
    }

    const OSErr result = record.advanceState();
    if (result != noErr)
        return result;

    const VRect bounds = filterBounds(record);
    if (!isEmpty(bounds)) {
        const int64_t rowBytes =
            int64_t{bounds.right - bounds.left} * int64_t{SampleTraits<Sample>::pixelSize};
        if (record.inData == nullptr || record.outData == nullptr || record.inRowBytes < rowBytes ||
            record.outRowBytes < rowBytes)
            return filterBadParameters;
        SmoothingEngine<Sample> engine(record, parameters.smoothRange);
        if (parameters.useColourKey)
            applyColourKey(engine.window(), parameters);
        scan(engine);
    }

    const VRect empty{0, 0, 0, 0};
    record.inRect = Rect{0, 0, 0, 0};
    record.outRect = Rect{0, 0, 0, 0};
    setInputRect(record, empty);
    setOutputRect(record, empty);
    return noErr;
}

template <typename Sample>
OSErr runFilterPass(FilterRecord& record, const FilterParameters& parameters) {
    return runFilterPassWithScan<Sample>(record, parameters,
                                         [](SmoothingEngine<Sample>& engine) { engine.scan(); });
}

template OSErr runFilterPass<uint8_t>(FilterRecord&, const FilterParameters&);
template OSErr runFilterPass<uint16_t>(FilterRecord&, const FilterParameters&);
template OSErr
runFilterPassWithScan<uint8_t>(FilterRecord&, const FilterParameters&,
                               const std::function<void(SmoothingEngine<uint8_t>&)>&);
template OSErr
runFilterPassWithScan<uint16_t>(FilterRecord&, const FilterParameters&,
                                const std::function<void(SmoothingEngine<uint16_t>&)>&);

OSErr runFilterPassForDepth(FilterRecord& record, const FilterParameters& parameters) {
    return withSampleType(record.depth, [&]<typename Sample>(SampleTag<Sample>) {
        return runFilterPass<Sample>(record, parameters);
    });
}
