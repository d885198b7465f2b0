#include "mobigen/images/svg_path.h"

#include <algorithm>
#include <cmath>

namespace mobigen {
namespace {

constexpr double kPi = 3.14159265358979323846;
// One curve never becomes more lines than this, however large it is drawn.
constexpr int kMaxCurveSteps = 256;

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == ','; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

SvgPoint operator+(SvgPoint p, SvgPoint q) { return {p.x + q.x, p.y + q.y}; }
SvgPoint operator-(SvgPoint p, SvgPoint q) { return {p.x - q.x, p.y - q.y}; }
SvgPoint operator*(SvgPoint p, double k) { return {p.x * k, p.y * k}; }
// hypot only where squares would overflow: it is several times slower, and strokes measure
// every segment.
double length(SvgPoint p) {
    const double squared = p.x * p.x + p.y * p.y;
    return std::isfinite(squared) ? std::sqrt(squared) : std::hypot(p.x, p.y);
}

// Reads numbers the way path data writes them: "1.5.5" is two, "-1-2" too, and a flag is one
// digit ("a1 1 0 11 2 3" has flags 1 and 1). Locale-free, unlike strtod.
class NumberReader {
public:
    explicit NumberReader(std::string_view text) : text_(text) {}

    void skipSeparators() {
        while (at_ < text_.size() && isSeparator(text_[at_])) ++at_;
    }
    bool atEnd() {
        skipSeparators();
        return at_ >= text_.size();
    }
    char peek() { return atEnd() ? '\0' : text_[at_]; }
    char take() { return text_[at_++]; }
    bool startsNumber() {
        const char c = peek();
        return isDigit(c) || c == '-' || c == '+' || c == '.';
    }

    bool number(double& value) {
        skipSeparators();
        std::size_t at = at_;
        double sign = 1;
        if (at < text_.size() && (text_[at] == '-' || text_[at] == '+')) sign = text_[at++] == '-' ? -1 : 1;
        double mantissa = 0;
        int scale = 0;
        bool digits = false;
        for (; at < text_.size() && isDigit(text_[at]); ++at, digits = true)
            mantissa = mantissa * 10 + (text_[at] - '0');
        if (at < text_.size() && text_[at] == '.') {
            for (++at; at < text_.size() && isDigit(text_[at]); ++at, digits = true) {
                mantissa = mantissa * 10 + (text_[at] - '0');
                --scale;
            }
        }
        if (!digits) return false;
        if (at + 1 < text_.size() && (text_[at] == 'e' || text_[at] == 'E') &&
            (isDigit(text_[at + 1]) ||
             ((text_[at + 1] == '-' || text_[at + 1] == '+') && at + 2 < text_.size() && isDigit(text_[at + 2])))) {
            ++at;
            int exponentSign = 1;
            if (text_[at] == '-' || text_[at] == '+') exponentSign = text_[at++] == '-' ? -1 : 1;
            int exponent = 0;
            for (; at < text_.size() && isDigit(text_[at]); ++at)
                exponent = std::min(exponent * 10 + (text_[at] - '0'), 400);
            scale += exponentSign * exponent;
        }
        at_ = at;
        value = sign * mantissa * std::pow(10.0, scale);
        return std::isfinite(value);
    }

