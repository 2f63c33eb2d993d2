// The mental ray stand-in's renderer module: the four renderer functions a
// material shader calls, and the scene they answer from.
#include "mrHost.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <atomic>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>

namespace mrhost {

namespace {

struct Connection {
    std::vector<double> value;  // double storage keeps any parameter type aligned
    std::atomic<unsigned long> evaluations{0};
    std::atomic<long> lastOffset{-1};
};

// Where one light sample comes from, worked out when the light is added: its
// colour and either the point it is cast from (a point light, a sample on an
// area light's rectangle) or its unit direction (a directional or listed light).
struct SampleSource {
    miColor colour;
    miVector at;  // the point, or the unit direction towards the light
    bool fromPoint;
};

// A light of the scene with everything its samples need worked out once, so a
// sample is a lookup, a subtraction and a normalisation.
struct LightRecord {
    Light light;
    int count = 1;
    std::vector<SampleSource> sources;  // count of them
};

// The scene database: one record per tag. Built on one thread, read by many.
struct Scene {
    enum Kind { None, LightKind, ConnectionKind };
    std::vector<Kind> kinds{None};  // tag 0 is the null tag
    std::vector<const LightRecord*> lightByTag{nullptr};  // null for other tags
    std::deque<LightRecord> lights;
    std::deque<Connection> connections;
    std::vector<std::size_t> index{0};  // tag -> position among its kind

