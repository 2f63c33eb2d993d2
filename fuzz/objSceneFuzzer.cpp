// OBJ scene loading: the file check, the OBJ reader, normals and framing.
#include "fuzzFile.h"

#include "core/errors.h"
#include "scene/scene.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& path = writeFuzzFile(".obj", data, size);
    try {
        const cwtool::Scene scene = cwtool::loadObjScene(path, cwtool::kDefaultCreaseDegrees);
        // What the renderer is handed must be finite.
        auto finite = [](const cwtool::Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); };
        for (const cwtool::Mesh& m : scene.meshes) {
            for (const cwtool::Vec3& p : m.positions)
                if (!finite(p))
                    std::abort();
            for (const cwtool::Vec3& n : m.normals)
                if (!finite(n))
                    std::abort();
        }
        const cwtool::CameraView view = cwtool::resolveCamera(scene, 4.0f / 3.0f);
        if (!finite(view.eye) || !finite(view.target) || !std::isfinite(view.fovY))
            std::abort();
    } catch (const cwtool::InputError&) {
    }
    return 0;
}
