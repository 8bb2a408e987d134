// The fast engine against the frozen straightforward one, and the banded parallel pass against
// the sequential one: thousands of random pictures (line art, few-colour noise, near-equal tones,
// arbitrary samples) in both depths, random smooth ranges and colour keys, and random filter
// rectangles inside larger buffers whose pixels outside the rectangle must neither be read into
// the result nor written. Both buffers must come out identical byte for byte.
//
// TOVRIN_DIFFERENTIAL_ROUNDS in the environment overrides the number of pictures per test.
#include "buffer_host.h"
#include "cel_art.h"
#include "filter_pass.h"
#include "parallel_pass.h"
#include "reference/filter_pass.h"
#include "sample_depth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

#ifndef TOVRIN_DIFFERENTIAL_ROUNDS
#define TOVRIN_DIFFERENTIAL_ROUNDS 10000
#endif

int32_t rounds() {
    if (const char* text = std::getenv("TOVRIN_DIFFERENTIAL_ROUNDS"))
        return std::max(1, std::atoi(text));
    return TOVRIN_DIFFERENTIAL_ROUNDS;
}

// A document in host layout: padded rows, the filter rectangle somewhere inside.
struct Document {
    int32_t width = 0, height = 0, depth = 8;
    int32_t rowBytes = 0;
    VRect filterRect{};
    std::vector<uint8_t> input, output;
    FilterParameters parameters;
    std::string description;

    int32_t pixelBytes() const { return int32_t(::pixelBytes(depth)); }
    HostBuffers buffers() {
        HostBuffers b;
        const size_t origin = size_t(filterRect.top) * size_t(rowBytes) +
                              size_t(filterRect.left) * size_t(pixelBytes());
        b.inData = input.data() + origin;
        b.outData = output.data() + origin;
        b.inRowBytes = b.outRowBytes = rowBytes;
        b.filterRect = filterRect;
        b.depth = depth;
        return b;
    }
};

enum class Content { LineArt, FewColours, NearTones, AnySamples };

void setSample(Document& d, size_t index, int32_t value) {
    if (d.depth == 8) {
        d.input[index] = uint8_t(value);
    } else {
        const uint16_t wide = uint16_t(value);
        std::memcpy(&d.input[index * 2], &wide, 2);
    }
}

// Host value of an 8-bit sample.
int32_t widen(int32_t value8, int32_t depth) {
    return depth == 8 ? value8 : (value8 * 32768 + 127) / 255;
}

void paint(Document& d, Content content, SimpleRandom& random) {
    const int32_t pixels = d.width * d.height;
    const int32_t rowSamples = d.rowBytes / (d.depth / 8);
    auto sampleIndex = [&](int32_t i, int32_t c) {
        return size_t(i / d.width) * size_t(rowSamples) + size_t(i % d.width) * 4 + size_t(c);
    };
    if (content == Content::LineArt) {
        CelArtOptions options;
        options.width = d.width;
        options.height = d.height;
        options.seed = random.next();
        options.transparentGround = random.chance(50);
        options.maxLineWidth = random.between(1, 4);
        options.shapeDensity = random.between(2000, 20000);
        const std::vector<uint8_t> art = drawCelArt(options);
        for (int32_t i = 0; i < pixels; ++i)
            for (int32_t c = 0; c < 4; ++c)
                setSample(d, sampleIndex(i, c), widen(art[size_t(i) * 4 + size_t(c)], d.depth));
        return;
    }
    std::vector<std::array<int32_t, 4>> palette(size_t(random.between(2, 4)));
    for (auto& colour : palette) {
        for (int32_t c = 0; c < 3; ++c)
            colour[size_t(c)] = random.between(0, 255);
        colour[3] = random.chance(60) ? 255 : random.between(0, 255);
    }
    // Blobs rather than salt and pepper, so that runs and corners of several pixels occur.
    int32_t current = 0;
    for (int32_t i = 0; i < pixels; ++i) {
        if (random.chance(content == Content::AnySamples ? 100 : 30))
            current = random.between(0, int32_t(palette.size()) - 1);
        const bool above = i >= d.width && random.chance(50);
        for (int32_t c = 0; c < 4; ++c) {
            int32_t value = widen(palette[size_t(current)][size_t(c)], d.depth);
            if (content == Content::NearTones)
                value = std::clamp(value + widen(random.between(-6, 6), d.depth) *
                                               (random.chance(50) ? 1 : 0),
                                   0, d.depth == 8 ? 255 : 32768);
            if (content == Content::AnySamples)
                value = random.between(0, d.depth == 8 ? 255 : 65535);
            setSample(d, sampleIndex(i, c), value);
        }
        if (above && content != Content::AnySamples) {
            // Copy the pixel above: vertical structure.
            for (int32_t c = 0; c < 4; ++c) {
                const size_t to = sampleIndex(i, c), from = sampleIndex(i - d.width, c);
                const size_t bytes = size_t(d.depth / 8);
                std::memcpy(&d.input[to * bytes], &d.input[from * bytes], bytes);
            }
        }
    }
}

