// Frozen copy of the straightforward engine, kept as the oracle that the fast engine and the
// parallel pass are compared against byte for byte. Do not optimise.
// Blend-weight functions: the weight of the second colour at a relative position t (0 = first
// pixel of a walk, 1 = last). All piecewise linear; some replace the value at exactly 0 or 1.
// Results are not clamped here; the walker clamps them.
#pragma once

namespace tovrin_reference {

class InterpolationFunction {
  public:
    virtual float evaluate(float t) const = 0;

  protected:
    ~InterpolationFunction() = default;
};

// The straight line from (0, startValue) to (1, endValue).
class LinearOffsetFunction : public InterpolationFunction {
  public:
    LinearOffsetFunction(float startValue, float endValue)
        : startValue(startValue), endValue(endValue) {}
    float evaluate(float t) const override { return linear(t); }

    float startValue;
    float endValue;

  protected:
    float linear(float t) const { return (endValue - startValue) * t + startValue; }
};

class LinearOffsetZeroValue : public LinearOffsetFunction {
  public:
    LinearOffsetZeroValue(float startValue, float endValue, float zeroValue)
        : LinearOffsetFunction(startValue, endValue), zeroValue(zeroValue) {}
    float evaluate(float t) const override { return t == 0.0f ? zeroValue : linear(t); }

    float zeroValue;
};

class LinearOffsetZeroOneValue : public LinearOffsetZeroValue {
  public:
    LinearOffsetZeroOneValue(float startValue, float endValue, float zeroValue, float oneValue)
        : LinearOffsetZeroValue(startValue, endValue, zeroValue), oneValue(oneValue) {}
    float evaluate(float t) const override {
        if (t == 1.0f)
            return oneValue;
        return t == 0.0f ? zeroValue : linear(t);
    }

    float oneValue;
};

class LinearOffsetOneValue : public LinearOffsetFunction {
  public:
    LinearOffsetOneValue(float startValue, float endValue, float oneValue)
        : LinearOffsetFunction(startValue, endValue), oneValue(oneValue) {}
    float evaluate(float t) const override { return t == 1.0f ? oneValue : linear(t); }

    float oneValue;
};

// The polyline through (0, startValue), (middlePosition, middleValue) and (1, endValue); the
// middle point itself belongs to the first segment.
class LinearThreeOffsetFunction : public InterpolationFunction {
  public:
    LinearThreeOffsetFunction(float startValue, float middleValue, float middlePosition,
                              float endValue)
        : startValue(startValue), middleValue(middleValue), middlePosition(middlePosition),
          endValue(endValue) {}
    float evaluate(float t) const override {
        if (t <= middlePosition)
            return (middleValue - startValue) / middlePosition * t + startValue;
        const float slope = (endValue - middleValue) / (1.0f - middlePosition);
        return ((slope * t) + endValue) - slope;
    }

    float startValue;
    float middleValue;
    float middlePosition;
    float endValue;
};

} // namespace tovrin_reference
