// Blend-weight functions: the weight of the second colour at a relative position t (0 = first
// pixel of a walk, 1 = last). All piecewise linear; some replace the value at exactly 0 or 1.
// Results are not clamped here; the walker clamps them.
#pragma once

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
    // The line, but `value` at exactly t == point.
    float linearExceptAt(float t, float point, float value) const {
        return t == point ? value : linear(t);
    }
};

class LinearOffsetZeroValue : public LinearOffsetFunction {
  public:
    LinearOffsetZeroValue(float startValue, float endValue, float zeroValue)
        : LinearOffsetFunction(startValue, endValue), zeroValue(zeroValue) {}
    float evaluate(float t) const override { return linearExceptAt(t, 0.0f, zeroValue); }

    float zeroValue;
};

class LinearOffsetZeroOneValue : public LinearOffsetZeroValue {
  public:
    LinearOffsetZeroOneValue(float startValue, float endValue, float zeroValue, float oneValue)
        : LinearOffsetZeroValue(startValue, endValue, zeroValue), oneValue(oneValue) {}
    float evaluate(float t) const override {
        return t == 1.0f ? oneValue : LinearOffsetZeroValue::evaluate(t);
    }

    float oneValue;
};

class LinearOffsetOneValue : public LinearOffsetFunction {
  public:
    LinearOffsetOneValue(float startValue, float endValue, float oneValue)
        : LinearOffsetFunction(startValue, endValue), oneValue(oneValue) {}
    float evaluate(float t) const override { return linearExceptAt(t, 1.0f, oneValue); }

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
