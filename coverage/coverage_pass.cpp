// The high-quality pass: finds the pixels near an edge, their candidate colours and the colours'
// masks, asks the network for each colour's share and blends the pixel from them.
#include "coverage_pass.h"

#include "colour_key.h"
#include "coverage_network.h"
#include "sample_depth.h"

#include <algorithm>
#include <atomic>
#include <array>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <type_traits>
#include <vector>

namespace {

// The gate: a pixel with more than gateColours distinct colours within gateRadius is taken for
// art that is already smooth (anti-aliased edges, gradients, photographs) and left alone.
constexpr int gateRadius = 2;
constexpr int gateColours = 4;
constexpr int maxCandidates = 9;

template <typename Sample> struct Frame {
    const Sample* input;
    int64_t inputStride; // samples from one row to the next
    Sample* output;
    int64_t outputStride;
    int32_t width;
    int32_t height;
    int32_t tolerance; // in sample units
    // Samples from a pixel to each of its cells, away from the image's border.
    std::array<int64_t, inputCells> cellDistances;
    const CoverageNetwork* network;

    // Outside the image, the nearest pixel of its border stands in.
    const Sample* row(int32_t y) const {
        return input + int64_t{std::clamp(y, 0, height - 1)} * inputStride;
    }
    int64_t column(int32_t x) const { return 4 * int64_t{std::clamp(x, 0, width - 1)}; }
};

// A pixel's four samples as one word, for comparing colours exactly.
template <typename Sample>
using PixelWord = std::conditional_t<sizeof(Sample) == 1, uint32_t, uint64_t>;

template <typename Sample> PixelWord<Sample> wordOf(const Sample* pixel) {
    PixelWord<Sample> word;
    std::memcpy(&word, pixel, sizeof word);
    return word;
}

template <typename Sample>
bool sameColour(const Sample* a, const Sample* b, int32_t tolerance) {
    if (wordOf(a) == wordOf(b))
        return true;
    if (tolerance == 0)
        return false;
    for (int c = 0; c < 4; ++c)
        if (std::abs(int32_t{a[c]} - int32_t{b[c]}) > tolerance)
            return false;
    return true;
}

// The window around one pixel that the network reads, with the border repeated outside the
// image.
template <typename Sample> struct Window {
    const Frame<Sample>& frame;
    const Sample* rows[windowSide];
    int64_t columns[windowSide];
    PixelWord<Sample> words[inputCells];

    Window(const Frame<Sample>& f, int32_t x, int32_t y) : frame(f) {
        for (int d = -windowRadius; d <= windowRadius; ++d) {
            rows[d + windowRadius] = frame.row(y + d);
            columns[d + windowRadius] = frame.column(x + d);
        }
        const bool inside = x >= windowRadius && x < frame.width - windowRadius &&
                            y >= windowRadius && y < frame.height - windowRadius;
        if (inside) {
            // Every cell at a fixed distance in memory from the pixel.
            const Sample* pixel = at(0, 0);
            for (int cell = 0; cell < inputCells; ++cell)
                words[cell] = wordOf(pixel + frame.cellDistances[size_t(cell)]);
        } else {
            for (int cell = 0; cell < inputCells; ++cell)
                words[cell] = wordOf(cellPixel(cell));
        }
    }

    const Sample* cellPixel(int cell) const {
        return rows[cell / windowSide] + columns[cell % windowSide];
    }

    // The pixel at (dx, dy) from the window's pixel.
    const Sample* at(int dx, int dy) const {
        return rows[dy + windowRadius] + columns[dx + windowRadius];
    }

    void maskOf(const Sample* colour, WindowMask& mask) const {
        if (frame.tolerance != 0) {
            for (int cell = 0; cell < inputCells; ++cell)
                mask.cells[cell] = sameColour(cellPixel(cell), colour, frame.tolerance) ? 1 : 0;
            return;
        }
        const PixelWord<Sample> word = wordOf(colour);
        for (int cell = 0; cell < inputCells; ++cell)
            mask.cells[cell] = words[cell] == word ? 1 : 0;
    }
};

// The distinct colours of a set of pixels, each joining the first colour it matches; counting
// stops past `limit`.
template <typename Sample> struct ColourSet {
    const Sample* colours[maxCandidates];
    int count = 0;

    bool add(const Sample* pixel, int32_t tolerance, int limit) {
        for (int i = 0; i < count; ++i)
            if (sameColour(colours[i], pixel, tolerance))
                return true;
        if (count == limit)
            return false;
        colours[count++] = pixel;
        return true;
    }
};

template <typename Sample> bool looksSmooth(const Window<Sample>& window, int32_t tolerance) {
    ColourSet<Sample> seen;
    for (int dy = -gateRadius; dy <= gateRadius; ++dy)
        for (int dx = -gateRadius; dx <= gateRadius; ++dx)
            if (!seen.add(window.at(dx, dy), tolerance, gateColours))
                return true;
    return false;
}

// Pixels along an edge often show the network the same mask (a straight edge repeats its steps),
// so each thread remembers recent shares by mask and a mask seen again costs one lookup. A share
// depends on its mask alone: a remembered share is the share the network would give.
class ShareMemo {
public:
    explicit ShareMemo(const CoverageNetwork& network) : network_(network), slots_(slotCount) {}

