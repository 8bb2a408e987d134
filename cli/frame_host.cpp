// The frame host: FilterRecord, big-document data and advanceState over one frame in memory.
#include "frame_host.h"

#include "parallel_pass.h"
#include "sample_depth.h"

#include <climits>
#include <cstring>
#include <vector>

namespace {

constexpr OSType hostSignature = 0x54565253; // 'TVRS'

struct FrameSession {
    const FrameBuffers* frame = nullptr;
    bool passWritesInput = false;
    FilterRecord record{};
    BigDocumentStruct bigDocument{};
    std::vector<unsigned char> inputCopy;
};

// advanceState takes no argument, so the session of the calling thread is found here; every
// job thread smooths its own frame.
thread_local FrameSession* currentSession = nullptr;

bool requestIsWholeFrame(const FrameSession& session) {
    const FilterRecord& r = session.record;
    const BigDocumentStruct& big = session.bigDocument;
    const VRect whole = big.filterRect32;
    auto same = [&whole](const VRect& v) {
        return v.top == whole.top && v.left == whole.left && v.bottom == whole.bottom &&
               v.right == whole.right;
    };
    auto widen = [](const Rect& v) { return VRect{v.top, v.left, v.bottom, v.right}; };
    const bool rectsWhole = big.PluginUsing32BitCoordinates != 0
                                ? same(big.inRect32) && same(big.outRect32)
                                : same(widen(r.inRect)) && same(widen(r.outRect));
    return rectsWhole && r.inLoPlane == 0 && r.outLoPlane == 0 && r.inHiPlane == r.planes - 1 &&
           r.outHiPlane == r.planes - 1;
}

// This host keeps the frame in one piece and hands out nothing else: tiles or single planes
// are refused rather than delivered wrongly.
OSErr advanceFrame() {
    FrameSession& session = *currentSession;
    const FrameBuffers& frame = *session.frame;
    if (!requestIsWholeFrame(session))
        return filterBadParameters;

    const size_t bytes = frame.rowBytes * size_t(frame.height);
    // The host copies the source into the destination before a filter runs, and the engine
    // relies on that to tell changed output pixels from unchanged ones.
    std::memcpy(frame.result, frame.source, bytes);
    void* input = const_cast<void*>(frame.source);
    if (session.passWritesInput) {
        // The colour key clears alpha in the input buffer as well; the caller's frame stays
        // as decoded.
        session.inputCopy.assign(static_cast<const unsigned char*>(frame.source),
                                 static_cast<const unsigned char*>(frame.source) + bytes);
        input = session.inputCopy.data();
    }
    FilterRecord& record = session.record;
    record.inData = input;
    record.outData = frame.result;
    record.inRowBytes = int32_t(frame.rowBytes);
    record.outRowBytes = int32_t(frame.rowBytes);
    return noErr;
}

Boolean neverAbort() {
    return 0;
}
void ignoreProgress(int32_t, int32_t) {}

int16_t clampTo16(int32_t v) {
    return int16_t(v > INT16_MAX ? INT16_MAX : v);
}

// The coverage pass gets what the host hands the filter pass: a result that starts as a copy of
// the source, and an input of its own when the colour key would write into it.
OSErr smoothFrameByCoverage(const FrameBuffers& frame, const FilterParameters& parameters,
                            unsigned threads) {
    const size_t bytes = frame.rowBytes * size_t(frame.height);
    std::memcpy(frame.result, frame.source, bytes);
    std::vector<unsigned char> inputCopy;
    void* input = const_cast<void*>(frame.source);
    if (parameters.useColourKey) {
        inputCopy.assign(static_cast<const unsigned char*>(frame.source),
                         static_cast<const unsigned char*>(frame.source) + bytes);
        input = inputCopy.data();
    }
    CoverageBuffers buffers;
    buffers.input = input;
    buffers.output = frame.result;
    buffers.width = frame.width;
    buffers.height = frame.height;
    buffers.depth = frame.depth;
    buffers.inputRowBytes = int64_t(frame.rowBytes);
    buffers.outputRowBytes = int64_t(frame.rowBytes);
    return runCoveragePass(buffers, parameters, int(threads));
}

void fillRecord(FrameSession& session) {
    const FrameBuffers& frame = *session.frame;
    FilterRecord& r = session.record;
    BigDocumentStruct& big = session.bigDocument;

    // The 16-bit fields cannot describe a frame wider or taller than 32767; the 32-bit ones
    // below carry the true size, and the pass reads those.
    const int16_t width16 = clampTo16(frame.width);
    const int16_t height16 = clampTo16(frame.height);
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
    r.imageMode = frame.depth == 16 ? plugInModeRGB48 : plugInModeRGBColor;
    r.imageHRes = r.imageVRes = 72 << 16;
    r.depth = frame.depth;
    r.advanceState = advanceFrame;
    r.filterCase = 4; // editable transparency, no selection
    r.inLayerPlanes = r.outLayerPlanes = r.absLayerPlanes = 3;
    r.inTransparencyMask = r.outTransparencyMask = r.absTransparencyMask = 1;
    r.inColumnBytes = r.outColumnBytes = int32_t(pixelBytes(frame.depth));
    r.inPlaneBytes = r.outPlaneBytes = int32_t(pixelBytes(frame.depth) / 4);

    const VRect whole{0, 0, frame.height, frame.width};
    big.imageSize32 = VPoint{frame.height, frame.width};
    big.wholeSize32 = big.imageSize32;
    big.filterRect32 = whole;
    r.bigDocumentData = &big;
}

} // namespace

bool frameFitsHostRecord(int32_t width, int32_t height, int32_t depth) {
    return width > 0 && height > 0 &&
           int64_t(width) * int64_t(pixelBytes(depth)) <= int64_t(INT32_MAX);
}

OSErr smoothFrame(const FrameBuffers& frame, const FilterParameters& parameters, unsigned threads,
                  SmoothingQuality quality) {
    if (!frameFitsHostRecord(frame.width, frame.height, frame.depth) ||
        frame.rowBytes > size_t(INT32_MAX) ||
        frame.rowBytes < size_t(frame.width) * pixelBytes(frame.depth))
        return filterBadParameters;
    if (quality == SmoothingQuality::High)
        return smoothFrameByCoverage(frame, parameters, threads);

    FrameSession session;
    session.frame = &frame;
    session.passWritesInput = parameters.useColourKey;
    fillRecord(session);

    FrameSession* const outer = currentSession;
    currentSession = &session;
    const OSErr result =
        runFilterPassParallel(session.record, parameters, static_cast<int>(threads));
    currentSession = outer;
    return result;
}
