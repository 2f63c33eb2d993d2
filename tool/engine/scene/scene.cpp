#include "scene.h"

#include "objCheck.h"

#include "core/errors.h"
#include "core/fileInput.h"
#include "core/workLimits.h"

#include <tiny_obj_loader.h>

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

// Splits vertices where their corners' normals differ. A corner without a
// normal of its own takes the mean of the faces around its position that meet
// its face at less than the crease angle, each weighted by its angle at that
// position (so that how a face was cut into triangles does not matter).
Mesh buildMesh(const std::string& name, const std::vector<Vec3>& positions,
               const std::vector<std::array<Corner, 3>>& faces, const std::vector<Vec3>& givenNormals,
               float creaseDegrees)
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

    // Identical corners (same position, same normal) share one vertex.
    struct Key {
        unsigned position;
        int given;
        float x, y, z;
        bool operator<(const Key& o) const
        {
            return std::tie(position, given, x, y, z) < std::tie(o.position, o.given, o.x, o.y, o.z);
        }
    };
    std::map<Key, unsigned> vertices;
    Mesh m;
    m.name = name;
    for (std::size_t f = 0; f < faces.size(); ++f) {
        std::array<unsigned, 3> t;
        for (int k = 0; k < 3; ++k) {
            const Corner& c = faces[f][k];
            Vec3 n{0.0f, 0.0f, 0.0f};
            if (c.normal >= 0) {
                n = normalized(givenNormals[c.normal]);
            } else {
                for (const Incident& g : around[c.position])
                    if (g.face == f || tone::dot(unit[f], unit[g.face]) >= cosCrease)
                        n = n + g.angle * unit[g.face];
                n = normalized(n);
            }
            const Key key{c.position, c.normal, c.normal >= 0 ? 0.0f : n.x, c.normal >= 0 ? 0.0f : n.y,
                          c.normal >= 0 ? 0.0f : n.z};
            const auto placed = vertices.emplace(key, static_cast<unsigned>(m.positions.size()));
            if (placed.second) {
                m.positions.push_back(positions[c.position]);
                m.normals.push_back(n);
            }
            t[k] = placed.first->second;
        }
        m.triangles.push_back(t);
    }
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
    radius = std::max(radius, 1e-3f);
}

void cameraBasis(const Vec3& back, Vec3& right, Vec3& up)
{
    // Straight up or down: any right angle will do.
    const Vec3 worldUp = std::fabs(back.y) > 0.9999f ? Vec3{0.0f, 0.0f, -1.0f} : Vec3{0.0f, 1.0f, 0.0f};
    right = normalized(cross(worldUp, back));
    up = cross(back, right);
}

