// Internal to scene/: a mesh built from triangles whose corners a file gives,
// with its normals taken from the file, smoothed or flat.
#ifndef COOLWARM_TOOL_MESHBUILD_H
#define COOLWARM_TOOL_MESHBUILD_H

#include "objParse.h"
#include "scene.h"

#include <cstddef>
#include <string>
#include <vector>

namespace cwtool {

// One corner of a triangle as a file gives it: a position (an index into the
// positions) and, maybe, a normal (an index into the file's normals, or -1).
using Corner = ObjArrays::Corner;

// Splits vertices where their corners' normals differ; see meshBuild.cpp.
// `corners` holds three a triangle, each referring to a position and a normal
// that exist. The arrays are taken, so that they are freed as soon as they
// are done with. `threads`: 0 for every core where the mesh is large enough
// to gain from them; the result is the same on any number.
Mesh buildMesh(const std::string& name, std::vector<Vec3> positions, std::vector<Corner> corners,
               std::vector<Vec3> givenNormals, float creaseDegrees, NormalSource source = NormalSource::File,
               std::size_t* turned = nullptr, int threads = 0);

}  // namespace cwtool

#endif
