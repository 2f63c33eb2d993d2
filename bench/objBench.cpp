// Loading an OBJ file of a million triangles (a 708x708 grid of quads with a
// normal at every vertex, written once to the temporary folder):
//
//   BM_ObjLoad/library               the OBJ library's reader alone, as the
//                                    tool configures it (triangulated)
//   BM_ObjLoad/tool                  the tool's whole loading of the mesh:
//                                    checking the file, reading it, and the
//                                    mesh it draws (vertices, normals)
//
// Both are timed with the whole process's CPU time ("CPU") beside the
// wall-clock time ("Time"). The library reads on one thread; the tool parses
// and builds on every core, so its wall-clock time is what a user waits and
// what the goal of 0.6x the library's time is read against on two threads;
// its CPU time shows the work those threads do together. Counter: triangles.
#include "scene/scene.h"

#include <tiny_obj_loader.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include <unistd.h>

namespace {

const int kSide = 708;  // quads a side: 2 * 708 * 708 = 1,002,528 triangles

const std::string& gridFile()
{
    static const std::string path = [] {
        const std::string p = "/tmp/coolwarm-obj-bench-" + std::to_string(getpid()) + ".obj";
        std::FILE* f = std::fopen(p.c_str(), "w");
        for (int j = 0; j <= kSide; ++j)
            for (int i = 0; i <= kSide; ++i) {
                const double x = -1.0 + 2.0 * i / kSide, z = -1.0 + 2.0 * j / kSide;
                const double y = 0.1 * std::sin(7.0 * x) * std::cos(5.0 * z);
                std::fprintf(f, "v %.6f %.6f %.6f\n", x, y, z);
                std::fprintf(f, "vn %.6f %.6f %.6f\n", -0.7 * std::cos(7.0 * x) * std::cos(5.0 * z), 1.0,
                             0.5 * std::sin(7.0 * x) * std::sin(5.0 * z));
            }
        for (int j = 0; j < kSide; ++j)
            for (int i = 0; i < kSide; ++i) {
                const int a = j * (kSide + 1) + i + 1, b = a + 1, c = a + kSide + 2, d = a + kSide + 1;
                std::fprintf(f, "f %d//%d %d//%d %d//%d %d//%d\n", a, a, b, b, c, c, d, d);
            }
        std::fclose(f);
        std::atexit([] { std::remove(gridFile().c_str()); });
        return p;
    }();
    return path;
}

void BM_ObjLoad_library(benchmark::State& state)
{
    const std::string& path = gridFile();
    std::size_t triangles = 0;
    for (auto _ : state) {
        tinyobj::ObjReaderConfig config;
        config.triangulate = true;
        config.vertex_color = false;
        tinyobj::ObjReader reader;
        if (!reader.ParseFromFile(path, config))
            state.SkipWithError("the library cannot read the file");
        triangles = reader.GetShapes().empty() ? 0 : reader.GetShapes()[0].mesh.indices.size() / 3;
    }
    state.counters["triangles"] = static_cast<double>(triangles);
}
BENCHMARK(BM_ObjLoad_library)->Name("BM_ObjLoad/library")->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void BM_ObjLoad_tool(benchmark::State& state)
{
    const std::string& path = gridFile();
    std::size_t triangles = 0;
    for (auto _ : state) {
        // With the notes, as the command line loads it (they cost a look at the normals).
        std::vector<std::string> notes;
        triangles = cwtool::loadObjMesh(path, cwtool::kDefaultCreaseDegrees, "--scene", &notes).triangles.size();
    }
    state.counters["triangles"] = static_cast<double>(triangles);
}
BENCHMARK(BM_ObjLoad_tool)->Name("BM_ObjLoad/tool")->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
