// coolwarm: try the coolwarm material without Maya.
//
//   coolwarm shade [FILE]             evaluate JSON requests, one per line
//   coolwarm describe node|shader     what the hosts see of the deliverables
//   coolwarm render [options]         a preview image of a scene, or a contact sheet
//   coolwarm serve [options]          the lookdev page on a local web server
//   coolwarm --version                the versions of the tool and the deliverables
//
// Every command loads the built deliverables the way their hosts do: the Maya
// plug-in through the Maya stand-in, the shader library bound to the stand-in
// renderer. Exit status: 0 success, 1 bad input, 2 internal failure.
#include "core/deliverables.h"
#include "shade/describe.h"
#include "core/errors.h"
#include "render/image.h"
#include "render/render.h"
#include "scene/scene.h"
#include "scene/sceneFile.h"
#include "serve/serve.h"
#include "shade/shade.h"
#include "render/sheet.h"
#include "core/values.h"
#include "core/workLimits.h"

#include <CLI/CLI.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
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
    // The replies go through std::cout alone: it need not stay in step with C's
    // stdout (which would make it write, and std::cin read, a character at a
    // time), and reading a request need not flush the replies so far.
    std::ios::sync_with_stdio(false);
    std::cin.tie(nullptr);
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
    std::string look = "builtin";
    float crease = kDefaultCreaseDegrees;
    std::string camera;
    std::vector<std::string> lights;
    std::string background;
    std::vector<std::string> sets;
    std::vector<std::string> sweeps;
    std::string size = "640x480";
    bool sizeGiven = false;
    int samples = 1;
    int threads = 0;
    std::string out = "preview.png";
    double progressEvery = 2.0;
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

// A bar redrawn in place on a terminal; elsewhere (a log, a pipe) a line each
// time another tenth is done, at most one per `every` seconds, and a last one.
class ProgressReport {
public:
    ProgressReport(const char* what, bool terminal, double every)
        : what_(what), terminal_(terminal), every_(every), start_(std::chrono::steady_clock::now())
    {
    }
    void operator()(int done, int total)
    {
        if (finished_)
            return;
        finished_ = done == total;
        const int percent = total ? 100 * done / total : 100;
        const double elapsed = since(start_);
        if (terminal_) {
            const int width = 30, filled = total ? done * width / total : width;
            std::fprintf(stderr, "\rcoolwarm: %s [%.*s%*s] %3d%%  %.1f s", what_, filled,
                         "##############################", width - filled, "", percent, elapsed);
            if (done == total)
                std::fprintf(stderr, "\n");
            std::fflush(stderr);
            return;
        }
        const bool last = done == total;
        const int tenth = percent / 10;
        if (last ? (lastTenth_ < 0 && every_ > 0) || lastTenth_ == 10 : tenth <= lastTenth_ || elapsed - lastTime_ < every_)
            return;
        std::fprintf(stderr, "coolwarm: %s %3d%% (%d of %d) after %.1f s\n", what_, percent, done, total, elapsed);
        std::fflush(stderr);
        lastTenth_ = tenth;
        lastTime_ = elapsed;
    }

private:
    const char* what_;
    bool terminal_;
    double every_;
    std::chrono::steady_clock::time_point start_;
    int lastTenth_ = -1;
    bool finished_ = false;
    double lastTime_ = 0.0;
};

Scene loadScene(const RenderArgs& args)
{
    Scene scene;
    if (args.scene.empty())
        scene = args.sweeps.empty() ? defaultScene() : swatchScene();
    else if (args.scene.size() > 5 && args.scene.compare(args.scene.size() - 5, 5, ".json") == 0)
        scene = loadSceneFile(args.scene, args.crease);
    else
        scene = loadObjScene(args.scene, args.crease);
    if (!args.camera.empty())
        applyCameraOption(scene, args.camera);
    for (const std::string& l : args.lights)
        applyLightOption(scene, l);
    if (!args.background.empty())
        scene.background = parseBackground(args.background);
    return scene;
}

