#include "scene.h"

#include "meshBuild.h"

#include "objCheck.h"
#include "objParse.h"

#include "core/errors.h"
#include "core/fileInput.h"
#include "core/workLimits.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <tuple>

namespace cwtool {

namespace {
const float kPi = 3.14159265f;
}

Vec3 cross(const Vec3& a, const Vec3& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
float length(const Vec3& v) { return std::sqrt(tone::dot(v, v)); }
Vec3 normalized(const Vec3& v)
{
    const float l = length(v);
    return l > 0.0f ? v * (1.0f / l) : v;
}

namespace {

// A grid of (columns + 1) x (rows + 1) vertices from a parametric surface.
template <class Surface>
Mesh gridMesh(const std::string& name, int columns, int rows, Surface surface)
{
    Mesh m;
    m.name = name;
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i <= columns; ++i) {
            Vec3 p, n;
            surface(static_cast<float>(i) / columns, static_cast<float>(j) / rows, p, n);
            m.positions.push_back(p);
            m.normals.push_back(n);
        }
    const unsigned stride = static_cast<unsigned>(columns + 1);
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i) {
            const unsigned a = j * stride + i, b = a + 1, c = a + stride, d = c + 1;
            m.triangles.push_back({a, c, b});
            m.triangles.push_back({b, c, d});
        }
    return m;
}

Mesh sphere(const Vec3& centre, float radius)
{
    return gridMesh("sphere", 64, 32, [&](float u, float v, Vec3& p, Vec3& n) {
        const float phi = u * 2.0f * kPi, theta = v * kPi;
        n = {std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
        p = centre + radius * n;
    });
}

Mesh torus(const Vec3& centre, float major, float minor, float tilt)
{
    const float ct = std::cos(tilt), st = std::sin(tilt);
    return gridMesh("torus", 72, 32, [&](float u, float v, Vec3& p, Vec3& n) {
        const float phi = u * 2.0f * kPi, theta = v * 2.0f * kPi;
        const Vec3 ring{std::cos(phi), 0.0f, std::sin(phi)};
        Vec3 local = (major + minor * std::cos(theta)) * ring + Vec3{0.0f, minor * std::sin(theta), 0.0f};
        Vec3 ln = std::cos(theta) * ring + Vec3{0.0f, std::sin(theta), 0.0f};
        // Tilted about x so the hole shows.
        auto rot = [&](const Vec3& a) { return Vec3{a.x, ct * a.y - st * a.z, st * a.y + ct * a.z}; };
        p = centre + rot(local);
        n = rot(ln);
    });
}

// A box whose edges and corners are rounded with radius `bevel`: each vertex of
// a subdivided cube is pulled onto the inner box and pushed out again along
// its offset from it.
Mesh bevelledBox(const Vec3& centre, const Vec3& half, float bevel, float yaw)
{
    Mesh m;
    m.name = "box";
    const int n = 12;
    const Vec3 inner{half.x - bevel, half.y - bevel, half.z - bevel};
    const float cy = std::cos(yaw), sy = std::sin(yaw);
    auto place = [&](Vec3 q) {
        // q on the unit cube [-1, 1]^3.
        Vec3 s{q.x * half.x, q.y * half.y, q.z * half.z};
        Vec3 c{std::clamp(s.x, -inner.x, inner.x), std::clamp(s.y, -inner.y, inner.y), std::clamp(s.z, -inner.z, inner.z)};
        Vec3 d = normalized(s - c);
        Vec3 p = c + bevel * d;
        auto rot = [&](const Vec3& a) { return Vec3{cy * a.x + sy * a.z, a.y, -sy * a.x + cy * a.z}; };
        m.positions.push_back(centre + rot(p));
        m.normals.push_back(rot(d));
    };
    // Six faces, each an n x n grid, with outward winding.
    const Vec3 axes[6][3] = {{{1, 0, 0}, {0, 0, -1}, {0, 1, 0}}, {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}},
                             {{0, 1, 0}, {1, 0, 0}, {0, 0, -1}}, {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}},
                             {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {-1, 0, 0}, {0, 1, 0}}};
    for (const auto& f : axes) {
        const unsigned base = static_cast<unsigned>(m.positions.size());
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                const float a = 2.0f * i / n - 1.0f, b = 2.0f * j / n - 1.0f;
                place(f[0] + a * f[1] + b * f[2]);
            }
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const unsigned p = base + j * (n + 1) + i;
                m.triangles.push_back({p, p + 1, p + n + 1});
                m.triangles.push_back({p + 1, p + n + 2, p + n + 1});
            }
    }
    return m;
}

