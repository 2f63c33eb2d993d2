// Cost per request line of `coolwarm shade`, beside the cost of only parsing
// the same lines as JSON:
//
//   BM_ShadeLines/node, BM_ShadeLines/shader    the shade loop in this process
//                                               over node or shader requests
//   BM_ParseOnly/node, BM_ParseOnly/shader      nlohmann-json parsing alone
//   BM_ShadeTool/node/file, .../stdin (and shader)
//                                               the built tool as its own
//                                               process, reading a file named on
//                                               its command line or the same
//                                               file on standard input; real
//                                               time per line, start-up included
//
// The requests vary from line to line, so nothing is answered from a cache.
#include "core/deliverables.h"
#include "shade/shade.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

extern char** environ;

namespace {

enum class Kind { Node, Shader };

const int kLines = 64;          // per iteration of the in-process benchmarks
const int kToolLines = 20000;   // per run of the tool

std::string buildDir()
{
    const char* dir = std::getenv("COOLWARM_BUILD_DIR");
    return dir && *dir ? dir : COOLWARM_BUILD_DIR;
}

std::string number(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", static_cast<double>(v));
    return text;
}

std::string triple(float x, float y, float z) { return "[" + number(x) + ", " + number(y) + ", " + number(z) + "]"; }

float wobble(int i, int k) { return std::sin(static_cast<float>(i * 7 + k * 13) * 0.37f); }

// Request i: a node with two lights, or a shader with two point lights.
std::string request(Kind kind, int i)
{
    const std::string normal = triple(0.3f * wobble(i, 1), 0.6f + 0.3f * wobble(i, 2), 0.8f);
    if (kind == Kind::Node)
        return "{\"node\": {\"color\": " + triple(0.8f, 0.4f + 0.1f * wobble(i, 3), 0.1f) +
               ", \"normalCamera\": " + normal + ", \"rayDirection\": [0, 0, -1], \"outLineWidth\": 0.3, " +
               "\"lightDataArray\": [{\"lightDirection\": " + triple(wobble(i, 4), 0.5f, 0.8f) +
               ", \"lightIntensity\": [1, 1, 1], \"lightSpecular\": true}, {\"lightDirection\": " +
               triple(-0.5f, wobble(i, 5), 0.6f) + "}]}, \"get\": [\"outColor\", \"outTransparency\"]}";
    return "{\"shader\": {\"color\": " + triple(0.8f, 0.4f + 0.1f * wobble(i, 3), 0.1f) +
           ", \"specularColor\": [0.3, 0.3, 0.3], \"light\": [\"key\", \"fill\"]}, \"lights\": {\"key\": "
           "{\"type\": \"point\", \"position\": " +
           triple(wobble(i, 4), 5.0f, 5.0f) + "}, \"fill\": {\"type\": \"directional\", \"direction\": " +
           triple(0.5f, wobble(i, 5), -1.0f) + "}}, \"state\": {\"normal\": " + normal + ", \"dir\": [0, 0, -1]}}";
}

std::string requests(Kind kind, int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += request(kind, i) + "\n";
    return text;
}

// An output stream that throws everything away.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void BM_ShadeLines(benchmark::State& state, Kind kind)
{
    const cwtool::InstallLayout layout{buildDir()};
    static const cwtool::MayaPlugin plugin(layout);
    static const cwtool::MentalRayShader shader(layout);
    const std::string text = requests(kind, kLines);
    NullBuffer sink;
    std::ostream out(&sink);
    for (auto _ : state) {
        std::istringstream in(text);
        if (cwtool::runShade(in, out, plugin, shader) != 0) {
            state.SkipWithError("a request failed");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK_CAPTURE(BM_ShadeLines, node, Kind::Node);
BENCHMARK_CAPTURE(BM_ShadeLines, shader, Kind::Shader);

void BM_ParseOnly(benchmark::State& state, Kind kind)
{
    std::vector<std::string> lines;
    for (int i = 0; i < kLines; ++i)
        lines.push_back(request(kind, i));
    for (auto _ : state)
        for (const std::string& line : lines)
            benchmark::DoNotOptimize(nlohmann::json::parse(line));
    state.SetItemsProcessed(state.iterations() * kLines);
}
BENCHMARK_CAPTURE(BM_ParseOnly, node, Kind::Node);
BENCHMARK_CAPTURE(BM_ParseOnly, shader, Kind::Shader);

// Runs the tool on a request file, named or on standard input; output to /dev/null.
bool runTool(const std::string& file, bool onStdin)
{
    const std::string tool = buildDir() + "/bin/coolwarm";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (onStdin)
        posix_spawn_file_actions_addopen(&actions, 0, file.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args{tool, "shade"};
    if (!onStdin)
        args.push_back(file);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t pid;
    const int failed = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return !failed && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_ShadeTool(benchmark::State& state, Kind kind, bool onStdin)
{
    const std::string file = "/tmp/coolwarm-shade-bench-" + std::to_string(getpid()) + ".jsonl";
    std::ofstream(file) << requests(kind, kToolLines);
    for (auto _ : state)
        if (!runTool(file, onStdin)) {
            state.SkipWithError("the tool failed");
            break;
        }
    std::remove(file.c_str());
    state.SetItemsProcessed(state.iterations() * kToolLines);
}
BENCHMARK_CAPTURE(BM_ShadeTool, node/file, Kind::Node, false)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ShadeTool, node/stdin, Kind::Node, true)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ShadeTool, shader/file, Kind::Shader, false)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ShadeTool, shader/stdin, Kind::Shader, true)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