    bool flag(bool& value) {
        skipSeparators();
        if (at_ >= text_.size() || (text_[at_] != '0' && text_[at_] != '1')) return false;
        value = text_[at_++] == '1';
        return true;
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

double angleBetween(SvgPoint u, SvgPoint v) { return std::atan2(u.x * v.y - u.y * v.x, u.x * v.x + u.y * v.y); }

// `control` is the point the smooth curves reflect.
struct PathState {
    SvgPathBuilder& path;
    SvgPoint control;
    char last = ' ';
};

bool point(NumberReader& in, bool relative, SvgPoint from, SvgPoint& p) {
    if (!in.number(p.x) || !in.number(p.y)) return false;
    if (relative) p = p + from;
    return true;
}

// One path command with its arguments read; false at an error.
bool applyCommand(char command, NumberReader& in, PathState& state) {
    SvgPathBuilder& path = state.path;
    const bool relative = command >= 'a' && command <= 'z';
    const char kind = static_cast<char>(relative ? command - 32 : command);
    const SvgPoint from = path.current();
    SvgPoint p, c1, c2;
    const bool smoothAfterCubic = state.last == 'C' || state.last == 'S';
    const bool smoothAfterQuad = state.last == 'Q' || state.last == 'T';
    switch (kind) {
    case 'M':
        if (!point(in, relative, from, p)) return false;
        path.moveTo(p);
        break;
    case 'L':
        if (!point(in, relative, from, p)) return false;
        path.lineTo(p);
        break;
    case 'H':
        if (!in.number(p.x)) return false;
        path.lineTo({relative ? from.x + p.x : p.x, from.y});
        break;
    case 'V':
        if (!in.number(p.y)) return false;
        path.lineTo({from.x, relative ? from.y + p.y : p.y});
        break;
    case 'C':
        if (!point(in, relative, from, c1) || !point(in, relative, from, c2) || !point(in, relative, from, p))
            return false;
        path.cubicTo(c1, c2, p);
        state.control = c2;
        break;
    case 'S':
        if (!point(in, relative, from, c2) || !point(in, relative, from, p)) return false;
        c1 = smoothAfterCubic ? from * 2 - state.control : from;
        path.cubicTo(c1, c2, p);
        state.control = c2;
        break;
    case 'Q':
        if (!point(in, relative, from, c1) || !point(in, relative, from, p)) return false;
        path.quadTo(c1, p);
        state.control = c1;
        break;
    case 'T':
        if (!point(in, relative, from, p)) return false;
        c1 = smoothAfterQuad ? from * 2 - state.control : from;
        path.quadTo(c1, p);
        state.control = c1;
        break;
    case 'A': {
        double rx = 0, ry = 0, rotation = 0;
        bool large = false, sweep = false;
        if (!in.number(rx) || !in.number(ry) || !in.number(rotation) || !in.flag(large) || !in.flag(sweep) ||
            !point(in, relative, from, p))
            return false;
        path.arcTo(rx, ry, rotation, large, sweep, p);
        break;
    }
    case 'Z':
        path.close();
        break;
    default:
        return false;
    }
    state.last = kind;
    return true;
}

SvgPolygon circle(SvgPoint centre, double radius, double tolerance) {
    const double step = 2 * std::acos(std::max(-1.0, 1 - tolerance / std::max(radius, tolerance)));
    const int count = std::clamp(static_cast<int>(std::ceil(2 * kPi / std::max(step, 1e-3))), 8, kMaxCurveSteps);
    SvgPolygon polygon;
    for (int i = 0; i < count; ++i) {
        const double angle = 2 * kPi * i / count;
        polygon.push_back({centre.x + radius * std::cos(angle), centre.y + radius * std::sin(angle)});
    }
    return polygon;
}

SvgPoint unitNormal(SvgPoint from, SvgPoint to) {
    const SvgPoint d = to - from;
    const double l = length(d);
    return {-d.y / l, d.x / l};
}

// How many steps an arc of `angle` radians and `radius` needs to stay within `tolerance`.
int arcSteps(double angle, double radius, double tolerance) {
    const double step = 2 * std::acos(std::max(-1.0, 1 - tolerance / std::max(radius, tolerance)));
    return std::clamp(static_cast<int>(std::ceil(std::fabs(angle) / std::max(step, 1e-3))), 1, kMaxCurveSteps);
}

// Points on the circle around `centre` from `centre + from`, turning by `angle`, the start left out.
void addArc(SvgPolygon& out, SvgPoint centre, SvgPoint from, double angle, double tolerance) {
    const double radius = length(from), start = std::atan2(from.y, from.x);
    const int n = arcSteps(angle, radius, tolerance);
    for (int i = 1; i <= n; ++i) {
        const double a = start + angle * i / n;
        out.push_back({centre.x + radius * std::cos(a), centre.y + radius * std::sin(a)});
    }
}

// One side of a stroke around a corner: `side` is +1 for the left offset, -1 for the right.
// The inside of a turn passes through the corner itself, so the nonzero rule fills it.
void addJoin(SvgPolygon& out, SvgPoint before, SvgPoint at, SvgPoint after, double side, const SvgStroke& stroke,
             double tolerance) {
    const double half = stroke.width / 2;
    const SvgPoint n1 = unitNormal(before, at), n2 = unitNormal(at, after);
    const SvgPoint d1 = at - before, d2 = after - at;
    const double cross = d1.x * d2.y - d1.y * d2.x;
    const SvgPoint o1 = at + n1 * (side * half), o2 = at + n2 * (side * half);
    const bool reverses = cross == 0 && d1.x * d2.x + d1.y * d2.y < 0;
    const bool outside = reverses || (cross != 0 && side == (cross > 0 ? -1 : 1));
    out.push_back(o1);
    if (cross == 0 && !reverses) return;
    if (!outside) {
        out.push_back(at);
    } else if (stroke.join == SvgLineJoin::Round || reverses) {
        // Round the outside; a line that turns straight back goes round its end.
        addArc(out, at, o1 - at, reverses ? -kPi * side : angleBetween(o1 - at, o2 - at), tolerance);
        return;
    } else {
        const SvgPoint bisector = n1 + n2;
        const double cosHalf = length(bisector) / 2;
        if (stroke.join == SvgLineJoin::Miter && cosHalf > 1e-9 && 1 / cosHalf <= stroke.miterLimit)
            out.push_back(at + bisector * (side * half / (length(bisector) * cosHalf)));
    }
    out.push_back(o2);
}

// From the left offset of `end` round to its right one, across the end of the line.
void addCap(SvgPolygon& out, SvgPoint end, SvgPoint forward, const SvgStroke& stroke, double tolerance) {
    const double half = stroke.width / 2;
    const SvgPoint n{-forward.y * half, forward.x * half}, d = forward * half;
    if (stroke.cap == SvgLineCap::Round) {
        addArc(out, end, n, -kPi, tolerance);
        return;
    }
    if (stroke.cap == SvgLineCap::Square) {
        out.push_back(end + n + d);
        out.push_back(end - n + d);
    }
    out.push_back(end - n);
}

// Charges the points of the last piece added; false once the budget is spent.
bool spend(const std::vector<SvgPolygon>& pieces, long long& pointsLeft) {
    if (!pieces.empty()) pointsLeft -= static_cast<long long>(pieces.back().size());
    return pointsLeft > 0;
}

std::vector<SvgPoint> withoutRepeats(const SvgSubpath& subpath) {
    std::vector<SvgPoint> points;
    for (const SvgPoint p : subpath.points)
        if (points.empty() || length(p - points.back()) > 1e-9) points.push_back(p);
    if (subpath.closed && points.size() > 1 && length(points.front() - points.back()) <= 1e-9) points.pop_back();
    return points;
}

SvgPoint direction(SvgPoint from, SvgPoint to) {
    const SvgPoint d = to - from;
    return d * (1 / length(d));
}

// One offset of a polyline with its joins; `side` +1 walks the left, -1 the right.
void addOffset(SvgPolygon& out, const std::vector<SvgPoint>& points, bool closed, double side, const SvgStroke& stroke,
               double tolerance) {
    const std::size_t count = points.size();
    const double half = stroke.width / 2;
    if (!closed) out.push_back(points[0] + unitNormal(points[0], points[1]) * (side * half));
    for (std::size_t i = closed ? 0 : 1; i < (closed ? count : count - 1); ++i)
        addJoin(out, points[(i + count - 1) % count], points[i], points[(i + 1) % count], side, stroke, tolerance);
    if (!closed) out.push_back(points[count - 1] + unitNormal(points[count - 2], points[count - 1]) * (side * half));
}

// A stroke as one outline (an open line: out along the left, round the end, back along the
// right) or two rings of opposite turn (a closed one), so each row meets few edges.
void strokeSubpath(std::vector<SvgPolygon>& out, const SvgSubpath& subpath, const SvgStroke& stroke, double tolerance,
                   long long& pointsLeft) {
    const std::vector<SvgPoint> points = withoutRepeats(subpath);
    const double half = stroke.width / 2;
    if (points.size() == 1) {
        if (stroke.cap == SvgLineCap::Round) out.push_back(circle(points[0], half, tolerance));
        if (stroke.cap == SvgLineCap::Square)
            out.push_back({points[0] + SvgPoint{-half, -half}, points[0] + SvgPoint{half, -half},
                           points[0] + SvgPoint{half, half}, points[0] + SvgPoint{-half, half}});
        spend(out, pointsLeft);
        return;
    }
    const std::size_t count = points.size();
    if (subpath.closed && count > 2) {
        out.emplace_back();
        addOffset(out.back(), points, true, 1, stroke, tolerance);
        spend(out, pointsLeft);
        const std::vector<SvgPoint> backwards(points.rbegin(), points.rend());
        out.emplace_back();
        addOffset(out.back(), backwards, true, 1, stroke, tolerance);
        spend(out, pointsLeft);
        return;
    }
    SvgPolygon outline;
    addOffset(outline, points, false, 1, stroke, tolerance);
    addCap(outline, points[count - 1], direction(points[count - 2], points[count - 1]), stroke, tolerance);
    const std::vector<SvgPoint> backwards(points.rbegin(), points.rend());
    SvgPolygon back;
    addOffset(back, backwards, false, 1, stroke, tolerance);
    outline.insert(outline.end(), back.begin() + 1, back.end());
    addCap(outline, points[0], direction(points[1], points[0]), stroke, tolerance);
    out.push_back(std::move(outline));
    spend(out, pointsLeft);
}

}  // namespace

void SvgPathBuilder::add(SvgPoint p) {
    if (pointsLeft_ <= 0) return;
    --pointsLeft_;
    if (outline_.empty()) outline_.push_back({{start_}, false});
    outline_.back().points.push_back(p);
    current_ = p;
}

int SvgPathBuilder::steps(double extent) const {
    // Clamped before the cast: a hostile curve's extent is far past what an int holds.
    const double wanted = std::ceil(std::sqrt(extent / tolerance_));
    if (!(wanted >= 1)) return 1;
    return static_cast<int>(std::min(wanted, static_cast<double>(kMaxCurveSteps)));
}

// A lone moveto draws nothing, not even a dot.
void SvgPathBuilder::dropLoneStart() {
    if (!outline_.empty() && outline_.back().points.size() == 1) outline_.pop_back();
}

void SvgPathBuilder::moveTo(SvgPoint p) {
    if (pointsLeft_ <= 0) return;
    --pointsLeft_;
    dropLoneStart();
    start_ = current_ = p;
    outline_.push_back({{p}, false});
}

void SvgPathBuilder::lineTo(SvgPoint p) { add(p); }

void SvgPathBuilder::quadTo(SvgPoint control, SvgPoint end) {
    const SvgPoint from = current_;
    const int n = steps(length(from - control * 2 + end) / 4);
    for (int i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n, u = 1 - t;
        add(from * (u * u) + control * (2 * u * t) + end * (t * t));
    }
}

void SvgPathBuilder::cubicTo(SvgPoint c1, SvgPoint c2, SvgPoint end) {
    const SvgPoint from = current_;
    const double bend = std::max(length(from - c1 * 2 + c2), length(c1 - c2 * 2 + end));
    const int n = steps(bend * 0.75);
    for (int i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n, u = 1 - t;
        add(from * (u * u * u) + c1 * (3 * u * u * t) + c2 * (3 * u * t * t) + end * (t * t * t));
    }
}

// The endpoint-to-centre conversion of the SVG implementation notes.
void SvgPathBuilder::arcTo(double rx, double ry, double rotationDegrees, bool largeArc, bool sweep, SvgPoint end) {
    const SvgPoint from = current_;
    rx = std::fabs(rx);
    ry = std::fabs(ry);
    if (rx < 1e-12 || ry < 1e-12 || length(end - from) < 1e-12) {
        add(end);
        return;
    }
    const double phi = rotationDegrees * kPi / 180, cosPhi = std::cos(phi), sinPhi = std::sin(phi);
    const SvgPoint half = (from - end) * 0.5;
    const double x1 = cosPhi * half.x + sinPhi * half.y, y1 = -sinPhi * half.x + cosPhi * half.y;
    const double lambda = x1 * x1 / (rx * rx) + y1 * y1 / (ry * ry);
    if (lambda > 1) {
        rx *= std::sqrt(lambda);
        ry *= std::sqrt(lambda);
    }
    const double numerator = rx * rx * ry * ry - rx * rx * y1 * y1 - ry * ry * x1 * x1;
    const double denominator = rx * rx * y1 * y1 + ry * ry * x1 * x1;
    double coefficient = denominator > 0 ? std::sqrt(std::max(0.0, numerator / denominator)) : 0;
    if (largeArc == sweep) coefficient = -coefficient;
    const double cx1 = coefficient * rx * y1 / ry, cy1 = -coefficient * ry * x1 / rx;
    const SvgPoint centre{cosPhi * cx1 - sinPhi * cy1 + (from.x + end.x) / 2,
                          sinPhi * cx1 + cosPhi * cy1 + (from.y + end.y) / 2};
    const SvgPoint u{(x1 - cx1) / rx, (y1 - cy1) / ry}, v{(-x1 - cx1) / rx, (-y1 - cy1) / ry};
    const double theta = angleBetween({1, 0}, u);
    double delta = angleBetween(u, v);
    if (!sweep && delta > 0) delta -= 2 * kPi;
    if (sweep && delta < 0) delta += 2 * kPi;
    const double radius = std::max(rx, ry);
    const double step = 2 * std::acos(std::max(-1.0, 1 - tolerance_ / std::max(radius, tolerance_)));
    const int n = std::clamp(static_cast<int>(std::ceil(std::fabs(delta) / std::max(step, 1e-3))), 1, kMaxCurveSteps);
    for (int i = 1; i < n; ++i) {
        const double angle = theta + delta * i / n;
        const double ex = rx * std::cos(angle), ey = ry * std::sin(angle);
        add({centre.x + cosPhi * ex - sinPhi * ey, centre.y + sinPhi * ex + cosPhi * ey});
    }
    add(end);
}

void SvgPathBuilder::close() {
    if (outline_.empty()) return;
    outline_.back().closed = true;
    current_ = start_;
    // Drawing on after a close starts a new subpath at the same point.
    outline_.push_back({{start_}, false});
}

bool readPathData(std::string_view data, SvgPathBuilder& path, std::size_t& commandsLeft) {
    NumberReader in(data);
    PathState state{path, {}, ' '};
    char command = '\0';
    while (!in.atEnd() && !path.exhausted()) {
        if (commandsLeft == 0) return false;
        --commandsLeft;
        if (!in.startsNumber()) {
            command = in.take();
        } else if (command == '\0' || command == 'Z' || command == 'z') {
            return true;  // numbers without a command
        } else if (command == 'M') {
            command = 'L';  // coordinates after a moveto are lines
        } else if (command == 'm') {
            command = 'l';
        }
        if (state.last == ' ' && command != 'M' && command != 'm') return true;  // must start with a moveto
        if (!applyCommand(command, in, state)) return true;
    }
    return true;
}

std::vector<double> readNumberList(std::string_view text) {
    NumberReader in(text);
    std::vector<double> numbers;
    for (double value = 0; in.number(value);) numbers.push_back(value);
    return numbers;
}

void addEllipse(SvgPathBuilder& path, double cx, double cy, double rx, double ry) {
    path.moveTo({cx + rx, cy});
    path.arcTo(rx, ry, 0, false, true, {cx - rx, cy});
    path.arcTo(rx, ry, 0, false, true, {cx + rx, cy});
    path.close();
}

void addRoundedRect(SvgPathBuilder& path, double x, double y, double width, double height, double rx, double ry) {
    rx = std::min(rx, width / 2);
    ry = std::min(ry, height / 2);
    if (rx <= 0 || ry <= 0) {
        path.moveTo({x, y});
        path.lineTo({x + width, y});
        path.lineTo({x + width, y + height});
        path.lineTo({x, y + height});
        path.close();
        return;
    }
    path.moveTo({x + rx, y});
    path.lineTo({x + width - rx, y});
    path.arcTo(rx, ry, 0, false, true, {x + width, y + ry});
    path.lineTo({x + width, y + height - ry});
    path.arcTo(rx, ry, 0, false, true, {x + width - rx, y + height});
    path.lineTo({x + rx, y + height});
    path.arcTo(rx, ry, 0, false, true, {x, y + height - ry});
    path.lineTo({x, y + ry});
    path.arcTo(rx, ry, 0, false, true, {x + rx, y});
    path.close();
}

std::vector<SvgPolygon> strokeOutline(const SvgOutline& outline, const SvgStroke& stroke, double tolerance,
                                      long long& pointsLeft) {
    std::vector<SvgPolygon> out;
    if (!(stroke.width > 0)) return out;
    for (const SvgSubpath& subpath : outline)
        if (pointsLeft > 0) strokeSubpath(out, subpath, stroke, tolerance, pointsLeft);
    return out;
}

}  // namespace mobigen
