// A cat's head, a ball and a few strokes, drawn the way a cel is inked: hard edges, no
// anti-aliasing, one colour per area.
#include "sample_cel.h"

#include <algorithm>
#include <cstdlib>

namespace {

struct Rgb {
    uint8_t r, g, b;
};

constexpr Rgb ink{24, 20, 28};
constexpr Rgb fur{238, 154, 64};
constexpr Rgb innerEar{246, 178, 190};
constexpr Rgb white{255, 255, 255};
constexpr Rgb iris{70, 150, 90};
constexpr Rgb nose{214, 92, 120};
constexpr Rgb ball{60, 110, 220};
constexpr Rgb stripe{250, 220, 60};
constexpr Rgb shadow{92, 84, 120};

struct Canvas {
    int32_t width;
    int32_t height;
    std::vector<uint8_t> rgba;

    void plot(int32_t x, int32_t y, Rgb c) {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return;
        uint8_t* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
        p[3] = 255;
    }

    // Pixel centres inside the ellipse (x-cx)^2/rx^2 + (y-cy)^2/ry^2 <= 1, tested in integers.
    void fillEllipse(int32_t cx, int32_t cy, int32_t rx, int32_t ry, Rgb c) {
        const int64_t rx2 = int64_t(rx) * rx;
        const int64_t ry2 = int64_t(ry) * ry;
        for (int32_t y = cy - ry; y <= cy + ry; ++y)
            for (int32_t x = cx - rx; x <= cx + rx; ++x) {
                const int64_t dx = x - cx;
                const int64_t dy = y - cy;
                if (dx * dx * ry2 + dy * dy * rx2 <= rx2 * ry2)
                    plot(x, y, c);
            }
    }

    void fillCircle(int32_t cx, int32_t cy, int32_t r, Rgb c) { fillEllipse(cx, cy, r, r, c); }

    // A filled circle with an ink ring of the given thickness.
    void inkedCircle(int32_t cx, int32_t cy, int32_t r, int32_t line, Rgb c) {
        fillCircle(cx, cy, r, ink);
        fillCircle(cx, cy, r - line, c);
    }

    // Pixels whose centres lie inside or on the triangle, by the signs of the edge functions.
    void fillTriangle(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                      Rgb c) {
        auto edge = [](int32_t ax, int32_t ay, int32_t bx, int32_t by, int32_t px, int32_t py) {
            return int64_t(bx - ax) * (py - ay) - int64_t(by - ay) * (px - ax);
        };
        for (int32_t y = std::min({y0, y1, y2}); y <= std::max({y0, y1, y2}); ++y)
            for (int32_t x = std::min({x0, x1, x2}); x <= std::max({x0, x1, x2}); ++x) {
                const int64_t e0 = edge(x0, y0, x1, y1, x, y);
                const int64_t e1 = edge(x1, y1, x2, y2, x, y);
                const int64_t e2 = edge(x2, y2, x0, y0, x, y);
                if ((e0 >= 0 && e1 >= 0 && e2 >= 0) || (e0 <= 0 && e1 <= 0 && e2 <= 0))
                    plot(x, y, c);
            }
    }

    // Bresenham's line with a square pen of the given width.
    void line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t pen, Rgb c) {
        const int32_t dx = std::abs(x1 - x0);
        const int32_t dy = -std::abs(y1 - y0);
        const int32_t sx = x0 < x1 ? 1 : -1;
        const int32_t sy = y0 < y1 ? 1 : -1;
        int32_t error = dx + dy;
        for (;;) {
            for (int32_t py = 0; py < pen; ++py)
                for (int32_t px = 0; px < pen; ++px)
                    plot(x0 + px - pen / 2, y0 + py - pen / 2, c);
            if (x0 == x1 && y0 == y1)
                return;
            const int32_t twice = 2 * error;
            if (twice >= dy) {
                error += dy;
                x0 += sx;
            }
            if (twice <= dx) {
                error += dx;
                y0 += sy;
            }
        }
    }
};

void drawCat(Canvas& canvas) {
    // Ears first, so that the head's ink ring closes over their base.
    canvas.fillTriangle(44, 62, 58, 16, 84, 48, ink);
    canvas.fillTriangle(50, 56, 60, 25, 77, 48, innerEar);
    canvas.fillTriangle(108, 48, 134, 16, 148, 62, ink);
    canvas.fillTriangle(115, 48, 132, 25, 142, 56, innerEar);
    canvas.inkedCircle(96, 82, 50, 3, fur);

    for (int32_t side : {-1, 1}) {
        const int32_t eyeX = 96 + side * 21;
        canvas.fillEllipse(eyeX, 74, 12, 14, ink);
        canvas.fillEllipse(eyeX, 74, 10, 12, white);
        canvas.fillEllipse(eyeX + side * 2, 76, 6, 8, iris);
        canvas.fillEllipse(eyeX + side * 2, 77, 2, 5, ink);
        canvas.fillCircle(eyeX - 3, 70, 2, white);
        // Whiskers: long shallow strokes, the hardest case for stair steps.
        canvas.line(96 + side * 22, 100, 96 + side * 78, 92, 1, ink);
        canvas.line(96 + side * 22, 104, 96 + side * 80, 108, 1, ink);
        canvas.line(96 + side * 20, 108, 96 + side * 70, 124, 2, ink);
    }
    canvas.fillTriangle(89, 94, 103, 94, 96, 102, nose);
    canvas.line(96, 102, 96, 110, 2, ink);
    canvas.line(96, 110, 86, 116, 2, ink);
    canvas.line(96, 110, 106, 116, 2, ink);
}

void drawBall(Canvas& canvas) {
    canvas.fillEllipse(190, 140, 26, 6, shadow);
    canvas.inkedCircle(190, 112, 24, 2, ball);
    canvas.line(168, 104, 212, 118, 5, stripe);
    canvas.line(170, 102, 210, 114, 1, ink);
    canvas.line(168, 108, 212, 122, 1, ink);
    canvas.fillCircle(182, 100, 3, white);
}

} // namespace

SampleCel drawSampleCel() {
    Canvas canvas{224, 152, std::vector<uint8_t>(size_t(224) * 152 * 4, 0)};
    drawCat(canvas);
    drawBall(canvas);
    return SampleCel{canvas.width, canvas.height, std::move(canvas.rgba)};
}
