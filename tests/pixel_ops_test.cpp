// Pixel comparison, luminance difference, averaging and the weighted blend, against the figures
// worked out by hand and against properties that must hold for every input.
#include "neighbourhood.h"
#include "pixel_ops.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

namespace {

using P8 = std::array<uint8_t, 4>;
using P16 = std::array<uint16_t, 4>;

TEST(DirectionTables, CellsFacingEachDirectionAreConsistent) {
    for (int d : {1, 3, 5, 7}) {
        // A quarter turn left then right is the identity, two eighth turns make a quarter.
        EXPECT_EQ(turnRight90[turnLeft90[d]], d);
        EXPECT_EQ(turnLeft45[turnLeft45[d]], turnLeft90[d]);
        EXPECT_EQ(turnRight45[turnRight45[d]], turnRight90[d]);
        EXPECT_EQ(cellDx[oppositeCell[d]], -cellDx[d]);
        EXPECT_EQ(cellDy[oppositeCell[d]], -cellDy[d]);
    }
    // Facing right: left is up, right is down, front-left is up-right.
    EXPECT_EQ(turnLeft90[5], 1);
    EXPECT_EQ(turnRight90[5], 7);
    EXPECT_EQ(turnLeft45[5], 2);
    EXPECT_EQ(turnRight45[5], 8);
}

TEST(PixelsMatch, ToleranceCases) {
    struct Case {
        P8 a, b;
        int tolerance;
        bool match;
    };
    const Case cases[] = {
        {{10, 20, 30, 255}, {10, 20, 31, 255}, 0, false},
        {{10, 20, 30, 255}, {10, 20, 31, 255}, 1, true},
        {{10, 20, 30, 255}, {10, 20, 30, 253}, 1, false}, // alpha counts as well
        {{10, 20, 30, 255}, {15, 25, 35, 250}, 5, true},
        {{10, 20, 30, 255}, {16, 20, 30, 255}, 5, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pixelsMatch(c.a.data(), c.b.data(), c.tolerance), c.match);
        EXPECT_EQ(pixelsMatch(c.b.data(), c.a.data(), c.tolerance), c.match);
    }
    const P8 p{1, 2, 3, 4};
    EXPECT_FALSE(pixelsMatch<uint8_t>(p.data(), nullptr, 255));
    EXPECT_FALSE(pixelsMatch<uint8_t>(nullptr, nullptr, 0));
}

TEST(PixelsMatch, SixteenBitToleranceIsScaledBy128) {
    const P16 a{1000, 1000, 1000, 32768};
    const P16 by128{1128, 1000, 1000, 32768};
    const P16 by129{1129, 1000, 1000, 32768};
    EXPECT_TRUE(pixelsMatch(a.data(), by128.data(), 1));
    EXPECT_FALSE(pixelsMatch(a.data(), by129.data(), 1));
    EXPECT_FALSE(pixelsMatch(a.data(), by128.data(), 0));
}

TEST(PixelsMatch, SymmetricAndReflexiveOnRandomPixels) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> sample(0, 255);
    for (int i = 0; i < 2000; ++i) {
        P8 a, b;
        for (int c = 0; c < 4; ++c) {
            a[c] = uint8_t(sample(random));
            b[c] = uint8_t(sample(random) % 8 + a[c] > 255 ? a[c] : a[c] + sample(random) % 8);
        }
        const int tolerance = sample(random) % 10;
        EXPECT_EQ(pixelsMatch(a.data(), b.data(), tolerance), pixelsMatch(b.data(), a.data(), tolerance));
        EXPECT_TRUE(pixelsMatch(a.data(), a.data(), tolerance));
    }
}

