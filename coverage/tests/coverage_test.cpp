// The high-quality pass against the training program's own integer pass (the fixture it
// exports with the weights), and the properties every result of the pass has.
#include "coverage_network.h"
#include "coverage_pass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct SharedCase {
    WindowMask mask;
    int32_t share;
};

struct PictureCase {
    int32_t depth = 8;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint16_t> input;
    std::vector<uint16_t> result;
};

struct Fixture {
    std::vector<SharedCase> shares;
    std::vector<PictureCase> pictures;
};

std::vector<uint16_t> samplesOf(std::istringstream& line) {
    std::vector<uint16_t> samples;
    for (int value; line >> value;)
        samples.push_back(uint16_t(value));
    return samples;
}

const Fixture& fixture() {
    static const Fixture loaded = [] {
        Fixture f;
        std::ifstream file(TOVRIN_COVERAGE_FIXTURE);
        EXPECT_TRUE(file) << "cannot read " << TOVRIN_COVERAGE_FIXTURE;
        for (std::string text; std::getline(file, text);) {
            std::istringstream line(text);
            std::string kind;
            line >> kind;
            if (kind == "share") {
                std::string cells;
                SharedCase c{};
                line >> cells >> c.share;
                for (int i = 0; i < inputCells; ++i)
                    c.mask.cells[i] = uint8_t(cells.at(size_t(i)) == '1');
                f.shares.push_back(c);
            } else if (kind == "picture") {
                PictureCase p;
                line >> p.depth >> p.width >> p.height;
                f.pictures.push_back(p);
            } else if (kind == "input") {
                f.pictures.back().input = samplesOf(line);
            } else if (kind == "result") {
                f.pictures.back().result = samplesOf(line);
            }
        }
        return f;
    }();
    return loaded;
}

// An image in the pass's units, with its output buffer starting as a copy, as the doors hand it.
struct Image {
    int32_t width;
    int32_t height;
    int32_t depth;
    std::vector<uint8_t> input;
    std::vector<uint8_t> output;

    Image(int32_t w, int32_t h, int32_t d, const std::vector<uint16_t>& samples)
        : width(w), height(h), depth(d), input(size_t(w) * size_t(h) * 4 * size_t(d / 8)) {
        for (size_t i = 0; i < samples.size(); ++i)
            set(i, samples[i]);
        output = input;
    }

    int64_t rowBytes() const { return int64_t{width} * 4 * (depth / 8); }

    void set(size_t i, uint16_t v) {
        if (depth == 8)
            input[i] = uint8_t(v);
        else
            std::memcpy(&input[2 * i], &v, 2);
    }

    static uint16_t get(const std::vector<uint8_t>& bytes, size_t i, int32_t depth) {
        if (depth == 8)
            return bytes[i];
        uint16_t v;
        std::memcpy(&v, &bytes[2 * i], 2);
        return v;
    }

    std::vector<uint16_t> result() const {
        std::vector<uint16_t> samples(size_t(width) * size_t(height) * 4);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = get(output, i, depth);
        return samples;
    }

    std::vector<uint16_t> smooth(const FilterParameters& parameters = {}, int threads = 1) {
        CoverageBuffers buffers;
        buffers.input = input.data();
        buffers.output = output.data();
        buffers.width = width;
        buffers.height = height;
        buffers.depth = depth;
        buffers.inputRowBytes = buffers.outputRowBytes = rowBytes();
        EXPECT_EQ(runCoveragePass(buffers, parameters, threads), noErr);
        return result();
    }
};

TEST(CoverageNetwork, BothKernelsGiveTheTrainersShares) {
    ASSERT_FALSE(fixture().shares.empty());
    const CoverageNetwork fastest(coverageModel), portable(coverageModel, false);
    for (const SharedCase& c : fixture().shares) {
        EXPECT_EQ(colourShareReference(coverageModel, c.mask), c.share);
        EXPECT_EQ(portable.share(c.mask), c.share);
        EXPECT_EQ(fastest.share(c.mask), c.share);
    }
    if (!CoverageNetwork::canUseAvx2())
        std::cout << "[ NOTE ] no AVX2 here: only the portable kernel was tried\n";
}

TEST(CoveragePass, GivesTheTrainersPicturesAtBothDepths) {
    ASSERT_EQ(fixture().pictures.size(), 2u);
    for (const PictureCase& p : fixture().pictures) {
        for (int threads : {1, 3}) {
            Image image(p.width, p.height, p.depth, p.input);
            EXPECT_EQ(image.smooth({}, threads), p.result) << p.depth << " bits, " << threads;
        }
        EXPECT_NE(p.input, p.result) << "a fixture picture the pass leaves alone proves little";
    }
}

