// The frame host against the engine's test host, which hands the pass its buffers with padded
// rows and guard bytes: both must give the same pixels, and the decoded frame stays as it was.
#include "frame_host.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace {

template <typename Sample> class FrameHost : public ::testing::Test {};
using SampleTypes = ::testing::Types<uint8_t, uint16_t>;
TYPED_TEST_SUITE(FrameHost, SampleTypes);

// Blocks of a few colours, some of them the key colour, some transparent: edges of every kind.
template <typename Sample> std::vector<Rgba<Sample>> blockyImage(int width, int height) {
    constexpr int32_t full = sizeof(Sample) == 1 ? 255 : 32768;
    const Rgba<Sample> palette[] = {{Sample(full), Sample(full), Sample(full), Sample(full)},
                                    {0, 0, 0, Sample(full)},
                                    {Sample(full / 2), Sample(full / 5), 0, Sample(full)},
                                    {0, 0, Sample(full), 0}};
    std::mt19937 random(7);
    std::vector<Rgba<Sample>> pixels(size_t(width) * size_t(height));
    for (int by = 0; by < height; by += 3)
        for (int bx = 0; bx < width; bx += 2) {
            const Rgba<Sample> colour = palette[random() % 4];
            for (int y = by; y < std::min(height, by + 3); ++y)
                for (int x = bx; x < std::min(width, bx + 2); ++x)
                    pixels[size_t(y) * size_t(width) + size_t(x)] = colour;
        }
    return pixels;
}

TYPED_TEST(FrameHost, GivesTheTestHostsPixelsAndLeavesTheSourceAlone) {
    using Sample = TypeParam;
    const int width = 37, height = 23;
    for (bool key : {false, true}) {
        FilterParameters parameters;
        parameters.smoothRange = 8;
        parameters.useColourKey = key;

        const std::vector<Rgba<Sample>> image = blockyImage<Sample>(width, height);
        TestHost<Sample> reference(width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                reference.at(x, y) = image[size_t(y) * size_t(width) + size_t(x)];
        ASSERT_EQ(reference.run(parameters), noErr);

        const std::vector<Rgba<Sample>> source = image;
        std::vector<Rgba<Sample>> result(image.size());
        FrameBuffers frame;
        frame.source = source.data();
        frame.result = result.data();
        frame.width = width;
        frame.height = height;
        frame.depth = sizeof(Sample) * 8;
        frame.rowBytes = size_t(width) * sizeof(Rgba<Sample>);
        ASSERT_EQ(smoothFrame(frame, parameters), noErr);
        EXPECT_EQ(result, reference.result()) << (key ? "with key" : "without key");
        EXPECT_EQ(source, image) << "the decoded frame was written";
        EXPECT_NE(result, image) << "nothing was smoothed";
    }
}

TEST(FrameHostLimits, FramesTheRecordCannotDescribeAreRefused) {
    EXPECT_TRUE(frameFitsHostRecord(1, 1, 8));
    EXPECT_TRUE(frameFitsHostRecord(40000, 2, 16)); // wider than the 16-bit fields
    EXPECT_FALSE(frameFitsHostRecord(0, 5, 8));
    EXPECT_FALSE(frameFitsHostRecord(300'000'000, 1, 16)); // row stride beyond 32 bits
    std::vector<uint8_t> pixels(16);
    FrameBuffers frame{pixels.data(), pixels.data(), 2, 2, 8, 4}; // rows too short
    EXPECT_EQ(smoothFrame(frame, FilterParameters{}), filterBadParameters);
}

} // namespace