CameraView resolveCamera(const Scene& scene, float aspect)
{
    const Camera& c = scene.camera;
    Vec3 centre;
    float radius;
    boundingSphere(scene, centre, radius);
    CameraView view;
    view.fovY = c.fovY;
    view.target = c.fitTarget ? centre : c.target;
    const Vec3 back = directionFromAngles(c.azimuth, c.elevation);
    float distance = c.distance;
    if (!(distance > 0.0f)) {
        // Near enough that every framed vertex lies inside the picture, with a
        // small margin, whatever its aspect: a vertex at camera-space (x, y, z)
        // from the target needs distance >= z + |x| / tan(half the angle of view).
        const float tanY = 0.9f * std::tan(0.5f * c.fovY * kPi / 180.0f), tanX = tanY * aspect;
        Vec3 right, up;
        cameraBasis(back, right, up);
        bool anyFramed = false;
        for (const Mesh& m : scene.meshes)
            anyFramed = anyFramed || m.framed;
        distance = 1e-3f;
        for (const Mesh& m : scene.meshes)
            if (m.framed || !anyFramed)
                for (const Vec3& p : m.positions) {
                    const Vec3 d = p - view.target;
                    const float z = tone::dot(d, back);
                    distance = std::max({distance, z + std::fabs(tone::dot(d, right)) / tanX,
                                         z + std::fabs(tone::dot(d, up)) / tanY});
                }
    }
    view.eye = view.target + distance * back;
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

std::vector<Setting> builtinLook()
{
    // Little of the orange in the cool tone keeps it blue; half of it in the
    // warm tone makes that a yellow orange. The diffuse scale keeps the warm
    // colour plus the Maya fill's share below 1.
    return {{"color", {0.9, 0.45, 0.1}},
            {"alpha", {0.05}},
            {"beta", {0.5}},
            {"blue", {0.55}},
            {"yellow", {0.45}},
            {"diffuse", {0.85}},
            {"specularColor", {0.5, 0.5, 0.5}},
            {"specularRollOff", {0.6}},
            // The node's exponent is 6 / eccentricity, the shader's is the
            // value itself: the same small highlight on both.
            {"maya:eccentricity", {0.15}},
            {"mentalray:eccentricity", {40.0}},
            {"outLineWidth", {0.25}},
            {"outLineColor", {0.08, 0.06, 0.1}}};
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

void transformMesh(Mesh& mesh, const Vec3& translate, const Vec3& rotateDegrees, const Vec3& scale)
{
    auto rotate = [&](Vec3 v) {
        const float angles[3] = {rotateDegrees.x, rotateDegrees.y, rotateDegrees.z};
        for (int axis = 0; axis < 3; ++axis) {  // x, then y, then z
            const float a = angles[axis] * kPi / 180.0f, c = std::cos(a), s = std::sin(a);
            if (axis == 0)
                v = {v.x, c * v.y - s * v.z, s * v.y + c * v.z};
            else if (axis == 1)
                v = {c * v.x + s * v.z, v.y, -s * v.x + c * v.z};
            else
                v = {c * v.x - s * v.y, s * v.x + c * v.y, v.z};
        }
        return v;
    };
    for (Vec3& p : mesh.positions)
        p = translate + rotate(Vec3{p.x * scale.x, p.y * scale.y, p.z * scale.z});
    // Normals go through the inverse transpose: the inverse scale, then the rotation.
    for (Vec3& n : mesh.normals)
        n = normalized(rotate(Vec3{n.x / scale.x, n.y / scale.y, n.z / scale.z}));
    // A mirroring scale turns the faces inside out; keep their winding outward.
    if (scale.x * scale.y * scale.z < 0.0f)
        for (auto& t : mesh.triangles)
            std::swap(t[1], t[2]);
}

Mesh loadObjMesh(const std::string& path, float creaseDegrees, const std::string& label)
{
    const std::string what = label + " '" + path + "'";
    checkObjFile(path, what);
    tinyobj::ObjReaderConfig config;
    config.triangulate = true;
    config.vertex_color = false;
    tinyobj::ObjReader reader;
    // Parsed from its text with no material text: an mtllib line names a file
    // that is never opened (materials are not used).
    if (!reader.ParseFromString(readRegularFile(path, kMaxObjBytes, what), "", config)) {
        std::string why = reader.Error();
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r'))
            why.pop_back();
        throw InputError(what + ": not a readable OBJ file: " + (why.empty() ? "parse error" : why));
    }
    const tinyobj::attrib_t& attrib = reader.GetAttrib();
    std::vector<Vec3> positions, normals;
    for (std::size_t i = 0; i + 2 < attrib.vertices.size(); i += 3)
        positions.push_back({attrib.vertices[i], attrib.vertices[i + 1], attrib.vertices[i + 2]});
    for (std::size_t i = 0; i + 2 < attrib.normals.size(); i += 3)
        normals.push_back({attrib.normals[i], attrib.normals[i + 1], attrib.normals[i + 2]});
    for (const Vec3& p : positions)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            throw InputError(what + ": a vertex position is not a finite number");

    std::vector<std::array<Corner, 3>> faces;
    for (const tinyobj::shape_t& shape : reader.GetShapes()) {
        const auto& indices = shape.mesh.indices;
        for (std::size_t f = 0; f + 2 < indices.size(); f += 3) {
            std::array<Corner, 3> face;
            for (int k = 0; k < 3; ++k) {
                const tinyobj::index_t& idx = indices[f + k];
                if (idx.vertex_index < 0 || static_cast<std::size_t>(idx.vertex_index) >= positions.size())
                    throw InputError(what + ": a face refers to vertex " + std::to_string(idx.vertex_index + 1) +
                                     ", which does not exist");
                if (idx.normal_index >= static_cast<int>(normals.size()))
                    throw InputError(what + ": a face refers to normal " + std::to_string(idx.normal_index + 1) +
                                     ", which does not exist");
                face[k] = {static_cast<unsigned>(idx.vertex_index), idx.normal_index};
                if (face[k].normal >= 0 && !(length(normals[face[k].normal]) > 0.0f &&
                                             std::isfinite(length(normals[face[k].normal]))))
                    face[k].normal = -1;  // an unusable normal: derive one instead
            }
            faces.push_back(face);
        }
    }
    if (faces.empty())
        throw InputError(what + ": the file has no faces");
    return buildMesh(path, positions, faces, normals, creaseDegrees);
}

Scene loadObjScene(const std::string& path, float creaseDegrees)
{
    Scene s;
    s.description = "OBJ: " + path;
    s.meshes.push_back(loadObjMesh(path, creaseDegrees, "--scene"));
    Vec3 centre;
    float radius;
    boundingSphere(s, centre, radius);
    s.lights = defaultLights(centre, radius);
    return s;
}

}  // namespace cwtool
