// The filter pass: host request, colour-key pre-pass and pixel scan.
#include "filter_pass.h"

#include "image_window.h"
#include "smoothing_engine.h"

namespace {

template <typename Sample> bool matchesKey(const Sample* pixel, const FilterParameters& key);

template <> bool matchesKey(const uint8_t* pixel, const FilterParameters& key) {
    return pixel[Red] == key.keyRed && pixel[Green] == key.keyGreen &&
           pixel[Blue] == key.keyBlue && pixel[Alpha] == 255;
}

// The key is given in 8-bit units: each 16-bit sample is rounded to 8 bits before comparing, and
// only the host's full opacity counts as opaque.
template <> bool matchesKey(const uint16_t* pixel, const FilterParameters& key) {
    auto to8 = [](uint16_t v) { return (int32_t{v} * 255 + 16384) / 32768; };
    return to8(pixel[Red]) == key.keyRed && to8(pixel[Green]) == key.keyGreen &&
           to8(pixel[Blue]) == key.keyBlue && pixel[Alpha] == 32768;
}

template <typename Sample>
void applyColourKey(const ImageWindow<Sample>& window, const FilterParameters& key) {
    const VRect& bounds = window.bounds();
    for (int32_t y = bounds.top; y < bounds.bottom; ++y) {
        for (int32_t x = bounds.left; x < bounds.right; ++x) {
            Sample* input = window.inputPixel(x, y);
            if (matchesKey(input, key)) {
                input[Alpha] = 0;
                window.outputPixel(x, y)[Alpha] = 0;
            }
        }
    }
}

bool isEmpty(const VRect& r) { return r.left >= r.right || r.top >= r.bottom; }

} // namespace

template <typename Sample>
OSErr runFilterPass(FilterRecord& record, const FilterParameters& parameters) {
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
        const int64_t rowBytes = int64_t{bounds.right - bounds.left} * int64_t{SampleTraits<Sample>::pixelSize};
        if (record.inData == nullptr || record.outData == nullptr ||
            record.inRowBytes < rowBytes || record.outRowBytes < rowBytes)
            return filterBadParameters;
        SmoothingEngine<Sample> engine(record, parameters.smoothRange);
        if (parameters.useColourKey)
            applyColourKey(engine.window(), parameters);
        engine.scan();
    }

    const VRect empty{0, 0, 0, 0};
    record.inRect = Rect{0, 0, 0, 0};
    record.outRect = Rect{0, 0, 0, 0};
    setInputRect(record, empty);
    setOutputRect(record, empty);
    return noErr;
}

template OSErr runFilterPass<uint8_t>(FilterRecord&, const FilterParameters&);
template OSErr runFilterPass<uint16_t>(FilterRecord&, const FilterParameters&);

OSErr runFilterPassForDepth(FilterRecord& record, const FilterParameters& parameters) {
    switch (record.depth) {
    case 8:
        return runFilterPass<uint8_t>(record, parameters);
    case 16:
        return runFilterPass<uint16_t>(record, parameters);
    default:
        return filterBadMode;
    }
}
