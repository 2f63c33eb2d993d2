// scene/: what is drawn. It owns scenes, built-in and OBJ meshes, framing
// (scene.h), scene files and the --camera, --light and --background options
// (sceneFile.h); both are public. objCheck.h is its own. It may include core/,
// look/, node/toneTerms.h, tinyobjloader and nlohmann-json.
//
// What the preview renderer draws: triangle meshes, lights and a camera, all
// in world space (y up).
#ifndef COOLWARM_TOOL_SCENE_H
#define COOLWARM_TOOL_SCENE_H

#include "toneTerms.h"

#include "core/values.h"
#include "look/look.h"

#include <array>
#include <string>
#include <vector>

namespace cwtool {

using Vec3 = tone::Triple;

Vec3 cross(const Vec3& a, const Vec3& b);
float length(const Vec3& v);
Vec3 normalized(const Vec3& v);

// The unit direction at `azimuth` degrees around y (0 towards +z, 90 towards
// +x) and `elevation` degrees above the horizontal plane.
Vec3 directionFromAngles(float azimuth, float elevation);

struct Mesh {
    std::string name;
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;  // one per position; a vertex is split where its normal changes
    std::vector<std::array<unsigned, 3>> triangles;
    bool framed = true;  // counts when the camera fits the scene into the picture
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
    // Which renderers see it: the node's light list and the shader's light
    // array. The shader weighs every light's tone fully, whatever its
    // intensity, so a scene usually gives it fewer lights.
    bool maya = true;
    bool mentalRay = true;
};

// The camera orbits its target: it sits `distance` away in the direction of
// `azimuth` and `elevation` (degrees, as directionFromAngles), looking at it.
struct Camera {
    Vec3 target{0.0f, 0.0f, 0.0f};
    bool fitTarget = true;  // aim at the centre of the framed meshes instead
    float azimuth = 35.0f;
    float elevation = 25.0f;
    float distance = 0.0f;  // 0: close enough that the framed meshes just fit
    float fovY = 35.0f;     // degrees
};

// The camera resolved for one picture's aspect (width / height).
struct CameraView {
    Vec3 eye, target;
    float fovY;
};

struct Scene {
    std::vector<Mesh> meshes;
    std::vector<SceneLight> lights;
    Camera camera;
    Vec3 background{0.6f, 0.6f, 0.6f};
    std::string description;
    // The scene's own material, applied over the look and under the command
    // line's settings.
    Look material;
};

// The centre and radius of a sphere around the framed meshes (every mesh when
// none is marked framed).
void boundingSphere(const Scene& scene, Vec3& centre, float& radius);

CameraView resolveCamera(const Scene& scene, float aspect);

// The camera's right and up for a camera looking along -back (y up).
void cameraBasis(const Vec3& back, Vec3& right, Vec3& up);

// A sphere, a torus and a bevelled box on a ground plane, a key and a fill
// light, a three-quarter camera.
Scene defaultScene();

// The built-in sphere alone with the default lights: the object of a contact
// sheet.
Scene swatchScene();

// The default key and fill lights around a scene of this centre and radius.
std::vector<SceneLight> defaultLights(const Vec3& centre, float radius);

// "sphere" (radius 1), "torus", "box" (bevelled, half-size 1) or "ground" (a
// 2 x 2 square at y = 0, not framed); false for another name.
bool builtinMesh(const std::string& name, Mesh& mesh);

// Scales, then rotates about x, y and z (degrees), then translates.
void transformMesh(Mesh& mesh, const Vec3& translate, const Vec3& rotateDegrees, const Vec3& scale);

// Normals smoothed across the edges whose faces meet at less than this angle.
const float kDefaultCreaseDegrees = 40.0f;

// A mesh from an OBJ file: the file's normals where its faces give them, and
// normals smoothed across edges below `creaseDegrees` elsewhere. Throws
// InputError naming `label` (the option or field that named the file) for a
// missing, unreadable or empty one.
Mesh loadObjMesh(const std::string& path, float creaseDegrees, const std::string& label);

// A scene of one OBJ mesh, framed automatically, with the default lights.
Scene loadObjScene(const std::string& path, float creaseDegrees);

// Normals for triangles given by their corners' positions: smoothed across the
// edges whose faces meet at less than `creaseDegrees`, so that flat faces stay
// flat; vertices are split where their normals differ.
void computeCreasedNormals(Mesh& mesh, float creaseDegrees);

}  // namespace cwtool

#endif
