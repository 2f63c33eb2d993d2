// Per-sample cost of the two deliverables through their hosts, each beside the
// same arithmetic done bare:
//
//   BM_ToneModel/L          the tone model alone, L lights
//   BM_NodeCompute/L        the node's compute through the Maya stand-in: the
//                           renderer's fill of the sample inputs and light list,
//                           then a request for outColor
//   BM_ShaderCall/L         a zarn_coolwarm call through the stand-in renderer,
//                           L one-sample point lights
//   BM_ShaderInline/L       the same shading written out inline over the same
//                           samples (checked bit for bit against the call once)
//   BM_ShaderAreaLights/4/16, BM_ShaderAreaInline/4/16
//                           the same for 4 area lights of 16 samples each
//
// Every iteration shades another of a set of prepared samples, so nothing can
// be hoisted out of the loop. The per-iteration work of each benchmark is one
// call of a function named sample..., which is what callgrind counts (see
// README.md; COOLWARM_BENCH_CALLS=1 prints how often each was called).
#include "declaration.h"
#include "mayaHost.h"
#include "mrHost.h"
#include "toneModel.h"
#include "zarn_coolwarm.h"

#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

const int kVariants = 64;  // prepared samples, cycled through
const int kMaxLights = 16;

// How often each sample function ran, for turning callgrind totals into
// per-sample counts.
unsigned long calls[6];
struct CallReport {
    ~CallReport()
    {
        if (!std::getenv("COOLWARM_BENCH_CALLS"))
            return;
        const char* names[6] = {"sampleTone", "sampleNode", "sampleShader", "sampleShaderInline", "sampleArea",
                                "sampleAreaInline"};
        for (int i = 0; i < 6; ++i)
            if (calls[i])
                std::fprintf(stderr, "%s calls: %lu\n", names[i], calls[i]);
    }
} callReport;

// A small deterministic generator for the prepared samples.
float wobble(int i, int k) { return std::sin(static_cast<float>(i * 7 + k * 13) * 0.37f); }

tone::Triple unit(float x, float y, float z)
{
    const float l = std::sqrt(x * x + y * y + z * z);
    return {x / l, y / l, z / l};
}

// The build tree the deliverables are loaded from; COOLWARM_BUILD_DIR in the
// environment points a copied tree's benchmark at that copy.
std::string buildDir()
{
    const char* dir = std::getenv("COOLWARM_BUILD_DIR");
    return dir && *dir ? dir : COOLWARM_BUILD_DIR;
}

// ---------------------------------------------------------------------------
// Maya side

struct NodeSamples {
    float point[kVariants][3], normal[kVariants][3], view[kVariants][3];
    mayahost::LightSample lights[kVariants][kMaxLights];

    NodeSamples()
    {
        for (int v = 0; v < kVariants; ++v) {
            const tone::Triple n = unit(0.3f * wobble(v, 1), 0.6f + 0.3f * wobble(v, 2), 0.8f);
            const tone::Triple d = unit(0.2f * wobble(v, 3), 0.2f * wobble(v, 4), -1.0f);
            const float p[3] = {wobble(v, 5), wobble(v, 6), -4.0f + wobble(v, 7)};
            for (int k = 0; k < 3; ++k) point[v][k] = p[k];
            normal[v][0] = n.x, normal[v][1] = n.y, normal[v][2] = n.z;
            view[v][0] = d.x, view[v][1] = d.y, view[v][2] = d.z;
            for (int l = 0; l < kMaxLights; ++l) {
                mayahost::LightSample& e = lights[v][l];
                const tone::Triple dir = unit(wobble(v + l, 8), 0.5f + wobble(v, l), 0.7f + 0.3f * wobble(l, 9));
                e.direction[0] = dir.x, e.direction[1] = dir.y, e.direction[2] = dir.z;
                for (int k = 0; k < 3; ++k)
                    e.intensity[k] = 0.5f + 0.4f * wobble(v + k, l);
                e.ambient = e.diffuse = e.specular = true;
                e.shadowFraction = 1.0f;
                e.preShadowIntensity = 0.8f + 0.2f * wobble(l, v);
            }
        }
    }
};

