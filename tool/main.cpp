// coolwarm: try the coolwarm material without Maya.
//
//   coolwarm shade [FILE]             evaluate JSON requests, one per line
//   coolwarm describe node|shader     what the hosts see of the deliverables
//   coolwarm render [options]         a preview image of a scene
//
// Every command loads the built deliverables the way their hosts do: the Maya
// plug-in through the Maya stand-in, the shader library bound to the stand-in
// renderer. Exit status: 0 success, 1 bad input, 2 internal failure.
#include "deliverables.h"
#include "describe.h"
#include "errors.h"
#include "image.h"
#include "render.h"
#include "scene.h"
#include "shade.h"
#include "values.h"
#include "workLimits.h"

#include <CLI/CLI.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

using namespace cwtool;

namespace {

const char kExitCodes[] =
    "\nExit status:\n"
    "  0  success\n"
    "  1  bad input (a request, an option, a scene file or the output path)\n"
    "  2  internal failure (the deliverables could not be loaded or failed)\n";

double since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What was printed must have reached its destination (a full disk): an output
// that failed is a failed run. Checked right after the writing, while errno
// still holds the reason.
void checkStandardOutput()
{
    std::cout.flush();
    if (!std::cout || std::fflush(stdout) != 0)
        throw InputError(std::string("writing to standard output failed: ") + std::strerror(errno));
}

int runShadeCommand(const std::string& file)
{
    const InstallLayout layout = findLayout();
    MayaPlugin plugin(layout);
    MentalRayShader shader(layout);
    if (file.empty() || file == "-")
        return runShade(std::cin, std::cout, plugin, shader);
    struct stat st;
    if (stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw InputError("shade: '" + file + "' is a folder, not a request file");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw InputError("shade: cannot open the request file '" + file + "': " + std::strerror(errno));
    const int status = runShade(in, std::cout, plugin, shader);
    if (in.bad())
        throw InputError("shade: reading the request file '" + file + "' failed: " + std::strerror(errno));
    return status;
}

int runDescribe(const std::string& what)
{
    const InstallLayout layout = findLayout();
    if (what == "node") {
        MayaPlugin plugin(layout);
        std::cout << describeNode(plugin).dump(2) << '\n';
        checkStandardOutput();
    } else {
        MentalRayShader shader(layout);
        std::cout << describeShader(shader).dump(2) << '\n';
        checkStandardOutput();
    }
    return kExitOk;
}

struct RenderArgs {
    std::string renderer = "both";
    std::string scene;
    std::vector<std::string> sets;
    std::string size = "640x480";
    int samples = 1;
    int threads = 0;
    std::string out = "preview.png";
    bool quiet = false;
    bool verbose = false;
};

void parseSize(const std::string& text, int& width, int& height)
{
    int w = 0, h = 0;
    char x = 0, extra = 0;
    std::istringstream in(text);
    if (!(in >> w >> x >> h) || (x != 'x' && x != 'X') || in >> extra || w < 1 || h < 1 || w > kMaxImageSide ||
        h > kMaxImageSide)
        throw InputError("--size '" + text + "': expected WIDTHxHEIGHT, each from 1 to " +
                         std::to_string(kMaxImageSide) + ", such as 640x480");
    width = w;
    height = h;
}

int runRender(const RenderArgs& args)
{
    const auto start = std::chrono::steady_clock::now();
    RenderSettings settings;
    settings.renderer = args.renderer == "maya" ? Renderer::Maya
                        : args.renderer == "mentalray" ? Renderer::MentalRay
                                                       : Renderer::Both;
    parseSize(args.size, settings.width, settings.height);
    settings.samples = args.samples;
    settings.threads = args.threads;
    for (const std::string& s : args.sets)
        settings.settings.push_back(parseSetting(s));
    settings.progress = !args.quiet && isatty(STDERR_FILENO);
    checkOutputPath(args.out);
    checkRenderSize(settings.width, settings.height, settings.renderer == Renderer::Both ? 2 : 1,
                    storedBytesPerPixel(args.out));

    // Pipeline: load the deliverables, the scene, render, write.
    const InstallLayout layout = findLayout();
    std::unique_ptr<MayaPlugin> plugin;
    std::unique_ptr<MentalRayShader> shader;
    if (settings.renderer != Renderer::MentalRay)
        plugin.reset(new MayaPlugin(layout));
    if (settings.renderer != Renderer::Maya)
        shader.reset(new MentalRayShader(layout));
    validateSettings(settings, plugin.get(), shader.get());
    const Scene scene = args.scene.empty() ? defaultScene() : loadObjScene(args.scene);
    const double loadTime = since(start);

    RenderTimes times;
    const Image image = render(scene, settings, plugin.get(), shader.get(), &times);

    const auto writeStart = std::chrono::steady_clock::now();
    std::string description = "coolwarm preview of " + scene.description + "; panels from the left:";
    for (const std::string& p : image.panels)
        description += " " + p;
    writeImage(args.out, image, description);
    const double writeTime = since(writeStart);

    if (args.verbose)
        std::fprintf(stderr, "load %.3f s, build BVH %.3f s, render %.3f s (%d tiles), write %.3f s\n", loadTime,
                     times.buildBvh, times.render, times.tiles, writeTime);
    if (!args.quiet) {
        std::string panels;
        for (const std::string& p : image.panels)
            panels += (panels.empty() ? "" : " | ") + p;
        std::printf("wrote %s (%dx%d, %s) in %.2f s\n", args.out.c_str(), image.width, image.height, panels.c_str(),
                    since(start));
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"coolwarm: shade, describe and preview the coolwarm material through its Maya plug-in and its "
                 "mental ray shader"};
    app.footer(kExitCodes);
    app.require_subcommand(1);

    std::string shadeFile;
    CLI::App* shade = app.add_subcommand("shade", "Evaluate JSON Lines requests (a file, or standard input) and "
                                                  "write one JSON reply per line");
    shade->add_option("file", shadeFile, "Request file; '-' or none reads standard input")->group("Input");
    shade->footer(std::string("\nRequests:\n"
                              "  {\"node\": {ATTR: VALUE, ...}, \"get\": [\"outColor\", \"outTransparency\"]}\n"
                              "  {\"shader\": {PARAM: VALUE, ...}, \"lights\": {NAME: LIGHT}, \"state\": {\"normal\": "
                              "[x,y,z], \"dir\": [...], \"point\": [...]},\n"
                              "   \"irradiance\": [r,g,b], \"result\": [r,g,b,a], \"connected\": {PARAM: VALUE}}\n"
                              "A bad line gets {\"error\": \"line N: ...\"} and the run goes on. A result that is not\n"
                              "finite is written as the string \"inf\", \"-inf\" or \"nan\". Limits: 1 MiB a line, 256\n"
                              "lights a request, 1024 samples a light.\n") +
                  kExitCodes);

    std::string describeWhat;
    CLI::App* describe = app.add_subcommand("describe", "Print, as JSON, the node's schema or the shader's declaration");
    describe->add_option("what", describeWhat, "node or shader")
        ->required()
        ->check(CLI::IsMember({"node", "shader"}))
        ->group("Input");
    describe->footer(kExitCodes);

    RenderArgs r;
    CLI::App* renderCmd = app.add_subcommand("render", "Ray-cast a scene and shade it through the deliverables");
    renderCmd->add_option("--renderer", r.renderer, "maya, mentalray, or both side by side")
        ->check(CLI::IsMember({"maya", "mentalray", "both"}))
        ->capture_default_str()
        ->group("Scene");
    renderCmd->add_option("--scene", r.scene, "OBJ file to render instead of the built-in scene")->group("Scene");
    renderCmd->add_option("--set", r.sets, "NAME=VALUE: a node attribute or shader parameter for the whole image, "
                                           "e.g. color=0.8,0.3,0.1 (repeatable)")
        ->group("Material");
    renderCmd->add_option("--size", r.size, "WIDTHxHEIGHT of each renderer's picture")->capture_default_str()->group("Image");
    renderCmd->add_option("--samples", r.samples, "Samples per pixel")
        ->check(CLI::Range(1, 256))
        ->capture_default_str()
        ->group("Image");
    renderCmd->add_option("--out", r.out, "Output image: .png, .tif, .exr (linear) or .jpg")
        ->capture_default_str()
        ->group("Image");
    renderCmd->add_option("--threads", r.threads, "Render threads (0: every core)")
        ->check(CLI::Range(0, 1024))
        ->capture_default_str()
        ->group("Performance");
    renderCmd->add_flag("--quiet", r.quiet, "Print nothing but errors")->group("Output");
    renderCmd->add_flag("--verbose", r.verbose, "Print the time of each phase")->group("Output");
    renderCmd->footer(kExitCodes);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitBadInput;
    }

    try {
        if (shade->parsed())
            return runShadeCommand(shadeFile);
        if (describe->parsed())
            return runDescribe(describeWhat);
        return runRender(r);
    } catch (const InputError& e) {
        std::fprintf(stderr, "coolwarm: %s\n", e.what());
        return kExitBadInput;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "coolwarm: out of memory\n");
        return kExitInternal;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "coolwarm: internal failure: %s\n", e.what());
        return kExitInternal;
    }
}