    OcclusionFunction occlusion = nullptr;
    void* occlusionUser = nullptr;
    miColor irradiance{0.0f, 0.0f, 0.0f, 1.0f};
    IrradianceFunction irradianceFunction = nullptr;
    void* irradianceUser = nullptr;
};

// At namespace scope, so that a light sample reaches it without an
// initialisation guard; nothing uses it before this module is loaded.
Scene theScene;

Scene& scene() { return theScene; }

// Whether the scene has occluders, read by every light sample.
bool occlusionOn = false;

// Call counts, kept per thread so that render threads never write a shared
// cache line; only their reader sums them. Blocks outlive their threads.
struct Counters {
    std::atomic<unsigned long> sampleLight{0}, blongSpecular{0}, computeIrradiance{0}, phenEval{0};
};

struct CounterBlocks {
    std::mutex lock;
    std::deque<Counters> blocks;
};

CounterBlocks& counterBlocks()
{
    static CounterBlocks b;
    return b;
}

// The module is loaded with the program, so its thread-local word can sit at a
// fixed offset from the thread pointer.
#if defined(__GNUC__) && !defined(_WIN32)
#define MR_STANDIN_TLS __attribute__((tls_model("initial-exec")))
#else
#define MR_STANDIN_TLS
#endif
#if defined(_MSC_VER)
#define MR_STANDIN_NOINLINE __declspec(noinline)
#else
#define MR_STANDIN_NOINLINE __attribute__((noinline))
#endif

MR_STANDIN_TLS thread_local Counters* threadCounters = nullptr;

MR_STANDIN_NOINLINE Counters* newThreadCounters()
{
    CounterBlocks& b = counterBlocks();
    std::lock_guard<std::mutex> hold(b.lock);
    b.blocks.emplace_back();
    threadCounters = &b.blocks.back();
    return threadCounters;
}

inline Counters& counters()
{
    Counters* c = threadCounters;
    return c ? *c : *newThreadCounters();
}

// Only this thread writes its own counters: no locked read-modify-write needed.
void count(std::atomic<unsigned long>& counter)
{
    counter.store(counter.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

float dot(const miVector& a, const miVector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

miVector sub(const miVector& a, const miVector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

float normalise(miVector& v)
{
    const float length = std::sqrt(dot(v, v));
    if (length > 0.0f) {
        v.x /= length;
        v.y /= length;
        v.z /= length;
    }
    return length;
}

Connection* connectionFor(miTag tag)
{
    Scene& s = scene();
    if (tag >= s.kinds.size() || s.kinds[tag] != Scene::ConnectionKind)
        return nullptr;
    return &s.connections[s.index[tag]];
}

// A fixed, well-spread offset in [0, 1) for stratum i, so area lights are
// sampled the same way on every run.
float jitter(unsigned i, unsigned salt)
{
    unsigned h = i * 0x9E3779B1u ^ salt * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return static_cast<float>(h & 0xFFFFFFu) / 16777216.0f;
}

// Everything about sample `index` of a light that does not depend on the point
// shaded; an area light's samples lie on a fixed stratified pattern.
SampleSource sourceOf(const Light& light, int index)
{
    SampleSource source;
    const float i = light.intensity;
    source.colour = {light.colour.r * i, light.colour.g * i, light.colour.b * i, light.colour.a};
    source.fromPoint = true;
    switch (light.kind) {
    case Light::Point:
        source.at = light.position;
        break;
    case Light::Area: {
        float s = 0.0f, t = 0.0f;
        areaSampleOffset(light, index, &s, &t);
        source.at = {light.position.x + s * light.edgeU.x + t * light.edgeV.x,
                     light.position.y + s * light.edgeU.y + t * light.edgeV.y,
                     light.position.z + s * light.edgeU.z + t * light.edgeV.z};
        break;
    }
    case Light::Directional:
        source.fromPoint = false;
        source.at = {-light.direction.x, -light.direction.y, -light.direction.z};
        normalise(source.at);
        break;
    case Light::Listed:
        source.fromPoint = false;
        source.colour = light.listed[index].colour;
        source.at = light.listed[index].direction;
        normalise(source.at);
        break;
    }
    return source;
}

// A sample from `source` as seen from `point`.
LightSampleGeometry geometryAt(const SampleSource& source, const miVector& point)
{
    LightSampleGeometry g;
    g.colour = source.colour;
    if (source.fromPoint) {
        g.direction = sub(source.at, point);
        g.distance = normalise(g.direction);
    } else {
        g.direction = source.at;
        g.distance = std::numeric_limits<float>::infinity();
    }
    return g;
}

}  // namespace

miTag addLight(const Light& light)
{
    Scene& s = scene();
    s.lights.emplace_back();
    LightRecord& r = s.lights.back();
    r.light = light;
    r.count = lightSampleCount(light);
    r.sources.resize(static_cast<std::size_t>(r.count));
    for (int i = 0; i < r.count; ++i)
        r.sources[i] = sourceOf(light, i);
    s.kinds.push_back(Scene::LightKind);
    s.index.push_back(s.lights.size() - 1);
    s.lightByTag.push_back(&r);
    return static_cast<miTag>(s.kinds.size() - 1);
}

namespace {
const LightRecord* findRecord(miTag tag)
{
    const Scene& s = scene();
    return tag < s.lightByTag.size() ? s.lightByTag[tag] : nullptr;
}
}  // namespace

const Light* findLight(miTag tag)
{
    const LightRecord* r = findRecord(tag);
    return r ? &r->light : nullptr;
}

int lightSampleCount(const Light& light)
{
    switch (light.kind) {
    case Light::Area: return light.samples > 0 ? light.samples : 1;
    case Light::Listed: return static_cast<int>(light.listed.size());
    default: return 1;
    }
}

// Stratified over a near-square grid of cells, one sample per cell.
void areaSampleOffset(const Light& light, int index, float* s, float* t)
{
    const int n = lightSampleCount(light);
    int columns = static_cast<int>(std::ceil(std::sqrt(static_cast<float>(n))));
    const int rows = (n + columns - 1) / columns;
    *s = (static_cast<float>(index % columns) + jitter(index, 1)) / static_cast<float>(columns) - 0.5f;
    *t = (static_cast<float>(index / columns) + jitter(index, 2)) / static_cast<float>(rows) - 0.5f;
}

namespace {

LightSampleGeometry sampleOf(const LightRecord& r, int index, const miVector& point)
{
    return geometryAt(r.sources[static_cast<std::size_t>(index)], point);
}

// While a primitive is shaded, samples behind the surface are skipped and not
// counted: the index of the one after the `delivered` facing ones.
MR_STANDIN_NOINLINE int facingSample(const LightRecord& light, int delivered, const miState& state)
{
    int i = 0;
    for (; i < light.count; ++i) {
        const LightSampleGeometry g = sampleOf(light, i, state.point);
        if (dot(state.normal, g.direction) > 0.0f && delivered-- == 0)
            break;
    }
    return i;
}

// The colour that reaches the point through the scene's occluders.
MR_STANDIN_NOINLINE miColor shadowed(miColor colour, miVector direction, float distance, const miState& state)
{
    const Scene& s = scene();
    const float reach = s.occlusion(s.occlusionUser, &state, &direction, distance);
    colour.r *= reach;
    colour.g *= reach;
    colour.b *= reach;
    return colour;
}
}  // namespace

LightSampleGeometry lightSample(const Light& light, int index, const miVector& point)
{
    return geometryAt(sourceOf(light, index), point);
}

miTag addConnection(const void* value, std::size_t size)
{
    Scene& s = scene();
    s.connections.emplace_back();
    Connection& c = s.connections.back();
    c.value.assign((size + sizeof(double) - 1) / sizeof(double) + 1, 0.0);
    std::memcpy(c.value.data(), value, size);
    s.kinds.push_back(Scene::ConnectionKind);
    s.index.push_back(s.connections.size() - 1);
    s.lightByTag.push_back(nullptr);
    return static_cast<miTag>(s.kinds.size() - 1);
}

unsigned long connectionEvaluations(miTag tag)
{
    const Connection* c = connectionFor(tag);
    return c ? c->evaluations.load() : 0;
}

long connectionLastOffset(miTag tag)
{
    const Connection* c = connectionFor(tag);
    return c ? c->lastOffset.load() : -1;
}

void clearScene()
{
    Scene& s = scene();
    s.kinds.assign(1, Scene::None);
    s.index.assign(1, 0);
    s.lightByTag.assign(1, nullptr);
    s.lights.clear();
    s.connections.clear();
}

void setOcclusion(OcclusionFunction function, void* user)
{
    scene().occlusion = function;
    scene().occlusionUser = user;
    occlusionOn = function != nullptr;
}

void setIrradiance(const miColor& irradiance)
{
    scene().irradiance = irradiance;
    scene().irradianceFunction = nullptr;
}

void setIrradianceFunction(IrradianceFunction function, void* user)
{
    scene().irradianceFunction = function;
    scene().irradianceUser = user;
}

CallCounts callCounts()
{
    CounterBlocks& b = counterBlocks();
    std::lock_guard<std::mutex> hold(b.lock);
    CallCounts sum{0, 0, 0, 0};
    for (const Counters& c : b.blocks) {
        sum.sampleLight += c.sampleLight.load(std::memory_order_relaxed);
        sum.blongSpecular += c.blongSpecular.load(std::memory_order_relaxed);
        sum.computeIrradiance += c.computeIrradiance.load(std::memory_order_relaxed);
        sum.phenEval += c.phenEval.load(std::memory_order_relaxed);
    }
    return sum;
}

// Called while no renderer function runs, like every scene change.
void resetCallCounts()
{
    CounterBlocks& b = counterBlocks();
    std::lock_guard<std::mutex> hold(b.lock);
    for (Counters& c : b.blocks) {
        c.sampleLight = 0;
        c.blongSpecular = 0;
        c.computeIrradiance = 0;
        c.phenEval = 0;
    }
}

// The renderer allocates the function record and the parameter block in one
// piece, the ghost block right behind the block, so every parameter's ghost tag
// lies at the same distance from it.
ShaderCall::ShaderCall(std::size_t parameterBytes)
    : parameterBytes_(parameterBytes), ghostOffset_((parameterBytes + 7) / 8 * 8), function_(nullptr), state_()
{
    const std::size_t header = offsetof(miFunction, parameters);
    const std::size_t total = header + 2 * ghostOffset_ + sizeof(miFunction);
    storage_.reset(new double[(total + sizeof(double) - 1) / sizeof(double)]());
    function_ = reinterpret_cast<miFunction*>(storage_.get());
    function_->parameter_size = static_cast<int>(parameterBytes);
    function_->result_size = static_cast<int>(sizeof(miColor));
    function_->ghost_offs = static_cast<int>(ghostOffset_);
    state_.version = 1;
    state_.type = miRAY_EYE;
    state_.shader = function_;
    state_.dist = 1.0;
    state_.ior = 1.0f;
    state_.ior_in = 1.0f;
}

void ShaderCall::connect(std::size_t offset, miTag tag)
{
    std::memcpy(parameters() + ghostOffset_ + offset, &tag, sizeof tag);
}

void ShaderCall::enableGhosts(bool enabled)
{
    function_->ghost_offs = enabled ? static_cast<int>(ghostOffset_) : 0;
}

std::string modulePath()
{
#if defined(_WIN32)
    HMODULE self = nullptr;
    char path[MAX_PATH];
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           reinterpret_cast<LPCSTR>(&modulePath), &self)) {
        const DWORD length = GetModuleFileNameA(self, path, sizeof path);
        if (length > 0 && length < sizeof path)
            return std::string(path, length);
    }
    return std::string();
#else
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&modulePath), &info) && info.dli_fname)
        return info.dli_fname;
    return std::string();
#endif
}

}  // namespace mrhost

