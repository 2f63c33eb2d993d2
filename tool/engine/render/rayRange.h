// Internal to render/: what keeps every ray within the ray caster's range, so
// that its own checks never stop the tool.
#ifndef COOLWARM_TOOL_RAYRANGE_H
#define COOLWARM_TOOL_RAYRANGE_H

#include "scene/scene.h"

#include <algorithm>
#include <cmath>

namespace cwtool {

// The ray caster takes ray origins and directions of magnitude up to 1.844e18
// only; every ray cast stays within this.
constexpr float kRayRange = 1e18f;
// Vertices lie within this of the origin, so that a camera framing them, the
// shadow rays' offsets and the points hit all stay within kRayRange.
constexpr float kMaxCoordinate = 1e16f;

inline float largest(const Vec3& v) { return std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)}); }

// Finite and within the ray caster's range (false for NaN too).
inline bool castable(const Vec3& origin, const Vec3& dir)
{
    return largest(origin) <= kRayRange && largest(dir) <= kRayRange;
}

// The camera as asked for, unless its eye would leave the ray caster's range or
// sit on its target: then the distance is clamped, looking the same way.
inline CameraView castableView(CameraView view, const Camera& camera)
{
    const float targetSize = largest(view.target);
    const float nearest = std::max(1.0f, targetSize) * 1e-5f;  // well apart in single precision
    float distance = length(view.eye - view.target);
    if (largest(view.eye) <= kRayRange && distance >= nearest)
        return view;
    if (!(distance >= nearest))
        distance = nearest;
    distance = std::min(distance, kRayRange - targetSize);
    view.eye = view.target + distance * directionFromAngles(camera.azimuth, camera.elevation);
    return view;
}

}  // namespace cwtool

#endif
