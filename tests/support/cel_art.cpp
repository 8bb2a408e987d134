// Drawing of the cel-like test pictures: every shape is rasterised without anti-aliasing, so that
// each pixel is exactly one of a handful of flat colours.
#include "cel_art.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using Rgba8 = std::array<uint8_t, 4>;

struct Canvas {
    int32_t width;
    int32_t height;
    std::vector<uint8_t> samples;

    void set(int32_t x, int32_t y, const Rgba8& colour) {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return;
        std::copy(colour.begin(), colour.end(),
                  samples.begin() + (size_t(y) * size_t(width) + size_t(x)) * 4);
    }
};

struct Box {
    int32_t left, top, right, bottom; // inclusive
};

Box clip(const Canvas& canvas, float left, float top, float right, float bottom) {
    return {std::max(0, static_cast<int32_t>(std::floor(left))),
            std::max(0, static_cast<int32_t>(std::floor(top))),
            std::min(canvas.width - 1, static_cast<int32_t>(std::ceil(right))),
            std::min(canvas.height - 1, static_cast<int32_t>(std::ceil(bottom)))};
}

// Paints every pixel of the box whose centre passes the test.
template <typename Inside>
void paint(Canvas& canvas, const Box& box, const Rgba8& colour, Inside inside) {
    for (int32_t y = box.top; y <= box.bottom; ++y)
        for (int32_t x = box.left; x <= box.right; ++x)
            if (inside(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f))
                canvas.set(x, y, colour);
}

struct Ellipse {
    float cx, cy, rx, ry, cosine, sine;

    // Squared normalised radius of a point: 1 on the rim.
    float radius2(float x, float y, float shrink) const {
        const float dx = x - cx, dy = y - cy;
        const float u = (dx * cosine + dy * sine) / (rx - shrink);
        const float v = (dy * cosine - dx * sine) / (ry - shrink);
        return u * u + v * v;
    }
};

void drawEllipse(Canvas& canvas, const Ellipse& e, const Rgba8& fill, const Rgba8& ink,
                 float lineWidth) {
    const float reach = std::max(e.rx, e.ry);
    const Box box = clip(canvas, e.cx - reach, e.cy - reach, e.cx + reach, e.cy + reach);
    const bool hollow = e.rx > lineWidth + 1 && e.ry > lineWidth + 1;
    paint(canvas, box, fill, [&](float x, float y) { return e.radius2(x, y, 0) <= 1.0f; });
    paint(canvas, box, ink, [&](float x, float y) {
        return e.radius2(x, y, 0) <= 1.0f && (!hollow || e.radius2(x, y, lineWidth) > 1.0f);
    });
}

struct Point {
    float x, y;
};

float segmentDistance2(Point p, Point a, Point b) {
    const float abx = b.x - a.x, aby = b.y - a.y;
    const float length2 = abx * abx + aby * aby;
    float t = length2 > 0 ? ((p.x - a.x) * abx + (p.y - a.y) * aby) / length2 : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    const float dx = p.x - (a.x + t * abx), dy = p.y - (a.y + t * aby);
    return dx * dx + dy * dy;
}

void drawSegment(Canvas& canvas, Point a, Point b, const Rgba8& ink, float lineWidth) {
    const float half = lineWidth / 2.0f;
    const Box box = clip(canvas, std::min(a.x, b.x) - half, std::min(a.y, b.y) - half,
                         std::max(a.x, b.x) + half, std::max(a.y, b.y) + half);
    paint(canvas, box, ink, [&](float x, float y) {
        return segmentDistance2({x, y}, a, b) <= half * half;
    });
}

float edgeSide(Point p, Point a, Point b) {
    return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
}

void drawTriangle(Canvas& canvas, const std::array<Point, 3>& t, const Rgba8& fill,
                  const Rgba8& ink, float lineWidth) {
    const Box box =
        clip(canvas, std::min({t[0].x, t[1].x, t[2].x}), std::min({t[0].y, t[1].y, t[2].y}),
             std::max({t[0].x, t[1].x, t[2].x}), std::max({t[0].y, t[1].y, t[2].y}));
    paint(canvas, box, fill, [&](float x, float y) {
        const float a = edgeSide({x, y}, t[0], t[1]), b = edgeSide({x, y}, t[1], t[2]),
                    c = edgeSide({x, y}, t[2], t[0]);
        return (a >= 0 && b >= 0 && c >= 0) || (a <= 0 && b <= 0 && c <= 0);
    });
    for (int i = 0; i < 3; ++i)
        drawSegment(canvas, t[i], t[(i + 1) % 3], ink, lineWidth);
}

