// `coolwarm render`: a preview image of a scene, or a contact sheet, written
// to a file, with its progress and phases reported on standard error.
#include "cli.h"
#include "progress.h"

#include "core/deliverables.h"
#include "core/errors.h"
#include "core/values.h"
#include "core/workLimits.h"
#include "render/image.h"
#include "render/render.h"
#include "render/sheet.h"
#include "scene/scene.h"
#include "scene/sceneFile.h"

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>

namespace cwtool {
namespace cli {

namespace {

struct RenderArgs {
    std::string renderer = "both";
    std::string scene;
    std::string look = "builtin";
    float crease = kDefaultCreaseDegrees;
    bool creaseGiven = false;
    std::string normals = "file";
    std::string up = "y";
    std::string camera;
    std::vector<std::string> lights;
    std::string background;
    std::vector<std::string> sets;
    std::vector<std::string> sweeps;
    std::string size = "640x480";
    bool sizeGiven = false;
    int samples = 1;
    bool samplesUniform = false;
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

Scene loadScene(const RenderArgs& args)
{
    MeshOptions options(args.crease);
    options.creaseGiven = args.creaseGiven;
    parseNormalSource(args.normals, options.normals);
    parseUpAxis(args.up, options.up);
    Scene scene;
    if (args.scene.empty() && (options.up != UpAxis::Y || options.normals != NormalSource::File))
        throw InputError(std::string(options.up != UpAxis::Y ? "--up" : "--normals") +
                         ": the built-in scenes are made y up with their own normals; it applies to a --scene file");
    if (args.scene.empty())
        scene = args.sweeps.empty() ? defaultScene() : swatchScene();
    else if (args.scene.size() > 5 && args.scene.compare(args.scene.size() - 5, 5, ".json") == 0)
        scene = loadSceneFile(args.scene, options);
    else
        scene = loadObjScene(args.scene, options);
    if (!args.camera.empty())
        applyCameraOption(scene, args.camera);
    for (const std::string& l : args.lights)
        applyLightOption(scene, l);
    if (!args.background.empty())
        scene.background = parseBackground(args.background);
    return scene;
}

// The render's settings and sweeps from the options, checked before anything
// is loaded.
RenderSettings settingsOf(const RenderArgs& args, std::vector<Sweep>& sweeps)
{
    RenderSettings settings;
    settings.renderer = args.renderer == "maya" ? Renderer::Maya
                        : args.renderer == "mentalray" ? Renderer::MentalRay
                                                       : Renderer::Both;
    parseSize(!args.sizeGiven && !args.sweeps.empty() ? std::string("128x128") : args.size, settings.width,
              settings.height);
    settings.samples = args.samples;
    settings.uniformSamples = args.samplesUniform;
    settings.threads = args.threads;
    for (const std::string& s : args.sets)
        settings.settings.set(parseSetting(s));
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
    return settings;
}

// What --verbose adds, and the line that says what was written.
void reportRender(const RenderArgs& args, const Image& image, const RenderSettings& settings, const RenderTimes& times,
                  double loadTime, double writeTime, double totalTime)
{
    if (args.verbose)
        std::fprintf(stderr,
                     "coolwarm: load %.3f s, build BVH %.3f s, render %.3f s (%d tiles, %.2f samples a pixel), "
                     "write %.3f s\n",
                     loadTime, times.buildBvh, times.render, times.tiles,
                     static_cast<double>(times.samples) /
                         (static_cast<double>(settings.width) * settings.height * image.panels.size()),
                     writeTime);
    if (!args.quiet) {
        std::string panels;
        for (const std::string& p : image.panels)
            panels += (panels.empty() ? "" : " | ") + p;
        std::printf("wrote %s (%dx%d, %s) in %.2f s\n", args.out.c_str(), image.width, image.height, panels.c_str(),
                    totalTime);
    }
}

int runRender(const RenderArgs& args)
{
    const auto start = std::chrono::steady_clock::now();
    std::vector<Sweep> sweeps;
    RenderSettings settings = settingsOf(args, sweeps);

    // Pipeline: load the deliverables, the scene and the look, render, write.
    const InstallLayout layout = findLayout();
    const MayaPlugin plugin(layout);
    const MentalRayShader shader(layout);
    Scene scene = loadScene(args);
    Look look = lookOption(args.look);
    checkSettings(look.values, "--look '" + args.look + "'", false, settings.renderer, plugin, shader);
    checkSettings(scene.material.values, "--scene '" + args.scene + "' material", false, settings.renderer, plugin,
                  shader);
    look.set(scene.material);
    scene.material = look;
    std::vector<std::string> notes =
        checkSettings(settings.settings.values, "--set", true, settings.renderer, plugin, shader);
    for (const Sweep& s : sweeps) {
        const std::vector<std::string> more =
            checkSettings({{s.name, s.from}, {s.name, s.to}}, "--sweep", true, settings.renderer, plugin, shader);
        notes.insert(notes.end(), more.begin(), more.end());
    }
    notes.insert(notes.begin(), scene.notes.begin(), scene.notes.end());
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
    Image image = sweeps.empty() ? render(scene, settings, maya, mentalRay, &times)
                                       : renderContactSheet(scene, settings, sweeps, maya, mentalRay);

    image.commandLine = commandLine();
    const auto writeStart = std::chrono::steady_clock::now();
    std::string description = "coolwarm " + std::string(sweeps.empty() ? "preview" : "contact sheet") + " of " +
                              scene.description + "; panels from the left:";
    for (const std::string& p : image.panels)
        description += " " + p;
    writeImage(args.out, image, description);
    reportRender(args, image, settings, times, loadTime, since(writeStart), since(start));
    return kExitOk;
}

}  // namespace

Subcommand setUpRender(CLI::App& app)
{
    const auto args = std::make_shared<RenderArgs>();
    CLI::App* renderCmd = app.add_subcommand("render", "Ray-cast a scene and shade it through the deliverables");
    renderCmd->add_option("--renderer", args->renderer, "maya, mentalray, or both side by side")
        ->check(CLI::IsMember({"maya", "mentalray", "both"}))
        ->capture_default_str()
        ->group("Scene");
    renderCmd->add_option("--scene", args->scene, "FILE.obj (a mesh, framed automatically) or FILE.json (a scene: "
                                              "camera, lights, background, material, meshes)")
        ->group("Scene");
    renderCmd->add_option("--crease", args->crease, "Smooth an OBJ's normals only across edges below this angle "
                                                "(degrees), where the file gives none or --normals smooth")
        ->check(CLI::Range(0.0f, 180.0f))
        ->capture_default_str()
        ->group("Scene");
    renderCmd->add_option("--normals", args->normals, "An OBJ's normals: file (as given, turned to their faces' "
                                                  "side), smooth (recomputed, creased) or flat (each face's own)")
        ->check(CLI::IsMember({"file", "smooth", "flat"}))
        ->capture_default_str()
        ->group("Scene");
    renderCmd->add_option("--up", args->up, "The axis that points up in an OBJ: y or z")
        ->check(CLI::IsMember({"y", "z"}))
        ->capture_default_str()
        ->group("Scene");
    renderCmd->add_option("--camera", args->camera, "AZ,EL[,DIST]: orbit the camera to this azimuth and elevation "
                                                "(degrees) and distance (default: fit the picture)")
        ->group("Scene");
    renderCmd->add_option("--light", args->lights, "NAME=AZ,EL[,INTENSITY]: move a light (key, fill, or a new "
                                               "directional one) to come from there; NAME=off removes it (repeatable)")
        ->group("Scene");
    renderCmd->add_option("--background", args->background, "GREY or R,G,B (linear)")->group("Scene");
    addLookOptions(*renderCmd, args->look, args->sets);
    renderCmd->add_option("--sweep", args->sweeps, "NAME=FROM:TO:N: a contact sheet of swatches, N values from FROM "
                                               "to TO along the columns; a second --sweep runs down the rows")
        ->group("Material");
    renderCmd->add_option("--size", args->size, "WIDTHxHEIGHT of each renderer's picture (of each swatch with "
                                            "--sweep, default 128x128)")
        ->capture_default_str()
        ->group("Image");
    renderCmd->add_option("--samples", args->samples, "Samples per pixel: one everywhere, the rest where the "
                                                      "picture changes (edges, outlines, shadows)")
        ->check(CLI::Range(1, 256))
        ->capture_default_str()
        ->group("Image");
    renderCmd->add_flag("--samples-uniform", args->samplesUniform, "Give every pixel all its --samples")->group("Image");
    renderCmd->add_option("--out", args->out, "Output image: .png, .tif, .exr (linear) or .jpg")
        ->capture_default_str()
        ->group("Image");
    renderCmd->add_option("--threads", args->threads, "Render threads (0: every core)")
        ->check(CLI::Range(0, 1024))
        ->capture_default_str()
        ->group("Performance");
    renderCmd->add_flag("--quiet", args->quiet, "Print nothing but errors")->group("Output");
    renderCmd->add_flag("--verbose", args->verbose, "Print the time of each phase")->group("Output");
    renderCmd->add_option("--progress-every", args->progressEvery, "When standard error is not a terminal, at most one "
                                                              "progress line per this many seconds")
        ->check(CLI::Range(0.0, 3600.0))
        ->capture_default_str()
        ->group("Output");
    renderCmd->footer(kExitCodes);
    return {renderCmd, [args, renderCmd] {
                args->sizeGiven = renderCmd->count("--size") > 0;
                args->creaseGiven = renderCmd->count("--crease") > 0;
                return runRender(*args);
            }};
}

}  // namespace cli
}  // namespace cwtool
