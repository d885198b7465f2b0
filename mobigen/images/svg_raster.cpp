#include "mobigen/images/svg_raster.h"

#include <algorithm>
#include <cmath>

namespace mobigen {
namespace {

// What one picture may cost, as about this many operations a pixel: a dense illustration
// needs around a hundred; beyond it (a few seconds) the rest is not drawn.
constexpr long long kSvgWorkPerPixel = 1000;
// Coverage below this leaves no trace in a byte.
constexpr float kVisible = 0.002f;

struct Edge {
    double x0, y0, y1, dxdy;
    int direction;
    double xAt(double y) const { return x0 + (y - y0) * dxdy; }
    double xEnd() const { return x0 + (y1 - y0) * dxdy; }
};

struct Bounds {
    int left, top, right, bottom;  // right and bottom exclusive
    bool empty() const { return left >= right || top >= bottom; }
};

bool isFinite(SvgPoint p) { return std::isfinite(p.x) && std::isfinite(p.y); }

std::vector<Edge> edgesOf(const std::vector<SvgPolygon>& shape) {
    std::vector<Edge> edges;
    std::size_t points = 0;
    for (const SvgPolygon& polygon : shape) points += polygon.size();
    edges.reserve(points);
    for (const SvgPolygon& polygon : shape) {
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const SvgPoint p = polygon[i], q = polygon[(i + 1) % polygon.size()];
            if (!isFinite(p) || !isFinite(q) || p.y == q.y) continue;
            const SvgPoint& top = p.y < q.y ? p : q;
            const SvgPoint& bottom = p.y < q.y ? q : p;
            const double dxdy = (bottom.x - top.x) / (bottom.y - top.y);
            if (std::isfinite(dxdy)) edges.push_back({top.x, top.y, bottom.y, dxdy, p.y < q.y ? 1 : -1});
        }
    }
    return edges;
}

int clampedFloor(double v, int low, int high) {
    if (!(v > low)) return low;
    if (!(v < high)) return high;
    return static_cast<int>(std::floor(v));
}

Bounds boundsOf(const std::vector<Edge>& edges, int width, int height) {
    double left = width, right = 0, top = height, bottom = 0;
    for (const Edge& e : edges) {
        left = std::min({left, e.x0, e.xEnd()});
        right = std::max({right, e.x0, e.xEnd()});
        top = std::min(top, e.y0);
        bottom = std::max(bottom, e.y1);
    }
    return {clampedFloor(left, 0, width), clampedFloor(top, 0, height), clampedFloor(right, 0, width - 1) + 1,
            clampedFloor(bottom, 0, height - 1) + 1};
}

// The edges in the order their first pixel rows come: a counting sort, as a shape's edges
// are many and its rows few.
std::vector<std::size_t> byFirstRow(const std::vector<Edge>& edges, const Bounds& bounds) {
    const auto rowOf = [&](const Edge& e) {
        return static_cast<std::size_t>(clampedFloor(e.y0, bounds.top, bounds.bottom) - bounds.top);
    };
    std::vector<std::size_t> starts(static_cast<std::size_t>(bounds.bottom - bounds.top) + 2, 0);
    for (const Edge& e : edges) ++starts[rowOf(e) + 1];
    for (std::size_t i = 1; i < starts.size(); ++i) starts[i] += starts[i - 1];
    std::vector<std::size_t> order(edges.size());
    for (std::size_t e = 0; e < edges.size(); ++e) order[starts[rowOf(edges[e])]++] = e;
    return order;
}

// One pixel row's coverage, as exact areas: each edge adds, cell by cell, the signed area
// it leaves to its right, kept as differences, so that a running sum along the row gives each
// pixel its covered fraction and winding. Only the cells an edge touched are read back.
class RowCoverage {
public:
    RowCoverage(const Bounds& bounds, SvgFillRule rule)
        : left_(bounds.left),
          right_(bounds.right),
          rule_(rule),
          cells_(static_cast<std::size_t>(right_ - left_) + 2, 0.0f),
          low_(cells_.size()) {}