TEST(LuminanceDifference, WorkedFigures8Bit) {
    struct Case {
        P8 a, b;
        int expected;
    };
    const Case cases[] = {
        {{255, 255, 255, 255}, {0, 0, 0, 255}, 255},
        {{0, 0, 0, 255}, {255, 255, 255, 255}, -255},
        {{100, 100, 100, 255}, {101, 100, 100, 255}, -1},
        {{101, 100, 100, 255}, {100, 100, 100, 255}, 1},
        {{255, 0, 0, 255}, {0, 0, 255, 255}, 127}, // the magnitude floor wins over 49
        {{0, 0, 0, 255}, {0, 0, 0, 0}, -63},
        {{0, 0, 0, 0}, {0, 0, 0, 255}, -63},
        {{200, 10, 90, 0}, {0, 0, 0, 255}, -63},
        {{7, 8, 9, 10}, {7, 8, 9, 10}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(luminanceDifference(c.a.data(), c.b.data()), c.expected);
    const P8 p{1, 2, 3, 4};
    EXPECT_EQ(luminanceDifference<uint8_t>(p.data(), nullptr), 0);
    EXPECT_EQ(luminanceDifference<uint8_t>(nullptr, p.data()), 0);
}

TEST(LuminanceDifference, SixteenBitFigures) {
    const P16 opaqueBlack{0, 0, 0, 32768};
    const P16 clear{0, 0, 0, 0};
    // Only the raw alpha difference counts: 32768 / 4.
    EXPECT_EQ(luminanceDifference(opaqueBlack.data(), clear.data()), -8192);
    EXPECT_EQ(luminanceDifference(clear.data(), opaqueBlack.data()), -8192);
}

TEST(LuminanceDifference, SignPropertiesOnRandomPixels) {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> sample(0, 255);
    for (int i = 0; i < 5000; ++i) {
        P8 a, b;
        for (int c = 0; c < 4; ++c) {
            a[c] = uint8_t(sample(random));
            b[c] = uint8_t(sample(random));
        }
        const int ab = luminanceDifference(a.data(), b.data());
        const int ba = luminanceDifference(b.data(), a.data());
        if (a == b) {
            EXPECT_EQ(ab, 0);
            continue;
        }
        // Different pixels are never equal in brightness, and at most one is the brighter.
        EXPECT_NE(ab, 0);
        EXPECT_FALSE(ab > 0 && ba > 0);
        if (ab > 0) {
            EXPECT_EQ(ba, -ab);
        }
    }
}

TEST(Average, WorkedFigures8Bit) {
    const P8 black{0, 0, 0, 255}, white{255, 255, 255, 255}, clear{0, 0, 0, 0};
    struct Case {
        std::array<P8, 9> cells;
        int centreWeight;
        P8 expected;
    };
    const Case cases[] = {
        {{clear, clear, clear, clear, black, clear, clear, clear, clear}, 5, {0, 0, 0, 98}},
        {{clear, clear, clear, clear, white, clear, clear, clear, clear}, 5, {255, 255, 255, 98}},
        {{white, white, white, white, black, white, white, white, white}, 5, {156, 156, 156, 255}},
        {{black, black, black, white, white, white, white, white, white}, 2, {178, 178, 178, 255}},
        {{clear, {9, 9, 9, 0}, clear, clear, {1, 2, 3, 0}, clear, clear, clear, clear}, 3, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        PixelNeighbourhood<uint8_t> n;
        for (int i = 0; i < 9; ++i)
            n.cells[i] = c.cells[i].data();
        P8 out{};
        n.average(out.data(), c.centreWeight);
        EXPECT_EQ(out, c.expected);
    }
    for (int weight : {1, 2, 4, 5}) {
        const P8 uniform{10, 20, 30, 255};
        PixelNeighbourhood<uint8_t> n;
        for (auto& cell : n.cells)
            cell = uniform.data();
        P8 out{};
        n.average(out.data(), weight);
        EXPECT_EQ(out, uniform);
    }
}

TEST(Average, LoneCentreLosesToPremultiplication) {
    const P8 centre{200, 100, 50, 128};
    PixelNeighbourhood<uint8_t> n{};
    n.cells[4] = centre.data();
    P8 out{};
    n.average(out.data(), 5);
    EXPECT_EQ(out, (P8{199, 99, 49, 128}));
}

TEST(Average, SixteenBitKeepsTheHostsFullOpacity) {
    const P16 full{32768, 32768, 32768, 32768};
    PixelNeighbourhood<uint16_t> n;
    for (auto& cell : n.cells)
        cell = full.data();
    P16 out{};
    n.average(out.data(), 5);
    EXPECT_EQ(out, full);

    // 163840 / 13 = 12603.07; un-premultiplied red comes back to full scale.
    const P16 red{32768, 0, 0, 32768}, clear{0, 0, 0, 0};
    PixelNeighbourhood<uint16_t> lone;
    for (auto& cell : lone.cells)
        cell = clear.data();
    lone.cells[4] = red.data();
    lone.average(out.data(), 5);
    EXPECT_EQ(out, (P16{32768, 0, 0, 12603}));
}

template <typename Sample> std::array<Sample, 4> blend(std::array<Sample, 4> a, float wa, std::array<Sample, 4> b, float wb) {
    std::array<Sample, 4> out{};
    blendPixels(a.data(), wa, b.data(), wb, out.data());
    return out;
}

TEST(Blend, WorkedFigures8Bit) {
    EXPECT_EQ(blend<uint8_t>({10, 10, 10, 255}, 0.5f, {13, 13, 13, 255}, 0.5f), (P8{11, 11, 11, 255}));
    EXPECT_EQ(blend<uint8_t>({40, 80, 120, 255}, 0.5f, {200, 1, 2, 0}, 0.5f), (P8{40, 80, 120, 127}));
    EXPECT_EQ(blend<uint8_t>({40, 80, 120, 0}, 0.3f, {200, 1, 2, 0}, 0.7f), (P8{0, 0, 0, 0}));
    EXPECT_EQ(blend<uint8_t>({40, 80, 120, 9}, 1.0f, {200, 1, 2, 255}, 0.0f), (P8{40, 80, 120, 9}));
}

TEST(Blend, SixteenBitClampsToTheHostsFullScale) {
    EXPECT_EQ(blend<uint16_t>({32768, 32768, 32768, 32768}, 0.5f, {32768, 32768, 32768, 32768}, 0.5f),
              (P16{32768, 32768, 32768, 32768}));
    EXPECT_EQ(blend<uint16_t>({32768, 0, 0, 32768}, 1.0f, {32768, 0, 0, 32768}, 1.0f),
              (P16{32768, 0, 0, 32768}));
}

// The last unit of these two mixes changes when multiply-adds are fused.
TEST(Blend, SixteenBitRoundingIsUnfused) {
    const float w1 = 4.0f / 12.0f;
    EXPECT_EQ(blend<uint16_t>({29585, 0, 0, 3645}, 1.0f - w1, {26607, 0, 0, 9295}, w1)[Red], 27916);
    const float w2 = 19.0f / 23.0f;
    EXPECT_EQ(blend<uint16_t>({15580, 0, 0, 12314}, 1.0f - w2, {535, 0, 0, 17156}, w2)[Red], 2509);
}

template <typename Sample> void expectSelfMixIsIdentity(int maxSample) {
    std::mt19937 random(3);
    std::uniform_int_distribution<int> sample(0, maxSample);
    for (int n = 1; n <= 64; ++n) {
        for (int k = 0; k <= n; ++k) {
            const float w = float(k) / float(n);
            for (int trial = 0; trial < 4; ++trial) {
                std::array<Sample, 4> p;
                for (auto& s : p)
                    s = Sample(sample(random));
                p[Alpha] = trial == 0 ? Sample(maxSample) : Sample(std::max(1, int(p[Alpha])));
                ASSERT_EQ(blend<Sample>(p, 1.0f - w, p, w), p) << "k/n = " << k << "/" << n;
            }
        }
    }
}

TEST(Blend, PixelMixedWithItselfIsItself) {
    expectSelfMixIsIdentity<uint8_t>(255);
    expectSelfMixIsIdentity<uint16_t>(32768);
}

TEST(Blend, OutputMayAliasAnInput) {
    std::array<uint8_t, 4> merged{90, 30, 200, 140};
    const std::array<uint8_t, 4> copy = merged;
    const std::array<uint8_t, 4> value{10, 250, 0, 255};
    blendPixels(value.data(), 0.5f, merged.data(), 0.5f, merged.data());
    EXPECT_EQ(merged, blend<uint8_t>(value, 0.5f, copy, 0.5f));
}

} // namespace
