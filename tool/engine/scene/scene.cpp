#include "scene.h"

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


// One corner of a triangle as a file gives it: a position and, maybe, a
// normal (an index into the file's normals, or -1).
struct Corner {
    unsigned position;
    int normal;
};

// A normal the file gives that lies further than this from its face's normal
// points against the face (100 degrees: a smoothed normal at a fold may lean
// past the face's plane a little).
const float kAgainstFace = -0.17f;

// Whether faces f and g, which share position p, wind the edge they share
// the same way round: two faces that agree on their outside run a shared edge
// in opposite directions. Faces meeting at a point only, or across an edge
// that more than two faces share, are taken as they come.
bool runsSharedEdgeAlike(const std::array<Corner, 3>& f, const std::array<Corner, 3>& g)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (f[i].position == g[j].position && f[(i + 1) % 3].position == g[(j + 1) % 3].position)
                return true;
    return false;
}

// Splits vertices where their corners' normals differ. With NormalSource::File
// a corner takes the file's normal, turned to its face's side when it points
// against the face (the turned ones are counted in `turned`); a corner without
// a normal of its own, and every corner with NormalSource::Smooth, takes the
// mean of the faces around its position that meet its face at less than the
// crease angle, each weighted by its angle at that position (so that how a
// face was cut into triangles does not matter). A neighbour wound the other
// way round across a shared edge counts with its normal reversed, so that
// faces whose winding disagrees (as around an edge of three or more) do not
// cancel. NormalSource::Flat gives every corner its face's normal.
Mesh buildMesh(const std::string& name, const std::vector<Vec3>& positions,
               const std::vector<std::array<Corner, 3>>& faces, const std::vector<Vec3>& givenNormals,
               float creaseDegrees, NormalSource source = NormalSource::File, std::size_t* turned = nullptr)
{
    std::vector<Vec3> unit(faces.size());
    struct Incident {
        unsigned face;
        float angle;  // the face's angle at the position
    };
    std::vector<std::vector<Incident>> around(positions.size());
    for (std::size_t f = 0; f < faces.size(); ++f) {
        const Vec3 p[3] = {positions[faces[f][0].position], positions[faces[f][1].position],
                           positions[faces[f][2].position]};
        unit[f] = normalized(cross(p[1] - p[0], p[2] - p[0]));
        for (int k = 0; k < 3; ++k) {
            const Vec3 a = normalized(p[(k + 1) % 3] - p[k]), b = normalized(p[(k + 2) % 3] - p[k]);
            const float angle = std::acos(std::max(-1.0f, std::min(1.0f, tone::dot(a, b))));
            around[faces[f][k].position].push_back({static_cast<unsigned>(f), angle});
        }
    }
    const float cosCrease = std::cos(creaseDegrees * kPi / 180.0f);

    // A file whose faces all wind the other way round has every normal
    // against its face: that is its winding, not its normals.
    float facing = 1.0f;
    if (source == NormalSource::File) {
        std::size_t against = 0, along = 0;
        for (std::size_t f = 0; f < faces.size(); ++f)
            for (const Corner& c : faces[f])
                if (c.normal >= 0) {
                    const float d = tone::dot(normalized(givenNormals[c.normal]), unit[f]);
                    against += d < kAgainstFace;
                    along += d > -kAgainstFace;
                }
        facing = against > along ? -1.0f : 1.0f;
    }
    std::vector<bool> wasTurned(givenNormals.size(), false);

    // Identical corners (same position, same normal) share one vertex.
    struct Key {
        unsigned position;
        float x, y, z;
        bool operator<(const Key& o) const { return std::tie(position, x, y, z) < std::tie(o.position, o.x, o.y, o.z); }
    };
    std::map<Key, unsigned> vertices;
    Mesh m;
    m.name = name;
    for (std::size_t f = 0; f < faces.size(); ++f) {
        std::array<unsigned, 3> t;
        for (int k = 0; k < 3; ++k) {
            const Corner& c = faces[f][k];
            Vec3 n{0.0f, 0.0f, 0.0f};
            if (source == NormalSource::Flat) {
                n = unit[f];
            } else if (c.normal >= 0 && source == NormalSource::File) {
                n = normalized(givenNormals[c.normal]);
                if (facing * tone::dot(n, unit[f]) < kAgainstFace) {
                    n = -n;
                    wasTurned[c.normal] = true;
                }
            } else {
                for (const Incident& g : around[c.position]) {
                    const Vec3 other = runsSharedEdgeAlike(faces[f], faces[g.face]) && g.face != f ? -unit[g.face] : unit[g.face];
                    if (g.face == f || tone::dot(unit[f], other) >= cosCrease)
                        n = n + g.angle * other;
                }
                n = normalized(n);
            }
            const auto placed = vertices.emplace(Key{c.position, n.x, n.y, n.z}, static_cast<unsigned>(m.positions.size()));
            if (placed.second) {
                m.positions.push_back(positions[c.position]);
                m.normals.push_back(n);
            }
            t[k] = placed.first->second;
        }
        m.triangles.push_back(t);
    }
    if (turned)
        *turned = static_cast<std::size_t>(std::count(wasTurned.begin(), wasTurned.end(), true));
    return m;
}

}  // namespace

