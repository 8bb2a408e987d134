// The buffer host: FilterRecord, big-document data and advanceState over two buffers.
#include "buffer_host.h"

#include "parallel_pass.h"
#include "sample_depth.h"

#include <climits>

namespace {

constexpr OSType hostSignature = 0x54564C42; // 'TVLB'

struct PassSession {
    const PassBuffers* buffers = nullptr;
    FilterRecord record{};
    BigDocumentStruct bigDocument{};
};

// advanceState takes no argument: the session of the calling thread is found here. Callers on
// other threads run passes of their own at the same time.
thread_local PassSession* currentSession = nullptr;

// The pass asks once for the whole image with all planes, which is all this host hands out.
OSErr advanceBuffers() {
    PassSession& session = *currentSession;
    const PassBuffers& buffers = *session.buffers;
    FilterRecord& record = session.record;
    record.inData = buffers.input;
    record.outData = buffers.output;
    record.inRowBytes = buffers.inputRowBytes;
    record.outRowBytes = buffers.outputRowBytes;
    return noErr;
}

Boolean neverAbort() {
    return 0;
}
void ignoreProgress(int32_t, int32_t) {}

int16_t clampTo16(int32_t v) {
    return int16_t(v > INT16_MAX ? INT16_MAX : v);
}

void fillRecord(PassSession& session) {
    const PassBuffers& buffers = *session.buffers;
    FilterRecord& r = session.record;
    BigDocumentStruct& big = session.bigDocument;

    // The 16-bit fields cannot describe an image wider or taller than 32767; the 32-bit ones
    // carry the true size, and the pass reads those.
    const int16_t width16 = clampTo16(buffers.width);
    const int16_t height16 = clampTo16(buffers.height);
    const int32_t pixelSize = int32_t(pixelBytes(buffers.depth));
    r.abortProc = neverAbort;
    r.progressProc = ignoreProgress;
    r.imageSize = Point{height16, width16};
    r.wholeSize = r.imageSize;
    r.planes = 4;
    r.filterRect = Rect{0, 0, height16, width16};
    r.background = PSRGBColor{0xFFFF, 0xFFFF, 0xFFFF};
    r.foreground = PSRGBColor{0, 0, 0};
    r.backColor[0] = r.backColor[1] = r.backColor[2] = 255;
    r.backColor[3] = 0;
    r.hostSig = hostSignature;
    r.imageMode = buffers.depth == 16 ? plugInModeRGB48 : plugInModeRGBColor;
    r.imageHRes = r.imageVRes = 72 << 16;
    r.depth = buffers.depth;
    r.advanceState = advanceBuffers;
    r.filterCase = 4; // editable transparency, no selection
    r.inLayerPlanes = r.outLayerPlanes = r.absLayerPlanes = 3;
    r.inTransparencyMask = r.outTransparencyMask = r.absTransparencyMask = 1;
    r.inColumnBytes = r.outColumnBytes = pixelSize;
    r.inPlaneBytes = r.outPlaneBytes = pixelSize / 4;

    big.imageSize32 = VPoint{buffers.height, buffers.width};
    big.wholeSize32 = big.imageSize32;
    big.filterRect32 = VRect{0, 0, buffers.height, buffers.width};
    r.bigDocumentData = &big;
}

} // namespace

OSErr runPassOverBuffers(const PassBuffers& buffers, const FilterParameters& parameters,
                         int threads) {
    PassSession session;
    session.buffers = &buffers;
    fillRecord(session);

    // Restored on the way out, thrown exceptions included.
    struct SessionScope {
        PassSession* outer = currentSession;
        explicit SessionScope(PassSession& session) { currentSession = &session; }
        ~SessionScope() { currentSession = outer; }
    } scope(session);
    return threads > 1 ? runFilterPassParallel(session.record, parameters, threads)
                       : runFilterPassForDepth(session.record, parameters);
}