    // A piece of an edge inside the row: from x `from` to `to`, covering `height` of the row
    // (negative when the edge runs up). Left of the pixels it is laid on their border, where
    // it still winds every one of them; right of them it covers none.
    void addEdge(double from, double to, double height) {
        if (!std::isfinite(from) || !std::isfinite(to)) return;
        if (to < from) std::swap(from, to);  // a straight piece leaves the same areas either way
        const double left = left_, right = right_;
        if (to - from < 1e-9 || to <= left || from >= right) return addInside(from, to, height);
        const double perX = height / (to - from);
        if (from < left) {
            addInside(left, left, (left - from) * perX);
            from = left;
        }
        to = std::min(to, right);
        addInside(from, to, (to - from) * perX);
    }

    // Calls span(x, count, coverage) for each run of pixels covered alike, then clears the row;
    // returns the cells it wrote and read. Inside a shape no edge touches a cell, so runs are long.
    template <typename Span>
    std::size_t emit(Span&& span) {
        if (low_ >= high_) return 0;
        const std::size_t pixels = cells_.size() - 2;
        double running = 0;
        for (std::size_t i = low_; i < high_;) {
            running += cells_[i];
            cells_[i] = 0;
            std::size_t end = i + 1;
            while (end < high_ && cells_[end] == 0) ++end;
            const float c = coverage(running);
            const std::size_t last = std::min(end, pixels);
            if (c > kVisible && last > i) span(left_ + static_cast<int>(i), last - i, c);
            i = end;
        }
        const std::size_t work = high_ - low_ + written_;
        low_ = cells_.size();
        high_ = 0;
        written_ = 0;
        return work;
    }

private:
    float coverage(double winding) const {
        const double w = std::fabs(winding);
        if (rule_ == SvgFillRule::NonZero) return static_cast<float>(std::min(1.0, w));
        const double folded = std::fmod(w, 2.0);  // 0 outside, 1 inside, between at edges
        return static_cast<float>(folded > 1 ? 2 - folded : folded);
    }

    // Cell k holds pixel left + k's difference from the pixel before it.
    void addInside(double from, double to, double height) {
        from = std::clamp(from, static_cast<double>(left_), static_cast<double>(right_)) - left_;
        to = std::clamp(to, static_cast<double>(left_), static_cast<double>(right_)) - left_;
        const std::size_t first = static_cast<std::size_t>(from), last = static_cast<std::size_t>(to);
        low_ = std::min(low_, first);
        high_ = std::max(high_, last + 2);
        written_ += last - first + 1;
        if (first == last) {
            // The part of the pixel right of the edge's mean x is covered.
            const double right = height * (static_cast<double>(first) + 1 - (from + to) / 2);
            cells_[first] += static_cast<float>(right);
            cells_[first + 1] += static_cast<float>(height - right);
            return;
        }
        // Across several pixels each takes the height the edge spends in it, and of that the
        // part right of the edge; everything after the edge takes the whole height.
        const double perX = height / (to - from);
        double before = 0, beforeRight = 0;  // the previous pixel's share, and its covered part
        for (std::size_t k = first; k <= last; ++k) {
            const double pixel = static_cast<double>(k);
            const double enter = std::max(from, pixel), leave = std::min(to, pixel + 1);
            const double share = (leave - enter) * perX;
            const double right = share * (pixel + 1 - (enter + leave) / 2);
            cells_[k] += static_cast<float>(before - beforeRight + right);
            before = share;
            beforeRight = right;
        }
        cells_[last + 1] += static_cast<float>(before - beforeRight);
    }