void computeCreasedNormals(Mesh& mesh, float creaseDegrees)
{
    std::vector<std::array<Corner, 3>> faces;
    for (const auto& t : mesh.triangles)
        faces.push_back({Corner{t[0], -1}, Corner{t[1], -1}, Corner{t[2], -1}});
    const bool framed = mesh.framed;
    mesh = buildMesh(mesh.name, mesh.positions, faces, {}, creaseDegrees);
    mesh.framed = framed;
}

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

namespace {

// A model this large leaves no room in single precision for the distances
// of the camera and lights around it.
const double kLargestRadius = 1e35;

// The centre of the box around points p(i) for i < count, and the largest
// distance from it, in double precision.
template <class Point>
void boxAndRadius(std::size_t count, Point p, std::array<double, 3>& centre, double& radius)
{
    std::array<double, 3> lo{}, hi{};
    lo.fill(std::numeric_limits<double>::infinity());
    hi.fill(-std::numeric_limits<double>::infinity());
    for (std::size_t i = 0; i < count; ++i) {
        const std::array<double, 3> q = p(i);
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], q[a]);
            hi[a] = std::max(hi[a], q[a]);
        }
    }
    radius = 0.0;
    if (!count) {
        centre = {0.0, 0.0, 0.0};
        return;
    }
    for (int a = 0; a < 3; ++a)
        centre[a] = 0.5 * lo[a] + 0.5 * hi[a];
    for (std::size_t i = 0; i < count; ++i) {
        const std::array<double, 3> q = p(i);
        radius = std::max(radius, std::sqrt((q[0] - centre[0]) * (q[0] - centre[0]) + (q[1] - centre[1]) * (q[1] - centre[1]) +
                                            (q[2] - centre[2]) * (q[2] - centre[2])));
    }
}

}  // namespace

void placeScene(Scene& scene, const std::string& what)
{
    bool anyFramed = false;
    for (const Mesh& m : scene.meshes)
        anyFramed = anyFramed || m.framed;
    // Every framed vertex in the files' units, one after another.
    std::vector<std::pair<const Mesh*, std::size_t>> framed;
    for (const Mesh& m : scene.meshes)
        if (m.framed || !anyFramed)
            for (std::size_t i = 0; i < m.positions.size(); ++i)
                framed.push_back({&m, i});
    auto world = [](const Mesh& m, std::size_t i) {
        const Vec3& p = m.positions[i];
        const Placement& o = m.placement;
        return std::array<double, 3>{o.origin[0] + o.unit * p.x, o.origin[1] + o.unit * p.y, o.origin[2] + o.unit * p.z};
    };
    Placement placed;
    double radius;
    boxAndRadius(framed.size(), [&](std::size_t i) { return world(*framed[i].first, framed[i].second); },
                 placed.origin, radius);
    if (!std::isfinite(radius) || radius > kLargestRadius)
        throw InputError(what + ": the framed meshes span more than 1e35 units, beyond what single precision "
                                "leaves room for around them");
    placed.unit = radius > 0.0 ? radius : 1.0;
    for (Mesh& m : scene.meshes) {
        for (std::size_t i = 0; i < m.positions.size(); ++i) {
            const std::array<double, 3> w = world(m, i);
            Vec3 p{static_cast<float>((w[0] - placed.origin[0]) / placed.unit),
                   static_cast<float>((w[1] - placed.origin[1]) / placed.unit),
                   static_cast<float>((w[2] - placed.origin[2]) / placed.unit)};
            if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
                throw InputError(what + ": mesh '" + m.name + "' lies too far from the framed meshes for single "
                                        "precision");
            m.positions[i] = p;
        }
        m.placement = Placement();
    }
    scene.placement = placed;
}

void standUp(Scene& scene, UpAxis up)
{
    if (up == UpAxis::Y)
        return;
    Vec3 centre;
    float radius;
    boundingSphere(scene, centre, radius);
    // Its +z along +y: a quarter turn about x.
    for (Mesh& m : scene.meshes) {
        for (Vec3& p : m.positions)
            p = centre + Vec3{p.x - centre.x, p.z - centre.z, centre.y - p.y};
        for (Vec3& n : m.normals)
            n = {n.x, n.z, -n.y};
    }
}

