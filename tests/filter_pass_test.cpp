// The filter pass as the host drives it: requested rectangles and planes, advanceState, the
// colour key, and where the pass may read and write.
#include "test_host.h"

#include <gtest/gtest.h>

namespace {

template <typename Sample> struct Depth;
template <> struct Depth<uint8_t> {
    static constexpr uint8_t full = 255;
};
template <> struct Depth<uint16_t> {
    static constexpr uint16_t full = 32768;
};

template <typename Sample> class FilterPass : public ::testing::Test {};
using SampleTypes = ::testing::Types<uint8_t, uint16_t>;
TYPED_TEST_SUITE(FilterPass, SampleTypes);

TYPED_TEST(FilterPass, RequestsTheFilterRectangleWithAllFourPlanes) {
    for (bool big : {false, true}) {
        TestHost<TypeParam> host(40, 30);
        host.bigDocument = big;
        host.filterRect = VRect{10, 20, 25, 37};
        host.fill({1, 2, 3, Depth<TypeParam>::full});
        EXPECT_EQ(host.run(FilterParameters{}), noErr);
        EXPECT_EQ(host.advanceCalls, 1);
        EXPECT_EQ(host.requestedIn.top, 10);
        EXPECT_EQ(host.requestedIn.left, 20);
        EXPECT_EQ(host.requestedIn.bottom, 25);
        EXPECT_EQ(host.requestedIn.right, 37);
        EXPECT_EQ(host.requestedOut.right, 37);
        EXPECT_EQ(host.requestedLoPlane, 0);
        EXPECT_EQ(host.requestedHiPlane, 3);
        EXPECT_EQ(host.record.outLoPlane, 0);
        EXPECT_EQ(host.record.outHiPlane, 3);
        EXPECT_EQ(host.bigDocumentData.PluginUsing32BitCoordinates, big ? 1 : 0);
        // Cleared at the end, so the host takes the output and asks for nothing more.
        EXPECT_EQ(host.record.inRect.bottom, 0);
        EXPECT_EQ(host.record.outRect.right, 0);
        EXPECT_EQ(host.bigDocumentData.inRect32.bottom, 0);
        EXPECT_EQ(host.bigDocumentData.outRect32.right, 0);
        EXPECT_TRUE(host.guardsIntact);
    }
}

TYPED_TEST(FilterPass, FailingAdvanceStateReturnsItsCodeAndWritesNothing) {
    TestHost<TypeParam> host(8, 8);
    host.at(3, 3) = {0, 0, 0, Depth<TypeParam>::full}; // would be averaged
    host.advanceResult = -108;
    FilterParameters parameters;
    parameters.useColourKey = true;
    EXPECT_EQ(host.run(parameters), -108);
    EXPECT_EQ(host.advanceCalls, 1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(host.result(x, y), host.at(x, y));
}

TYPED_TEST(FilterPass, EmptyRectangleStillCallsTheHostAndClearsTheRequest) {
    TestHost<TypeParam> host(8, 8);
    host.filterRect = VRect{4, 4, 4, 7};
    EXPECT_EQ(host.run(FilterParameters{}), noErr);
    EXPECT_EQ(host.advanceCalls, 1);
    EXPECT_EQ(host.record.inRect.right, 0);
    EXPECT_TRUE(host.guardsIntact);
}

TYPED_TEST(FilterPass, WithoutBigDocumentDataThe16BitRectanglesAreUsed) {
    TestHost<TypeParam> host(12, 12);
    host.bigDocument = false;
    host.filterRect = VRect{2, 3, 9, 11};
    host.at(5, 5) = {0, 0, 0, Depth<TypeParam>::full};
    host.fill({Depth<TypeParam>::full, Depth<TypeParam>::full, Depth<TypeParam>::full,
               Depth<TypeParam>::full});
    host.at(6, 6) = {0, 0, 0, Depth<TypeParam>::full};
    EXPECT_EQ(host.run(FilterParameters{}), noErr);
    EXPECT_NE(host.result(6, 6), host.at(6, 6)); // an isolated pixel inside is averaged
    EXPECT_TRUE(host.guardsIntact);
}

TEST(FilterPassDepth, UnsupportedDepthIsBadMode) {
    FilterRecord record{};
    record.depth = 32;
    EXPECT_EQ(runFilterPassForDepth(record, FilterParameters{}), filterBadMode);
}

TEST(ColourKey, EightBitOpaqueKeyPixelsBecomeTransparent) {
    TestHost<uint8_t> host(6, 1);
    host.at(0, 0) = {255, 255, 255, 255}; // key, opaque: keyed
    host.at(1, 0) = {255, 255, 255, 254}; // not opaque
    host.at(2, 0) = {254, 255, 255, 255}; // not the key, whatever the range
    host.at(3, 0) = {255, 255, 255, 255};
    host.at(4, 0) = {255, 255, 255, 255};
    host.at(5, 0) = {255, 255, 255, 255};
    FilterParameters parameters;
    parameters.useColourKey = true;
    parameters.smoothRange = 0;
    // A one-row image has no up or down neighbours; check the key through the input buffer.
    EXPECT_EQ(host.run(parameters), noErr);
    EXPECT_EQ(host.inputAfterRun(0, 0), (Rgba<uint8_t>{255, 255, 255, 0}));
    EXPECT_EQ(host.inputAfterRun(1, 0), (Rgba<uint8_t>{255, 255, 255, 254}));
    EXPECT_EQ(host.inputAfterRun(2, 0), (Rgba<uint8_t>{254, 255, 255, 255}));
    EXPECT_EQ(host.inputAfterRun(5, 0), (Rgba<uint8_t>{255, 255, 255, 0}));
}

TEST(ColourKey, OffLeavesAlphaAlone) {
    TestHost<uint8_t> host(3, 3);
    host.fill({255, 255, 255, 255});
    EXPECT_EQ(host.run(FilterParameters{}), noErr);
    EXPECT_EQ(host.inputAfterRun(1, 1), (Rgba<uint8_t>{255, 255, 255, 255}));
    EXPECT_EQ(host.result(1, 1), (Rgba<uint8_t>{255, 255, 255, 255}));
}

TEST(ColourKey, SixteenBitComparesIn8BitUnitsAtFullOpacity) {
    TestHost<uint16_t> host(4, 4);
    host.fill({32768, 32768, 32768, 32768}); // white, keyed everywhere
    host.at(0, 0) = {32704, 32768, 32768, 32768}; // rounds to 255: keyed
    host.at(1, 0) = {32703, 32768, 32768, 32768}; // rounds to 254: kept
    host.at(2, 0) = {32768, 32768, 32768, 32767}; // not fully opaque: kept
    FilterParameters parameters;
    parameters.useColourKey = true;
    EXPECT_EQ(host.run(parameters), noErr);
    EXPECT_EQ(host.inputAfterRun(0, 0)[Alpha], 0);
    EXPECT_EQ(host.inputAfterRun(0, 0)[Red], 32704);
    EXPECT_EQ(host.inputAfterRun(1, 0)[Alpha], 32768);
    EXPECT_EQ(host.inputAfterRun(2, 0)[Alpha], 32767);
    EXPECT_EQ(host.inputAfterRun(3, 3)[Alpha], 0);
}

} // namespace

namespace {

TEST(FilterPassGuards, UnsafeRecordsAreRefusedWithoutTouchingPixels) {
    uint8_t pixels[4 * 4] = {};
    FilterRecord base{};
    base.planes = 4;
    base.depth = 8;
    base.filterRect = Rect{0, 0, 2, 2};
    base.inData = base.outData = pixels;
    base.inRowBytes = base.outRowBytes = 8;
    base.advanceState = [] { return OSErr{noErr}; };
    struct Case {
        const char* name;
        void (*spoil)(FilterRecord&);
        OSErr expected;
    };
    const Case cases[] = {
        {"three planes", [](FilterRecord& r) { r.planes = 3; }, filterBadMode},
        {"no advanceState", [](FilterRecord& r) { r.advanceState = nullptr; }, filterBadParameters},
        {"no input buffer", [](FilterRecord& r) { r.inData = nullptr; }, filterBadParameters},
        {"rows too short", [](FilterRecord& r) { r.outRowBytes = 7; }, filterBadParameters},
    };
    for (const Case& c : cases) {
        FilterRecord record = base;
        c.spoil(record);
        EXPECT_EQ(runFilterPassForDepth(record, FilterParameters{}), c.expected) << c.name;
    }
    EXPECT_EQ(runFilterPassForDepth(base, FilterParameters{}), noErr);
}

} // namespace
