// Throughput of the filter pass on cel-like line art, next to a memcpy of the same buffers as the
// floor that no pass over these pixels can beat. Each pass case reports megapixels per second and
// its time as a multiple of the memcpy measured in the same run.
//
// A real cel can be added to the run with TOVRIN_BENCH_CEL=/path/to/cel.png (RGBA, 8 or 16 bits);
// it is benchmarked at its own depth with the same cases.
#ifdef TOVRIN_BENCH_HAVE_SAMPLE_CEL
#include "sample_cel.h"
#endif
#include "buffer_host.h"
#include "cel_art.h"
#include "filter_pass.h"
#include "parallel_pass.h"
#include "reference/filter_pass.h"
#ifdef TOVRIN_BENCH_HAVE_PNG
#include "png_io.h"
#endif

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// One picture in host layout: input pixels and an output buffer of the same shape.
struct Picture {
    std::string name;
    int32_t width = 0;
    int32_t height = 0;
    int32_t depth = 8;
    std::vector<uint8_t> input;
    std::vector<uint8_t> output;

    int32_t rowBytes() const { return width * 4 * (depth / 8); }
    double megapixels() const { return double(width) * double(height) / 1e6; }
    void resetOutput() { std::memcpy(output.data(), input.data(), input.size()); }
};

std::unique_ptr<Picture> makePicture(const std::string& name, int32_t width, int32_t height,
                                     int32_t depth, std::vector<uint8_t> input) {
    auto picture = std::make_unique<Picture>();
    picture->name = name;
    picture->width = width;
    picture->height = height;
    picture->depth = depth;
    picture->input = std::move(input);
    picture->output = picture->input;
    return picture;
}

