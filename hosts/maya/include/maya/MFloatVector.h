// Maya stand-in: MFloatVector, a single-precision triple.
#ifndef MAYA_STANDIN_MFLOATVECTOR_H
#define MAYA_STANDIN_MFLOATVECTOR_H

#include <maya/MStatus.h>
#include <maya/MTypes.h>

#include <cmath>

class MAYA_STANDIN_API MFloatVector {
public:
    MFloatVector() : x(0.0f), y(0.0f), z(0.0f) {}
    MFloatVector(float xx, float yy, float zz = 0.0) : x(xx), y(yy), z(zz) {}
    MFloatVector(const MFloatVector& other) : x(other.x), y(other.y), z(other.z) {}
    MFloatVector& operator=(const MFloatVector& other) { x = other.x; y = other.y; z = other.z; return *this; }

    // Dot product.
    float operator*(const MFloatVector& b) const { return x * b.x + y * b.y + z * b.z; }
    // Cross product.
    MFloatVector operator^(const MFloatVector& b) const
    {
        return MFloatVector(y * b.z - z * b.y, z * b.x - x * b.z, x * b.y - y * b.x);
    }
    MFloatVector operator*(float s) const { return MFloatVector(x * s, y * s, z * s); }
    friend MFloatVector operator*(float s, const MFloatVector& v) { return MFloatVector(s * v.x, s * v.y, s * v.z); }
    MFloatVector operator/(float s) const { return MFloatVector(x / s, y / s, z / s); }
    MFloatVector operator+(const MFloatVector& b) const { return MFloatVector(x + b.x, y + b.y, z + b.z); }
    MFloatVector& operator+=(const MFloatVector& b) { x += b.x; y += b.y; z += b.z; return *this; }
    MFloatVector operator-() const { return MFloatVector(-x, -y, -z); }
    MFloatVector operator-(const MFloatVector& b) const { return MFloatVector(x - b.x, y - b.y, z - b.z); }
    bool operator==(const MFloatVector& b) const { return x == b.x && y == b.y && z == b.z; }
    bool operator!=(const MFloatVector& b) const { return !(*this == b); }

    float length() const { return std::sqrt(x * x + y * y + z * z); }
    MFloatVector normal() const { MFloatVector n(*this); n.normalize(); return n; }
    // Maya's rule: a vector whose squared length is above 1e-20 (compared in
    // double) is multiplied by the reciprocal of its length; any other is left as
    // it is (zero stays zero, never NaN). Multiplying differs from dividing by the
    // length in the last bit for some vectors, so the rule is followed exactly.
    MStatus normalize()
    {
        const float lensq = x * x + y * y + z * z;
        if (lensq > 1e-20) {
            const float factor = 1.0f / std::sqrt(lensq);
            x *= factor;
            y *= factor;
            z *= factor;
        }
        return MStatus::kSuccess;
    }

    float x, y, z;
};

#endif
