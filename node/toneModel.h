// The coolwarm tone shading model, free of host types.
//
// Per sample inputs (named after the node attributes that carry them):
//
//   normal          N   normalCamera     surface normal, used as delivered for the lights
//   view            V   rayDirection     from the eye towards the sample
//   colour          C   color            surface colour
//   transparency    Tr  transparency     result scaled by (1 - Tr), highlight excepted
//   ambientColour   Ka  ambientColor     multiplied by C
//   incandescence   Ki  incandescence    added unchanged
//   diffuse         kd  diffuse          scale of the tone term
//   translucence    kt  translucence     scale of the translucence term
//   alpha, beta         alpha, beta      shares of C in the cool and warm colours
//   blue, yellow        blue, yellow     bases of the cool and warm colours
//   specularColour  Ks  specularColor    colour of the highlight
//   eccentricity    e   eccentricity     specular exponent is 6 / e
//   rollOff         r   specularRollOff  strength of the highlight
//   outlineWidth    w   outLineWidth     outline band where w > |dot(-V, N)|
//   outlineColour   Co  outLineColor     multiplier inside the outline band
//
// A light element is what the renderer hands over for one light: its colour times
// intensity I, the direction L towards it, the pre-shadow intensity p and the
// ambient / diffuse / specular switches.
#ifndef COOLWARM_TONE_MODEL_H
#define COOLWARM_TONE_MODEL_H

#include "toneTerms.h"

#include <cstddef>

namespace tone {

struct ToneInputs {
    Triple normal;
    Triple view;
    Triple colour;
    Triple transparency;
    Triple ambientColour;
    Triple incandescence;
    float diffuse;
    float translucence;
    float alpha;
    float beta;
    float blue;
    float yellow;
    Triple specularColour;
    float eccentricity;
    float rollOff;
    float outlineWidth;
    Triple outlineColour;
};

struct LightElement {
    Triple intensity;
    Triple direction;
    float preShadowIntensity;
    bool ambient;
    bool diffuse;
    bool specular;
};

// The four sums of one evaluation; each starts at black.
struct ToneSums {
    Triple ambient{0.0f, 0.0f, 0.0f};
    Triple diffuse{0.0f, 0.0f, 0.0f};
    Triple specular{0.0f, 0.0f, 0.0f};
    Triple translucence{0.0f, 0.0f, 0.0f};
};

// Normalise in place by Maya's rule for MFloatVector::normalize: a triple whose
// squared length is above 1e-20 is multiplied by the reciprocal of its length, any
// other is left as it is (zero stays zero, never NaN). A host adapter normalises
// with the host's own operation and hands the results to the terms below.
void normalise(Triple& v);

// Half vector H = normalise(L - V), halfway between the light and the eye (-V).
Triple halfVector(const Triple& light, const Triple& view);

// Specular exponent 6 / e (eccentricity 0 gives +infinity: a pin-point highlight).
inline float specularExponent(float eccentricity) { return 6.0f / eccentricity; }

// The per-light terms, one per switch, so that a host adapter can read each switch
// just before the term it controls. They accumulate into sums in light order.
void addAmbient(ToneSums& sums, const ToneInputs& in, const Triple& intensity);
void addDiffuse(ToneSums& sums, const ToneInputs& in, const Triple& direction, float preShadowIntensity);
// addSpecular takes the half vector H = normalise(L - V) of the light.
void addSpecular(ToneSums& sums, const ToneInputs& in, const Triple& half, const Triple& intensity);
void addTranslucence(ToneSums& sums, const ToneInputs& in, const Triple& intensity);

// All four terms of one light element, in order.
void addLight(ToneSums& sums, const ToneInputs& in, const LightElement& light);

// Outline factor F: Co inside the outline band, white outside it, from the unit
// normal and view; w equal to |dot(E, N)| is outside the band.
Triple outlineFactor(const ToneInputs& in, const Triple& unitNormal, const Triple& unitView);
// The same from normalised copies of in.normal and in.view.
Triple outlineFactor(const ToneInputs& in);

// Completes an evaluation once every light has been added, with the outline
// factor F: R = ((A + (((D + Ka*C) + Ki) + T)) * F) * (1 - Tr) + S.
Triple toneResult(const ToneSums& sums, const ToneInputs& in, const Triple& outline);

// The whole model for one sample and an ordered sequence of light elements.
Triple toneShade(const ToneInputs& in, const LightElement* lights, std::size_t count);

}  // namespace tone

#endif