std::vector<uint8_t> bytesOf(const std::vector<uint16_t>& samples) {
    std::vector<uint8_t> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

// One opaque colour everywhere: no pixel differs from a neighbour, so the pass only skips.
std::unique_ptr<Picture> flatPicture(const std::string& name, int32_t width, int32_t height,
                                     int32_t depth) {
    return makePicture(
        name, width, height, depth,
        std::vector<uint8_t>(size_t(width) * size_t(height) * size_t(4 * depth / 8), 0x7f));
}

std::unique_ptr<Picture> drawPicture(const std::string& name, int32_t width, int32_t height,
                                     int32_t depth) {
    CelArtOptions options;
    options.width = width;
    options.height = height;
    options.seed = 2024;
    // Thicker outlines on the larger frame: the same drawing inked at a higher resolution.
    options.maxLineWidth = height >= 2000 ? 5 : 3;
    std::vector<uint8_t> art = drawCelArt(options);
    return makePicture(name, width, height, depth,
                       depth == 8 ? std::move(art) : bytesOf(toHostSixteenBit(art)));
}

using Pass = OSErr (*)(FilterRecord&, const FilterParameters&, int32_t threads);

// Time per pass of the sequential case, by case name, for the parallel cases' speed-up.
std::map<std::string, double>& sequentialSeconds() {
    static std::map<std::string, double> seconds;
    return seconds;
}

OSErr fastPass(FilterRecord& record, const FilterParameters& parameters, int32_t) {
    return runFilterPassForDepth(record, parameters);
}

OSErr parallelPass(FilterRecord& record, const FilterParameters& parameters, int32_t threads) {
    return runFilterPassParallel(record, parameters, threads);
}

OSErr referencePass(FilterRecord& record, const FilterParameters& parameters, int32_t) {
    tovrin_reference::FilterParameters old;
    old.smoothRange = parameters.smoothRange;
    return tovrin_reference::runFilterPassForDepth(record, old);
}

HostBuffers buffersOf(Picture& picture) {
    HostBuffers buffers;
    buffers.inData = picture.input.data();
    buffers.outData = picture.output.data();
    buffers.inRowBytes = buffers.outRowBytes = picture.rowBytes();
    buffers.filterRect = VRect{0, 0, picture.height, picture.width};
    buffers.depth = picture.depth;
    return buffers;
}

double secondsOf(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Median time of a memcpy from the input buffer to the output buffer.
double memcpySeconds(Picture& picture) {
    std::vector<double> times;
    for (int i = 0; i < 15; ++i) {
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(picture.output.data(), picture.input.data(), picture.input.size());
        benchmark::ClobberMemory();
        times.push_back(secondsOf(std::chrono::steady_clock::now() - start));
    }
    std::nth_element(times.begin(), times.begin() + 7, times.end());
    return times[7];
}

void benchMemcpy(benchmark::State& state, Picture* picture) {
    for (auto _ : state) {
        std::memcpy(picture->output.data(), picture->input.data(), picture->input.size());
        benchmark::ClobberMemory();
    }
    state.counters["MP/s"] = benchmark::Counter(picture->megapixels() * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(picture->input.size()) * 2);
}

// Every iteration starts from an output that is a fresh copy of the input, as the host hands it
// over; only the pass itself is timed.
void benchPass(benchmark::State& state, Picture* picture, Pass pass, int32_t smoothRange,
               int32_t threads, const std::string& caseName) {
    FilterParameters parameters;
    parameters.smoothRange = smoothRange;
    const HostBuffers buffers = buffersOf(*picture);
    double total = 0;
    for (auto _ : state) {
        picture->resetOutput();
        const auto start = std::chrono::steady_clock::now();
        const OSErr result = runOnBuffers(
            buffers, [&](FilterRecord& record) { return pass(record, parameters, threads); });
        const double seconds = secondsOf(std::chrono::steady_clock::now() - start);
        benchmark::DoNotOptimize(result);
        state.SetIterationTime(seconds);
        total += seconds;
    }
    const double perPass = total / double(state.iterations());
    const double floor = memcpySeconds(*picture);
    state.counters["MP/s"] = picture->megapixels() / perPass;
    state.counters["memcpy_ms"] = floor * 1e3;
    state.counters["x_memcpy"] = perPass / floor;
    if (pass == fastPass)
        sequentialSeconds()[caseName] = perPass;
    else if (pass == parallelPass && sequentialSeconds().count(caseName) != 0)
        state.counters["speedup"] = sequentialSeconds()[caseName] / perPass;
}

std::vector<std::unique_ptr<Picture>>& pictures() {
    static std::vector<std::unique_ptr<Picture>> all;
    return all;
}

void registerCases(Picture* picture, bool withReference) {
    const std::string base = picture->name + "/" + std::to_string(picture->depth) + "bit";
    benchmark::RegisterBenchmark(("memcpy/" + base).c_str(), benchMemcpy, picture);
    for (int32_t range : {0, 8}) {
        const std::string suffix = base + "/range" + std::to_string(range);
        auto add = [&](const std::string& name, Pass pass, int32_t threads) {
            benchmark::RegisterBenchmark((name + "/" + suffix).c_str(), benchPass, picture, pass,
                                         range, threads, suffix)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        };
        // The sequential case first: the parallel ones report their speed-up over it.
        add("pass", fastPass, 1);
        for (int32_t threads : {2, 4})
            add("parallel" + std::to_string(threads), parallelPass, threads);
        if (withReference)
            add("reference", referencePass, 1);
    }
}

#ifdef TOVRIN_BENCH_HAVE_PNG
std::unique_ptr<Picture> loadPicture(const std::string& path) {
    const PngImage image = readRgbaPng(path);
    if (image.bitDepth == 8)
        return makePicture("cel", image.width, image.height, 8,
                           std::vector<uint8_t>(image.samples.begin(), image.samples.end()));
    std::vector<uint16_t> host(image.samples.size());
    for (size_t i = 0; i < host.size(); ++i)
        host[i] = uint16_t((uint32_t(image.samples[i]) * 32768 + 32767) / 65535);
    return makePicture("cel", image.width, image.height, 16, bytesOf(host));
}
#endif

void registerAll() {
    // The frozen straightforward engine, the speed before this work, on request only: it takes
    // a few seconds per case.
    const bool withReference = std::getenv("TOVRIN_BENCH_REFERENCE") != nullptr;
    for (int32_t depth : {8, 16}) {
        pictures().push_back(drawPicture("1080p", 1920, 1080, depth));
        registerCases(pictures().back().get(), withReference);
        pictures().push_back(drawPicture("2160p", 3840, 2160, depth));
        registerCases(pictures().back().get(), withReference);
    }
    // The cost of recognising untouched pixels alone.
    for (int32_t depth : {8, 16}) {
        Picture* flat = pictures().emplace_back(flatPicture("flat1080p", 1920, 1080, depth)).get();
        const std::string base = flat->name + "/" + std::to_string(depth) + "bit";
        benchmark::RegisterBenchmark(("memcpy/" + base).c_str(), benchMemcpy, flat);
        benchmark::RegisterBenchmark(("pass/" + base + "/range0").c_str(), benchPass, flat,
                                     fastPass, 0, 1, base + "/range0")
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
#ifdef TOVRIN_BENCH_HAVE_SAMPLE_CEL
    // The command line's bundled sample cel.
    SampleCel sample = drawSampleCel();
    pictures().push_back(makePicture("samplecel", sample.width, sample.height, 8, std::move(sample.rgba)));
    registerCases(pictures().back().get(), withReference);
#endif
    if (const char* cel = std::getenv("TOVRIN_BENCH_CEL")) {
#ifdef TOVRIN_BENCH_HAVE_PNG
        pictures().push_back(loadPicture(cel));
        registerCases(pictures().back().get(), withReference);
#else
        std::fprintf(stderr, "TOVRIN_BENCH_CEL=%s ignored: built without libpng\n", cel);
#endif
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
