/*
 * mental ray stand-in: the public shader interface, at the header's real name.
 *
 * The types, the state record in the renderer's own field order, the function
 * record with its ghost offset, the parameter-evaluation macros and the renderer
 * functions a shader calls. A shader library compiled against this header would
 * compile against the renderer's own.
 */
#ifndef SHADER_H
#define SHADER_H

#include <math.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef M_PI
#define M_PI 3.14159265358979323846
#endif

#if defined(_WIN32)
#define DLLEXPORT __declspec(dllexport)
#define DLLIMPORT __declspec(dllimport)
#else
#define DLLEXPORT
#define DLLIMPORT
#endif

typedef float miScalar;
typedef double miGeoScalar;
typedef int miInteger;
typedef unsigned int miUint;
typedef unsigned char miUchar;
typedef unsigned char miCBoolean;
typedef int miBoolean;
typedef miUint miTag;
typedef void* miLock;

#define miFALSE 0
#define miTRUE 1
#define miNULLTAG 0

typedef struct miVector {
    miScalar x, y, z;
} miVector;

typedef struct miColor {
    miScalar r, g, b, a;
} miColor;

typedef enum miRay_type {
    miRAY_EYE,
    miRAY_TRANSPARENT,
    miRAY_REFLECT,
    miRAY_REFRACT,
    miRAY_LIGHT,
    miRAY_SHADOW,
    miRAY_ENVIRONMENT,
    miRAY_NONE
} miRay_type;

struct miCamera;
struct miOptions;
struct miTs;

/* The renderer's record of one shader call; the parameter block follows it. */
typedef struct miFunction {
    miTag next_function;
    miTag function_decl;
    miTag parameter_indirect;
    miTag interfacetag;
    miUint label;
    int parameter_size;
    int result_size;
    int ghost_offs;
    miCBoolean has_init_shader;
    miCBoolean func_init;
    miCBoolean inh_is_func;
    miCBoolean spare1;
    int spare2;
    char parameters[8];
} miFunction;

/* The per-sample state: fields in the renderer's own order. */
typedef struct miState {
    int version;
    miTag camera_inst;
    struct miCamera* camera;
    struct miOptions* options;
    miLock global_lock;
    miUint qmc_instance;
#if defined(_WIN64) || defined(__LP64__)
    miUint pad;
#endif
    struct miTs* ts;
    float raster_x;
    float raster_y;
    struct miState* parent;
    miRay_type type;
    miUchar qmc_component;
    miCBoolean scanline;
    miCBoolean inv_normal;
    char face;
    int spare0;
    void* cache;
    int reflection_level;
    int refraction_level;
    miVector org;
    miVector dir;
    double dist;
    float time;
    miScalar ior;
    miScalar ior_in;
    miTag material;
    miTag volume;
    miTag environment;
    miTag refraction_volume;
    miUint label;
    miTag instance;
    miTag light_instance;
    void* pri;
    miScalar importance;
    miScalar bary[4];
    miVector point;
    miVector normal;
    miVector normal_geom;
    miScalar dot_nd;
    double shadow_tol;
    miVector* tex_list;
    miVector* bump_x_list;
    miVector* bump_y_list;
    miVector motion;
    miVector* derivs;
    miVector tex;
    miFunction* shader;
    struct miState* child;
    int thread;
    int count;
    void* user;
    int user_size;
} miState;

/* The renderer functions a material shader calls. */
miBoolean mi_sample_light(miColor *const result, miVector *const dir, float *const dot_nl,
                          miState *const state, const miTag light_inst, int *const samples);
miScalar mi_blong_specular(miScalar spec_exp, miState *state, miVector *dir);
miBoolean mi_compute_irradiance(miColor *result, miState *state);
void *mi_phen_eval(miState *state, void *parm);

/*
 * Parameter evaluation: a parameter is read in place unless the renderer has
 * marked it connected, with a non-zero tag ghost_offs bytes behind it; then the
 * connected shader's output stands in for it. The typed forms use the shader's
 * argument named `state`.
 */
#define mi_eval(s, p)                                                                         \
    ((s)->shader->ghost_offs == 0 || *(miTag*)((char*)(p) + (s)->shader->ghost_offs) == 0 \
         ? (void*)(p)                                                                         \
         : mi_phen_eval((s), (void*)(p)))
#define mi_eval_boolean(p) ((miBoolean*)mi_eval(state, (void*)(p)))
#define mi_eval_integer(p) ((miInteger*)mi_eval(state, (void*)(p)))
#define mi_eval_scalar(p) ((miScalar*)mi_eval(state, (void*)(p)))
#define mi_eval_vector(p) ((miVector*)mi_eval(state, (void*)(p)))
#define mi_eval_color(p) ((miColor*)mi_eval(state, (void*)(p)))
#define mi_eval_tag(p) ((miTag*)mi_eval(state, (void*)(p)))

#ifdef __cplusplus
}
#endif

#endif
