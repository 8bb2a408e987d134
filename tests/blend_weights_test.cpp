// The blend-weight functions at the points where their pieces meet.
#include "blend_weights.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Sample {
    const InterpolationFunction* function;
    float t;
    float expected;
};

TEST(BlendWeights, ValuesAtTheEndsAndInBetween) {
    const LinearOffsetFunction linear(0.25f, 0.75f);
    const LinearOffsetZeroValue zero(0.0f, 0.5f, 0.125f);
    const LinearOffsetOneValue one(0.75f, 1.0f, 0.875f);
    const LinearOffsetZeroOneValue both(0.25f, 0.75f, 0.125f, 0.875f);
    const LinearThreeOffsetFunction three(0.125f, 0.25f, 0.5f, 0.75f);
    const LinearThreeOffsetFunction wide(0.0f, 1.0f, 1.0f, 5.0f);
    const LinearOffsetFunction unclamped(-0.5f, 1.5f);
    const Sample samples[] = {
        {&linear, 0.0f, 0.25f},  {&linear, 0.5f, 0.5f},    {&linear, 1.0f, 0.75f},
        {&zero, 0.0f, 0.125f},   {&zero, -0.0f, 0.125f},   {&zero, 0.5f, 0.25f},
        {&zero, 1.0f, 0.5f},     {&one, 1.0f, 0.875f},     {&one, 0.0f, 0.75f},
        {&both, 0.0f, 0.125f},   {&both, 1.0f, 0.875f},    {&both, 0.5f, 0.5f},
        {&three, 0.0f, 0.125f},  {&three, 0.5f, 0.25f},    {&three, 0.75f, 0.5f},
        {&three, 1.0f, 0.75f},   {&wide, 1.0f, 1.0f},      {&wide, 0.5f, 0.5f},
        {&unclamped, 0.0f, -0.5f},
    };
    for (const Sample& s : samples)
        EXPECT_FLOAT_EQ(s.function->evaluate(s.t), s.expected) << "t = " << s.t;
}

TEST(BlendWeights, NotANumberTakesTheLinearPart) {
    const LinearOffsetZeroOneValue both(0.25f, 0.75f, 0.125f, 0.875f);
    EXPECT_TRUE(std::isnan(both.evaluate(NAN)));
}

} // namespace
