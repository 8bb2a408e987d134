// Blending along measured runs: which pixels each kind of run walks, with which two colours and
// at which weights. Every pixel of the row has its own colour, so a wrong colour or position
// shows; expected values are the worked weights applied with blendPixels.
#include "picture.h"

#include <gtest/gtest.h>

namespace {

using Pixel = std::array<uint8_t, 4>;
constexpr int32_t row = 1;

// Row 1 holds distinct opaque colours, rows 0 and 2 are white (so a tip blends towards its front
// neighbour, not towards the left cell).
struct Row {
    Row() : picture({std::string(16, '.'), std::string(16, '.'), std::string(16, '.')}) {
        for (int32_t x = 0; x < 16; ++x)
            picture.in(x, row) = picture.out(x, row) =
                Pixel{uint8_t(12 * x), uint8_t(200 - 9 * x), uint8_t(5 * x + 40), 255};
    }
    void blend(int32_t centreX, const RunMeasurement& run) {
        auto engine = picture.engine();
        SmoothingEngine<uint8_t>::Neighbourhood n;
        engine.gatherNeighbourhood(centreX, row, n);
        engine.blendRun(n, centreX, row, 5, run);
    }
    Pixel in(int32_t x) { return picture.in(x, row); }
    Pixel out(int32_t x) { return picture.out(x, row); }
    // Columns whose output changed.
    std::vector<int32_t> changed() {
        std::vector<int32_t> columns;
        for (auto [x, y] : picture.changed())
            columns.push_back(x);
        return columns;
    }
    Picture<uint8_t> picture;
};

RunMeasurement runOf(RunKind kind, int32_t front, int32_t back, int32_t second,
                     bool evenSpan = false, bool noBackRun = false) {
    RunMeasurement run;
    run.kind = kind;
    run.evenSpan = evenSpan;
    run.noBackRun = noBackRun;
    run.frontX = front;
    run.backX = back;
    run.secondBackX = second;
    run.frontY = run.backY = run.secondBackY = row;
    return run;
}

// The value a linear weight takes at t, computed the way the walk computes it.
float linear(float start, float end, float t) { return (end - start) * t + start; }

TEST(BlendRun, BalancedStep) {
    Row r;
    r.blend(10, runOf(Step, 12, 8, 10));
    // q = 1 / 2.5, v = 1 / 9: weights v, 0.5, 1 - v over columns 9..11. The from colour follows
    // the walk up to the centre (K = 1) and stays there; the to colour is column 11 throughout.
    const float q = 1.0f / 2.5f, v = 1.0f / 9.0f;
    const float middle = linear(0.5f - q, 0.5f + q, 0.5f);
    EXPECT_EQ(r.out(9), blended(r.in(9), 1.0f - v, r.in(11), v));
    EXPECT_EQ(r.out(10), blended(r.in(10), 1.0f - middle, r.in(11), middle));
    EXPECT_EQ(r.out(11), blended(r.in(10), 1.0f - (1.0f - v), r.in(11), 1.0f - v));
    EXPECT_EQ(r.changed(), (std::vector<int32_t>{9, 10, 11}));
}

TEST(BlendRun, UnbalancedStepWithEvenLengthsMakesAnEvenRamp) {
    Row r;
    r.blend(6, runOf(Step, 10, 3, 6));
    // Light share 0.125, 0.375 behind the step, 0.625, 0.875 ahead of it.
    EXPECT_EQ(r.out(5), blended(r.in(5), 0.875f, r.in(7), 0.125f));
    EXPECT_EQ(r.out(6), blended(r.in(6), 0.625f, r.in(7), 0.375f));
    EXPECT_EQ(r.out(7), blended(r.in(6), 0.375f, r.in(7), 0.625f));
    EXPECT_EQ(r.out(8), blended(r.in(6), 0.125f, r.in(8), 0.875f));
    EXPECT_EQ(r.changed(), (std::vector<int32_t>{5, 6, 7, 8}));
}

TEST(BlendRun, UnbalancedStepWithOddFrontLength) {
    for (bool noBackRun : {false, true}) {
        Row r;
        r.blend(10, runOf(Step, 13, 9, 10, false, noBackRun));
        const float a = 2.0f / 3.0f, u = 1.0f - 1.0f / 24.0f;
        if (noBackRun)
            EXPECT_EQ(r.out(10), r.in(10));
        else
            EXPECT_EQ(r.out(10), blended(r.in(10), 0.75f, r.in(11), 0.25f));
        EXPECT_EQ(r.out(11), blended(r.in(10), 1.0f - a, r.in(11), a));
        EXPECT_EQ(r.out(12), blended(r.in(10), 1.0f - u, r.in(12), u));
        EXPECT_EQ(r.changed().size(), noBackRun ? 2u : 3u);
    }
}

TEST(BlendRun, StepEndingAtTheCentreWalksOnlyBackwards) {
    Row r;
    r.blend(10, runOf(Step, 10, 6, 10)); // D = 0, L = 5 (odd)
    // Back walk from 8 to 10: LinearOffsetZeroValue(0, max(0.5 - 0.1, 1/40), 1/40).
    const float v = 1.0f / 40.0f, b = 0.5f - 1.0f / 10.0f;
    EXPECT_EQ(r.out(8), blended(r.in(8), 1.0f - v, r.in(11), v));
    const float w = linear(0.0f, b, 0.5f);
    EXPECT_EQ(r.out(9), blended(r.in(9), 1.0f - w, r.in(11), w));
    EXPECT_EQ(r.out(10), blended(r.in(10), 1.0f - b, r.in(11), b));
    EXPECT_EQ(r.changed(), (std::vector<int32_t>{8, 9, 10}));
}

TEST(BlendRun, TipsBlendTowardsTheFrontNeighbour) {
    {
        Row r; // the tip of the worked staircase: N = 2, M = 2
        r.blend(6, runOf(Tip, 6, 3, 2));
        EXPECT_EQ(r.out(5), blended(r.in(5), 0.875f, r.in(7), 0.125f));
        EXPECT_EQ(r.out(6), blended(r.in(6), 0.5f, r.in(7), 0.5f));
        EXPECT_EQ(r.changed(), (std::vector<int32_t>{5, 6}));
    }
    {
        Row r; // dash of length 4: weights 1/11.5 and 2/3
        r.blend(6, runOf(IsolatedTip, 6, 3, 6));
        const float first = 1.0f / 11.5f;
        const float last = linear(1.0f / 3.0f, 1.0f - 1.0f / 3.0f, 1.0f);
        EXPECT_EQ(r.out(5), blended(r.in(5), 1.0f - first, r.in(7), first));
        EXPECT_EQ(r.out(6), blended(r.in(6), 1.0f - last, r.in(7), last));
        EXPECT_EQ(r.changed(), (std::vector<int32_t>{5, 6}));
    }
    {
        Row r; // dash of length 5: weights 1/6, 1/2, 5/6
        r.blend(6, runOf(IsolatedTip, 6, 2, 6, true));
        const float s = 1.0f / 6.0f, e = 1.0f - 1.0f / 6.0f;
        for (int32_t x = 4; x <= 6; ++x) {
            const float w = x == 4 ? s : linear(s, e, float(x - 4) / 2.0f);
            EXPECT_EQ(r.out(x), blended(r.in(x), 1.0f - w, r.in(7), w)) << x;
        }
        EXPECT_EQ(r.changed(), (std::vector<int32_t>{4, 5, 6}));
    }
}

TEST(BlendRun, TipGradedTowardsTheLeftCellTakesItsColour) {
    Row r;
    // Centre darker than the cell above it, which is darker than the front neighbour.
    r.picture.in(6, row) = r.picture.out(6, row) = {0, 0, 0, 255};
    r.picture.in(6, 0) = {100, 100, 100, 255};
    r.picture.in(7, row) = r.picture.out(7, row) = {250, 250, 250, 255};
    r.blend(6, runOf(Tip, 6, 3, 2));
    EXPECT_EQ(r.out(6), blended(r.in(6), 0.5f, r.picture.in(6, 0), 0.5f));
}

TEST(BlendRun, OnePixelTipAndFlankAverageOutright) {
    // The input neighbourhood average around (x, row).
    auto averageAt = [](Row& r, int32_t x, int32_t centreWeight) {
        Pixel average{};
        auto engine = r.picture.engine();
        SmoothingEngine<uint8_t>::Neighbourhood n;
        engine.gatherNeighbourhood(x, row, n);
        n.average(average.data(), centreWeight);
        return average;
    };
    {
        Row r;
        r.blend(6, runOf(Tip, 6, 5, 4)); // B' = centre: N = 1
        EXPECT_EQ(r.out(6), averageAt(r, 6, 1));
        EXPECT_EQ(r.changed(), (std::vector<int32_t>{6}));
    }
    {
        Row r;
        r.picture.out(7, row) = {1, 2, 3, 4}; // already changed: still replaced outright
        r.blend(6, runOf(Flank, 7, 6, 6, false, true));
        EXPECT_EQ(r.out(7), averageAt(r, 7, 4));
        EXPECT_EQ(r.changed(), (std::vector<int32_t>{7}));
    }
}

TEST(BlendRun, SecondWalkOverAPixelMixesHalfAndHalf) {
    Row r;
    r.blend(6, runOf(Step, 10, 3, 6));
    const Pixel first = r.out(6);
    r.blend(6, runOf(Step, 10, 3, 6));
    EXPECT_EQ(r.out(6), blended(blended(r.in(6), 0.625f, r.in(7), 0.375f), 0.5f, first, 0.5f));
}

TEST(BlendWalk, WeightsAreClampedAndNotANumberIsZero) {
    struct Constant : InterpolationFunction {
        explicit Constant(float value) : value(value) {}
        float evaluate(float) const override { return value; }
        float value;
    };
    for (float value : {1.5f, -0.2f, NAN}) {
        Row r;
        auto engine = r.picture.engine();
        const Pixel from = r.in(2), to = r.in(9);
        engine.blendWalk(5, 4, row, from.data(), 4, row, to.data(), Constant(value), -1);
        const float w = value > 1.0f ? 1.0f : 0.0f;
        EXPECT_EQ(r.out(4), blended(from, 1.0f - w, r.in(4), w)) << value;
    }
}

TEST(BlendWalk, PositionsOutsideTheRectangleAreSkipped) {
    Row r;
    auto engine = r.picture.engine();
    const Pixel from = r.in(2), to = r.in(9);
    // From column 13 on for 6 steps: 16..18 lie outside and are neither read nor written.
    engine.blendWalk(5, 13, row, from.data(), 18, row, to.data(), LinearOffsetFunction(0.5f, 0.5f), -1);
    for (int32_t x = 13; x < 16; ++x)
        EXPECT_EQ(r.out(x), blended(from, 0.5f, r.in(x), 0.5f)) << x;
}

} // namespace