    int32_t share(const WindowMask& mask) {
        static_assert(inputCells <= 64 + 63, "no bit left to mark a filled slot");
        MaskBits bits = bitsOf(mask);
        bits.high |= filled;
        Slot& slot = slots_[(bits.low * 0x9E3779B97F4A7C15u ^ bits.high * 0xC2B2AE3D27D4EB4Fu) >>
                            (64 - slotBits)];
        if (slot.mask.low != bits.low || slot.mask.high != bits.high) {
            slot.mask = bits;
            bits.high &= ~filled;
            slot.share = network_.share(bits);
        }
        return slot.share;
    }

private:
    static constexpr uint64_t filled = uint64_t{1} << 63;
    static constexpr int slotBits = 14;
    static constexpr size_t slotCount = size_t{1} << slotBits;
    struct Slot {
        MaskBits mask; // with the filled bit; zero in an empty slot
        int32_t share = 0;
    };

    const CoverageNetwork& network_;
    std::vector<Slot> slots_;
};

// Centre first, then the neighbours in scan order: the pixel's own colour is the first
// candidate, with its own samples.
constexpr int candidateOrder[maxCandidates][2] = {{0, 0},  {-1, -1}, {0, -1}, {1, -1}, {-1, 0},
                                                  {1, 0},  {-1, 1},  {0, 1},  {1, 1}};

// Whether any of the pixel's eight neighbours has another colour.
template <typename Sample>
bool nearEdge(const Frame<Sample>& frame, int32_t x, int32_t y) {
    const Sample* centre = frame.row(y) + frame.column(x);
    if (frame.tolerance == 0 && x > 0 && y > 0 && x + 1 < frame.width && y + 1 < frame.height) {
        const PixelWord<Sample> word = wordOf(centre);
        const Sample* above = centre - frame.inputStride;
        const Sample* below = centre + frame.inputStride;
        return (wordOf(above - 4) ^ word) | (wordOf(above) ^ word) | (wordOf(above + 4) ^ word) |
               (wordOf(centre - 4) ^ word) | (wordOf(centre + 4) ^ word) |
               (wordOf(below - 4) ^ word) | (wordOf(below) ^ word) | (wordOf(below + 4) ^ word);
    }
    for (int32_t dy = -1; dy <= 1; ++dy) {
        const Sample* row = frame.row(y + dy);
        for (int32_t dx = -1; dx <= 1; ++dx)
            if (!sameColour(row + frame.column(x + dx), centre, frame.tolerance))
                return true;
    }
    return false;
}

template <typename Sample>
void smoothPixel(const Frame<Sample>& frame, ShareMemo& memo, int32_t x, int32_t y) {
    if (!nearEdge(frame, x, y))
        return;
    const Window<Sample> window(frame, x, y);
    if (looksSmooth(window, frame.tolerance))
        return;
    ColourSet<Sample> candidates;
    for (const auto& offset : candidateOrder)
        candidates.add(window.at(offset[0], offset[1]), frame.tolerance, maxCandidates);

    // The blend in premultiplied colour: alpha = sum(share * a) / sum(share), colour = sum(share
    // * c * a) / sum(share * a), each rounded half up.
    int64_t shares = 0;
    int64_t alpha = 0;
    int64_t colour[3] = {0, 0, 0};
    WindowMask mask;
    for (int k = 0; k < candidates.count; ++k) {
        const Sample* candidate = candidates.colours[k];
        window.maskOf(candidate, mask);
        const int64_t share = memo.share(mask);
        const int64_t weight = share * candidate[Alpha];
        shares += share;
        alpha += weight;
        for (int c = 0; c < 3; ++c)
            colour[c] += weight * candidate[c];
    }
    if (shares == 0 || alpha == 0)
        return;
    Sample result[4];
    result[Alpha] = Sample((2 * alpha + shares) / (2 * shares));
    for (int c = 0; c < 3; ++c)
        result[c] = Sample((2 * colour[c] + alpha) / (2 * alpha));
    std::memcpy(frame.output + y * frame.outputStride + 4 * int64_t{x}, result, sizeof result);
}

// Each thread takes the next strip of rows until none is left, so that a thread whose strips
// hold few edges takes more of them. Every pixel's result depends on the input alone: any split
// over any number of threads gives the same bytes.
template <typename Sample> void smoothFrame(const Frame<Sample>& frame, int threads) {
    constexpr int32_t stripRows = 16;
    const int32_t strips = (frame.height + stripRows - 1) / stripRows;
    std::atomic<int32_t> nextStrip{0};
    auto work = [&] {
        ShareMemo memo(*frame.network);
        for (int32_t strip; (strip = nextStrip++) < strips;) {
            const int32_t bottom = std::min(frame.height, (strip + 1) * stripRows);
            for (int32_t y = strip * stripRows; y < bottom; ++y)
                for (int32_t x = 0; x < frame.width; ++x)
                    smoothPixel(frame, memo, x, y);
        }
    };
    std::vector<std::thread> workers;
    for (int32_t t = 1; t < std::clamp(threads, 1, strips); ++t)
        workers.emplace_back(work);
    work();
    for (auto& worker : workers)
        worker.join();
}

} // namespace

