// Run measurement on small drawings: which walks are made, where they end and what kind of run
// the centre belongs to.
#include "picture.h"

#include <gtest/gtest.h>

namespace {

struct Expected {
    RunKind kind;
    bool evenSpan, noBackRun;
    int32_t frontX, frontY, backX, backY, secondBackX, secondBackY;
};

template <typename Sample>
RunMeasurement measure(const std::vector<std::string>& rows, int32_t x, int32_t y, int32_t d,
                       int32_t smoothRange = 0) {
    Picture<Sample> picture(rows);
    auto engine = picture.engine(smoothRange);
    typename SmoothingEngine<Sample>::Neighbourhood n;
    engine.gatherNeighbourhood(x, y, n);
    RunMeasurement run;
    engine.measureRun(n, x, y, d, run);
    return run;
}

void expectRun(const RunMeasurement& run, const Expected& e, const std::string& name) {
    EXPECT_EQ(run.kind, e.kind) << name;
    EXPECT_EQ(run.evenSpan, e.evenSpan) << name;
    EXPECT_EQ(run.noBackRun, e.noBackRun) << name;
    EXPECT_EQ(std::make_pair(run.frontX, run.frontY), std::make_pair(e.frontX, e.frontY)) << name;
    EXPECT_EQ(std::make_pair(run.backX, run.backY), std::make_pair(e.backX, e.backY)) << name;
    EXPECT_EQ(std::make_pair(run.secondBackX, run.secondBackY),
              std::make_pair(e.secondBackX, e.secondBackY))
        << name;
}

struct MeasureCase {
    const char* name;
    std::vector<std::string> rows;
    int32_t x, y, direction;
    Expected expected;
};

const MeasureCase measureCases[] = {
    // Row 2 dark from 3 to the centre at 6; the next step, row 1, dark from 7 to 10.
    {"step of a staircase",
     {"..............", ".......####...", "...####.......", "..............", ".............."},
     6, 2, 5, {Step, false, false, 10, 2, 3, 2, 6, 2}},
    // Row 1 dark from 6 to the centre at 9 over a light row 0; row 2 dark from 1 to 5.
    {"tip of a segment",
     {"..............", "......####....", ".#####........"},
     9, 1, 5, {Tip, false, false, 9, 1, 6, 1, 5, 1}},
    {"dash of length 4, odd span", {"........", "..####..", "........"}, 5, 1, 5,
     {IsolatedTip, false, false, 5, 1, 2, 1, 5, 1}},
    {"dash of length 5, even span", {".........", "..#####..", "........."}, 6, 1, 5,
     {IsolatedTip, true, false, 6, 1, 2, 1, 6, 1}},
    {"dash facing left", {"........", "..####..", "........"}, 2, 1, 3,
     {IsolatedTip, false, false, 2, 1, 5, 1, 2, 1}},
    {"vertical dash facing down", {"...", ".#.", ".#.", ".#.", "..."}, 1, 3, 7,
     {IsolatedTip, true, false, 1, 3, 1, 1, 1, 3}},
    // Touching the top edge: the up cells are null, so the centre is no tip. The back walk along
    // the null row stops at once one step ahead, the nearer end: front and back coincide.
    {"dash along the top edge", {"..####..", "........"}, 5, 0, 5,
     {Step, false, false, 6, 0, 6, 0, 5, 0}},
    // Running into the left edge: both walks leave the rectangle at once.
    {"dash into the left edge", {"......", "####..", "......"}, 3, 1, 5,
     {Tip, false, false, 3, 1, 0, 1, 0, 1}},
    {"right flank of a vertical line", {".#..", ".#..", ".#.."}, 1, 1, 5,
     {Flank, false, true, 2, 1, 1, 1, 1, 1}},
    // The moved second back end may not land on the first column...
    {"tip ending on the second column", {"......", ".####.", "#....."}, 4, 1, 5,
     {Tip, false, false, 4, 1, 1, 1, 1, 1}},
    // ...but may land on the last one.
    {"tip ending on the last-but-one column", {"......", ".####.", ".....#"}, 1, 1, 3,
     {Tip, false, false, 1, 1, 4, 1, 5, 1}},
};

template <typename Sample> class MeasureRun : public ::testing::Test {};
using SampleTypes = ::testing::Types<uint8_t, uint16_t>;
TYPED_TEST_SUITE(MeasureRun, SampleTypes);

TYPED_TEST(MeasureRun, WorkedDrawings) {
    for (const MeasureCase& c : measureCases)
        expectRun(measure<TypeParam>(c.rows, c.x, c.y, c.direction), c.expected, c.name);
}

TYPED_TEST(MeasureRun, DashSpanParityFollowsItsLength) {
    for (int length = 2; length <= 9; ++length) {
        const std::string blank(size_t(length) + 4, '.');
        const std::string dash = ".." + std::string(size_t(length), '#') + "..";
        const RunMeasurement run = measure<TypeParam>({blank, dash, blank}, length + 1, 1, 5);
        EXPECT_EQ(run.kind, IsolatedTip) << length;
        EXPECT_EQ(run.backX, 2) << length;
        EXPECT_EQ(run.evenSpan, (length - 1) % 2 == 0) << length;
    }
}

TEST(FollowRun, EndsAndResults) {
    Picture<uint8_t> picture({"........", "####....", "........"});
    auto engine = picture.engine();
    int32_t endX = 0, endY = 0;
    // Main track row 1 to the left with the row above as side: row 1 turns light at column 4.
    EXPECT_EQ(engine.followRun(0, 1, 1, 5, endX, endY, 0), MainChanged);
    EXPECT_EQ(std::make_pair(endX, endY), std::make_pair(3, 1));
    // A side track that starts outside stops at once, one step behind the start.
    EXPECT_EQ(engine.followRun(2, 0, 1, 5, endX, endY, 0), SideChanged);
    EXPECT_EQ(std::make_pair(endX, endY), std::make_pair(1, 0));
    // Main and side equal at the start: the tracks met, and the result is the step direction.
    EXPECT_EQ(engine.followRun(5, 0, 7, 3, endX, endY, 0), 3);
    EXPECT_EQ(std::make_pair(endX, endY), std::make_pair(6, 0));
    // Both tracks leave the rectangle together.
    EXPECT_EQ(engine.followRun(3, 1, 1, 3, endX, endY, 0), BothChanged);
    EXPECT_EQ(std::make_pair(endX, endY), std::make_pair(0, 1));
}

TEST(FollowRun, DriftWithinTheRangeKeepsTheRunGoing) {
    Picture<uint8_t> picture({"..........", "##########"});
    for (int32_t x = 0; x < 10; ++x)
        picture.in(x, 1) = {uint8_t(20 + 3 * x), 0, 0, 255};
    auto engine = picture.engine(3);
    int32_t endX = 0, endY = 0;
    EXPECT_EQ(engine.followRun(0, 1, 1, 5, endX, endY, 3), BothChanged); // left the rectangle
    EXPECT_EQ(endX, 9);
    picture.in(6, 1)[Red] = uint8_t(picture.in(5, 1)[Red] + 4); // one jump of range + 1
    EXPECT_EQ(engine.followRun(0, 1, 1, 5, endX, endY, 3), MainChanged);
    EXPECT_EQ(endX, 5);
}

} // namespace
