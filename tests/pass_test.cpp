// The whole pass on small images whose result is known by hand, and properties that hold for
// any image.
#include "line_art.h"
#include "test_host.h"

#include <gtest/gtest.h>

namespace {

template <typename Sample> constexpr Sample full = Sample(SampleTraits<Sample>::fullScale);

template <typename Sample> class Pass : public ::testing::Test {};
using SampleTypes = ::testing::Types<uint8_t, uint16_t>;
TYPED_TEST_SUITE(Pass, SampleTypes);

template <typename Sample> std::vector<std::pair<int, int>> changedPixels(const TestHost<Sample>& host) {
    std::vector<std::pair<int, int>> changed;
    for (int y = 0; y < host.height(); ++y)
        for (int x = 0; x < host.width(); ++x)
            if (host.result(x, y) != host.at(x, y))
                changed.emplace_back(x, y);
    return changed;
}

TYPED_TEST(Pass, IsolatedPixelIsTheOnlyChange) {
    using S = TypeParam;
    TestHost<S> host(7, 6);
    host.filterRect = VRect{1, 2, 6, 7}; // not at the origin
    host.fill({full<S>, full<S>, full<S>, full<S>});
    host.at(4, 3) = {0, 0, 0, full<S>};
    ASSERT_EQ(host.run(FilterParameters{}), noErr);
    EXPECT_EQ(changedPixels(host), (std::vector<std::pair<int, int>>{{4, 3}}));
    // Eight white neighbours and the black centre five times: 8 x full / 13, truncated.
    const S grey = S(8 * int32_t(full<S>) / 13);
    EXPECT_EQ(host.result(4, 3), (Rgba<S>{grey, grey, grey, full<S>}));
}

TYPED_TEST(Pass, StraightBordersAndUniformAreasStayUntouched) {
    using S = TypeParam;
    const Rgba<S> dark{0, S(full<S> / 4), 0, full<S>}, light{full<S>, full<S>, S(full<S> / 2), full<S>};
    for (int layout = 0; layout < 4; ++layout) {
        TestHost<S> host(9, 8);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 9; ++x) {
                const bool first = layout == 0 ? y < 4 : layout == 1 ? x < 5 : layout == 2 ? y >= 3 : true;
                host.at(x, y) = first ? dark : light;
            }
        ASSERT_EQ(host.run(FilterParameters{}), noErr);
        EXPECT_TRUE(changedPixels(host).empty()) << "layout " << layout;
    }
}

TYPED_TEST(Pass, NothingOutsideTheFilterRectangleIsTouched) {
    using S = TypeParam;
    std::mt19937 random(5);
    for (int i = 0; i < 40; ++i) {
        TestHost<S> host(24, 20);
        drawLineArt(host, random, i % 2 == 0, 4);
        host.embedInDocument = true;
        host.bigDocument = i % 3 != 0;
        host.filterRect = VRect{3 + i % 4, 2 + i % 5, 17 - i % 3, 21 - i % 6};
        FilterParameters parameters;
        parameters.smoothRange = i % 4 == 0 ? 8 : 0;
        parameters.useColourKey = i % 5 == 0;
        ASSERT_EQ(host.run(parameters), noErr);
        EXPECT_TRUE(host.outsideUntouched) << i;
        EXPECT_TRUE(host.guardsIntact) << i;
    }
}

TYPED_TEST(Pass, SameInputSameOutputWhateverRanBefore) {
    using S = TypeParam;
    std::mt19937 random(9);
    TestHost<S> first(32, 24), other(17, 40);
    drawLineArt(first, random, false, 5);
    drawLineArt(other, random, true, 3);
    FilterParameters parameters;
    parameters.smoothRange = 3;
    ASSERT_EQ(first.run(parameters), noErr);
    const auto before = first.result();
    other.run(FilterParameters{});
    ASSERT_EQ(first.run(parameters), noErr);
    EXPECT_EQ(first.result(), before);
}

// At smooth range 0 the 16-bit form, fed an 8-bit image promoted to 16 bits, changes the same
// pixels by nearly the same amounts: the two forms are one algorithm at two scales.
TEST(PassDepths, PromotedImageChangesAtTheSamePixels) {
    std::mt19937 random(21);
    int pixels = 0, differentlyChanged = 0;
    for (int i = 0; i < 30; ++i) {
        TestHost<uint8_t> eight(40, 32);
        drawLineArt(eight, random, true, 3 + i % 3);
        TestHost<uint16_t> sixteen(40, 32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 40; ++x)
                for (size_t c = 0; c < 4; ++c)
                    sixteen.at(x, y)[c] = uint16_t((eight.at(x, y)[c] * 32768 + 127) / 255);
        ASSERT_EQ(eight.run(FilterParameters{}), noErr);
        ASSERT_EQ(sixteen.run(FilterParameters{}), noErr);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 40; ++x) {
                const bool changed8 = eight.result(x, y) != eight.at(x, y);
                const bool changed16 = sixteen.result(x, y) != sixteen.at(x, y);
                pixels += changed8;
                if (changed8 != changed16) {
                    ++differentlyChanged;
                    continue;
                }
                for (size_t c = 0; c < 4; ++c) {
                    const double a = eight.result(x, y)[c] / 255.0;
                    const double b = sixteen.result(x, y)[c] / 32768.0;
                    EXPECT_LE(std::abs(a - b), 2.0 / 255.0) << x << "," << y << " image " << i;
                }
            }
    }
    EXPECT_GT(pixels, 1000);                 // the images do exercise the smoothing
    EXPECT_LE(differentlyChanged, 2 + pixels / 1000); // a coincidence or two
}

} // namespace