    int left_, right_;
    SvgFillRule rule_;
    std::vector<float> cells_;
    std::size_t low_, high_ = 0;
    std::size_t written_ = 0;
};

// Calls span(x, y, count, coverage) for each run of pixels the shape covers alike. Stops
// once its work passes `limit`: one shape of many long edges could take hours.
template <typename Span>
long long scanShape(const std::vector<SvgPolygon>& shape, SvgFillRule rule, int width, int height, long long limit,
                    Span&& span) {
    const std::vector<Edge> edges = edgesOf(shape);
    if (edges.empty() || width <= 0 || height <= 0) return 0;
    const Bounds bounds = boundsOf(edges, width, height);
    if (bounds.empty()) return 0;
    const std::vector<std::size_t> order = byFirstRow(edges, bounds);
    RowCoverage coverage(bounds, rule);
    std::vector<std::size_t> active;
    std::size_t next = 0;
    long long work = 0;
    for (int y = bounds.top; y < bounds.bottom && work <= limit; ++y) {
        while (next < order.size() && edges[order[next]].y0 < y + 1) active.push_back(order[next++]);
        std::size_t kept = 0;
        for (const std::size_t e : active) {
            const Edge& edge = edges[e];
            if (edge.y1 <= y) continue;
            active[kept++] = e;
            const double top = std::max(edge.y0, static_cast<double>(y)), bottom = std::min(edge.y1, y + 1.0);
            if (bottom > top) coverage.addEdge(edge.xAt(top), edge.xAt(bottom), (bottom - top) * edge.direction);
        }
        active.resize(kept);
        work += static_cast<long long>(kept) + 1;
        work += 2 * static_cast<long long>(coverage.emit([&](int x, std::size_t n, float c) { span(x, y, n, c); }));
    }
    return work;
}

std::uint8_t toByte(float v) { return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f); }

// A picture at half the size, each pixel the mean of four: sampled far smaller, a picture
// would shimmer.
std::vector<std::uint8_t> halved(const SvgPixels& picture, int& width, int& height) {
    width = std::max(1, picture.width / 2);
    height = std::max(1, picture.height / 2);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    const auto at = [&](int x, int y, int c) {
        x = std::min(x, picture.width - 1);
        y = std::min(y, picture.height - 1);
        return picture.data[(static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) +
                             static_cast<std::size_t>(x)) *
                                4 +
                            static_cast<std::size_t>(c)];
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c)
                out[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4 +
                    static_cast<std::size_t>(c)] =
                    static_cast<std::uint8_t>((at(2 * x, 2 * y, c) + at(2 * x + 1, 2 * y, c) + at(2 * x, 2 * y + 1, c) +
                                               at(2 * x + 1, 2 * y + 1, c) + 2) /
                                              4);
    return out;
}

// Straight-alpha "over" onto a pixel that is not yet opaque.
void blendOverClear(std::uint8_t* p, SvgColor color, float alpha) {
    const float under = p[3] / 255.0f * (1 - alpha);
    const float out = alpha + under;
    if (out <= 0) return;
    const float over = alpha / out, kept = under / out;  // drawings on a clear ground come here a lot
    p[0] = toByte(color.r * over + p[0] * kept);
    p[1] = toByte(color.g * over + p[1] * kept);
    p[2] = toByte(color.b * over + p[2] * kept);
    p[3] = toByte(out * 255.0f);
}

// `count` pixels from `p` under one colour and alpha.
void blend(std::uint8_t* p, std::size_t count, SvgColor color, float alpha) {
    // Most of a picture is opaque once its ground is laid; there, in fixed point, 1 = 256.
    const int weight = static_cast<int>(alpha * 256.0f + 0.5f);
    const auto mix = [weight](int under, int over) {
        return static_cast<std::uint8_t>(under + (((over - under) * weight + 128) >> 8));
    };
    for (std::uint8_t* end = p + 4 * count; p < end; p += 4) {
        if (p[3] != 0xFF) {
            blendOverClear(p, color, alpha);
            continue;
        }
        p[0] = mix(p[0], color.r);
        p[1] = mix(p[1], color.g);
        p[2] = mix(p[2], color.b);
    }
}

struct Sample {
    float r, g, b, a;
};