OSErr runCoveragePass(const CoverageBuffers& buffers, const FilterParameters& parameters,
                      int threads) {
    if (pixelBytes(buffers.depth) == 0)
        return filterBadMode;
    const CoverageNetwork network(coverageModel);
    return withSampleType(buffers.depth, [&]<typename Sample>(SampleTag<Sample>) {
        auto* input = static_cast<Sample*>(buffers.input);
        auto* output = static_cast<Sample*>(buffers.output);
        const int64_t inputStride = buffers.inputRowBytes / int64_t{sizeof(Sample)};
        const int64_t outputStride = buffers.outputRowBytes / int64_t{sizeof(Sample)};
        if (parameters.useColourKey)
            for (int32_t y = 0; y < buffers.height; ++y)
                clearKeyedPixels(input + y * inputStride, output + y * outputStride,
                                 buffers.width, parameters);
        Frame<Sample> frame{input,         inputStride,   output,
                            outputStride,  buffers.width, buffers.height,
                            parameters.smoothRange * SampleTraits<Sample>::toleranceScale, {},
                            &network};
        for (int cell = 0; cell < inputCells; ++cell)
            frame.cellDistances[size_t(cell)] = (cell / windowSide - windowRadius) * inputStride +
                                                4 * int64_t{cell % windowSide - windowRadius};
        if (frame.width > 0 && frame.height > 0)
            smoothFrame(frame, threads);
        return noErr;
    });
}
