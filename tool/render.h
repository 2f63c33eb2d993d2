// `coolwarm render`: ray-cast a scene and shade every primary hit through the
// built deliverables.
#ifndef COOLWARM_TOOL_RENDER_H
#define COOLWARM_TOOL_RENDER_H

#include "scene.h"
#include "values.h"

#include <atomic>
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
    int threads = 0;   // 0: every core
    std::vector<Setting> settings;
    bool progress = false;  // a live progress bar on stderr
    // When it turns true the threads stop taking tiles and render() returns at
    // once with the image unfinished; the caller discards it.
    const std::atomic<bool>* cancel = nullptr;
};

struct Image {
    int width = 0, height = 0;
    std::vector<float> rgb;  // linear, row by row from the top
    std::vector<std::string> panels;  // left to right
};

struct RenderTimes {
    double buildBvh = 0.0, render = 0.0;
    int tiles = 0;
    int tilesDone = 0;  // fewer than tiles when cancelled
};

// Checks every --set against the deliverables that will be drawn; throws
// InputError before anything is rendered.
void validateSettings(const RenderSettings& settings, const MayaPlugin* plugin, const MentalRayShader* shader);

Image render(const Scene& scene, const RenderSettings& settings, const MayaPlugin* plugin,
             const MentalRayShader* shader, RenderTimes* times);

}  // namespace cwtool

#endif
