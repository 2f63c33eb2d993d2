// `coolwarm render`: ray-cast a scene and shade every primary hit through the
// built deliverables.
#ifndef COOLWARM_TOOL_RENDER_H
#define COOLWARM_TOOL_RENDER_H

#include "scene.h"
#include "values.h"

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
    bool linearOutput = false;  // the image is kept linear (for EXR), not as 8-bit sRGB
    bool shade = true;  // false: cast the same primary and shadow rays and shade nothing
};

// The picture as its file stores it, filled pixel by pixel as it is rendered:
// nothing larger per pixel is ever kept.
struct Image {
    int width = 0, height = 0;
    bool linear = false;
    std::vector<unsigned char> srgb;     // 8-bit sRGB, 3 a pixel, when not linear
    std::vector<unsigned short> half;    // linear half floats (their bits), 3 a pixel, when linear
    std::vector<std::string> panels;     // left to right
};

struct RenderTimes {
    double buildBvh = 0.0, render = 0.0;
    int tiles = 0;
};

// Checks every --set against the deliverables that will be drawn; throws
// InputError before anything is rendered.
void validateSettings(const RenderSettings& settings, const MayaPlugin* plugin, const MentalRayShader* shader);

Image render(const Scene& scene, const RenderSettings& settings, const MayaPlugin* plugin,
             const MentalRayShader* shader, RenderTimes* times);

}  // namespace cwtool

#endif
