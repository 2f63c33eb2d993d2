#include "toneModel.h"

#include <cmath>

namespace tone {

void normalise(Triple& v)
{
    const float lensq = v.x * v.x + v.y * v.y + v.z * v.z;
    // Below this the direction is meaningless; keep it rather than divide by ~0.
    // The comparison is in double and the components are multiplied, not divided,
    // exactly as the host does it.
    if (!(lensq > 1e-20))
        return;
    const float factor = 1.0f / std::sqrt(lensq);
    v.x *= factor;
    v.y *= factor;
    v.z *= factor;
}

Triple halfVector(const Triple& light, const Triple& view)
{
    Triple h = light + (-view);
    normalise(h);
    return h;
}

void addAmbient(ToneSums& sums, const ToneInputs& in, const Triple& intensity)
{
    sums.ambient = sums.ambient + intensity * in.colour;
}

void addDiffuse(ToneSums& sums, const ToneInputs& in, const Triple& direction, float preShadowIntensity)
{
    // The light's colour does not enter the tone term, only its pre-shadow intensity.
    const float t = toneWeight(dot(in.normal, direction));
    const Triple cool = coolColour(in.colour, in.alpha, in.blue);
    const Triple warm = warmColour(in.colour, in.beta, in.yellow);
    sums.diffuse = sums.diffuse + (toneColour(t, cool, warm) * preShadowIntensity) * in.diffuse;
}

void addSpecular(ToneSums& sums, const ToneInputs& in, const Triple& half, const Triple& intensity)
{
    float c = dot(half, in.normal);
    // Zero, negative and NaN cosines give no highlight.
    if (!(c > 0.0f))
        c = 0.0f;
    const float s = std::pow(c, specularExponent(in.eccentricity)) * in.rollOff;
    sums.specular = sums.specular + (s * intensity) * in.specularColour;
}

void addTranslucence(ToneSums& sums, const ToneInputs& in, const Triple& intensity)
{
    // Every light adds translucence, whatever its switches and its angle.
    sums.translucence = sums.translucence + (in.colour * intensity) * in.translucence;
}

void addLight(ToneSums& sums, const ToneInputs& in, const LightElement& light)
{
    if (light.ambient)
        addAmbient(sums, in, light.intensity);
    if (light.diffuse)
        addDiffuse(sums, in, light.direction, light.preShadowIntensity);
    if (light.specular)
        addSpecular(sums, in, halfVector(light.direction, in.view), light.intensity);
    addTranslucence(sums, in, light.intensity);
}

Triple outlineFactor(const ToneInputs& in, const Triple& unitNormal, const Triple& unitView)
{
    const Triple eye = -unitView;
    const float g = std::fabs(dot(eye, unitNormal));
    if (in.outlineWidth > g)
        return in.outlineColour;
    return {1.0f, 1.0f, 1.0f};
}

Triple outlineFactor(const ToneInputs& in)
{
    Triple n = in.normal;
    Triple v = in.view;
    normalise(n);
    normalise(v);
    return outlineFactor(in, n, v);
}

Triple toneResult(const ToneSums& sums, const ToneInputs& in, const Triple& outline)
{
    const Triple white{1.0f, 1.0f, 1.0f};
    const Triple lit = sums.ambient + (((sums.diffuse + in.ambientColour * in.colour) + in.incandescence) + sums.translucence);
    // The highlight is added last: neither the outline nor the opacity touches it.
    return (lit * outline) * (white - in.transparency) + sums.specular;
}

Triple toneShade(const ToneInputs& in, const LightElement* lights, std::size_t count)
{
    ToneSums sums;
    for (std::size_t i = 0; i < count; ++i)
        addLight(sums, in, lights[i]);
    return toneResult(sums, in, outlineFactor(in));
}

}  // namespace tone
