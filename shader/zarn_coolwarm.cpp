// zarn_coolwarm: the cool-to-warm material shader for mental ray.
//
// For every light of the material the renderer delivers its samples; each
// sample adds the tone colour (the cool colour where the surface faces it, the
// warm colour where it faces away) scaled by diffuse, and a highlight from the
// renderer's own mi_blong_specular. Each light adds the mean over its samples.
// Ambient colour, incandescence and an optional irradiance term follow.
#include "zarn_coolwarm.h"

#include "toneTerms.h"

#include <cmath>
#include <cstddef>

// The block layout the declaration describes; the renderer builds it from the
// declaration, so the two must agree field for field.
static_assert(offsetof(struct zarn_coolwarm, color) == 0, "color");
static_assert(offsetof(struct zarn_coolwarm, ambientColor) == 16, "ambientColor");
static_assert(offsetof(struct zarn_coolwarm, incandescence) == 32, "incandescence");
static_assert(offsetof(struct zarn_coolwarm, normalCamera) == 48, "normalCamera");
static_assert(offsetof(struct zarn_coolwarm, diffuse) == 60, "diffuse");
static_assert(offsetof(struct zarn_coolwarm, alpha) == 64, "alpha");
static_assert(offsetof(struct zarn_coolwarm, beta) == 68, "beta");
static_assert(offsetof(struct zarn_coolwarm, blue) == 72, "blue");
static_assert(offsetof(struct zarn_coolwarm, yellow) == 76, "yellow");
static_assert(offsetof(struct zarn_coolwarm, eccentricity) == 80, "eccentricity");
static_assert(offsetof(struct zarn_coolwarm, specularRollOff) == 84, "specularRollOff");
static_assert(offsetof(struct zarn_coolwarm, specularColor) == 88, "specularColor");
static_assert(offsetof(struct zarn_coolwarm, computeIrradiance) == 104, "computeIrradiance");
static_assert(offsetof(struct zarn_coolwarm, irradianceColor) == 108, "irradianceColor");
static_assert(offsetof(struct zarn_coolwarm, i_light) == 124, "i_light");
static_assert(offsetof(struct zarn_coolwarm, n_light) == 128, "n_light");
static_assert(offsetof(struct zarn_coolwarm, light) == 132, "light");

namespace {

// pi as the single-precision value the irradiance term divides by.
const miScalar kPi = 3.1415927f;

inline tone::Triple rgb(const miColor& c) { return tone::Triple{c.r, c.g, c.b}; }
inline tone::Triple xyz(const miVector& v) { return tone::Triple{v.x, v.y, v.z}; }

// The highlight of one light sample: mi_blong_specular sees `normal` as the
// state's normal for the length of the call only.
void sample_specular(miState* state, miVector normal, miVector dir, miColor lightColour, miColor specularColour,
                     miColor* out, miScalar exponent, miScalar rollOff)
{
    out->r = out->g = out->b = 0.0f;
    const miVector saved = state->normal;
    state->normal = normal;
    const miScalar s = mi_blong_specular(exponent, state, &dir);
    state->normal = saved;
    // Zero, negative and NaN factors give no highlight.
    if (s > 0.0f) {
        out->r = s * rollOff * lightColour.r * specularColour.r;
        out->g = s * rollOff * lightColour.g * specularColour.g;
        out->b = s * rollOff * lightColour.b * specularColour.b;
    }
}

}  // namespace

