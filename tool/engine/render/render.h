// render/: pictures. It owns ray casting and shading into an image in memory
// (render.h), contact sheets (sheet.h), and encoding and writing image files
// (image.h); those three are public. labels.h (the bitmap font) is its own.
// It may include core/, look/ and scene/, Embree, OpenImageIO and Imath.
//
// `coolwarm render`: ray-cast a scene and shade every primary hit through the
// built deliverables. The functions here draw into memory and print nothing:
// the command line and any other front end decide what to show and where the
// picture goes.
#ifndef COOLWARM_TOOL_RENDER_H
#define COOLWARM_TOOL_RENDER_H

#include "core/values.h"
#include "look/look.h"
#include "scene/scene.h"

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace cwtool {

class MayaPlugin;
class MentalRayShader;

enum class Renderer { Maya, MentalRay, Both };

struct RenderSettings {
    Renderer renderer = Renderer::Both;
    int width = 640;   // per renderer
    int height = 480;
    int samples = 1;   // per pixel
    // With more than one sample: false takes one sample everywhere and the
    // rest only where a pixel differs from its neighbours or sits on an edge;
    // true gives every pixel every sample.
    bool uniformSamples = false;
    int threads = 0;   // 0: every core
    // Material values for the whole image, over the scene's own.
    // A name may carry "maya:" or "mentalray:" in front to reach one side only.
    Look settings;
    bool labels = true;  // burn the panels' names in when both are drawn
    // Called on the calling thread about ten times a second while the tiles
    // render, and once at the end, with the tiles done and their total.
    std::function<void(int done, int total)> progress;
    // When it turns true the render stops and throws RenderCancelled.
    const std::atomic<bool>* cancel = nullptr;
    bool linearOutput = false;  // the picture is kept linear (for EXR), not as 8-bit sRGB
    bool shade = true;  // false: cast the same primary and shadow rays and shade nothing
};

// The picture as its file stores it, filled pixel by pixel as it is rendered:
// nothing larger per pixel is ever kept. prepareImage and storePixel (image.h)
// make and fill it; pixel and setPixel read and write one pixel as linear colour.
struct Image {
    int width = 0, height = 0;
    bool linear = false;
    std::vector<unsigned char> srgb;     // 8-bit sRGB, 3 a pixel, when not linear
    std::vector<unsigned short> halves;   // linear half floats (their bits), 3 a pixel, when linear
    std::vector<std::string> panels;     // left to right
    // What the file records besides the pixels: the look drawn (the scene's
    // material with the settings over it) and the command that drew it.
    Look look;
    std::string commandLine;

    Vec3 pixel(int x, int y) const;
    void setPixel(int x, int y, const Vec3& colour);
};

struct RenderTimes {
    double buildBvh = 0.0, render = 0.0;
    int tiles = 0;
    long long samples = 0;  // camera rays cast, every panel
};

class RenderCancelled : public std::runtime_error {
public:
    RenderCancelled() : std::runtime_error("the render was cancelled") {}
};

// Checks material settings against the deliverables (both loaded) before
// anything is rendered. `source` names where they come from in messages
// ("--set", "--look 'warm.json'"). A setting that reaches none of the drawn
// panels throws InputError when `strict`, and is skipped quietly otherwise
// (a look may hold settings for the panel that is not drawn). Returns notes
// for the user: a setting that changes one panel only, a value that the
// node's attribute clamps.
std::vector<std::string> checkSettings(const std::vector<Setting>& settings, const std::string& source, bool strict,
                                       Renderer renderer, const MayaPlugin& plugin, const MentalRayShader& shader);

// The ray-casting scene of a scene's meshes, kept from one render to the
// next: given to render() again, it builds anew only the meshes whose
// positions or triangles changed (by their index in Scene::meshes). Renders
// that share one take turns.
class RayScene {
public:
    RayScene();
    // For one render of meshes that outlive it: their triangles are read
    // where they are, not copied.
    struct OneRender {};
    explicit RayScene(OneRender);
    ~RayScene();
    RayScene(const RayScene&) = delete;
    RayScene& operator=(const RayScene&) = delete;
    // Brings it up to date with these meshes; returns how many were built.
    int update(const std::vector<Mesh>& meshes);

    struct Impl;

private:
    friend Image render(const Scene&, const RenderSettings&, const MayaPlugin*, const MentalRayShader*,
                        RenderTimes*, RayScene*);
    std::unique_ptr<Impl> impl_;
};

// Draws the scene with the Maya node (plugin non-null) and the mental ray
// shader (shader non-null), side by side when both are given. With `rays`,
// the ray-casting scene is kept there for the next render; without, it is
// built for this one alone.
Image render(const Scene& scene, const RenderSettings& settings, const MayaPlugin* plugin,
             const MentalRayShader* shader, RenderTimes* times = nullptr, RayScene* rays = nullptr);

}  // namespace cwtool

#endif