using mrhost::scene;

namespace mrhost {
namespace {
MR_STANDIN_NOINLINE miScalar blongSpecularFirst(miScalar spec_exp, miState* state, miVector* dir)
{
    newThreadCounters();
    return mi_blong_specular(spec_exp, state, dir);
}
}  // namespace
}  // namespace mrhost

extern "C" {

// The renderer delivers one light sample per call: its colour at the point and
// the unit direction towards it, counting them in *samples; false once there is
// none left. While a primitive is being shaded (pri set), a sample behind the
// surface is skipped, as the renderer does; with pri null every sample comes,
// so the counter is the index of the next one and each call is constant work.
MR_STANDIN_API miBoolean mi_sample_light(miColor *const result, miVector *const dir, float *const dot_nl,
                                         miState *const state, const miTag light_inst, int *const samples)
{
    mrhost::count(mrhost::counters().sampleLight);
    const mrhost::LightRecord* light = mrhost::findRecord(light_inst);
    if (!light || !samples || !state)
        return miFALSE;
    const int i = state->pri ? mrhost::facingSample(*light, *samples, *state) : *samples;
    if (i < 0 || i >= light->count)
        return miFALSE;
    mrhost::LightSampleGeometry g = mrhost::sampleOf(*light, i, state->point);
    // Shadows darken what is delivered; listed samples are taken as given.
    if (mrhost::occlusionOn && light->light.kind != mrhost::Light::Listed)
        g.colour = mrhost::shadowed(g.colour, g.direction, g.distance, *state);
    if (result) *result = g.colour;
    if (dir) *dir = g.direction;
    if (dot_nl) *dot_nl = mrhost::dot(state->normal, g.direction);
    ++*samples;
    return miTRUE;
}

// Blinn's highlight: the half vector between the light and the eye against
// the state's normal, raised to the exponent.
MR_STANDIN_API miScalar mi_blong_specular(miScalar spec_exp, miState *state, miVector *dir)
{
    if (!mrhost::threadCounters)  // the thread's first call: out of line, so this one saves nothing
        return mrhost::blongSpecularFirst(spec_exp, state, dir);
    mrhost::count(mrhost::threadCounters->blongSpecular);
    miVector h{dir->x - state->dir.x, dir->y - state->dir.y, dir->z - state->dir.z};
    mrhost::normalise(h);
    const float c = mrhost::dot(state->normal, h);
    if (!(c > 0.0f))
        return 0.0f;
    return std::pow(c, spec_exp);
}

MR_STANDIN_API miBoolean mi_compute_irradiance(miColor *result, miState *state)
{
    mrhost::count(mrhost::counters().computeIrradiance);
    if (scene().irradianceFunction)
        scene().irradianceFunction(scene().irradianceUser, state, result);
    else
        *result = scene().irradiance;
    result->a = 1.0f;
    return miTRUE;
}

// The renderer finds which parameter of the current block p is, runs the shader
// connected to it (the tag in its ghost word) and hands back that shader's
// output, which stays put until the shader call returns.
MR_STANDIN_API void *mi_phen_eval(miState *state, void *parm)
{
    mrhost::count(mrhost::counters().phenEval);
    const miFunction* f = state ? state->shader : nullptr;
    if (!f || f->ghost_offs == 0)
        return parm;
    const long offset = static_cast<long>(static_cast<const char*>(parm) - f->parameters);
    if (offset < 0 || offset >= f->parameter_size)
        return parm;
    miTag tag;
    std::memcpy(&tag, static_cast<char*>(parm) + f->ghost_offs, sizeof tag);
    mrhost::Connection* c = mrhost::connectionFor(tag);
    if (!c)
        return parm;
    c->evaluations.fetch_add(1, std::memory_order_relaxed);
    c->lastOffset.store(offset, std::memory_order_relaxed);
    return c->value.data();
}

}  // extern "C"
