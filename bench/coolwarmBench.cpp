// Per-sample cost of the tone model, of the node's compute through the Maya
// stand-in, and of a zarn_coolwarm call through the mental ray stand-in.
//   build/bin/coolwarmBench
#include "declaration.h"
#include "mayaHost.h"
#include "mrHost.h"
#include "toneModel.h"

#include <benchmark/benchmark.h>

#include <dlfcn.h>

#include <string>

namespace {

tone::ToneInputs inputs()
{
    tone::ToneInputs in{};
    in.normal = {0.0f, 0.6f, 0.8f};
    in.view = {0.0f, 0.0f, -1.0f};
    in.colour = {0.8f, 0.4f, 0.1f};
    in.diffuse = 0.8f;
    in.alpha = 0.2f;
    in.beta = 0.6f;
    in.blue = 0.4f;
    in.yellow = 0.4f;
    in.specularColour = {0.5f, 0.5f, 0.5f};
    in.eccentricity = 0.3f;
    in.rollOff = 0.7f;
    in.outlineWidth = 0.4f;
    in.outlineColour = {0.744f, 0.744f, 0.821f};
    return in;
}

void ToneShadeTwoLights(benchmark::State& state)
{
    const tone::ToneInputs in = inputs();
    const tone::LightElement lights[2] = {{{1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 1.0f}, 1.0f, false, true, true},
                                          {{0.3f, 0.3f, 0.3f}, {0.8f, 0.0f, 0.6f}, 0.3f, false, true, false}};
    for (auto _ : state)
        benchmark::DoNotOptimize(tone::toneShade(in, lights, 2));
}
BENCHMARK(ToneShadeTwoLights);

void NodeComputeTwoLights(benchmark::State& state)
{
    static mayahost::PluginRecord* plugin =
        mayahost::loadPlugin(std::string(COOLWARM_BUILD_DIR) + "/plug-ins/coolwarm.so");
    (void)plugin;
    mayahost::Node node("coolwarm");
    mayahost::ShadingSampler sampler(node);
    mayahost::LightSample lights[2];
    lights[0].specular = true;
    float p[3] = {0.0f, 0.0f, -3.0f}, n[3] = {0.0f, 0.6f, 0.8f}, v[3] = {0.0f, 0.0f, -1.0f}, rgb[3];
    for (auto _ : state) {
        sampler.setSample(p, n, v);
        sampler.setLights(lights, 2);
        sampler.outColor(rgb);
        benchmark::DoNotOptimize(rgb[0]);
    }
}
BENCHMARK(NodeComputeTwoLights);

void ShaderCallTwoLights(benchmark::State& state)
{
    typedef int (*SetModuleHandleFn)(void*);
    typedef miBoolean (*ShaderFn)(miColor*, miState*, void*);
    static void* library =
        dlopen((std::string(COOLWARM_BUILD_DIR) + "/mentalray/lib/zarn_coolwarm.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    static ShaderFn shade = reinterpret_cast<ShaderFn>(dlsym(library, "zarn_coolwarm"));
    reinterpret_cast<SetModuleHandleFn>(dlsym(library, "miSetModuleHandle"))(
        dlopen(mrhost::modulePath().c_str(), RTLD_NOW | RTLD_NOLOAD));
    const mrhost::Declaration d = mrhost::readDeclaration(
        std::string(COOLWARM_BUILD_DIR) + "/mentalray/include/zarn_coolwarm.mi", "zarn_coolwarm");
    mrhost::clearScene();
    mrhost::Light key, fill;
    key.position = {0.0f, 5.0f, 5.0f};
    fill.kind = mrhost::Light::Directional;
    mrhost::BlockBuilder builder(d);
    builder.setArray("light", {mrhost::addLight(key), mrhost::addLight(fill)});
    mrhost::ShaderCall call(builder.bytes());
    builder.write(call.parameters());
    call.state().normal = {0.0f, 0.6f, 0.8f};
    call.state().dir = {0.0f, 0.0f, -1.0f};
    for (auto _ : state) {
        miColor result{0.0f, 0.0f, 0.0f, 0.0f};
        shade(&result, &call.state(), call.parameters());
        benchmark::DoNotOptimize(result.r);
    }
}
BENCHMARK(ShaderCallTwoLights);

}  // namespace

BENCHMARK_MAIN();
