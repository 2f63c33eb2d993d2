// What a picture of one object is like: how much of it is cool, warm, or an
// isolated speck, and where it sits in the frame.
#ifndef COOLWARM_TEST_PICTURE_STATS_H
#define COOLWARM_TEST_PICTURE_STATS_H

#include <algorithm>
#include <cmath>
#include <vector>

namespace pictures {

struct Stats {
    int object = 0, cool = 0, warm = 0, specks = 0;
    int left = 0, right = 0, top = 0, bottom = 0;  // background columns and rows around the object
    std::vector<std::pair<int, int>> speckAt;      // where the first few specks are
    double coolShare() const { return object ? static_cast<double>(cool) / object : 0.0; }
    double warmShare() const { return object ? static_cast<double>(warm) / object : 0.0; }
    double speckShare() const { return object ? static_cast<double>(specks) / object : 0.0; }
};

// `rgb`: linear colour, 3 floats a pixel, rows from the top. A pixel is cool
// when blue leads both other channels, warm when red and green lead blue. A
// speck is a pixel inside the object (all eight neighbours object too) that
// differs from every neighbour by more than a tenth in some channel, while
// those neighbours agree among themselves: a dot of another colour.
inline Stats measure(const float* rgb, int w, int h, float background)
{
    auto px = [&](int x, int y) { return rgb + 3 * (static_cast<std::size_t>(y) * w + x); };
    auto isBackground = [&](int x, int y) {
        const float* c = px(x, y);
        return std::fabs(c[0] - background) < 1e-3f && std::fabs(c[1] - background) < 1e-3f &&
               std::fabs(c[2] - background) < 1e-3f;
    };
    auto differ = [&](const float* a, const float* b) {
        return std::max({std::fabs(a[0] - b[0]), std::fabs(a[1] - b[1]), std::fabs(a[2] - b[2])}) > 0.1f;
    };
    Stats s;
    int x0 = w, x1 = -1, y0 = h, y1 = -1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (isBackground(x, y))
                continue;
            ++s.object;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
            const float* c = px(x, y);
            if (c[2] > c[0] + 0.05f && c[2] > c[1] + 0.05f)
                ++s.cool;
            else if (c[0] > c[2] + 0.1f && c[1] > c[2] + 0.1f)
                ++s.warm;
            if (x == 0 || y == 0 || x == w - 1 || y == h - 1)
                continue;
            bool inside = true, apart = true;
            std::vector<const float*> around;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    if (!dx && !dy)
                        continue;
                    inside = inside && !isBackground(x + dx, y + dy);
                    apart = apart && differ(c, px(x + dx, y + dy));
                    around.push_back(px(x + dx, y + dy));
                }
            if (!inside || !apart)
                continue;
            int agreeing = 0;
            for (const float* a : around)
                agreeing += !differ(a, around[0]);
            if (agreeing >= 6 && ++s.specks <= 10)
                s.speckAt.push_back({x, y});
        }
    if (x1 >= 0) {
        s.left = x0;
        s.right = w - 1 - x1;
        s.top = y0;
        s.bottom = h - 1 - y1;
    }
    return s;
}

}  // namespace pictures

#endif
