#include "scene.h"

#include "errors.h"
#include "objCheck.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

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

void computeSmoothNormals(Mesh& mesh)
{
    mesh.normals.assign(mesh.positions.size(), Vec3{0.0f, 0.0f, 0.0f});
    for (const auto& t : mesh.triangles) {
        const Vec3 n = cross(mesh.positions[t[1]] - mesh.positions[t[0]], mesh.positions[t[2]] - mesh.positions[t[0]]);
        for (unsigned i : t)
            mesh.normals[i] = mesh.normals[i] + n;
    }
    for (Vec3& n : mesh.normals)
        n = normalized(n);
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

void addDefaultLights(Scene& s, const Vec3& centre, float radius)
{
    SceneLight key;
    key.kind = SceneLight::Point;
    key.name = "key";
    key.position = centre + radius * Vec3{-1.6f, 2.4f, 1.8f};
    key.intensity = 1.0f;
    SceneLight fill;
    fill.kind = SceneLight::Directional;
    fill.name = "fill";
    fill.direction = normalized(Vec3{-0.8f, -0.35f, -0.5f});
    fill.intensity = 0.35f;
    fill.emitSpecular = false;
    s.lights = {key, fill};
}

}  // namespace

Scene defaultScene()
{
    Scene s;
    s.description = "built-in: sphere, torus and bevelled box on a ground plane";
    s.meshes.push_back(groundPlane(0.0f, 4.5f));
    s.meshes.push_back(sphere({-1.9f, 1.0f, 0.2f}, 1.0f));
    s.meshes.push_back(torus({0.55f, 0.75f, 1.7f}, 0.62f, 0.24f, 0.9f));
    s.meshes.push_back(bevelledBox({1.6f, 0.75f, -0.6f}, {0.8f, 0.75f, 0.8f}, 0.18f, 0.5f));
    addDefaultLights(s, {0.0f, 0.5f, 0.0f}, 3.0f);
    // A warm orange with the classic technical-illustration tones: a quarter of
    // the surface colour in the cool tone, more in the warm one.
    s.material = {{"color", {0.85, 0.45, 0.15}}, {"alpha", {0.2}},        {"beta", {0.6}},
                  {"blue", {0.4}},               {"yellow", {0.4}},       {"diffuse", {0.7}},
                  {"specularColor", {0.3, 0.3, 0.3}}};
    s.camera.eye = {6.0f, 6.8f, 8.6f};
    s.camera.target = {-0.1f, 0.3f, 0.2f};
    s.camera.fovY = 40.0f;
    return s;
}

Scene loadObjScene(const std::string& path)
{
    checkObjFile(path);
    tinyobj::ObjReaderConfig config;
    config.triangulate = true;
    config.vertex_color = false;
    tinyobj::ObjReader reader;
    if (!reader.ParseFromFile(path, config)) {
        std::string why = reader.Error();
        while (!why.empty() && (why.back() == '\n' || why.back() == '\r'))
            why.pop_back();
        throw InputError("--scene '" + path + "': not a readable OBJ file: " + (why.empty() ? "parse error" : why));
    }
    const tinyobj::attrib_t& attrib = reader.GetAttrib();
    Mesh mesh;
    mesh.name = path;
    const std::size_t vertexCount = attrib.vertices.size() / 3;
    for (std::size_t i = 0; i < vertexCount; ++i)
        mesh.positions.push_back({attrib.vertices[3 * i], attrib.vertices[3 * i + 1], attrib.vertices[3 * i + 2]});
    bool hasNormals = !attrib.normals.empty();
    std::vector<Vec3> fileNormals(vertexCount, Vec3{0.0f, 0.0f, 0.0f});
    for (const tinyobj::shape_t& shape : reader.GetShapes()) {
        const auto& indices = shape.mesh.indices;
        for (std::size_t f = 0; f + 2 < indices.size(); f += 3) {
            std::array<unsigned, 3> t;
            for (int k = 0; k < 3; ++k) {
                const tinyobj::index_t& idx = indices[f + k];
                if (idx.vertex_index < 0 || static_cast<std::size_t>(idx.vertex_index) >= vertexCount)
                    throw InputError("--scene '" + path + "': a face refers to vertex " +
                                     std::to_string(idx.vertex_index + 1) + ", which does not exist");
                t[k] = static_cast<unsigned>(idx.vertex_index);
                if (hasNormals) {
                    if (idx.normal_index < 0 || 3 * static_cast<std::size_t>(idx.normal_index) + 2 >= attrib.normals.size()) {
                        hasNormals = false;
                    } else {
                        const float* n = &attrib.normals[3 * idx.normal_index];
                        fileNormals[t[k]] = fileNormals[t[k]] + Vec3{n[0], n[1], n[2]};
                    }
                }
            }
            mesh.triangles.push_back(t);
        }
    }
    if (mesh.triangles.empty())
        throw InputError("--scene '" + path + "': the file has no faces");
    for (const Vec3& p : mesh.positions)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
            throw InputError("--scene '" + path + "': a vertex position is not a finite number");
    if (hasNormals) {
        mesh.normals.clear();
        for (const Vec3& n : fileNormals)
            mesh.normals.push_back(normalized(n));
    } else {
        computeSmoothNormals(mesh);
    }

    // Frame the mesh: a three-quarter view that fits its bounding sphere.
    Vec3 lo{std::numeric_limits<float>::max(), std::numeric_limits<float>::max(), std::numeric_limits<float>::max()};
    Vec3 hi = -lo;
    for (const auto& t : mesh.triangles)
        for (unsigned i : t) {
            const Vec3& p = mesh.positions[i];
            lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
            hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
        }
    const Vec3 centre = 0.5f * (lo + hi);
    const float radius = std::max(0.5f * length(hi - lo), 1e-3f);
    Scene s;
    s.description = "OBJ: " + path;
    s.meshes.push_back(std::move(mesh));
    addDefaultLights(s, centre, radius);
    s.camera.fovY = 35.0f;
    const float distance = radius / std::sin(0.5f * s.camera.fovY * kPi / 180.0f) * 1.1f;
    s.camera.target = centre;
    s.camera.eye = centre + distance * normalized(Vec3{0.65f, 0.45f, 0.85f});
    return s;
}

}  // namespace cwtool
