// libFuzzer target: a file's bytes through the whole frame path of tovrin-smooth: format
// detection, decoding (PNG through libpng, everything else through the OpenImageIO module),
// conversion to host pixels, the filter pass, and the result written back as PNG.
#include "frame_host.h"
#include "frame_job.h"
#include "image_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// Small enough that a declared size the fuzzer invents is refused before it costs time.
constexpr uint64_t fuzzMaxPixels = 1 << 20;

// The input lives in memory: no file system traffic per run, and a path the codecs can open.
struct MemoryFile {
    int fd = memfd_create("tovrin-fuzz-input", 0);
    std::string path = "/proc/self/fd/" + std::to_string(fd);

    bool hold(const uint8_t* data, size_t size) {
        if (fd < 0 || ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0)
            return false;
        while (size > 0) {
            const ssize_t written = write(fd, data, size);
            if (written <= 0)
                return false;
            data += written;
            size -= size_t(written);
        }
        return true;
    }
};

// Results go to memory too where the system has a tmpfs at /dev/shm: each write is synced.
std::string outputFolder() {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    const std::filesystem::path folder = base / ("tovrin-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    return folder.string();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile input;
    static const std::string output = outputFolder() + "/result.png";
    if (!input.hold(data, size))
        std::abort();

    // The options vary with the input, so that the range, the key and both qualities are
    // explored too.
    FilterParameters parameters;
    parameters.smoothRange = int32_t(size % 11);
    parameters.useColourKey = size % 3 == 0;
    const SmoothingQuality quality =
        size % 4 < 2 ? SmoothingQuality::Standard : SmoothingQuality::High;

    FrameTask task;
    task.input = input.path;
    task.output = output;
    const FrameOutcome outcome =
        smoothFile(task, parameters, 1, EncodeSettings{}, fuzzMaxPixels, quality);
    // A frame the summary would call smoothed must have been written whole: read it back.
    if (outcome.ok) {
        DecodedImage written;
        std::string error;
        if (!readImage(output, fuzzMaxPixels, written, error))
            std::abort();
    }
    return 0;
}
