/*
 * A renderer module that lacks mi_phen_eval, for the failure path of a shader
 * library's run-time binding. Its three functions answer with values no real
 * renderer gives, so a test can tell which module a call reached: every light
 * has one white sample along the state's normal, every highlight factor is 42,
 * the irradiance is 0.25 grey.
 */
#include <shader.h>

#if defined(_WIN32)
#define PARTIAL_EXPORT __declspec(dllexport)
#else
#define PARTIAL_EXPORT __attribute__((visibility("default")))
#endif

PARTIAL_EXPORT miBoolean mi_sample_light(miColor *const result, miVector *const dir, float *const dot_nl,
                                         miState *const state, const miTag light_inst, int *const samples)
{
    (void)light_inst;
    if (*samples > 0)
        return miFALSE;
    result->r = result->g = result->b = result->a = 1.0f;
    *dir = state->normal;
    *dot_nl = 1.0f;
    ++*samples;
    return miTRUE;
}

PARTIAL_EXPORT miScalar mi_blong_specular(miScalar spec_exp, miState *state, miVector *dir)
{
    (void)spec_exp; (void)state; (void)dir;
    return 42.0f;
}

PARTIAL_EXPORT miBoolean mi_compute_irradiance(miColor *result, miState *state)
{
    (void)state;
    result->r = result->g = result->b = 0.25f;
    result->a = 1.0f;
    return miTRUE;
}
