// OBJ scene loading: the file check, the OBJ reader, normals and framing.
#include "errors.h"
#include "scene.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/coolwarm-objfuzz-" + std::to_string(getpid()) + ".obj";
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();
    try {
        const cwtool::Scene scene = cwtool::loadObjScene(path);
        // What the renderer is handed must be finite.
        for (const cwtool::Mesh& m : scene.meshes)
            for (const cwtool::Vec3& p : m.positions)
                if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                    std::abort();
        if (!std::isfinite(scene.camera.eye.x) || !std::isfinite(scene.camera.eye.y) || !std::isfinite(scene.camera.eye.z))
            std::abort();
    } catch (const cwtool::InputError&) {
    }
    return 0;
}
