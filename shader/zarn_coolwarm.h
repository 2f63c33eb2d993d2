/*
 * zarn_coolwarm: the cool-to-warm material shader for mental ray.
 *
 * Parameters (offset, type, name):
 *    0 color     color               surface colour
 *   16 color     ambientColor        adds ambientColor * color
 *   32 color     incandescence       added unchanged
 *   48 vector    normalCamera        added to the state's normal before normalising
 *   60 scalar    diffuse             scale of the tone colour
 *   64 scalar    alpha               share of color in the cool colour
 *   68 scalar    beta                share of color in the warm colour
 *   72 scalar    blue                blue of the cool colour's base
 *   76 scalar    yellow              red and green of the warm colour's base
 *   80 scalar    eccentricity        exponent handed to mi_blong_specular
 *   84 scalar    specularRollOff     scale of the highlight
 *   88 color     specularColor       colour of the highlight
 *  104 boolean   computeIrradiance   adds color * irradiance * irradianceColor / pi
 *  108 color     irradianceColor     black switches the irradiance term off
 *  124 array light light             the lights: i_light, n_light, light[]
 */
#ifndef ZARN_COOLWARM_H
#define ZARN_COOLWARM_H

#include <shader.h>

#if defined(_WIN32)
#define ZARN_EXPORT DLLEXPORT
#else
#define ZARN_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct zarn_coolwarm {
    miColor color;
    miColor ambientColor;
    miColor incandescence;
    miVector normalCamera;
    miScalar diffuse;
    miScalar alpha;
    miScalar beta;
    miScalar blue;
    miScalar yellow;
    miScalar eccentricity;
    miScalar specularRollOff;
    miColor specularColor;
    miBoolean computeIrradiance;
    miColor irradianceColor;
    int i_light;
    int n_light;
    miTag light[1];
};

ZARN_EXPORT int zarn_coolwarm_version(void);
ZARN_EXPORT miBoolean zarn_coolwarm(miColor *result, miState *state, struct zarn_coolwarm *paras);
ZARN_EXPORT int miSetModuleHandle(void *handle);

#ifdef __cplusplus
}
#endif

#endif
