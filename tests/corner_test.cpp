// Corner softening: only small corners, one output pixel, and the merge with earlier writes.
#include "picture.h"

#include <gtest/gtest.h>

namespace {

using Pixel = std::array<uint8_t, 4>;

// A dark block of the given size on white whose lower-right pixel is the centre, facing right.
std::vector<std::string> block(int width, int height) {
    std::vector<std::string> rows(size_t(height) + 3, std::string(size_t(width) + 3, '.'));
    for (int y = 1; y <= height; ++y)
        for (int x = 1; x <= width; ++x)
            rows[size_t(y)][size_t(x)] = '#';
    return rows;
}

Pixel averageAround(Picture<uint8_t>& picture, int32_t x, int32_t y, int32_t centreWeight) {
    auto engine = picture.engine();
    SmoothingEngine<uint8_t>::Neighbourhood n;
    engine.gatherNeighbourhood(x, y, n);
    Pixel average{};
    n.average(average.data(), centreWeight);
    return average;
}

TEST(OuterCorner, OnlySmallCornersAreSoftened) {
    struct Case {
        int width, height;
        bool softened;
    };
    // Edge lengths: the block's height along the front, its width behind the centre.
    const Case cases[] = {{2, 2, true},  {10, 2, true},  {2, 10, true}, {3, 7, true},
                          {4, 4, false}, {1, 5, false},  {5, 1, false}, {8, 9, false}};
    for (const Case& c : cases) {
        Picture<uint8_t> picture(block(c.width, c.height));
        const Pixel expected = averageAround(picture, c.width, c.height, 2);
        auto engine = picture.engine();
        SmoothingEngine<uint8_t>::Neighbourhood n;
        engine.gatherNeighbourhood(c.width, c.height, n);
        engine.applyCornerPattern(n, c.width, c.height, 5, EdgeOuterCorner);
        const auto changed = picture.changed();
        if (c.softened) {
            ASSERT_EQ(changed.size(), 1u) << c.width << "x" << c.height;
            EXPECT_EQ(changed[0], std::make_pair(c.width, c.height));
            EXPECT_EQ(picture.out(c.width, c.height), expected);
        } else {
            EXPECT_TRUE(changed.empty()) << c.width << "x" << c.height;
        }
    }
}

TEST(OuterCorner, AlreadyChangedTargetIsMixedHalfAndHalf) {
    Picture<uint8_t> picture(block(2, 2));
    const Pixel average = averageAround(picture, 2, 2, 2);
    const Pixel earlier{90, 10, 30, 200};
    picture.out(2, 2) = earlier;
    auto engine = picture.engine();
    SmoothingEngine<uint8_t>::Neighbourhood n;
    engine.gatherNeighbourhood(2, 2, n);
    engine.applyCornerPattern(n, 2, 2, 5, EdgeOuterCorner);
    EXPECT_EQ(picture.out(2, 2), blended(average, 0.5f, earlier, 0.5f));
}

TEST(InnerCorner, SoftensTheFrontNeighbourOnlyWhenItsEdgesAreShort) {
    struct Case {
        std::vector<std::string> rows;
        bool softened;
    };
    // The centre (1, 1) faces right; its colour lies above N = (2, 1) and left of N's column.
    const Case cases[] = {
        // Edges of length 4 (along row 1) and 3 (down column 2).
        {{"######", "##....", "##....", "##....", "######"}, true},
        // Down column 2 the edge is 5 long and along row 1 it is 4: a drawn corner.
        {{"######", "##....", "##....", "##....", "##....", "##....", "######"}, false},
        // c c b / c C b / c c c: the edge below N is one pixel long.
        {{"##.", "##.", "###"}, false},
    };
    for (const Case& c : cases) {
        Picture<uint8_t> picture(c.rows);
        const Pixel expected = averageAround(picture, 2, 1, 2);
        auto engine = picture.engine();
        SmoothingEngine<uint8_t>::Neighbourhood n;
        engine.gatherNeighbourhood(1, 1, n);
        engine.applyCornerPattern(n, 1, 1, 5, EdgeInnerCorner);
        const auto changed = picture.changed();
        if (c.softened) {
            ASSERT_EQ(changed.size(), 1u);
            EXPECT_EQ(changed[0], std::make_pair(2, 1)); // N only, never the centre
            EXPECT_EQ(picture.out(2, 1), expected);
        } else {
            EXPECT_TRUE(changed.empty()) << c.rows.size();
        }
    }
}

TEST(CornerPattern, OtherClassesWriteNothing) {
    Picture<uint8_t> picture(block(2, 2));
    auto engine = picture.engine();
    SmoothingEngine<uint8_t>::Neighbourhood n;
    engine.gatherNeighbourhood(2, 2, n);
    for (EdgeClass c : {EdgeNone, EdgeStep, EdgeIsolated, EdgeClass(9)})
        engine.applyCornerPattern(n, 2, 2, 5, c);
    EXPECT_TRUE(picture.changed().empty());
}

} // namespace
