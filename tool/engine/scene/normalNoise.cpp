#include "normalNoise.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace cwtool {

namespace {

const float kDegreesPerRadian = 57.2957795f;

// The faces around a corner that its file normal smooths across: those within
// 50 degrees of it. A hard edge's faces (a box's, at 90 degrees) are not; the
// faces of a coarse smooth surface (an eight-sided cylinder's, 22.5 degrees
// either side of its normal) are.
const float kSameSide = 0.64f;

// Corners looked at around one position, at most.
const std::size_t kRing = 16;

Vec3 unitOrZero(const Vec3& v)
{
    const float l = length(v);
    return l > 0.0f ? (1.0f / l) * v : Vec3{0.0f, 0.0f, 0.0f};
}

float angleBetween(const Vec3& a, const Vec3& b)
{
    return std::acos(std::max(-1.0f, std::min(1.0f, tone::dot(a, b))));
}

}  // namespace

float medianNormalStray(const std::vector<Vec3>& positions, const std::vector<ObjArrays::Corner>& corners,
                        const std::vector<Vec3>& normals, std::size_t samplePositions)
{
    const std::size_t cornerCount = corners.size() / 3 * 3;
    if (positions.empty() || !cornerCount)
        return -1.0f;
    // Every 2^shift-th position.
    int shift = 0;
    while ((positions.size() >> shift) > samplePositions)
        ++shift;
    const std::size_t sampled = ((positions.size() - 1) >> shift) + 1, mask = (std::size_t(1) << shift) - 1;
    auto isSampled = [&](const ObjArrays::Corner& c) { return (static_cast<std::size_t>(c.vertex) & mask) == 0; };

    // The corners at each sampled position, in one pass: ring[kRing * s] on,
    // count[s] of them. A position with more (a fan's tip) is left out.
    std::vector<std::uint32_t> ring(kRing * sampled);
    std::vector<std::uint8_t> count(sampled, 0);
    for (std::size_t c = 0; c < cornerCount; ++c)
        if (isSampled(corners[c])) {
            const std::size_t s = static_cast<std::size_t>(corners[c].vertex) >> shift;
            if (count[s] < kRing)
                ring[kRing * s + count[s]] = static_cast<std::uint32_t>(c);
            count[s] = static_cast<std::uint8_t>(std::min<std::size_t>(count[s] + 1, kRing + 1));
        }

    std::vector<float> strays;
    std::vector<Vec3> faceNormal;
    std::vector<float> faceAngle;
    for (std::size_t s = 0; s < sampled; ++s) {
        // Each face's normal and its angle at the position, once.
        faceNormal.clear();
        faceAngle.clear();
        if (count[s] > kRing)
            continue;
        const std::uint32_t* around = &ring[kRing * s];
        for (std::size_t i = 0; i < count[s]; ++i) {
            const std::size_t c = around[i], f = c / 3 * 3;
            const Vec3& p = positions[corners[c].vertex];
            const Vec3& a = positions[corners[f + (c - f + 1) % 3].vertex];
            const Vec3& b = positions[corners[f + (c - f + 2) % 3].vertex];
            faceNormal.push_back(unitOrZero(cross(a - p, b - p)));
            faceAngle.push_back(angleBetween(unitOrZero(a - p), unitOrZero(b - p)));
        }
        for (std::size_t i = 0; i < count[s]; ++i) {
            const int given = corners[around[i]].normal;
            const Vec3& own = faceNormal[i];
            if (given < 0 || length(own) == 0.0f)
                continue;
            const Vec3 n = tone::dot(normals[given], own) < 0.0f ? -normals[given] : normals[given];
            Vec3 surface{0.0f, 0.0f, 0.0f};
            for (std::size_t j = 0; j < count[s]; ++j)
                if (tone::dot(n, faceNormal[j]) >= kSameSide)
                    surface = surface + faceAngle[j] * faceNormal[j];
            if (length(surface) > 0.0f)
                strays.push_back(angleBetween(n, unitOrZero(surface)));
        }
    }
    if (strays.empty())
        return -1.0f;
    std::nth_element(strays.begin(), strays.begin() + strays.size() / 2, strays.end());
    return strays[strays.size() / 2] * kDegreesPerRadian;
}

}  // namespace cwtool
