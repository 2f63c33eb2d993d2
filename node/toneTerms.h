// Cool-to-warm tone terms shared by the Maya node and the mental ray shader.
//
// Both deliverables blend, for every light, a cool colour (a blue base plus a share
// of the surface colour) and a warm colour (a yellow base plus a share of the
// surface colour) by the tone weight, the angle between the normal and the
// direction to the light. These few inline functions are the only definition of
// those terms; the shader includes this header at build time, nothing is shared
// at run time.
//
// Single precision throughout, evaluated exactly in the order written (the build
// turns off FMA contraction so both deliverables round the same way).
#ifndef COOLWARM_TONE_TERMS_H
#define COOLWARM_TONE_TERMS_H

namespace tone {

// A triple of single-precision floats: a direction (x, y, z) or a colour (R, G, B).
struct Triple {
    float x, y, z;
};

inline Triple operator+(const Triple& a, const Triple& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Triple operator-(const Triple& a, const Triple& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Triple operator-(const Triple& a) { return {-a.x, -a.y, -a.z}; }
// Component-by-component product (colour times colour).
inline Triple operator*(const Triple& a, const Triple& b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
inline Triple operator*(float s, const Triple& a) { return {s * a.x, s * a.y, s * a.z}; }
inline Triple operator*(const Triple& a, float s) { return {a.x * s, a.y * s, a.z * s}; }

inline float dot(const Triple& a, const Triple& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Cool colour Kc = (0, 0, blue) + alpha * C.
inline Triple coolColour(const Triple& colour, float alpha, float blue)
{
    return {alpha * colour.x, alpha * colour.y, blue + alpha * colour.z};
}

// Warm colour Kw = (yellow, yellow, 0) + beta * C.
inline Triple warmColour(const Triple& colour, float beta, float yellow)
{
    return {yellow + beta * colour.x, yellow + beta * colour.y, beta * colour.z};
}

// Tone weight t = (1 + N.L) / 2: 1 facing the light, 0 turned away. Not clamped, so
// an unnormalised normal extrapolates beyond the cool or warm colour.
inline float toneWeight(float cosine) { return (1.0f + cosine) / 2.0f; }

// Tone colour = t * Kc + (1 - t) * Kw.
inline Triple toneColour(float weight, const Triple& cool, const Triple& warm)
{
    const float rest = 1.0f - weight;
    return {weight * cool.x + rest * warm.x, weight * cool.y + rest * warm.y, weight * cool.z + rest * warm.z};
}

}  // namespace tone

#endif