Mesh groundPlane(float y, float extent)
{
    Mesh m;
    m.name = "ground";
    m.positions = {{-extent, y, -extent}, {extent, y, -extent}, {extent, y, extent}, {-extent, y, extent}};
    m.normals.assign(4, Vec3{0.0f, 1.0f, 0.0f});
    m.triangles = {{0, 2, 1}, {0, 3, 2}};
    return m;
}

}  // namespace

Vec3 directionFromAngles(float azimuth, float elevation)
{
    // Reduced first (exactly), so that a huge azimuth keeps its meaning.
    const float a = std::fmod(azimuth, 360.0f) * kPi / 180.0f, e = elevation * kPi / 180.0f;
    return {std::cos(e) * std::sin(a), std::sin(e), std::cos(e) * std::cos(a)};
}

void boundingSphere(const Scene& scene, Vec3& centre, float& radius)
{
    bool anyFramed = false;
    for (const Mesh& m : scene.meshes)
        anyFramed = anyFramed || m.framed;
    Vec3 lo{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
    Vec3 hi = -lo;
    for (const Mesh& m : scene.meshes)
        if (m.framed || !anyFramed)
            for (const Vec3& p : m.positions) {
                lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
                hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
            }
    if (lo.x > hi.x) {  // nothing to frame
        centre = {0.0f, 0.0f, 0.0f};
        radius = 1.0f;
        return;
    }
    centre = 0.5f * (lo + hi);
    radius = 0.0f;
    for (const Mesh& m : scene.meshes)
        if (m.framed || !anyFramed)
            for (const Vec3& p : m.positions)
                radius = std::max(radius, length(p - centre));
    if (!(radius > 0.0f))  // a single point: any size will do
        radius = 1.0f;
}

void cameraBasis(const Vec3& back, Vec3& right, Vec3& up)
{
    // Straight up or down: any right angle will do.
    const Vec3 worldUp = std::fabs(back.y) > 0.9999f ? Vec3{0.0f, 0.0f, -1.0f} : Vec3{0.0f, 1.0f, 0.0f};
    right = normalized(cross(worldUp, back));
    up = cross(back, right);
}

namespace {

// The share of the picture's half-width (or half-height) that a fitted
// camera fills with the model.
const double kFill = 0.9;

// The framed vertices' coordinates along a camera's right, up and back.
struct Projected {
    std::vector<double> right, up, back;
};

Projected project(const Scene& scene, const Vec3& right, const Vec3& up, const Vec3& back)
{
    bool anyFramed = false;
    for (const Mesh& m : scene.meshes)
        anyFramed = anyFramed || m.framed;
    Projected p;
    for (const Mesh& m : scene.meshes)
        if (m.framed || !anyFramed)
            for (const Vec3& v : m.positions) {
                p.right.push_back(tone::dot(v, right));
                p.up.push_back(tone::dot(v, up));
                p.back.push_back(tone::dot(v, back));
            }
    return p;
}

// The highest of a + t * b over the vertices: where a plane of slope t
// through the eye must lie to keep them all on its inner side.
double support(const std::vector<double>& a, const std::vector<double>& b, double sign, double t)
{
    double m = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < a.size(); ++i)
        m = std::max(m, sign * a[i] + t * b[i]);
    return m;
}

// Along one picture axis (coordinates a, depths b), with the eye at depth z
// and the picture's half-extent at most `slope`: the sideways offset of the
// eye that puts the vertices' projection in the middle. The two sides'
// bounding planes through the eye meet the vertices at equal slopes t; the
// sum of their supports less 2tz falls as t grows (it is convex, positive at
// 0 and not positive at `slope`), so halving finds t.
double centredOffset(const std::vector<double>& a, const std::vector<double>& b, double z, double slope)
{
    double lo = 0.0, hi = slope;
    for (int i = 0; i < 40; ++i) {
        const double t = 0.5 * (lo + hi);
        (support(a, b, 1.0, t) + support(a, b, -1.0, t) - 2.0 * t * z > 0.0 ? lo : hi) = t;
    }
    return 0.5 * (support(a, b, 1.0, hi) - support(a, b, -1.0, hi));
}

}  // namespace

