// OBJ scene loading: the file check, the OBJ reader, normals and framing.
#include "core/errors.h"
#include "scene/scene.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/coolwarm-objfuzz-" + std::to_string(getpid()) + ".obj";
    static const bool cleanup = std::atexit([] { std::remove(path.c_str()); }) == 0;
    (void)cleanup;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();
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