const NodeSamples& nodeSamples()
{
    static const NodeSamples s;
    return s;
}

mayahost::PluginRecord* plugin()
{
    static mayahost::PluginRecord* p = mayahost::loadPlugin(buildDir() + "/plug-ins/coolwarm.so");
    return p;
}

tone::Triple attrTriple(const mayahost::Node& node, const char* name)
{
    const mayahost::AttrValue v = node.peekAttr(name);
    return {v.v[0], v.v[1], v.v[2]};
}

float attrFloat(const mayahost::Node& node, const char* name) { return node.peekAttr(name).v[0]; }

// The tone model's inputs as a fresh node holds them.
tone::ToneInputs defaultInputs(const mayahost::Node& node)
{
    tone::ToneInputs in{};
    in.colour = attrTriple(node, "color");
    in.transparency = attrTriple(node, "transparency");
    in.ambientColour = attrTriple(node, "ambientColor");
    in.incandescence = attrTriple(node, "incandescence");
    in.specularColour = attrTriple(node, "specularColor");
    in.outlineColour = attrTriple(node, "outLineColor");
    in.diffuse = attrFloat(node, "diffuse");
    in.translucence = attrFloat(node, "translucence");
    in.alpha = attrFloat(node, "alpha");
    in.beta = attrFloat(node, "beta");
    in.blue = attrFloat(node, "blue");
    in.yellow = attrFloat(node, "yellow");
    in.eccentricity = attrFloat(node, "eccentricity");
    in.rollOff = attrFloat(node, "specularRollOff");
    in.outlineWidth = attrFloat(node, "outLineWidth");
    return in;
}

struct ToneContext {
    tone::ToneInputs in;
    tone::LightElement lights[kVariants][kMaxLights];
};

__attribute__((noinline)) tone::Triple sampleTone(ToneContext& c, int v, int count)
{
    ++calls[0];
    const NodeSamples& s = nodeSamples();
    c.in.normal = {s.normal[v][0], s.normal[v][1], s.normal[v][2]};
    c.in.view = {s.view[v][0], s.view[v][1], s.view[v][2]};
    return tone::toneShade(c.in, c.lights[v], static_cast<std::size_t>(count));
}

__attribute__((noinline)) void sampleNode(mayahost::ShadingSampler& sampler, int v, int count, float rgb[3])
{
    ++calls[1];
    const NodeSamples& s = nodeSamples();
    sampler.setSample(s.point[v], s.normal[v], s.view[v]);
    sampler.setLights(s.lights[v], static_cast<std::size_t>(count));
    sampler.outColor(rgb);
}

void BM_ToneModel(benchmark::State& state)
{
    plugin();
    const int count = static_cast<int>(state.range(0));
    mayahost::Node node("coolwarm");
    ToneContext c;
    c.in = defaultInputs(node);
    const NodeSamples& s = nodeSamples();
    for (int v = 0; v < kVariants; ++v)
        for (int l = 0; l < kMaxLights; ++l) {
            const mayahost::LightSample& e = s.lights[v][l];
            c.lights[v][l] = {{e.intensity[0], e.intensity[1], e.intensity[2]},
                              {e.direction[0], e.direction[1], e.direction[2]},
                              e.preShadowIntensity,
                              e.ambient,
                              e.diffuse,
                              e.specular};
        }
    // The node must compute exactly this, or the comparison means nothing.
    mayahost::ShadingSampler sampler(node);
    for (int v = 0; v < kVariants; ++v) {
        float rgb[3];
        sampleNode(sampler, v, count, rgb);
        const tone::Triple t = sampleTone(c, v, count);
        if (std::memcmp(rgb, &t, sizeof rgb) != 0) {
            state.SkipWithError("the node's outColor differs from the tone model's result");
            return;
        }
    }
    int v = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sampleTone(c, v, count));
        v = (v + 1) % kVariants;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ToneModel)->Arg(1)->Arg(4)->Arg(16);

