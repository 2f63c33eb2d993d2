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
typedef unsigned short miUshort;
typedef unsigned char miUchar;
typedef unsigned char miUint1;
typedef signed char miSint1;
typedef unsigned char miCBoolean;
typedef int miBoolean;
typedef miUint miTag;

#define miFALSE 0
#define miTRUE 1
#define miNULLTAG ((miTag)0)

/* 64-bit builds carry an extra word in the state. */
#if !defined(BIT64) && (defined(_WIN64) || defined(__LP64__))
#define BIT64
#endif

/* A pointer, or two 32-bit words: eight bytes on every target. */
typedef union miPointer {
    void* p;
    miUint w[2];
} miPointer;

typedef union miLock {
    void* addr;
    int i[2];
} miLock;

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

typedef enum miFunction_type {
    miFUNCTION_C,
    miFUNCTION_PHEN,
    miFUNCTION_C_REQ,
    miFUNCTION_OUTFILE,
    miFUNCTION_DATA,
    miFUNCTION_PASS,
    miFUNCTION_USER
} miFunction_type;

struct miCamera;
struct miOptions;
struct miTs;

/*
 * The primitive being shaded. Releases differ in what pri points to (nothing
 * typed in early ones, an intersection record later); code that saves and
 * restores it must not depend on the pointee. A build may name the pointee to
 * check that.
 */
#ifdef MI_STANDIN_PRI_TYPE
typedef MI_STANDIN_PRI_TYPE* miPri;
#else
typedef void* miPri;
#endif

/*
 * The renderer's record of one shader call. The parameter block starts at
 * `parameters`; when ghost_offs is non-zero, a connection tag for each
 * parameter lies ghost_offs bytes behind it.
 */
typedef struct miFunction {
    miPointer sparep1[7];
    miFunction_type type;
    miUint out_typemap;
    miUint out_interpmap;
    miTag function_decl;
    miTag next_function;
    miTag parameter_indirect;
    miTag interfacephen;
    miBoolean spare0;
    int parameter_size;
    int result_size;
    int ghost_offs;
    miTag pass_read;
    miTag pass_write;
    miSint1 pass_maxsamples;
    miCBoolean spare2[3];
    miCBoolean no_expl_params;
    miCBoolean cloned;
    miCBoolean spare3[5];
    miUchar label;
    char parameters[8];
} miFunction;

/* The per-sample state, field for field as the renderer lays it out. */
typedef struct miState {
    int version;
    miTag camera_inst;
    const struct miCamera* camera;
    const struct miOptions* options;
    miLock global_lock;
    miUint qmc_instance;
#ifdef BIT64
    miUint pad;
#endif
    struct miTs* ts;
    float raster_x;
    float raster_y;
    struct miState* parent;
    miRay_type type;
    miUchar qmc_component;
    miUint1 scanline;
    miCBoolean inv_normal;
    char face;
    void* spare0;
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
    miPri pri;
    int pri_idx;
    float bary[4];
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
    const struct miFunction* shader;
    struct miState* child;
    short thread;
    miUshort count;
    void* user;
    int user_size;
} miState;

/*
 * The layout is the renderer's, which a shader library reads in place: check
 * it where a wrong type would show first, for the target being built.
 */
#if defined(__cplusplus) && __cplusplus >= 201103L
#define MI_LAYOUT_CHECK(e, m) static_assert(e, m)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define MI_LAYOUT_CHECK(e, m) _Static_assert(e, m)
#endif
#ifdef MI_LAYOUT_CHECK
MI_LAYOUT_CHECK(offsetof(miFunction, ghost_offs) == 96, "miFunction.ghost_offs at 96");
MI_LAYOUT_CHECK(offsetof(miFunction, parameters) == 120, "miFunction.parameters at 120");
MI_LAYOUT_CHECK(sizeof(miFunction) == 128, "miFunction is 128 bytes");
#if defined(BIT64)
MI_LAYOUT_CHECK(sizeof(void*) == 8, "BIT64 means 8-byte pointers");
MI_LAYOUT_CHECK(offsetof(miState, dir) == 108, "miState.dir");
MI_LAYOUT_CHECK(offsetof(miState, pri) == 168, "miState.pri");
MI_LAYOUT_CHECK(offsetof(miState, point) == 196, "miState.point");
MI_LAYOUT_CHECK(offsetof(miState, normal) == 208, "miState.normal");
MI_LAYOUT_CHECK(offsetof(miState, normal_geom) == 220, "miState.normal_geom");
MI_LAYOUT_CHECK(offsetof(miState, shader) == 312, "miState.shader");
MI_LAYOUT_CHECK(offsetof(miState, count) == 330, "miState.count");
MI_LAYOUT_CHECK(sizeof(miState) == 352, "miState is 352 bytes");
#else
MI_LAYOUT_CHECK(sizeof(void*) == 4, "32-bit targets have 4-byte pointers");
MI_LAYOUT_CHECK(offsetof(miState, dir) == 80, "miState.dir");
MI_LAYOUT_CHECK(offsetof(miState, pri) == 144, "miState.pri");
MI_LAYOUT_CHECK(offsetof(miState, point) == 168, "miState.point");
MI_LAYOUT_CHECK(offsetof(miState, normal) == 180, "miState.normal");
MI_LAYOUT_CHECK(offsetof(miState, normal_geom) == 192, "miState.normal_geom");
MI_LAYOUT_CHECK(offsetof(miState, shader) == 256, "miState.shader");
MI_LAYOUT_CHECK(offsetof(miState, count) == 266, "miState.count");
MI_LAYOUT_CHECK(sizeof(miState) == 280, "miState is 280 bytes");
#endif
#undef MI_LAYOUT_CHECK
#endif

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
