// The shortcut comparisons of a luminance difference with the smooth range must answer exactly
// as comparing the full difference does, for any pixels and tolerances.
#include "cel_art.h"
#include "pixel_ops.h"

#include <gtest/gtest.h>

#include <array>

namespace {

template <typename Sample> void comparePredicates(int32_t maximum, int32_t toleranceScale) {
    SimpleRandom random(toleranceScale);
    for (int32_t i = 0; i < 200000; ++i) {
        std::array<Sample, 4> a{}, b{};
        // Mostly near-equal pixels, where the least magnitude decides, and some wide apart.
        const int32_t spread = random.chance(70) ? random.between(0, 3 * toleranceScale) : maximum;
        for (size_t c = 0; c < 4; ++c) {
            a[c] = Sample(random.between(0, maximum));
            b[c] = Sample(std::clamp(int32_t(a[c]) + random.between(-spread, spread), 0, maximum));
        }
        const int32_t tolerance = random.chance(20) ? 0 : random.between(-2, 12) * toleranceScale;
        const Sample* pa = random.chance(2) ? nullptr : a.data();
        const int32_t difference = luminanceDifference(pa, b.data());
        ASSERT_EQ(brighterBeyond(pa, b.data(), tolerance), difference > tolerance) << i;
        ASSERT_EQ(darkerBeyond(pa, b.data(), tolerance), difference < -tolerance) << i;
    }
}

TEST(LuminancePredicates, AgreeWithTheFullDifference) {
    comparePredicates<uint8_t>(255, 1);
    comparePredicates<uint16_t>(65535, 128);
}

} // namespace
