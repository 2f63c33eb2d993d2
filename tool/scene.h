// What the preview renderer draws: triangle meshes, lights and a camera, all
// in world space (y up).
#ifndef COOLWARM_TOOL_SCENE_H
#define COOLWARM_TOOL_SCENE_H

#include "toneTerms.h"
#include "values.h"

#include <array>
#include <string>
#include <vector>

namespace cwtool {

using Vec3 = tone::Triple;

Vec3 cross(const Vec3& a, const Vec3& b);
float length(const Vec3& v);
Vec3 normalized(const Vec3& v);

struct Mesh {
    std::string name;
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;  // one per position
    std::vector<std::array<unsigned, 3>> triangles;
};

struct SceneLight {
    enum Kind { Point, Directional };
    Kind kind = Point;
    std::string name;
    Vec3 position{0.0f, 0.0f, 0.0f};    // point
    Vec3 direction{0.0f, -1.0f, 0.0f};  // directional: the way the light travels
    Vec3 colour{1.0f, 1.0f, 1.0f};
    float intensity = 1.0f;
    // What a Maya light of this kind emits.
    bool emitAmbient = false;
    bool emitDiffuse = true;
    bool emitSpecular = true;
};

struct Camera {
    Vec3 eye{0.0f, 0.0f, 5.0f};
    Vec3 target{0.0f, 0.0f, 0.0f};
    Vec3 up{0.0f, 1.0f, 0.0f};
    float fovY = 35.0f;  // degrees
};

struct Scene {
    std::vector<Mesh> meshes;
    std::vector<SceneLight> lights;
    Camera camera;
    Vec3 background{0.8f, 0.8f, 0.8f};
    std::string description;
    // The scene's own material settings, applied before the command line's.
    std::vector<Setting> material;
};

// A sphere, a torus and a bevelled box on a ground plane, a key and a fill
// light, a three-quarter camera.
Scene defaultScene();

// One sphere filling the frame, the default lights, no look of its own.
Scene swatchScene();

// A mesh from an OBJ file, framed automatically, with the default lights.
// Throws InputError naming the file for a missing, unreadable or empty one.
Scene loadObjScene(const std::string& path);

// Smooth normals by area-weighted averaging of the faces around each vertex.
void computeSmoothNormals(Mesh& mesh);

}  // namespace cwtool

#endif
