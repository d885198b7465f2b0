#pragma once

// SVG geometry in user units: path data and the basic shapes flattened into polylines, and
// strokes turned into outlines that can be filled.

#include "mobigen/images/svg_raster.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace mobigen {

struct SvgSubpath {
    std::vector<SvgPoint> points;
    bool closed = false;
};
using SvgOutline = std::vector<SvgSubpath>;

// Flattens curves into lines no further than `tolerance` from the curve. Every point
// counts against a budget shared by the whole picture; once it is spent, nothing more is added.
class SvgPathBuilder {
public:
    SvgPathBuilder(double tolerance, long long& pointsLeft) : tolerance_(tolerance), pointsLeft_(pointsLeft) {}

    void moveTo(SvgPoint p);
    void lineTo(SvgPoint p);
    void quadTo(SvgPoint control, SvgPoint end);
    void cubicTo(SvgPoint c1, SvgPoint c2, SvgPoint end);
    void arcTo(double rx, double ry, double rotationDegrees, bool largeArc, bool sweep, SvgPoint end);
    void close();

    SvgPoint current() const { return current_; }
    bool exhausted() const { return pointsLeft_ <= 0; }
    SvgOutline take() {
        dropLoneStart();
        return std::move(outline_);
    }

private:
    void dropLoneStart();
    void add(SvgPoint p);
    int steps(double length) const;

    double tolerance_;
    long long& pointsLeft_;
    SvgOutline outline_;
    SvgPoint start_;
    SvgPoint current_;
};

// Follows path data (every command, relative and absolute). Stops at the first error, as
// SVG renders a path up to it, or when `commandsLeft` runs out; false when cut short by that.
bool readPathData(std::string_view data, SvgPathBuilder& path, std::size_t& commandsLeft);

// Numbers separated by white space or commas, as polyline points and viewBox use them.
std::vector<double> readNumberList(std::string_view text);

void addEllipse(SvgPathBuilder& path, double cx, double cy, double rx, double ry);
void addRoundedRect(SvgPathBuilder& path, double x, double y, double width, double height, double rx, double ry);

enum class SvgLineCap { Butt, Round, Square };
enum class SvgLineJoin { Miter, Round, Bevel };

struct SvgStroke {
    double width = 1;
    SvgLineCap cap = SvgLineCap::Butt;
    SvgLineJoin join = SvgLineJoin::Miter;
    double miterLimit = 4;
};

// The area a stroke covers, as pieces that all wind the same way, so that filling them with
// the nonzero rule gives their union. `tolerance` flattens round joins and caps; their points
// count against the picture's budget too.
std::vector<SvgPolygon> strokeOutline(const SvgOutline& outline, const SvgStroke& stroke, double tolerance,
                                      long long& pointsLeft);

}  // namespace mobigen
