#pragma once

// The drawing surface of the SVG renderer: filled polygons with anti-aliased edges and
// transformed pictures, composited over straight (not premultiplied) RGBA.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mobigen {

struct SvgPoint {
    double x = 0;
    double y = 0;
};

struct SvgMatrix {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    SvgPoint apply(SvgPoint p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
    // This matrix applied after `inner`.
    SvgMatrix operator*(const SvgMatrix& inner) const {
        return {a * inner.a + c * inner.b, b * inner.a + d * inner.b,     a * inner.c + c * inner.d,
                b * inner.c + d * inner.d, a * inner.e + c * inner.f + e, b * inner.e + d * inner.f + f};
    }
    double determinant() const { return a * d - b * c; }
    // How far one user unit can stretch, for flattening tolerances.
    double largestScale() const;
};

// A closed outline in device pixels; its winding decides what is inside.
using SvgPolygon = std::vector<SvgPoint>;

struct SvgColor {
    std::uint8_t r = 0, g = 0, b = 0;
};

enum class SvgFillRule { NonZero, EvenOdd };

struct SvgPixels {
    int width = 0;
    int height = 0;
    int channels = 4;
    const std::uint8_t* data = nullptr;
};

class SvgCanvas {
public:
    SvgCanvas(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    const std::vector<std::uint8_t>& rgba() const { return rgba_; }

    // Fills the polygons as one shape. False once the work budget is spent: a hostile picture
    // must not keep the converter busy for minutes.
    bool fill(const std::vector<SvgPolygon>& shape, SvgFillRule rule, SvgColor color, double opacity);
    // Draws `picture` mapped by `toDevice` from picture pixels, clipped to `clip` (device space).
    bool drawPicture(const SvgPixels& picture, const SvgMatrix& toDevice, const std::vector<SvgPolygon>& clip,
                     double opacity);

    // Counts work done outside the canvas (reading an element) against the same budget.
    bool charge(long long work);

private:
    bool spend(long long work);
    std::size_t pixelAt(int x, int y) const {
        return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)) * 4;
    }

    int width_;
    int height_;
    std::vector<std::uint8_t> rgba_;
    long long workLeft_;
};

}  // namespace mobigen