void BM_NodeCompute(benchmark::State& state)
{
    plugin();
    nodeSamples();
    const int count = static_cast<int>(state.range(0));
    mayahost::Node node("coolwarm");
    mayahost::ShadingSampler sampler(node);
    float rgb[3];
    int v = 0;
    for (auto _ : state) {
        sampleNode(sampler, v, count, rgb);
        benchmark::DoNotOptimize(rgb);
        v = (v + 1) % kVariants;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NodeCompute)->Arg(1)->Arg(4)->Arg(16);

// ---------------------------------------------------------------------------
// mental ray side

typedef miBoolean (*ShaderFn)(miColor*, miState*, void*);

ShaderFn shaderFunction()
{
    static ShaderFn shade = [] {
        void* library = dlopen((buildDir() + "/mentalray/lib/zarn_coolwarm.so").c_str(),
                               RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return ShaderFn(nullptr);
        typedef int (*SetModuleHandleFn)(void*);
        reinterpret_cast<SetModuleHandleFn>(dlsym(library, "miSetModuleHandle"))(
            dlopen(mrhost::modulePath().c_str(), RTLD_NOW | RTLD_NOLOAD));
        return reinterpret_cast<ShaderFn>(dlsym(library, "zarn_coolwarm"));
    }();
    return shade;
}

const mrhost::Declaration& declaration()
{
    static const mrhost::Declaration d = mrhost::readDeclaration(
        buildDir() + "/mentalray/include/zarn_coolwarm.mi", "zarn_coolwarm");
    return d;
}

struct StateSample {
    miVector point, normal, dir;
};

struct ShaderContext {
    std::vector<mrhost::Light> lights;
    std::unique_ptr<mrhost::ShaderCall> call;
    StateSample samples[kVariants];
};

// A scene of `count` lights, a call with its parameter block, and the samples.
void setUpShader(ShaderContext& c, int count, bool area, int areaSamples)
{
    mrhost::clearScene();
    std::vector<miTag> tags;
    c.lights.clear();
    for (int l = 0; l < count; ++l) {
        mrhost::Light light;
        light.kind = area ? mrhost::Light::Area : mrhost::Light::Point;
        light.position = {3.0f * wobble(l, 1), 4.0f + wobble(l, 2), 2.0f + 2.0f * wobble(l, 3)};
        light.colour = {0.9f, 0.8f + 0.1f * wobble(l, 4), 0.7f, 1.0f};
        light.intensity = 0.8f + 0.2f * wobble(l, 5);
        light.samples = areaSamples;
        light.edgeU = {1.5f, 0.0f, 0.0f};
        light.edgeV = {0.0f, 0.0f, 1.5f};
        c.lights.push_back(light);
        tags.push_back(mrhost::addLight(light));
    }
    mrhost::BlockBuilder builder(declaration());
    builder.set("color", {0.85, 0.45, 0.15});
    builder.set("specularColor", {0.3, 0.3, 0.3});
    builder.set("ambientColor", {0.05, 0.05, 0.05});
    builder.set("incandescence", {0.01, 0.02, 0.03});
    builder.setArray("light", tags);
    c.call.reset(new mrhost::ShaderCall(builder.bytes()));
    builder.write(c.call->parameters());
    static int primitive;
    c.call->state().pri = &primitive;
    for (int v = 0; v < kVariants; ++v) {
        const tone::Triple n = unit(0.3f * wobble(v, 1), 0.6f + 0.3f * wobble(v, 2), 0.8f);
        const tone::Triple d = unit(0.2f * wobble(v, 3), 0.2f * wobble(v, 4), -1.0f);
        c.samples[v] = {{wobble(v, 5), wobble(v, 6), -4.0f + wobble(v, 7)}, {n.x, n.y, n.z}, {d.x, d.y, d.z}};
    }
}

__attribute__((noinline)) miColor sampleShaderCall(ShaderFn shade, ShaderContext& c, int v)
{
    miState& state = c.call->state();
    state.point = c.samples[v].point;
    state.normal = c.samples[v].normal;
    state.dir = c.samples[v].dir;
    miColor result{0.0f, 0.0f, 0.0f, 0.0f};
    shade(&result, &state, c.call->parameters());
    return result;
}

__attribute__((noinline)) miColor sampleShader(ShaderFn shade, ShaderContext& c, int v)
{
    ++calls[2];
    return sampleShaderCall(shade, c, v);
}

__attribute__((noinline)) miColor sampleArea(ShaderFn shade, ShaderContext& c, int v)
{
    ++calls[4];
    return sampleShaderCall(shade, c, v);
}

// The stand-in renderer's normalisation: divide by the length when it is not 0.
inline void normaliseByLength(miVector& v)
{
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (length > 0.0f) {
        v.x /= length;
        v.y /= length;
        v.z /= length;
    }
}

// What the stand-in renderer and the shader compute together, written out in
// one function: the light samples, the tone colour, the Blinn highlight, the
// average per light, ambient colour and incandescence.
__attribute__((noinline)) miColor sampleInlineArithmetic(const ShaderContext& c, const struct zarn_coolwarm& p,
                                                         const miVector* targets, int v)
{
    const StateSample& st = c.samples[v];
    const tone::Triple surface{p.color.r, p.color.g, p.color.b};
    const tone::Triple cool = tone::coolColour(surface, p.alpha, p.blue);
    const tone::Triple warm = tone::warmColour(surface, p.beta, p.yellow);
    miVector normal{st.normal.x + p.normalCamera.x, st.normal.y + p.normalCamera.y, st.normal.z + p.normalCamera.z};
    const float length = std::sqrt(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z);
    if (length != 0.0f) {
        const float inverse = 1.0f / length;
        normal.x *= inverse;
        normal.y *= inverse;
        normal.z *= inverse;
    }
    const tone::Triple n{normal.x, normal.y, normal.z};
    miColor result{0.0f, 0.0f, 0.0f, 0.0f};
    for (const mrhost::Light& light : c.lights) {
        const int count = light.kind == mrhost::Light::Area ? light.samples : 1;
        const miVector* lightTargets = targets;
        targets += count;
        const float i = light.intensity;
        const miColor colour{light.colour.r * i, light.colour.g * i, light.colour.b * i, light.colour.a};
        tone::Triple sum{0.0f, 0.0f, 0.0f};
        for (int k = 0; k < count; ++k) {
            const miVector target = lightTargets[k];
            miVector dir{target.x - st.point.x, target.y - st.point.y, target.z - st.point.z};
            normaliseByLength(dir);
            const float d = tone::dot(tone::Triple{dir.x, dir.y, dir.z}, n);
            sum = sum + p.diffuse * tone::toneColour(tone::toneWeight(d), cool, warm);
            miVector h{dir.x - st.dir.x, dir.y - st.dir.y, dir.z - st.dir.z};
            normaliseByLength(h);
            const float cosine = normal.x * h.x + normal.y * h.y + normal.z * h.z;
            const float f = cosine > 0.0f ? std::pow(cosine, p.eccentricity) : 0.0f;
            if (f > 0.0f)
                sum = sum + tone::Triple{f * p.specularRollOff * colour.r * p.specularColor.r,
                                         f * p.specularRollOff * colour.g * p.specularColor.g,
                                         f * p.specularRollOff * colour.b * p.specularColor.b};
        }
        const float samples = static_cast<float>(count);
        result.r += sum.x / samples;
        result.g += sum.y / samples;
        result.b += sum.z / samples;
    }
    result.r += p.ambientColor.r * p.color.r;
    result.g += p.ambientColor.g * p.color.g;
    result.b += p.ambientColor.b * p.color.b;
    result.r += p.incandescence.r;
    result.g += p.incandescence.g;
    result.b += p.incandescence.b;
    result.a = 1.0f;
    return result;
}

__attribute__((noinline)) miColor sampleShaderInline(const ShaderContext& c, const struct zarn_coolwarm& p,
                                                     const miVector* targets, int v)
{
    ++calls[3];
    return sampleInlineArithmetic(c, p, targets, v);
}

__attribute__((noinline)) miColor sampleAreaInline(const ShaderContext& c, const struct zarn_coolwarm& p,
                                                   const miVector* targets, int v)
{
    ++calls[5];
    return sampleInlineArithmetic(c, p, targets, v);
}

// Where each light's samples lie is fixed per light (the light's position, or
// points on an area light's rectangle): the inline version takes them ready
// made, as the renderer works them out once when a light is added.
std::vector<miVector> sampleTargets(const ShaderContext& c)
{
    std::vector<miVector> targets;
    for (const mrhost::Light& light : c.lights) {
        if (light.kind != mrhost::Light::Area) {
            targets.push_back(light.position);
            continue;
        }
        for (int k = 0; k < light.samples; ++k) {
            float s, t;
            mrhost::areaSampleOffset(light, k, &s, &t);
            targets.push_back({light.position.x + s * light.edgeU.x + t * light.edgeV.x,
                               light.position.y + s * light.edgeU.y + t * light.edgeV.y,
                               light.position.z + s * light.edgeU.z + t * light.edgeV.z});
        }
    }
    return targets;
}

bool sameResults(ShaderFn shade, ShaderContext& c, const miVector* targets)
{
    const struct zarn_coolwarm& p = *reinterpret_cast<const struct zarn_coolwarm*>(c.call->parameters());
    for (int v = 0; v < kVariants; ++v) {
        const miColor a = sampleShaderCall(shade, c, v);
        const miColor b = sampleInlineArithmetic(c, p, targets, v);
        if (std::memcmp(&a, &b, sizeof a) != 0)
            return false;
    }
    return true;
}

template <bool Inline>
void runShader(benchmark::State& state, bool area)
{
    const ShaderFn shade = shaderFunction();
    if (!shade) {
        state.SkipWithError("cannot load zarn_coolwarm");
        return;
    }
    ShaderContext c;
    setUpShader(c, static_cast<int>(state.range(0)), area, area ? static_cast<int>(state.range(1)) : 1);
    const std::vector<miVector> targets = sampleTargets(c);
    if (!sameResults(shade, c, targets.data())) {
        state.SkipWithError("the inline arithmetic differs from the shader call");
        return;
    }
    const struct zarn_coolwarm& p = *reinterpret_cast<const struct zarn_coolwarm*>(c.call->parameters());
    int v = 0;
    for (auto _ : state) {
        if (Inline)
            benchmark::DoNotOptimize(area ? sampleAreaInline(c, p, targets.data(), v)
                                          : sampleShaderInline(c, p, targets.data(), v));
        else
            benchmark::DoNotOptimize(area ? sampleArea(shade, c, v) : sampleShader(shade, c, v));
        v = (v + 1) % kVariants;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ShaderCall(benchmark::State& state) { runShader<false>(state, false); }
void BM_ShaderInline(benchmark::State& state) { runShader<true>(state, false); }
void BM_ShaderAreaLights(benchmark::State& state) { runShader<false>(state, true); }
void BM_ShaderAreaInline(benchmark::State& state) { runShader<true>(state, true); }
BENCHMARK(BM_ShaderCall)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(BM_ShaderInline)->Arg(1)->Arg(4)->Arg(16);
BENCHMARK(BM_ShaderAreaLights)->Args({4, 16});
BENCHMARK(BM_ShaderAreaInline)->Args({4, 16});

}  // namespace

BENCHMARK_MAIN();