int runRender(const RenderArgs& args)
{
    const auto start = std::chrono::steady_clock::now();
    RenderSettings settings;
    settings.renderer = args.renderer == "maya" ? Renderer::Maya
                        : args.renderer == "mentalray" ? Renderer::MentalRay
                                                       : Renderer::Both;
    parseSize(!args.sizeGiven && !args.sweeps.empty() ? std::string("128x128") : args.size, settings.width,
              settings.height);
    settings.samples = args.samples;
    settings.threads = args.threads;
    for (const std::string& s : args.sets)
        settings.settings.push_back(parseSetting(s));
    std::vector<Sweep> sweeps;
    for (const std::string& s : args.sweeps)
        sweeps.push_back(parseSweep(s));
    if (sweeps.size() > 2)
        throw InputError("--sweep: at most two sweeps, one along the columns and one down the rows");
    checkOutputPath(args.out);
    settings.linearOutput = isLinearOutput(args.out);
    // A contact sheet holds a swatch of that size per value.
    const int columns = sweeps.empty() ? 1 : sweeps[0].count, rows = sweeps.size() > 1 ? sweeps[1].count : 1;
    checkRenderSize(settings.width * columns, settings.height * rows, settings.renderer == Renderer::Both ? 2 : 1,
                    storedBytesPerPixel(args.out));

    // Pipeline: load the deliverables, the scene and the look, render, write.
    const InstallLayout layout = findLayout();
    const MayaPlugin plugin(layout);
    const MentalRayShader shader(layout);
    Scene scene = loadScene(args);
    const std::vector<Setting> look = loadLook(args.look);
    checkSettings(look, "--look '" + args.look + "'", false, settings.renderer, plugin, shader);
    checkSettings(scene.material, "--scene '" + args.scene + "' material", false, settings.renderer, plugin, shader);
    scene.material.insert(scene.material.begin(), look.begin(), look.end());
    std::vector<std::string> notes = checkSettings(settings.settings, "--set", true, settings.renderer, plugin, shader);
    for (const Sweep& s : sweeps) {
        const std::vector<std::string> more =
            checkSettings({{s.name, s.from}, {s.name, s.to}}, "--sweep", true, settings.renderer, plugin, shader);
        notes.insert(notes.end(), more.begin(), more.end());
    }
    if (!args.quiet)
        for (const std::string& n : notes)
            std::fprintf(stderr, "coolwarm: note: %s\n", n.c_str());
    const double loadTime = since(start);

    const MayaPlugin* maya = settings.renderer != Renderer::MentalRay ? &plugin : nullptr;
    const MentalRayShader* mentalRay = settings.renderer != Renderer::Maya ? &shader : nullptr;
    ProgressReport progress(sweeps.empty() ? "rendering" : "rendering swatches", isatty(STDERR_FILENO) != 0,
                            args.progressEvery);
    if (!args.quiet)
        settings.progress = std::ref(progress);
    RenderTimes times;
    const Image image = sweeps.empty() ? render(scene, settings, maya, mentalRay, &times)
                                       : renderContactSheet(scene, settings, sweeps, maya, mentalRay);

    const auto writeStart = std::chrono::steady_clock::now();
    std::string description = "coolwarm " + std::string(sweeps.empty() ? "preview" : "contact sheet") + " of " +
                              scene.description + "; panels from the left:";
    for (const std::string& p : image.panels)
        description += " " + p;
    writeImage(args.out, image, description);
    const double writeTime = since(writeStart);

    if (args.verbose)
        std::fprintf(stderr, "coolwarm: load %.3f s, build BVH %.3f s, render %.3f s (%d tiles), write %.3f s\n",
                     loadTime, times.buildBvh, times.render, times.tiles, writeTime);
    if (!args.quiet) {
        std::string panels;
        for (const std::string& p : image.panels)
            panels += (panels.empty() ? "" : " | ") + p;
        std::printf("wrote %s (%dx%d, %s) in %.2f s\n", args.out.c_str(), image.width, image.height, panels.c_str(),
                    since(start));
    }
    return kExitOk;
}

int printVersion()
{
    std::printf("coolwarm tool %s\n", COOLWARM_VERSION);
    const InstallLayout layout = findLayout();
    const MayaPlugin plugin(layout);
    const mayahost::PluginRecord& record = plugin.record();
    const std::string version = record.functionSets.empty() ? "unknown" : record.functionSets.front().version;
    std::printf("Maya plug-in %s: version %s, API version %s\n", layout.plugin().c_str(), version.c_str(),
                record.apiVersion.c_str());
    const MentalRayShader shader(layout);
    std::printf("mental ray shader %s: zarn_coolwarm version %d\n", layout.shaderLibrary().c_str(), shader.version());
    return kExitOk;
}

const char* const kCommands[] = {"shade", "describe", "render", "serve"};

