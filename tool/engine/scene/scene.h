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

// Where coordinates sit in the units of the files they came from, kept in
// double precision: a point p is origin + unit * p there. Loading recentres
// and scales every model this way, so that the renderer's single-precision
// coordinates are near 1 wherever the model lies and whatever its size.
struct Placement {
    std::array<double, 3> origin{0.0, 0.0, 0.0};
    double unit = 1.0;
};

struct Mesh {
    std::string name;
    std::vector<Vec3> positions;
    std::vector<Vec3> normals;  // one per position; a vertex is split where its normal changes
    std::vector<std::array<unsigned, 3>> triangles;
    bool framed = true;  // counts when the camera fits the scene into the picture
    // Where the positions sit in the file's units. A loaded mesh carries its
    // own until placeScene puts it into its scene; framing and the renderer
    // take the positions of a scene's meshes as they are.
    Placement placement;
};

// Which axis of a model file points up. The scene is y up: a z-up model is
// turned so that its +z points along +y (and its +y along -z).
enum class UpAxis { Y, Z };

// Where a loaded mesh's normals come from: the file's (turned to their face's
// side where they point against it; derived where the file gives none), all
// recomputed and smoothed below the crease angle, or each face's own.
enum class NormalSource { File, Smooth, Flat };

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
    // Where the scene's coordinates sit in its files' units: camera distances
    // and positions given in those units are converted through it.
    Placement placement;
    // What loading noticed and the user should hear of.
    std::vector<std::string> notes;
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

// The lights of a model loaded without its own: the default fill, and the key
// from high on the default camera's left, across the model, so that a shaped
// model seen from there turns both towards it (cool) and away (warm).
std::vector<SceneLight> modelLights(const Vec3& centre, float radius);

// "sphere" (radius 1), "torus", "box" (bevelled, half-size 1) or "ground" (a
// 2 x 2 square at y = 0, not framed); false for another name.
bool builtinMesh(const std::string& name, Mesh& mesh);

// Scales, then rotates about x, y and z (degrees), then translates: the
// positions take the scale and rotation, the placement's origin (in double
// precision) all three.
void transformMesh(Mesh& mesh, const std::array<double, 3>& translate, const Vec3& rotateDegrees, const Vec3& scale);

// Puts every mesh's placement into the scene's: recentres the framed meshes
// on the origin and scales them to a radius of 1, in double precision, and
// records that in scene.placement. Throws InputError, naming `what`, when the
// meshes span more than single precision leaves room for.
void placeScene(Scene& scene, const std::string& what);

// Normals smoothed across the edges whose faces meet at less than this angle.
const float kDefaultCreaseDegrees = 40.0f;

// How an OBJ mesh is read. `creaseGiven`: the user named the crease angle,
// so that a crease that cannot apply is worth a note.
struct MeshOptions {
    MeshOptions(float crease = kDefaultCreaseDegrees) : creaseDegrees(crease) {}
    float creaseDegrees;
    bool creaseGiven = false;
    NormalSource normals = NormalSource::File;
    UpAxis up = UpAxis::Y;
};

// A mesh from an OBJ file, turned to stand y up, its positions recentred and
// scaled in double precision (mesh.placement says where they came from). Its
// normals come as `options.normals` says; faces without normals of their own
// are smoothed across edges below the crease angle. Throws InputError naming
// `label` (the option or field that named the file) for a missing, unreadable
// or empty one. `notes` receives what the user should know (normals turned,
// a crease angle with nothing to act on).
Mesh loadObjMesh(const std::string& path, const MeshOptions& options, const std::string& label,
                 std::vector<std::string>* notes = nullptr);

// A scene of one OBJ mesh, placed and framed automatically, with the default
// lights.
Scene loadObjScene(const std::string& path, const MeshOptions& options);

// Turns a y-up scene's meshes so that what was their z axis points up, about
// the framing centre; lights and camera stay as they are around it.
void standUp(Scene& scene, UpAxis up);

// Normals for triangles given by their corners' positions: smoothed across the
// edges whose faces meet at less than `creaseDegrees`, so that flat faces stay
// flat; vertices are split where their normals differ.
void computeCreasedNormals(Mesh& mesh, float creaseDegrees);

}  // namespace cwtool

#endif