Mesh loadObjMesh(const std::string& path, const MeshOptions& options, const std::string& label,
                 std::vector<std::string>* notes)
{
    const std::string what = label + " '" + path + "'";
    // Only a regular file is read. Plain files are parsed on every core; the
    // file check and the OBJ library read any other, and say what is wrong
    // with it.
    ObjArrays obj;
    {
        const std::string text = readRegularFile(path, kMaxObjBytes, what);
        if (!parsePlainObj(text, 0, obj)) {
            checkObjFile(path, what);
            obj = readObjWithLibrary(text, what);
        }
    }
    // Positions stay in double precision until they are recentred and scaled.
    const bool zUp = options.up == UpAxis::Z;
    std::vector<std::array<double, 3>> exact;
    exact.reserve(obj.vertices.size() / 3);
    for (std::size_t i = 0; i + 2 < obj.vertices.size(); i += 3) {
        const double x = obj.vertices[i], y = obj.vertices[i + 1], z = obj.vertices[i + 2];
        if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z))
            throw InputError(what + ": a vertex position is not a finite number");
        exact.push_back(zUp ? std::array<double, 3>{x, z, -y} : std::array<double, 3>{x, y, z});
    }
    // A normal is a direction: scaled in double precision before it is
    // rounded, so that one of any finite length keeps its direction.
    std::vector<Vec3> normals;
    std::vector<bool> usable;
    for (std::size_t i = 0; i + 2 < obj.normals.size(); i += 3) {
        double n[3] = {obj.normals[i], obj.normals[i + 1], obj.normals[i + 2]};
        const double big = std::max({std::fabs(n[0]), std::fabs(n[1]), std::fabs(n[2])});
        usable.push_back(big > 0.0 && std::isfinite(big));
        const double s = usable.back() ? 1.0 / big : 0.0;
        const Vec3 v{static_cast<float>(n[0] * s), static_cast<float>(n[1] * s), static_cast<float>(n[2] * s)};
        normals.push_back(normalized(zUp ? Vec3{v.x, v.z, -v.y} : v));
    }

    std::vector<std::array<Corner, 3>> faces;
    std::vector<bool> used(exact.size(), false);
    bool everyNormalGiven = true;
    faces.reserve(obj.corners.size() / 3);
    for (std::size_t f = 0; f + 2 < obj.corners.size(); f += 3) {
        std::array<Corner, 3> face;
        for (int k = 0; k < 3; ++k) {
            const ObjArrays::Corner& idx = obj.corners[f + k];
            if (idx.vertex < 0 || static_cast<std::size_t>(idx.vertex) >= exact.size())
                throw InputError(what + ": a face refers to vertex " + std::to_string(idx.vertex + 1) +
                                 ", which does not exist");
            if (idx.normal >= static_cast<int>(normals.size()))
                throw InputError(what + ": a face refers to normal " + std::to_string(idx.normal + 1) +
                                 ", which does not exist");
            face[k] = {static_cast<unsigned>(idx.vertex), idx.normal};
            if (face[k].normal >= 0 && !usable[face[k].normal])
                face[k].normal = -1;  // an unusable normal: derive one instead
            everyNormalGiven = everyNormalGiven && face[k].normal >= 0;
            used[face[k].position] = true;
        }
        faces.push_back(face);
    }
    std::vector<ObjArrays::Corner>().swap(obj.corners);
    if (faces.empty())
        throw InputError(what + ": the file has no faces");

    // Recentred on the box around the vertices the faces use, and scaled to a
    // radius of 1, in double precision; then rounded.
    std::vector<std::size_t> usedIndices;
    for (std::size_t i = 0; i < used.size(); ++i)
        if (used[i])
            usedIndices.push_back(i);
    Placement placement;
    double radius;
    boxAndRadius(usedIndices.size(), [&](std::size_t i) { return exact[usedIndices[i]]; }, placement.origin, radius);
    if (!std::isfinite(radius) || radius > kLargestRadius)
        throw InputError(what + ": the model spans more than 1e35 units, beyond what single precision leaves room "
                                "for around it");
    placement.unit = radius > 0.0 ? radius : 1.0;
    std::vector<Vec3> positions(exact.size());
    for (std::size_t i = 0; i < exact.size(); ++i)
        positions[i] = {static_cast<float>((exact[i][0] - placement.origin[0]) / placement.unit),
                        static_cast<float>((exact[i][1] - placement.origin[1]) / placement.unit),
                        static_cast<float>((exact[i][2] - placement.origin[2]) / placement.unit)};

    std::size_t turned = 0;
    Mesh mesh = buildMesh(path, positions, faces, normals, options.creaseDegrees, options.normals, &turned);
    mesh.placement = placement;
    if (notes && turned)
        notes->push_back(what + ": " + std::to_string(turned) + " of the file's " + std::to_string(normals.size()) +
                         " normals pointed against their faces and were turned to their faces' side");
    if (notes && options.creaseGiven && options.normals == NormalSource::File && everyNormalGiven)
        notes->push_back(what + ": the file gives every normal, so the crease angle does nothing (with --normals "
                                "smooth the normals are recomputed and creased)");
    return mesh;
}

Scene loadObjScene(const std::string& path, const MeshOptions& options)
{
    Scene s;
    s.description = "OBJ: " + path;
    s.meshes.push_back(loadObjMesh(path, options, "--scene", &s.notes));
    placeScene(s, "--scene '" + path + "'");
    Vec3 centre;
    float radius;
    boundingSphere(s, centre, radius);
    s.lights = modelLights(centre, radius);
    return s;
}

}  // namespace cwtool