Sample bilinear(const SvgPixels& picture, double u, double v) {
    u = std::clamp(u - 0.5, 0.0, picture.width - 1.0);
    v = std::clamp(v - 0.5, 0.0, picture.height - 1.0);
    const int x0 = static_cast<int>(u), y0 = static_cast<int>(v);
    const int x1 = std::min(x0 + 1, picture.width - 1), y1 = std::min(y0 + 1, picture.height - 1);
    const float fx = static_cast<float>(u - x0), fy = static_cast<float>(v - y0);
    const auto px = [&](int x, int y) {
        return picture.data +
               (static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) + static_cast<std::size_t>(x)) *
                   4;
    };
    const std::uint8_t *p00 = px(x0, y0), *p10 = px(x1, y0), *p01 = px(x0, y1), *p11 = px(x1, y1);
    float c[4];
    for (int i = 0; i < 4; ++i)
        c[i] = (p00[i] * (1 - fx) + p10[i] * fx) * (1 - fy) + (p01[i] * (1 - fx) + p11[i] * fx) * fy;
    return {c[0], c[1], c[2], c[3] / 255.0f};
}

}  // namespace

double SvgMatrix::largestScale() const { return std::max(std::sqrt(a * a + b * b), std::sqrt(c * c + d * d)); }

SvgCanvas::SvgCanvas(int width, int height)
    : width_(width),
      height_(height),
      rgba_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0),
      workLeft_(kSvgWorkPerPixel * width * height) {}

bool SvgCanvas::charge(long long work) { return spend(work); }

bool SvgCanvas::spend(long long work) {
    workLeft_ -= work;
    return workLeft_ > 0;
}

bool SvgCanvas::fill(const std::vector<SvgPolygon>& shape, SvgFillRule rule, SvgColor color, double opacity) {
    if (workLeft_ <= 0) return false;
    const auto alpha = static_cast<float>(std::clamp(opacity, 0.0, 1.0));
    if (alpha <= 0) return true;
    const long long work =
        scanShape(shape, rule, width_, height_, workLeft_,
                  [&](int x, int y, std::size_t n, float c) { blend(&rgba_[pixelAt(x, y)], n, color, c * alpha); });
    return spend(work);
}

bool SvgCanvas::drawPicture(const SvgPixels& source, const SvgMatrix& toDevice, const std::vector<SvgPolygon>& clip,
                            double opacity) {
    if (workLeft_ <= 0) return false;
    const double det = toDevice.determinant();
    if (source.width <= 0 || source.height <= 0 || !std::isfinite(det) || std::fabs(det) < 1e-12) return true;
    // Shrunk by halves until one picture pixel is at least half a device pixel.
    SvgPixels picture = source;
    SvgMatrix mapping = toDevice;
    std::vector<std::uint8_t> smaller;
    while (std::sqrt(std::fabs(mapping.determinant())) < 0.5 && picture.width > 1 && picture.height > 1) {
        int w = 0, h = 0;
        std::vector<std::uint8_t> next = halved(picture, w, h);
        mapping = mapping * SvgMatrix{static_cast<double>(picture.width) / w,  0, 0,
                                      static_cast<double>(picture.height) / h, 0, 0};
        smaller = std::move(next);
        picture = {w, h, 4, smaller.data()};
    }
    const double inv = 1 / mapping.determinant();
    const SvgMatrix back{mapping.d * inv,
                         -mapping.b * inv,
                         -mapping.c * inv,
                         mapping.a * inv,
                         (mapping.c * mapping.f - mapping.d * mapping.e) * inv,
                         (mapping.b * mapping.e - mapping.a * mapping.f) * inv};
    const auto alpha = static_cast<float>(std::clamp(opacity, 0.0, 1.0));
    const long long work = scanShape(
        clip, SvgFillRule::NonZero, width_, height_, workLeft_ / 4, [&](int x, int y, std::size_t n, float c) {
            for (const int end = x + static_cast<int>(n); x < end; ++x) {
                const SvgPoint at = back.apply({x + 0.5, y + 0.5});
                const Sample s = bilinear(picture, at.x, at.y);
                blend(&rgba_[pixelAt(x, y)], 1, {toByte(s.r), toByte(s.g), toByte(s.b)}, c * alpha * s.a);
            }
        });
    return spend(work * 4);
}

}  // namespace mobigen