// The command word, when the first argument that is not an option names none.
std::string unknownCommand(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (!a.empty() && a[0] == '-')
            continue;
        for (const char* c : kCommands)
            if (a == c)
                return "";
        return a;
    }
    return "";
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"coolwarm: shade, describe and preview the coolwarm material through its Maya plug-in and its "
                 "mental ray shader"};
    app.footer(kExitCodes);
    app.require_subcommand(0, 1);
    bool version = false;
    app.add_flag("--version", version, "Print the versions of the tool, the plug-in and the shader");

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
    renderCmd->add_option("--scene", r.scene, "FILE.obj (a mesh, framed automatically) or FILE.json (a scene: "
                                              "camera, lights, background, material, meshes)")
        ->group("Scene");
    renderCmd->add_option("--crease", r.crease, "Smooth an OBJ's normals only across edges below this angle "
                                                "(degrees), where the file gives none")
        ->check(CLI::Range(0.0f, 180.0f))
        ->capture_default_str()
        ->group("Scene");
    renderCmd->add_option("--camera", r.camera, "AZ,EL[,DIST]: orbit the camera to this azimuth and elevation "
                                                "(degrees) and distance (default: fit the picture)")
        ->group("Scene");
    renderCmd->add_option("--light", r.lights, "NAME=AZ,EL[,INTENSITY]: move a light (key, fill, or a new "
                                               "directional one) to come from there; NAME=off removes it (repeatable)")
        ->group("Scene");
    renderCmd->add_option("--background", r.background, "GREY or R,G,B (linear)")->group("Scene");
    renderCmd->add_option("--look", r.look, "builtin (the tool's look), node (the node's and shader's defaults) "
                                            "or a saved look FILE.json of NAME: VALUE")
        ->capture_default_str()
        ->group("Material");
    renderCmd->add_option("--set", r.sets, "NAME=VALUE: a node attribute or shader parameter for the whole image, "
                                           "e.g. color=0.8,0.3,0.1; maya:NAME or mentalray:NAME reaches one side "
                                           "(repeatable)")
        ->group("Material");
    renderCmd->add_option("--sweep", r.sweeps, "NAME=FROM:TO:N: a contact sheet of swatches, N values from FROM "
                                               "to TO along the columns; a second --sweep runs down the rows")
        ->group("Material");
    renderCmd->add_option("--size", r.size, "WIDTHxHEIGHT of each renderer's picture (of each swatch with "
                                            "--sweep, default 128x128)")
        ->capture_default_str()
        ->group("Image");
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
    renderCmd->add_option("--progress-every", r.progressEvery, "When standard error is not a terminal, at most one "
                                                              "progress line per this many seconds")
        ->check(CLI::Range(0.0, 3600.0))
        ->capture_default_str()
        ->group("Output");
    renderCmd->footer(kExitCodes);

    ServeOptions serveOptions;
    CLI::App* serveCmd = app.add_subcommand("serve", "Serve the lookdev page: tune the material in a browser and see "
                                                     "both renderers answer");
    serveCmd->add_option("--host", serveOptions.host, "Address to listen on (another than loopback lets other "
                                                      "machines in)")
        ->capture_default_str()
        ->group("Server");
    serveCmd->add_option("--port", serveOptions.port, "Port to listen on (0: any free one)")
        ->check(CLI::Range(0, 65535))
        ->capture_default_str()
        ->group("Server");
    serveCmd->add_option("--scene", serveOptions.scenes, "OBJ file the page may show, besides the built-in scene and "
                                                         "the swatch (repeatable)")
        ->group("Scene");
    serveCmd->footer(std::string("\nThe page and its JSON API (GET /api/schema, GET /api/version, POST /api/render) "
                                 "answer only\nrequests addressed to the served host and port. Ctrl-C stops.\n") +
                     kExitCodes);

    const std::string unknown = unknownCommand(argc, argv);
    if (!unknown.empty()) {
        std::fprintf(stderr, "coolwarm: unknown command '%s'; the commands are shade, describe, render and "
                             "serve (see coolwarm --help)\n", unknown.c_str());
        return kExitBadInput;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return app.exit(e);  // --help
    } catch (const CLI::ParseError& e) {
        const CLI::App* where = renderCmd->parsed() ? renderCmd : shade->parsed() ? shade
                                : describe->parsed() ? describe : serveCmd->parsed() ? serveCmd : &app;
        std::string why = e.what();
        std::replace(why.begin(), why.end(), '\n', ' ');
        std::fprintf(stderr, "coolwarm: %s (see coolwarm %s--help)\n", why.c_str(),
                     where == &app ? "" : (where->get_name() + " ").c_str());
        return kExitBadInput;
    }
    r.sizeGiven = renderCmd->count("--size") > 0;

    try {
        if (version)
            return printVersion();
        if (shade->parsed())
            return runShadeCommand(shadeFile);
        if (describe->parsed())
            return runDescribe(describeWhat);
        if (renderCmd->parsed())
            return runRender(r);
        if (serveCmd->parsed())
            return runServe(serveOptions);
        std::fprintf(stderr, "coolwarm: a command is required: shade, describe, render or serve (see coolwarm --help)\n");
        return kExitBadInput;
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