std::vector<uint16_t> randomArt(std::mt19937& random, int32_t w, int32_t h, int colours) {
    std::vector<uint16_t> palette;
    for (int i = 0; i < 4 * colours; ++i)
        palette.push_back(uint16_t(random() % 256));
    std::vector<uint16_t> samples(size_t(w) * size_t(h) * 4);
    int colour = 0;
    for (size_t p = 0; p < samples.size() / 4; ++p) {
        if (random() % 7 == 0)
            colour = int(random() % unsigned(colours));
        std::copy_n(&palette[size_t(4 * colour)], 4, &samples[4 * p]);
    }
    return samples;
}

TEST(CoveragePass, ResultsAreBlendsOfTheNeighbourhoodAndIndependentOfThreads) {
    std::mt19937 random(7);
    for (int round = 0; round < 20; ++round) {
        const int32_t w = int32_t(1 + random() % 70), h = int32_t(1 + random() % 70);
        const auto art = randomArt(random, w, h, 2 + int(random() % 4));
        Image image(w, h, 8, art);
        const auto once = image.smooth();
        for (int threads : {2, 5}) {
            Image again(w, h, 8, art);
            EXPECT_EQ(again.smooth({}, threads), once);
        }
        // Every sample of a changed pixel lies within the range of its 3x3 neighbourhood's.
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                for (int c = 0; c < 4; ++c) {
                    const size_t at = (size_t(y) * size_t(w) + size_t(x)) * 4 + size_t(c);
                    uint16_t low = 65535, high = 0;
                    for (int32_t dy = -1; dy <= 1; ++dy)
                        for (int32_t dx = -1; dx <= 1; ++dx) {
                            const int32_t nx = std::clamp(x + dx, 0, w - 1);
                            const int32_t ny = std::clamp(y + dy, 0, h - 1);
                            const uint16_t v =
                                art[(size_t(ny) * size_t(w) + size_t(nx)) * 4 + size_t(c)];
                            low = std::min(low, v);
                            high = std::max(high, v);
                        }
                    if (once[at] != art[at] && art[at + 3 - size_t(c)] != 0) {
                        ASSERT_TRUE(once[at] >= low && once[at] <= high) << x << "," << y;
                    }
                }
    }
}

struct UntouchedCase {
    const char* what;
    std::vector<uint16_t> (*paint)(int32_t x, int32_t y);
    int32_t smoothRange;
};

TEST(CoveragePass, LeavesAloneWhatIsAlreadySmooth) {
    const UntouchedCase cases[] = {
        {"one colour", [](int32_t, int32_t) { return std::vector<uint16_t>{10, 200, 30, 255}; },
         0},
        // Every pixel differs from its neighbours: the gate takes it for a photograph.
        {"noise",
         [](int32_t x, int32_t y) {
             const auto v = uint16_t((x * 37 + y * 91 + x * y * 13) % 256);
             return std::vector<uint16_t>{v, uint16_t(255 - v), uint16_t(v / 2), 255};
         },
         0},
        // Steps of one unit, within the smooth range: one colour for the pass.
        {"gentle gradient",
         [](int32_t x, int32_t) {
             return std::vector<uint16_t>{uint16_t(100 + x), 100, 100, 255};
         },
         1},
    };
    for (const UntouchedCase& c : cases) {
        std::vector<uint16_t> samples;
        for (int32_t y = 0; y < 20; ++y)
            for (int32_t x = 0; x < 30; ++x)
                for (uint16_t v : c.paint(x, y))
                    samples.push_back(v);
        Image image(30, 20, 8, samples);
        FilterParameters parameters;
        parameters.smoothRange = c.smoothRange;
        EXPECT_EQ(image.smooth(parameters), samples) << c.what;
    }
}

TEST(CoveragePass, RefusesDepthsOtherThan8And16) {
    Image image(2, 2, 8, std::vector<uint16_t>(16, 0));
    CoverageBuffers buffers;
    buffers.input = image.input.data();
    buffers.output = image.output.data();
    buffers.width = buffers.height = 2;
    buffers.depth = 32;
    buffers.inputRowBytes = buffers.outputRowBytes = 32;
    EXPECT_EQ(runCoveragePass(buffers, {}, 1), filterBadMode);
}

} // namespace
