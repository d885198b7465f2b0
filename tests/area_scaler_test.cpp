#include "mobigen/images/area_scaler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <tuple>
#include <vector>

using namespace mobigen;

// Against the exact area average in doubles, for one, two, three and many taps, a growth and
// each channel layout (alpha kept or dropped).
TEST(AreaScaler, EveryPixelIsTheAreaAverageWithinALevel) {
    for (const auto& [w, h, channels, toW, toH, keepAlpha] : {std::tuple{1200, 90, 3, 1072, 80, false},
                                                              {301, 77, 4, 100, 20, true},
                                                              {301, 77, 4, 37, 11, false},
                                                              {50, 40, 1, 7, 3, false},
                                                              {9, 7, 2, 20, 15, true},
                                                              {64, 5, 2, 64, 1, false}}) {
        Raster in{w, h, channels, std::vector<std::uint8_t>(static_cast<std::size_t>(w * h * channels))};
        std::uint32_t state = 7;
        for (std::uint8_t& value : in.pixels)
            value = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
        const Raster out = areaScaled(in.view(), toW, toH, keepAlpha);
        const int kept = keepAlpha || channels % 2 == 1 ? channels : channels - 1;
        ASSERT_EQ(out.pixels.size(), static_cast<std::size_t>(toW * toH * kept));
        const double rx = static_cast<double>(w) / toW, ry = static_cast<double>(h) / toH;
        for (int at = 0; at < toW * toH * kept; ++at) {
            const int x = at / kept % toW, y = at / kept / toW;
            double sum = 0;
            for (int sy = static_cast<int>(y * ry); sy < std::min(h, static_cast<int>(std::ceil((y + 1) * ry))); ++sy)
                for (int sx = static_cast<int>(x * rx); sx < std::min(w, static_cast<int>(std::ceil((x + 1) * rx)));
                     ++sx)
                    sum += (std::min((x + 1) * rx, sx + 1.0) - std::max(x * rx, 1.0 * sx)) *
                           (std::min((y + 1) * ry, sy + 1.0) - std::max(y * ry, 1.0 * sy)) *
                           in.pixels[static_cast<std::size_t>((sy * w + sx) * channels + at % kept)];
            ASSERT_NEAR(out.pixels[static_cast<std::size_t>(at)], sum / (rx * ry), 1.0)
                << w << "x" << h << " at " << at;
        }
    }
}