// A fitted camera is framed on the model's silhouette: it sits where the
// projected framed vertices are centred in the picture and fill kFill of it
// along the tighter axis, whatever the aspect.
CameraView resolveCamera(const Scene& scene, float aspect)
{
    const Camera& c = scene.camera;
    CameraView view;
    view.fovY = c.fovY;
    const Vec3 back = directionFromAngles(c.azimuth, c.elevation);
    Vec3 right, up;
    cameraBasis(back, right, up);
    const double tanY = kFill * std::tan(0.5 * c.fovY * kPi / 180.0), tanX = tanY * aspect;
    const Projected p = project(scene, right, up, back);
    if (p.right.empty()) {
        view.target = c.fitTarget ? Vec3{0.0f, 0.0f, 0.0f} : c.target;
        view.eye = view.target + (c.distance > 0.0f ? c.distance : 1.0f) * back;
        return view;
    }
    if (!c.fitTarget) {
        view.target = c.target;
        float distance = c.distance;
        if (!(distance > 0.0f)) {
            // Near enough that every framed vertex lies inside the picture: a
            // vertex at (x, y, z) from the target needs distance >= z + |x| / tan.
            const double tr = tone::dot(c.target, right), tu = tone::dot(c.target, up), tb = tone::dot(c.target, back);
            double d = 0.0;
            for (std::size_t i = 0; i < p.right.size(); ++i)
                d = std::max({d, p.back[i] - tb + std::fabs(p.right[i] - tr) / tanX,
                              p.back[i] - tb + std::fabs(p.up[i] - tu) / tanY});
            distance = d > 0.0 ? static_cast<float>(d) : 1.0f;
        }
        view.eye = view.target + distance * back;
        return view;
    }
    // The eye's depth along `back` that fits each axis with both sides touching.
    const double zX = (support(p.right, p.back, 1.0, tanX) + support(p.right, p.back, -1.0, tanX)) / (2.0 * tanX);
    const double zY = (support(p.up, p.back, 1.0, tanY) + support(p.up, p.back, -1.0, tanY)) / (2.0 * tanY);
    double z = std::max(zX, zY);
    const double x = centredOffset(p.right, p.back, z, tanX), y = centredOffset(p.up, p.back, z, tanY);
    // The target: on the line of sight, level with the middle of the model's depth.
    double nearest = std::numeric_limits<double>::infinity(), farthest = -nearest;
    for (double b : p.back) {
        nearest = std::min(nearest, b);
        farthest = std::max(farthest, b);
    }
    if (!(z > 0.5 * (nearest + farthest)))  // all in one point
        z = 0.5 * (nearest + farthest) + 1.0;
    const Vec3 eye = static_cast<float>(x) * right + static_cast<float>(y) * up + static_cast<float>(z) * back;
    view.target = eye - static_cast<float>(z - 0.5 * (nearest + farthest)) * back;
    view.eye = c.distance > 0.0f ? view.target + c.distance * back : eye;
    return view;
}

std::vector<SceneLight> defaultLights(const Vec3& centre, float radius)
{
    // The key comes from high behind on the camera's left (the default camera
    // sits at azimuth 30): the tops and the left take the cool tone, the
    // sides that the camera sees the warm one.
    SceneLight key;
    key.kind = SceneLight::Point;
    key.name = "key";
    key.position = centre + 4.0f * radius * directionFromAngles(-120.0f, 55.0f);
    key.intensity = 1.0f;
    // A soft fill from low on the right, for the Maya node only: the node
    // weighs its tone by its intensity, the shader would take it at full
    // weight and push the sum out of range.
    SceneLight fill;
    fill.kind = SceneLight::Directional;
    fill.name = "fill";
    fill.direction = -directionFromAngles(60.0f, 10.0f);
    fill.intensity = 0.2f;
    fill.emitSpecular = false;
    fill.mentalRay = false;
    return {key, fill};
}

