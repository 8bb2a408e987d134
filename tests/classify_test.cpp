// Edge classification of the centre pixel in the four side directions, on the worked pictures:
// '#' is the centre's colour (opaque black), '.' a brighter one (opaque white), 'r' a colour that
// matches neither.
#include "picture.h"

#include <gtest/gtest.h>

namespace {

struct ClassifyCase {
    const char* name;
    std::vector<std::string> rows;
    int32_t centreX, centreY;
    std::array<EdgeClass, 4> expected; // facing right, left, up, down
};

const ClassifyCase classifyCases[] = {
    {"run end, own colour below", {"...", "##.", "###"}, 1, 1, {EdgeStep, EdgeNone, EdgeNone, EdgeNone}},
    {"run end, own colour above", {"###", "##.", "..."}, 1, 1, {EdgeStep, EdgeNone, EdgeNone, EdgeNone}},
    {"end of a one-pixel line", {"...", "##.", "..."}, 1, 1, {EdgeStep, EdgeNone, EdgeNone, EdgeNone}},
    {"inner corner, own colour above front", {"###", "##.", "##."}, 1, 1, {EdgeInnerCorner, EdgeNone, EdgeNone, EdgeNone}},
    {"inner corner, own colour below front", {"##.", "##.", "###"}, 1, 1, {EdgeInnerCorner, EdgeNone, EdgeNone, EdgeNone}},
    {"outer corner of a 2x2 block", {"##.", "##.", "..."}, 1, 1, {EdgeOuterCorner, EdgeNone, EdgeNone, EdgeNone}},
    {"outer corner, own colour down-right", {"##.", "##.", "..#"}, 1, 1, {EdgeOuterCorner, EdgeNone, EdgeNone, EdgeInnerCorner}},
    {"one-pixel notch", {"###", "##.", "##r"}, 1, 1, {EdgeNone, EdgeNone, EdgeNone, EdgeNone}},
    {"straight vertical border", {"##.", "##.", "##."}, 1, 1, {EdgeNone, EdgeNone, EdgeNone, EdgeNone}},
    {"isolated dark pixel", {"...", ".#.", "..."}, 1, 1, {EdgeIsolated, EdgeIsolated, EdgeIsolated, EdgeIsolated}},
    {"run end at the top of the rectangle", {"##.", "###"}, 1, 0, {EdgeStep, EdgeNone, EdgeNone, EdgeNone}},
    {"outer corner at the bottom of the rectangle", {"##.", "##."}, 1, 1, {EdgeNone, EdgeNone, EdgeNone, EdgeNone}},
    {"centre brighter than all", {"###", "#.#", "###"}, 1, 1, {EdgeNone, EdgeNone, EdgeNone, EdgeNone}},
    {"isolated black on transparent", {"ttt", "t#t", "ttt"}, 1, 1, {EdgeIsolated, EdgeIsolated, EdgeIsolated, EdgeIsolated}},
    {"isolated transparent in black", {"###", "#t#", "###"}, 1, 1, {EdgeIsolated, EdgeIsolated, EdgeIsolated, EdgeIsolated}},
    {"neighbours outside the rectangle", {"#"}, 0, 0, {EdgeNone, EdgeNone, EdgeNone, EdgeNone}},
};

// The same picture turned a quarter, so each case is checked in every orientation: a rotation
// that maps direction right to up maps the expected classes along.
std::vector<std::string> rotateCounterClockwise(const std::vector<std::string>& rows) {
    const size_t h = rows.size(), w = rows[0].size();
    std::vector<std::string> turned(w, std::string(h, ' '));
    for (size_t y = 0; y < h; ++y)
        for (size_t x = 0; x < w; ++x)
            turned[w - 1 - x][y] = rows[y][x];
    return turned;
}

template <typename Sample>
std::array<EdgeClass, 4> classifyAll(const std::vector<std::string>& rows, int32_t cx, int32_t cy,
                                     int32_t smoothRange = 0) {
    Picture<Sample> picture(rows, 7, 5); // not at the document origin
    auto engine = picture.engine(smoothRange);
    typename SmoothingEngine<Sample>::Neighbourhood n;
    engine.gatherNeighbourhood(cx + 7, cy + 5, n);
    std::array<EdgeClass, 4> result;
    const int32_t directions[4] = {5, 3, 1, 7};
    for (int i = 0; i < 4; ++i)
        result[i] = engine.classifyEdge(n, directions[i]);
    return result;
}

template <typename Sample> class Classify : public ::testing::Test {};
using SampleTypes = ::testing::Types<uint8_t, uint16_t>;
TYPED_TEST_SUITE(Classify, SampleTypes);

TYPED_TEST(Classify, WorkedPicturesInAllFourOrientations) {
    for (const ClassifyCase& c : classifyCases) {
        std::vector<std::string> rows = c.rows;
        int32_t cx = c.centreX, cy = c.centreY;
        // Index of right, left, up, down in the result; a counter-clockwise turn sends
        // right->up, up->left, left->down, down->right.
        std::array<int, 4> slot{0, 1, 2, 3};
        for (int turn = 0; turn < 4; ++turn) {
            std::array<EdgeClass, 4> expected;
            for (int i = 0; i < 4; ++i)
                expected[size_t(slot[size_t(i)])] = c.expected[size_t(i)];
            EXPECT_EQ(classifyAll<TypeParam>(rows, cx, cy), expected)
                << c.name << ", turned " << turn << " times";
            const int32_t width = int32_t(rows[0].size());
            rows = rotateCounterClockwise(rows);
            const int32_t nx = cy, ny = width - 1 - cx;
            cx = nx;
            cy = ny;
            slot = {slot[0] == 0 ? 2 : slot[0] == 2 ? 1 : slot[0] == 1 ? 3 : 0,
                    slot[1] == 0 ? 2 : slot[1] == 2 ? 1 : slot[1] == 1 ? 3 : 0,
                    slot[2] == 0 ? 2 : slot[2] == 2 ? 1 : slot[2] == 1 ? 3 : 0,
                    slot[3] == 0 ? 2 : slot[3] == 2 ? 1 : slot[3] == 1 ? 3 : 0};
        }
    }
}

TEST(Classify, BlackOnTransparentPassesTheEdgeTestOnlyBelowRange63) {
    // Opaque black and transparent are 63 apart in both orders.
    for (int32_t range : {0, 62, 63, 100}) {
        const auto fromBlack = classifyAll<uint8_t>({"###", "##t", "###"}, 1, 1, range);
        const auto fromClear = classifyAll<uint8_t>({"ttt", "tt#", "ttt"}, 1, 1, range);
        EXPECT_EQ(fromBlack[0] != EdgeNone, range < 63) << range;
        EXPECT_EQ(fromClear[0] != EdgeNone, range < 63) << range;
    }
}

TEST(Classify, SixteenBitEdgeTestScalesTheRange) {
    // A front brighter by 128 in red is 39 darker-than (0.3 x 128 rounded up, above the floor
    // 128 / 4): inside range 1, which is 128 sixteen-bit units. By 1000 in red it is 300: an edge.
    Picture<uint16_t> near({"###", "##r", "###"});
    near.in(2, 1) = {128, 0, 0, 32768};
    auto engine = near.engine(1);
    SmoothingEngine<uint16_t>::Neighbourhood n;
    engine.gatherNeighbourhood(1, 1, n);
    EXPECT_EQ(engine.classifyEdge(n, 5), EdgeNone);
    near.in(2, 1) = {1000, 0, 0, 32768};
    EXPECT_NE(engine.classifyEdge(n, 5), EdgeNone);
}

} // namespace
