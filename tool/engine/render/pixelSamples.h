// Internal to render/: where in a pixel each of its samples falls.
#ifndef COOLWARM_TOOL_PIXELSAMPLES_H
#define COOLWARM_TOOL_PIXELSAMPLES_H

#include <cmath>

namespace cwtool {

// A fixed, well-spread sub-pixel position for sample s of n.
inline void samplePosition(int s, int n, float& dx, float& dy)
{
    if (n == 1) {
        dx = dy = 0.5f;
        return;
    }
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<float>(n))));
    const unsigned h = static_cast<unsigned>(s) * 2654435761u;
    dx = (static_cast<float>(s % side) + 0.25f + 0.5f * static_cast<float>((h >> 8) & 0xFF) / 256.0f) / side;
    dy = (static_cast<float>(s / side % side) + 0.25f + 0.5f * static_cast<float>((h >> 16) & 0xFF) / 256.0f) / side;
}

}  // namespace cwtool

#endif
