// The test host's buffer handling.
#include "test_host.h"

#include <cstring>

namespace {

thread_local std::function<OSErr()> currentAdvance;

OSErr advanceStateThunk() { return currentAdvance(); }

bool guardsHold(const std::vector<uint8_t>& buffer) {
    for (size_t i = 0; i < guardSize; ++i) {
        if (buffer[i] != guardByte || buffer[buffer.size() - 1 - i] != guardByte)
            return false;
    }
    return true;
}

} // namespace

template <typename Sample>
TestHost<Sample>::TestHost(int32_t width, int32_t height)
    : filterRect{0, 0, height, width}, width_(width), height_(height),
      document_(size_t(width) * size_t(height), Rgba<Sample>{}), result_(document_) {}

template <typename Sample> void TestHost<Sample>::fill(const Rgba<Sample>& colour) {
    for (auto& pixel : document_)
        pixel = colour;
}

template <typename Sample> OSErr TestHost<Sample>::advance() {
    ++advanceCalls;
    requestedIn = bigDocument && bigDocumentData.PluginUsing32BitCoordinates
                      ? bigDocumentData.inRect32
                      : VRect{record.inRect.top, record.inRect.left, record.inRect.bottom,
                              record.inRect.right};
    requestedOut = bigDocument && bigDocumentData.PluginUsing32BitCoordinates
                       ? bigDocumentData.outRect32
                       : VRect{record.outRect.top, record.outRect.left, record.outRect.bottom,
                               record.outRect.right};
    requestedLoPlane = record.inLoPlane;
    requestedHiPlane = record.inHiPlane;
    if (onAdvance)
        onAdvance(record);
    if (advanceResult != noErr)
        return advanceResult;

    // Deliver the requested input rectangle; the output starts as a copy of it.
    const VRect& r = requestedIn;
    const size_t pixelBytes = sizeof(Rgba<Sample>);
    if (embedInDocument) {
        rowBytes_ = int32_t(size_t(width_) * pixelBytes);
        inBuffer_.assign(document_.size() * pixelBytes + 2 * guardSize, guardByte);
        std::memcpy(inBuffer_.data() + guardSize, document_.data(), document_.size() * pixelBytes);
        bufferOrigin_ = size_t(r.top) * size_t(rowBytes_) + size_t(r.left) * pixelBytes;
    } else {
        const int32_t w = r.right - r.left;
        const int32_t h = r.bottom - r.top;
        rowBytes_ = int32_t(size_t(w) * pixelBytes) + rowPadding;
        inBuffer_.assign(size_t(rowBytes_) * size_t(h) + 2 * guardSize, guardByte);
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = inBuffer_.data() + guardSize + size_t(y) * size_t(rowBytes_);
            std::memcpy(row, &at(r.left, r.top + y), size_t(w) * pixelBytes);
        }
        bufferOrigin_ = 0;
    }
    outBuffer_ = inBuffer_;
    record.inData = inBuffer_.data() + guardSize + bufferOrigin_;
    record.outData = outBuffer_.data() + guardSize + bufferOrigin_;
    record.inRowBytes = rowBytes_;
    record.outRowBytes = rowBytes_;
    return noErr;
}

template <typename Sample> OSErr TestHost<Sample>::run(const FilterParameters& parameters) {
    return runWith([&](FilterRecord& r) { return runFilterPass<Sample>(r, parameters); });
}

template <typename Sample>
OSErr TestHost<Sample>::runWith(const std::function<OSErr(FilterRecord&)>& call) {
    record = FilterRecord{};
    bigDocumentData = BigDocumentStruct{};
    record.imageSize = Point{int16_t(height_), int16_t(width_)};
    record.planes = 4;
    record.filterRect = Rect{int16_t(filterRect.top), int16_t(filterRect.left),
                             int16_t(filterRect.bottom), int16_t(filterRect.right)};
    record.imageMode = sizeof(Sample) == 1 ? plugInModeRGBColor : plugInModeRGB48;
    record.depth = sizeof(Sample) == 1 ? 8 : 16;
    record.advanceState = advanceStateThunk;
    // Stale values a host may leave behind: the plug-in must not rely on them.
    record.inRect = Rect{1, 2, 3, 4};
    record.outRect = Rect{5, 6, 7, 8};
    if (bigDocument) {
        bigDocumentData.imageSize32 = VPoint{height_, width_};
        bigDocumentData.filterRect32 = filterRect;
        record.bigDocumentData = &bigDocumentData;
    }
    advanceCalls = 0;
    inBuffer_.clear();
    outBuffer_.clear();
    currentAdvance = [this] { return advance(); };
    const OSErr result = call(record);
    currentAdvance = nullptr;

    result_ = document_;
    guardsIntact = true;
    outsideUntouched = true;
    if (!outBuffer_.empty()) {
        guardsIntact = guardsHold(inBuffer_) && guardsHold(outBuffer_);
        const VRect& r = requestedOut;
        for (int32_t y = r.top; y < r.bottom; ++y)
            for (int32_t x = r.left; x < r.right; ++x)
                std::memcpy(&result_[index(x, y)], bufferPixel(outBuffer_, x, y), sizeof(Rgba<Sample>));
        if (embedInDocument) {
            for (int32_t y = 0; y < height_; ++y)
                for (int32_t x = 0; x < width_; ++x) {
                    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom)
                        continue;
                    if (std::memcmp(bufferPixel(outBuffer_, x, y), &at(x, y), sizeof(Rgba<Sample>)) ||
                        std::memcmp(bufferPixel(inBuffer_, x, y), &at(x, y), sizeof(Rgba<Sample>)))
                        outsideUntouched = false;
                }
        }
    }
    return result;
}

template <typename Sample>
const uint8_t* TestHost<Sample>::bufferPixel(const std::vector<uint8_t>& buffer, int32_t x,
                                             int32_t y) const {
    const VRect& r = requestedIn;
    // Offsets may be negative for pixels left of or above the rectangle in an embedded buffer.
    const ptrdiff_t offset = ptrdiff_t(y - r.top) * rowBytes_ +
                             ptrdiff_t(x - r.left) * ptrdiff_t(sizeof(Rgba<Sample>));
    return buffer.data() + guardSize + bufferOrigin_ + offset;
}

template <typename Sample> Rgba<Sample> TestHost<Sample>::inputAfterRun(int32_t x, int32_t y) const {
    Rgba<Sample> pixel;
    std::memcpy(&pixel, bufferPixel(inBuffer_, x, y), sizeof(pixel));
    return pixel;
}

template class TestHost<uint8_t>;
template class TestHost<uint16_t>;
