// The minimal host's record and advanceState.
#include "buffer_host.h"

namespace {

thread_local const HostBuffers* currentBuffers = nullptr;
thread_local FilterRecord* currentRecord = nullptr;

OSErr deliverBuffers() {
    currentRecord->inData = currentBuffers->inData;
    currentRecord->outData = currentBuffers->outData;
    currentRecord->inRowBytes = currentBuffers->inRowBytes;
    currentRecord->outRowBytes = currentBuffers->outRowBytes;
    return noErr;
}

} // namespace

OSErr runOnBuffers(const HostBuffers& buffers, const std::function<OSErr(FilterRecord&)>& pass) {
    FilterRecord record{};
    BigDocumentStruct bigDocument{};
    const VRect& r = buffers.filterRect;
    record.planes = 4;
    record.depth = buffers.depth;
    record.imageMode = buffers.depth == 8 ? plugInModeRGBColor : plugInModeRGB48;
    record.filterRect = Rect{int16_t(r.top), int16_t(r.left), int16_t(r.bottom), int16_t(r.right)};
    record.imageSize = Point{int16_t(r.bottom), int16_t(r.right)};
    bigDocument.filterRect32 = r;
    bigDocument.imageSize32 = VPoint{r.bottom, r.right};
    record.bigDocumentData = &bigDocument;
    record.advanceState = deliverBuffers;

    currentBuffers = &buffers;
    currentRecord = &record;
    const OSErr result = pass(record);
    currentBuffers = nullptr;
    currentRecord = nullptr;
    return result;
}
