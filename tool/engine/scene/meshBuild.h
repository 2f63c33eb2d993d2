// Internal to scene/: a mesh built from triangles whose corners a file gives,
// with its normals taken from the file, smoothed or flat.
#ifndef COOLWARM_TOOL_MESHBUILD_H
#define COOLWARM_TOOL_MESHBUILD_H

#include "scene.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace cwtool {

// One corner of a triangle as a file gives it: a position and, maybe, a
// normal (an index into the file's normals, or -1).
struct Corner {
    unsigned position;
    int normal;
};

// Splits vertices where their corners' normals differ; see meshBuild.cpp.
Mesh buildMesh(const std::string& name, const std::vector<Vec3>& positions,
               const std::vector<std::array<Corner, 3>>& faces, const std::vector<Vec3>& givenNormals,
               float creaseDegrees, NormalSource source = NormalSource::File, std::size_t* turned = nullptr);

}  // namespace cwtool

#endif
