// Reading, smoothing and writing one frame.
#include "frame_job.h"

#include "compare_picture.h"
#include "frame_host.h"
#include "platform.h"
#include "sample_depth.h"

#include <exception>
#include <memory>
#include <new>
#include <vector>

namespace {

// A frame-sized result buffer. Its contents are undefined until the host's copy of the source
// fills it.
class ResultBuffer {
  public:
    explicit ResultBuffer(size_t bytes)
        : bytes_(bytes), data_(static_cast<unsigned char*>(allocateFrameMemory(bytes))) {}
    ~ResultBuffer() { releaseFrameMemory(data_, bytes_); }
    ResultBuffer(const ResultBuffer&) = delete;
    ResultBuffer& operator=(const ResultBuffer&) = delete;

    unsigned char* data() const { return data_; }

  private:
    size_t bytes_;
    unsigned char* data_;
};

FrameOutcome smoothDecoded(DecodedImage& image, const FrameTask& task,
                           const FilterParameters& parameters, unsigned passThreads,
                           const EncodeSettings& encode, SmoothingQuality quality) {
    FrameOutcome outcome;
    if (!frameFitsHostRecord(image.width(), image.height(), image.depth)) {
        outcome.error = "is too wide for the filter's host record";
        return outcome;
    }
    const ResultBuffer buffer(image.host.size());
    unsigned char* const result = buffer.data();
    if (result == nullptr) {
        outcome.error = "there is not enough memory for the result";
        return outcome;
    }
    FrameBuffers frame;
    frame.source = image.host.data();
    frame.result = result;
    frame.width = image.width();
    frame.height = image.height();
    frame.depth = image.depth;
    frame.rowBytes = image.hostRowBytes();
    const OSErr code = smoothFrame(frame, parameters, passThreads, quality);
    if (code != noErr) {
        outcome.error = "the filter pass failed with host result code " + std::to_string(code);
        return outcome;
    }

    outcome.pixels = image.pixelCount();
    withSampleType(image.depth, [&]<typename Sample>(SampleTag<Sample>) {
        outcome.changedPixels =
            countChangedPixels(reinterpret_cast<const Sample*>(image.host.data()),
                               reinterpret_cast<const Sample*>(result), outcome.pixels);
        return noErr;
    });

    // The comparison picture goes first: a frame whose picture cannot be written fails before
    // its result replaces anything (with --in-place, its input).
    std::string reason;
    if (!task.compare.empty()) {
        const Picture picture =
            comparePicture(image.host.data(), result, image.width(), image.height(), image.depth);
        if (!writePicture(task.compare, picture.width, picture.height, picture.rgb.data(), encode,
                          reason)) {
            outcome.error = "cannot write the comparison picture '" + task.compare + "': " + reason;
            return outcome;
        }
    }
    if (!writeResult(task.output, image, result, encode, outcome.note, reason,
                     outcome.changedPixels)) {
        outcome.error = "cannot write '" + task.output + "': " + reason;
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

template <typename Work> FrameOutcome failingAlone(Work work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return FrameOutcome{false, "there is not enough memory for this frame", "", 0, 0};
    } catch (const std::exception& e) {
        return FrameOutcome{false, std::string("failed: ") + e.what(), "", 0, 0};
    } catch (...) {
        return FrameOutcome{false, "failed with an unknown exception", "", 0, 0};
    }
}

} // namespace

FrameOutcome smoothImage(DecodedImage& image, const FrameTask& task,
                         const FilterParameters& parameters, unsigned passThreads,
                         const EncodeSettings& encode, SmoothingQuality quality) {
    return failingAlone(
        [&] { return smoothDecoded(image, task, parameters, passThreads, encode, quality); });
}

FrameOutcome smoothFile(const FrameTask& task, const FilterParameters& parameters,
                        unsigned passThreads, const EncodeSettings& encode, uint64_t maxPixels,
                        SmoothingQuality quality) {
    if (!task.error.empty())
        return FrameOutcome{false, task.error, "", 0, 0};
    return failingAlone([&] {
        DecodedImage image;
        std::string reason;
        if (!readImage(task.input, maxPixels, image, reason))
            return FrameOutcome{false, reason, "", 0, 0};
        return smoothDecoded(image, task, parameters, passThreads, encode, quality);
    });
}