Document randomDocument(uint32_t seed) {
    SimpleRandom random(seed);
    Document d;
    d.depth = random.chance(50) ? 8 : 16;
    const bool large = random.chance(10);
    d.width = random.between(1, large ? 160 : 40);
    d.height = random.between(1, large ? 120 : 40);
    d.rowBytes = d.width * d.pixelBytes() + d.pixelBytes() * random.between(0, 3);
    d.input.assign(size_t(d.rowBytes) * size_t(d.height), 0);
    const Content content = static_cast<Content>(random.between(0, 3));
    paint(d, content, random);
    // Mostly a proper sub-rectangle; sometimes the whole document, sometimes empty.
    const int32_t left = random.between(0, d.width - 1), top = random.between(0, d.height - 1);
    d.filterRect = VRect{top, left, random.between(top, d.height), random.between(left, d.width)};
    if (random.chance(25))
        d.filterRect = VRect{0, 0, d.height, d.width};
    d.output = d.input;

    const int32_t ranges[] = {0, 0, 0, 1, 2, 4, 8, 8, 16, 40, 255};
    d.parameters.smoothRange =
        random.chance(80) ? ranges[random.between(0, 10)] : random.between(0, 255);
    d.parameters.useColourKey = random.chance(25);
    if (d.parameters.useColourKey) {
        const size_t i = size_t(random.between(0, d.width * d.height - 1));
        const size_t at = (i / size_t(d.width)) * size_t(d.rowBytes) +
                          (i % size_t(d.width)) * size_t(d.pixelBytes());
        auto to8 = [&](int32_t c) {
            if (d.depth == 8)
                return int32_t(d.input[at + size_t(c)]);
            uint16_t v;
            std::memcpy(&v, &d.input[at + size_t(c) * 2], 2);
            return std::min(255, (int32_t(v) * 255 + 16384) / 32768);
        };
        d.parameters.keyRed = to8(0);
        d.parameters.keyGreen = to8(1);
        d.parameters.keyBlue = to8(2);
    }
    std::ostringstream text;
    text << "seed " << seed << ": " << d.width << "x" << d.height << " " << d.depth
         << "-bit, content " << int(content) << ", rect [" << d.filterRect.left << ","
         << d.filterRect.top << " - " << d.filterRect.right << "," << d.filterRect.bottom
         << "), range " << d.parameters.smoothRange
         << (d.parameters.useColourKey ? ", colour key" : "");
    d.description = text.str();
    return d;
}

OSErr runReference(Document& d) {
    tovrin_reference::FilterParameters p;
    p.keyRed = d.parameters.keyRed;
    p.keyGreen = d.parameters.keyGreen;
    p.keyBlue = d.parameters.keyBlue;
    p.useColourKey = d.parameters.useColourKey;
    p.smoothRange = d.parameters.smoothRange;
    return runOnBuffers(d.buffers(), [&](FilterRecord& r) {
        return tovrin_reference::runFilterPassForDepth(r, p);
    });
}