std::vector<SceneLight> modelLights(const Vec3& centre, float radius)
{
    std::vector<SceneLight> lights = defaultLights(centre, radius);
    lights[0].position = centre + 4.0f * radius * directionFromAngles(-75.0f, 45.0f);
    return lights;
}

Scene defaultScene()
{
    Scene s;
    s.description = "built-in: sphere, torus and bevelled box on a ground plane";
    Mesh ground = groundPlane(0.0f, 3.0f);
    ground.framed = false;
    s.meshes.push_back(ground);
    s.meshes.push_back(sphere({-1.5f, 1.0f, 0.3f}, 1.0f));
    s.meshes.push_back(torus({0.55f, 0.75f, 1.7f}, 0.62f, 0.24f, 0.9f));
    s.meshes.push_back(bevelledBox({1.5f, 0.75f, -0.7f}, {0.8f, 0.75f, 0.8f}, 0.18f, 0.5f));
    Vec3 centre;
    float radius;
    boundingSphere(s, centre, radius);
    s.lights = defaultLights(centre, radius);
    s.camera.azimuth = 30.0f;
    s.camera.elevation = 22.0f;
    s.camera.fovY = 35.0f;
    return s;
}

Scene swatchScene()
{
    Scene s;
    s.description = "built-in: sphere";
    s.meshes.push_back(sphere({0.0f, 0.0f, 0.0f}, 1.0f));
    s.lights = defaultLights({0.0f, 0.0f, 0.0f}, 1.0f);
    // From the side, so that every swatch shows both tones.
    s.lights[0].position = 4.0f * directionFromAngles(-60.0f, 40.0f);
    s.camera.azimuth = 30.0f;
    s.camera.elevation = 20.0f;
    return s;
}

bool builtinMesh(const std::string& name, Mesh& mesh)
{
    if (name == "sphere")
        mesh = sphere({0.0f, 0.0f, 0.0f}, 1.0f);
    else if (name == "torus")
        mesh = torus({0.0f, 0.0f, 0.0f}, 0.7f, 0.3f, 0.0f);
    else if (name == "box")
        mesh = bevelledBox({0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f}, 0.2f, 0.0f);
    else if (name == "ground")
        mesh = groundPlane(0.0f, 1.0f);
    else
        return false;
    mesh.framed = name != "ground";
    return true;
}

namespace {

// Rotated about x, then y, then z, by these angles in degrees.
template <class V>
V rotated(V v, const Vec3& degrees)
{
    const float angles[3] = {degrees.x, degrees.y, degrees.z};
    for (int axis = 0; axis < 3; ++axis) {
        const double a = angles[axis] * 3.14159265358979323846 / 180.0;
        const auto c = static_cast<decltype(v.x)>(std::cos(a)), s = static_cast<decltype(v.x)>(std::sin(a));
        if (axis == 0)
            v = {v.x, c * v.y - s * v.z, s * v.y + c * v.z};
        else if (axis == 1)
            v = {c * v.x + s * v.z, v.y, -s * v.x + c * v.z};
        else
            v = {c * v.x - s * v.y, s * v.x + c * v.y, v.z};
    }
    return v;
}

struct Double3 {
    double x, y, z;
};

}  // namespace

void transformMesh(Mesh& mesh, const std::array<double, 3>& translate, const Vec3& rotateDegrees, const Vec3& scale)
{
    for (Vec3& p : mesh.positions)
        p = rotated(Vec3{p.x * scale.x, p.y * scale.y, p.z * scale.z}, rotateDegrees);
    std::array<double, 3>& o = mesh.placement.origin;
    const Double3 moved = rotated(Double3{o[0] * scale.x, o[1] * scale.y, o[2] * scale.z}, rotateDegrees);
    o = {moved.x + translate[0], moved.y + translate[1], moved.z + translate[2]};
    // Normals go through the inverse transpose: the inverse scale, then the rotation.
    for (Vec3& n : mesh.normals)
        n = normalized(rotated(Vec3{n.x / scale.x, n.y / scale.y, n.z / scale.z}, rotateDegrees));
    // A mirroring scale turns the faces inside out; keep their winding outward.
    if (scale.x * scale.y * scale.z < 0.0f)
        for (auto& t : mesh.triangles)
            std::swap(t[1], t[2]);
}

}  // namespace cwtool