extern "C" {

ZARN_EXPORT int zarn_coolwarm_version(void) { return 1; }

ZARN_EXPORT miBoolean zarn_coolwarm(miColor *result, miState *state, struct zarn_coolwarm *paras)
{
    // Every parameter once, in this order; a connected one runs its shader now.
    const miColor* color = mi_eval_color(&paras->color);
    const miColor* ambientColor = mi_eval_color(&paras->ambientColor);
    const miColor* incandescence = mi_eval_color(&paras->incandescence);
    const miColor* specularColor = mi_eval_color(&paras->specularColor);
    const miVector* normalCamera = mi_eval_vector(&paras->normalCamera);
    miBoolean computeIrradiance = *mi_eval_boolean(&paras->computeIrradiance);
    const miScalar diffuse = *mi_eval_scalar(&paras->diffuse);
    const miScalar alpha = *mi_eval_scalar(&paras->alpha);
    const miScalar beta = *mi_eval_scalar(&paras->beta);
    const miScalar blue = *mi_eval_scalar(&paras->blue);
    const miScalar yellow = *mi_eval_scalar(&paras->yellow);
    const miScalar eccentricity = *mi_eval_scalar(&paras->eccentricity);
    const miScalar specularRollOff = *mi_eval_scalar(&paras->specularRollOff);
    const int n_light = *mi_eval_integer(&paras->n_light);
    const int i_light = *mi_eval_integer(&paras->i_light);
    const miTag* light = mi_eval_tag(paras->light) + i_light;
    const miColor* irradianceColor = 0;
    if (computeIrradiance) {
        irradianceColor = mi_eval_color(&paras->irradianceColor);
        // Exactly black switches the term off; anything else, NaN included, keeps it.
        if (irradianceColor->r == 0.0f && irradianceColor->g == 0.0f && irradianceColor->b == 0.0f)
            computeIrradiance = miFALSE;
    }

    const tone::Triple surface = rgb(*color);
    const tone::Triple cool = tone::coolColour(surface, alpha, blue);
    const tone::Triple warm = tone::warmColour(surface, beta, yellow);

    // Shading normal: the renderer's normal plus normalCamera, normalised unless
    // the sum has no length at all.
    miVector normal{state->normal.x + normalCamera->x, state->normal.y + normalCamera->y,
                    state->normal.z + normalCamera->z};
    const miScalar length = std::sqrt(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z);
    if (length != 0.0f) {
        const miScalar inverse = 1.0f / length;
        normal.x *= inverse;
        normal.y *= inverse;
        normal.z *= inverse;
    }

    // The highlight and the irradiance query see the shading normal; the light
    // loop keeps the renderer's own state.
    miState specularState = *state;
    specularState.normal = normal;

    // With pri cleared the renderer delivers samples from behind the surface too:
    // those are what give the warm side its colour.
    // pri's pointee differs between renderer releases: keep it without naming it.
    const auto pri = state->pri;
    state->pri = nullptr;
    for (int i = 0; i < n_light; ++i) {
        tone::Triple sum{0.0f, 0.0f, 0.0f};
        int samples = 0;
        miColor lightColour;
        miVector dir;
        miScalar cosine;
        while (mi_sample_light(&lightColour, &dir, &cosine, state, light[i], &samples)) {
            const miScalar d = tone::dot(xyz(dir), xyz(normal));
            sum = sum + diffuse * tone::toneColour(tone::toneWeight(d), cool, warm);
            miColor highlight;
            sample_specular(&specularState, normal, dir, lightColour, *specularColor, &highlight, eccentricity,
                            specularRollOff);
            sum = sum + rgb(highlight);
        }
        // A light that delivered nothing adds nothing.
        if (samples > 0) {
            const miScalar n = static_cast<miScalar>(samples);
            result->r += sum.x / n;
            result->g += sum.y / n;
            result->b += sum.z / n;
        }
    }
    state->pri = pri;

    result->r += ambientColor->r * color->r;
    result->g += ambientColor->g * color->g;
    result->b += ambientColor->b * color->b;
    result->r += incandescence->r;
    result->g += incandescence->g;
    result->b += incandescence->b;
    result->a = 1.0f;

    if (computeIrradiance) {
        miColor irradiance;
        mi_compute_irradiance(&irradiance, &specularState);
        result->r += color->r * irradiance.r * irradianceColor->r / kPi;
        result->g += color->g * irradiance.g * irradianceColor->g / kPi;
        result->b += color->b * irradiance.b * irradianceColor->b / kPi;
        result->a = 1.0f;
    }
    return miTRUE;
}

}  // extern "C"