// A quadratic curve drawn as a chain of short thick segments.
void drawStroke(Canvas& canvas, Point a, Point control, Point b, const Rgba8& ink,
                float lineWidth) {
    const int pieces = 12;
    Point previous = a;
    for (int i = 1; i <= pieces; ++i) {
        const float t = static_cast<float>(i) / pieces, s = 1.0f - t;
        const Point next{s * s * a.x + 2 * s * t * control.x + t * t * b.x,
                         s * s * a.y + 2 * s * t * control.y + t * t * b.y};
        drawSegment(canvas, previous, next, ink, lineWidth);
        previous = next;
    }
}

Rgba8 paintColour(SimpleRandom& random) {
    static constexpr Rgba8 palette[] = {
        {250, 214, 180, 255}, {120, 160, 220, 255}, {200, 60, 70, 255},   {90, 170, 110, 255},
        {240, 230, 120, 255}, {170, 120, 200, 255}, {255, 255, 255, 255}, {60, 60, 90, 255}};
    Rgba8 colour = palette[random.between(0, 7)];
    // Shadow tones a few units off the base colour: the smooth range decides whether they count
    // as one colour.
    if (random.chance(30)) {
        const int32_t shift = random.between(-6, 6);
        for (int c = 0; c < 3; ++c)
            colour[c] = static_cast<uint8_t>(std::clamp(colour[c] + shift, 0, 255));
    }
    if (random.chance(10))
        colour[3] = static_cast<uint8_t>(random.between(0, 254));
    return colour;
}

Rgba8 inkColour(SimpleRandom& random) {
    static constexpr Rgba8 inks[] = {
        {0, 0, 0, 255}, {30, 20, 15, 255}, {0, 0, 0, 255}, {80, 30, 30, 255}};
    return inks[random.between(0, 3)];
}

} // namespace

std::vector<uint8_t> drawCelArt(const CelArtOptions& options) {
    Canvas canvas{options.width, options.height, {}};
    const Rgba8 ground = options.transparentGround ? Rgba8{0, 0, 0, 0} : Rgba8{255, 255, 255, 255};
    canvas.samples.resize(size_t(options.width) * size_t(options.height) * 4);
    for (size_t i = 0; i < canvas.samples.size(); i += 4)
        std::copy(ground.begin(), ground.end(), canvas.samples.begin() + i);
    if (options.width <= 0 || options.height <= 0)
        return canvas.samples;

    SimpleRandom random(options.seed);
    const float w = static_cast<float>(options.width), h = static_cast<float>(options.height);
    const float size = std::min(w, h);
    const double megapixels = double(w) * double(h) / 1e6;
    const int32_t shapes = std::max(4, static_cast<int32_t>(megapixels * options.shapeDensity));
    auto point = [&] { return Point{random.unit() * w, random.unit() * h}; };
    auto lineWidth = [&] {
        return static_cast<float>(random.between(1, std::max(1, options.maxLineWidth)));
    };

    for (int32_t i = 0; i < shapes; ++i) {
        const Rgba8 fill = paintColour(random);
        const Rgba8 ink = inkColour(random);
        switch (random.between(0, 2)) {
        case 0: {
            const Point c = point();
            const float angle = random.unit() * 3.14159265f;
            const Ellipse e{c.x,
                            c.y,
                            2 + random.unit() * size / 6,
                            2 + random.unit() * size / 6,
                            std::cos(angle),
                            std::sin(angle)};
            drawEllipse(canvas, e, fill, ink, lineWidth());
            break;
        }
        case 1: {
            const Point a = point();
            auto near = [&] {
                return Point{a.x + (random.unit() - 0.5f) * size / 3,
                             a.y + (random.unit() - 0.5f) * size / 3};
            };
            drawTriangle(canvas, {a, near(), near()}, fill, ink, lineWidth());
            break;
        }
        default: {
            const Point a = point();
            auto near = [&] {
                return Point{a.x + (random.unit() - 0.5f) * size / 2,
                             a.y + (random.unit() - 0.5f) * size / 2};
            };
            drawStroke(canvas, a, near(), near(), ink, lineWidth());
            break;
        }
        }
    }
    return canvas.samples;
}

std::vector<uint16_t> toHostSixteenBit(const std::vector<uint8_t>& samples) {
    std::vector<uint16_t> result(samples.size());
    for (size_t i = 0; i < samples.size(); ++i)
        result[i] = static_cast<uint16_t>((uint32_t{samples[i]} * 32768u + 127u) / 255u);
    return result;
}
