// Thousands of random images through the pass, meant to run under AddressSanitizer and
// UndefinedBehaviorSanitizer: no crash, no access outside the filter rectangle, same output twice.
#include "line_art.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

int iterations() {
    const char* value = std::getenv("TOVRIN_RANDOM_ITERATIONS");
    return value ? std::atoi(value) : 3000;
}

template <typename Sample> void runRandomImages(uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<int32_t> size(1, 64);
    for (int i = 0; i < iterations(); ++i) {
        const int32_t w = size(random), h = size(random);
        const int32_t margin = std::uniform_int_distribution<int32_t>(0, 3)(random);
        TestHost<Sample> host(w + 2 * margin, h + 2 * margin);
        const bool noise = i % 4 == 0;
        if (noise) {
            std::uniform_int_distribution<int32_t> sample(0, SampleTraits<Sample>::fullScale);
            for (int32_t y = 0; y < host.height(); ++y)
                for (int32_t x = 0; x < host.width(); ++x)
                    host.at(x, y) = {Sample(sample(random)), Sample(sample(random)),
                                     Sample(sample(random)), Sample(sample(random))};
        } else {
            drawLineArt(host, random, i % 3 == 0, 2 + i % 5);
        }
        const int32_t left = std::uniform_int_distribution<int32_t>(0, margin)(random);
        const int32_t top = std::uniform_int_distribution<int32_t>(0, margin)(random);
        host.filterRect = VRect{top, left, top + h, left + w};
        host.embedInDocument = i % 2 == 0;
        host.bigDocument = i % 3 != 1;
        FilterParameters parameters;
        parameters.smoothRange = std::uniform_int_distribution<int32_t>(0, 255)(random) % (i % 7 == 0 ? 256 : 12);
        parameters.useColourKey = i % 5 == 0;
        if (parameters.useColourKey) {
            const Rgba<Sample> key = host.at(left, top);
            auto to8 = [](Sample v) {
                return sizeof(Sample) == 1 ? int32_t(v) : (int32_t(v) * 255 + 16384) / 32768;
            };
            parameters.keyRed = to8(key[0]);
            parameters.keyGreen = to8(key[1]);
            parameters.keyBlue = to8(key[2]);
        }
        ASSERT_EQ(host.run(parameters), noErr);
        ASSERT_TRUE(host.guardsIntact) << "image " << i;
        ASSERT_TRUE(host.outsideUntouched || !host.embedInDocument) << "image " << i;
        const auto first = host.result();
        ASSERT_EQ(host.run(parameters), noErr);
        ASSERT_EQ(host.result(), first) << "image " << i;
    }
}

TEST(RandomImages, EightBit) { runRandomImages<uint8_t>(1); }
TEST(RandomImages, SixteenBit) { runRandomImages<uint16_t>(2); }

} // namespace
