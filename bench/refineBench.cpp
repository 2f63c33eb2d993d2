// What the lookdev page waits for, on the built-in scene with both panels:
//
//   BM_Refine/uniform1               480x360, one sample a pixel: the page's
//                                    quick picture, the baseline
//   BM_Refine/uniform4               480x360, four samples in every pixel
//                                    (render --samples 4 --samples-uniform)
//   BM_Refine/adaptive4              480x360, four samples where the picture
//                                    changes, one elsewhere: the refined picture
//   BM_PageRender/cold               a one-sample 480x360 page render that builds
//                                    its ray-casting scene, as each did before
//   BM_PageRender/warm               the same render keeping the ray-casting
//                                    scene from the one before, as the server does
//   BM_RayScene/build, .../keep      the ray-casting scene alone: built afresh,
//                                    or brought up to date when it is kept
//
// BM_Refine: one render thread, CPU time of the whole process. BM_PageRender:
// every core, as the server renders, in real time (the CPU column is the whole
// process's). Counters: samples a pixel, and the seconds before the first tile
// (bringing the ray-casting scene up to date).
#include "core/deliverables.h"
#include "render/render.h"
#include "scene/scene.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

std::string buildDir()
{
    const char* dir = std::getenv("COOLWARM_BUILD_DIR");
    return dir && *dir ? dir : COOLWARM_BUILD_DIR;
}

struct Deliverables {
    cwtool::InstallLayout layout{buildDir()};
    cwtool::MayaPlugin plugin{layout};
    cwtool::MentalRayShader shader{layout};
    cwtool::Scene scene = cwtool::defaultScene();
};

Deliverables& deliverables()
{
    static Deliverables d;
    return d;
}

void run(benchmark::State& state, int samples, bool uniform, int threads, cwtool::RayScene* rays)
{
    Deliverables& d = deliverables();
    cwtool::RenderSettings settings;
    settings.width = 480;
    settings.height = 360;
    settings.samples = samples;
    settings.uniformSamples = uniform;
    settings.threads = threads;
    settings.labels = false;
    long long cast = 0;
    double build = 0.0;
    for (auto _ : state) {
        cwtool::RenderTimes times;
        benchmark::DoNotOptimize(cwtool::render(d.scene, settings, &d.plugin, &d.shader, &times, rays));
        cast += times.samples;
        build += times.buildBvh;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["samples_a_pixel"] = static_cast<double>(cast) / (n * 2.0 * settings.width * settings.height);
    state.counters["scene_s"] = build / n;
}

void BM_Refine(benchmark::State& state, int samples, bool uniform) { run(state, samples, uniform, 1, nullptr); }
BENCHMARK_CAPTURE(BM_Refine, uniform1, 1, true)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Refine, uniform4, 4, true)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Refine, adaptive4, 4, false)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_PageRender(benchmark::State& state, bool keep)
{
    cwtool::RayScene rays;
    run(state, 1, false, 0, keep ? &rays : nullptr);
}
BENCHMARK_CAPTURE(BM_PageRender, cold, false)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PageRender, warm, true)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_RayScene(benchmark::State& state, bool keep)
{
    const cwtool::Scene& scene = deliverables().scene;
    cwtool::RayScene kept;
    kept.update(scene.meshes);
    for (auto _ : state) {
        if (keep) {
            benchmark::DoNotOptimize(kept.update(scene.meshes));
        } else {
            cwtool::RayScene fresh;
            benchmark::DoNotOptimize(fresh.update(scene.meshes));
        }
    }
}
BENCHMARK_CAPTURE(BM_RayScene, build, false)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RayScene, keep, true)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