OSErr runFast(Document& d) {
    return runOnBuffers(d.buffers(),
                        [&](FilterRecord& r) { return runFilterPassForDepth(r, d.parameters); });
}

OSErr runBanded(Document& d, int threads, const BandLayout& layout) {
    return runOnBuffers(d.buffers(), [&](FilterRecord& r) {
        return runFilterPassBanded(r, d.parameters, threads, layout);
    });
}

// The first differing byte, as "input"/"output" and pixel coordinates, or empty.
std::string firstDifference(const Document& a, const Document& b) {
    for (const auto& [name, x, y] :
         {std::tuple{"input", &a.input, &b.input}, std::tuple{"output", &a.output, &b.output}}) {
        const auto mismatch = std::mismatch(x->begin(), x->end(), y->begin());
        if (mismatch.first != x->end()) {
            const size_t at = size_t(mismatch.first - x->begin());
            std::ostringstream text;
            text << name << " differs at pixel ("
                 << (at % size_t(a.rowBytes)) / size_t(a.pixelBytes()) << ", "
                 << at / size_t(a.rowBytes) << ")";
            return text.str();
        }
    }
    return {};
}

TEST(FastEngine, MatchesTheStraightforwardEngineByteForByte) {
    const int32_t count = rounds();
    int32_t changed = 0;
    for (int32_t i = 0; i < count; ++i) {
        Document fast = randomDocument(uint32_t(i) + 1);
        Document reference = fast;
        ASSERT_EQ(runFast(fast), noErr) << fast.description;
        ASSERT_EQ(runReference(reference), noErr) << fast.description;
        const std::string difference = firstDifference(reference, fast);
        ASSERT_TRUE(difference.empty()) << fast.description << ": " << difference;
        changed += fast.output != fast.input;
    }
    // The comparison means little unless most pictures were actually smoothed.
    EXPECT_GT(changed, count / 2);
}

TEST(ParallelPass, MatchesTheSequentialPassForAnyThreadsAndBands) {
    const int32_t count = std::max(1, rounds() / 2);
    for (int32_t i = 0; i < count; ++i) {
        Document banded = randomDocument(uint32_t(i) + 500000);
        Document sequential = banded;
        SimpleRandom random(uint32_t(i) + 900000);
        const int threads = random.between(1, 4);
        BandLayout layout;
        layout.bandRows = random.chance(40) ? 1 : random.between(2, 12);
        // Every share of kept leading rows, from none (every write from above is recovered by
        // scanning the band again) to the whole band.
        layout.deferredRows = random.between(0, layout.bandRows);
        ASSERT_EQ(runBanded(banded, threads, layout), noErr) << banded.description;
        ASSERT_EQ(runFast(sequential), noErr) << banded.description;
        const std::string difference = firstDifference(sequential, banded);
        ASSERT_TRUE(difference.empty())
            << banded.description << ", " << threads << " threads, bands of " << layout.bandRows
            << " rows, " << layout.deferredRows << " kept: " << difference;
    }
}

TEST(ParallelPass, MatchesTheSequentialPassOnAFullSizedLineArtFrame) {
    for (int depth : {8, 16}) {
        for (int32_t range : {0, 8}) {
            Document d;
            d.depth = depth;
            d.width = 640;
            d.height = 360;
            d.rowBytes = d.width * d.pixelBytes();
            d.input.assign(size_t(d.rowBytes) * size_t(d.height), 0);
            SimpleRandom random(uint32_t(depth * 100 + range));
            paint(d, Content::LineArt, random);
            d.filterRect = VRect{0, 0, d.height, d.width};
            d.parameters.smoothRange = range;
            d.output = d.input;
            Document sequential = d;
            ASSERT_EQ(runOnBuffers(d.buffers(),
                                   [&](FilterRecord& r) {
                                       return runFilterPassParallel(r, d.parameters, 2);
                                   }),
                      noErr);
            ASSERT_EQ(runFast(sequential), noErr);
            EXPECT_TRUE(firstDifference(sequential, d).empty()) << depth << "-bit, range " << range;
            EXPECT_NE(d.output, d.input);
        }
    }
}

} // namespace
