// Scene files: the JSON reading path, every field's reader, the meshes they
// name, the camera and lights, and the rays a render would cast from them.
#include "fuzzFile.h"

#include "core/errors.h"
#include "scene/sceneFile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = writeFuzzFile(".json", data, size);
    try {
        const cwtool::Scene scene = cwtool::loadSceneFile(path, cwtool::kDefaultCreaseDegrees);
        auto finite = [](const cwtool::Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); };
        for (const cwtool::SceneLight& l : scene.lights)
            if (!finite(l.position) || !finite(l.direction) || !finite(l.colour) || !std::isfinite(l.intensity))
                std::abort();
        const cwtool::CameraView view = cwtool::resolveCamera(scene, 4.0f / 3.0f);
        if (!finite(view.target) || !std::isfinite(view.fovY))
            std::abort();
    } catch (const cwtool::InputError&) {
    }
    return 0;
}
