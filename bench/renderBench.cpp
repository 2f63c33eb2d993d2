// Cost of `coolwarm render` on the built-in scene, one panel of 640x480 (the
// tool's default size):
//
//   BM_RenderRaysOnly                the same primary and shadow rays, nothing
//                                    shaded, nothing written
//   BM_RenderShaded/maya, .../mentalray
//                                    rendered through the deliverable and
//                                    written as a PNG; the counters split each
//                                    iteration into its render and write phases
//   BM_RenderShaded/maya/threads:1, .../threads:2
//                                    the same with one and two render threads,
//                                    in real time, for the scaling (the CPU
//                                    column is the whole process's: equal CPU
//                                    for both means the threads add no work)
//
// All but the threads variants render on one thread and count the CPU time of
// the whole process (the render runs on threads of its own).
#include "core/deliverables.h"
#include "render/image.h"
#include "render/render.h"
#include "scene/scene.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <unistd.h>

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

double since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void run(benchmark::State& state, cwtool::Renderer renderer, bool shade, int threads)
{
    Deliverables& d = deliverables();
    cwtool::RenderSettings settings;
    settings.renderer = renderer;
    settings.width = 640;
    settings.height = 480;
    settings.threads = threads;
    settings.shade = shade;
    const std::string out = "/tmp/coolwarm-render-bench-" + std::to_string(getpid()) + ".png";
    const cwtool::MayaPlugin* plugin = renderer == cwtool::Renderer::Maya ? &d.plugin : nullptr;
    const cwtool::MentalRayShader* shader = renderer == cwtool::Renderer::MentalRay ? &d.shader : nullptr;
    double renderTime = 0.0, writeTime = 0.0;
    for (auto _ : state) {
        cwtool::RenderTimes times;
        const cwtool::Image image = cwtool::render(d.scene, settings, plugin, shader, &times);
        renderTime += times.render;
        if (shade) {
            const auto start = std::chrono::steady_clock::now();
            cwtool::writeImage(out, image, "benchmark");
            writeTime += since(start);
        }
    }
    std::remove(out.c_str());
    const double n = static_cast<double>(state.iterations());
    state.counters["render_s"] = renderTime / n;
    if (shade) {
        state.counters["write_s"] = writeTime / n;
        state.counters["write_share"] = writeTime / renderTime;
    }
    state.SetItemsProcessed(state.iterations() * settings.width * settings.height);
}

void BM_RenderRaysOnly(benchmark::State& state) { run(state, cwtool::Renderer::Maya, false, 1); }
BENCHMARK(BM_RenderRaysOnly)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_RenderShaded(benchmark::State& state, cwtool::Renderer renderer, int threads)
{
    run(state, renderer, true, threads);
}
BENCHMARK_CAPTURE(BM_RenderShaded, maya, cwtool::Renderer::Maya, 1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RenderShaded, mentalray, cwtool::Renderer::MentalRay, 1)
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RenderShaded, maya/threads:1, cwtool::Renderer::Maya, 1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RenderShaded, maya/threads:2, cwtool::Renderer::Maya, 2)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
