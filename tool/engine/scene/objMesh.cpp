// OBJ models: read in double precision, recentred and scaled while loading,
// stood up and framed with the scene's other meshes.
#include "scene.h"

#include "meshBuild.h"
#include "normalNoise.h"
#include "objCheck.h"
#include "objParse.h"

#include "core/errors.h"
#include "core/fileInput.h"
#include "core/workLimits.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace cwtool {

namespace {

// A model this large leaves no room in single precision for the distances
// of the camera and lights around it.
const double kLargestRadius = 1e35;

// An OBJ file is read and parsed this many bytes at a time.
const std::size_t kPieceBytes = std::size_t(8) << 20;

// The centre of the box around points p(i) for i < count where use(i), and
// the largest distance from it, in double precision.
template <class Use, class Point>
void boxAndRadius(std::size_t count, Use use, Point p, std::array<double, 3>& centre, double& radius)
{
    std::array<double, 3> lo{}, hi{};
    lo.fill(std::numeric_limits<double>::infinity());
    hi.fill(-std::numeric_limits<double>::infinity());
    bool any = false;
    for (std::size_t i = 0; i < count; ++i) {
        if (!use(i))
            continue;
        any = true;
        const std::array<double, 3> q = p(i);
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], q[a]);
            hi[a] = std::max(hi[a], q[a]);
        }
    }
    radius = 0.0;
    if (!any) {
        centre = {0.0, 0.0, 0.0};
        return;
    }
    for (int a = 0; a < 3; ++a)
        centre[a] = 0.5 * lo[a] + 0.5 * hi[a];
    for (std::size_t i = 0; i < count; ++i) {
        if (!use(i))
            continue;
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
    boxAndRadius(framed.size(), [](std::size_t) { return true; },
                 [&](std::size_t i) { return world(*framed[i].first, framed[i].second); }, placed.origin, radius);
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
    // Only a regular file is read. Plain files are parsed on every core as
    // they are read, a piece at a time, so that their text is never held
    // whole; the file check and the OBJ library read any other, and say what
    // is wrong with it.
    ObjArrays obj;
    std::size_t fileBytes = 0;
    std::unique_ptr<PlainObjParser> parser;
    const bool plain = readRegularFileLines(path, kMaxObjBytes, what, kPieceBytes,
                                            [&](const char* begin, const char* end) {
                                                if (!parser)
                                                    parser.reset(new PlainObjParser(0, fileBytes));
                                                return parser->add(begin, end, obj);
                                            },
                                            &fileBytes) &&
                       (!parser || parser->finish(obj));
    parser.reset();
    if (!plain) {
        checkObjFile(path, what);
        obj = readObjWithLibrary(readRegularFile(path, kMaxObjBytes, what), what);
    }
    // Positions stay in double precision until they are recentred and scaled.
    const bool zUp = options.up == UpAxis::Z;
    const std::size_t vertexCount = obj.vertices.size() / 3;
    auto exact = [&](std::size_t i) {
        const double* v = &obj.vertices[3 * i];
        return zUp ? std::array<double, 3>{v[0], v[2], -v[1]} : std::array<double, 3>{v[0], v[1], v[2]};
    };
    for (double v : obj.vertices)
        if (!std::isfinite(v))
            throw InputError(what + ": a vertex position is not a finite number");
    // A normal is a direction: scaled in double precision before it is
    // rounded, so that one of any finite length keeps its direction.
    std::vector<Vec3> normals;
    std::vector<bool> usable;
    normals.reserve(obj.normals.size() / 3);
    usable.reserve(obj.normals.size() / 3);
    for (std::size_t i = 0; i + 2 < obj.normals.size(); i += 3) {
        double n[3] = {obj.normals[i], obj.normals[i + 1], obj.normals[i + 2]};
        const double big = std::max({std::fabs(n[0]), std::fabs(n[1]), std::fabs(n[2])});
        usable.push_back(big > 0.0 && std::isfinite(big));
        const double s = usable.back() ? 1.0 / big : 0.0;
        const Vec3 v{static_cast<float>(n[0] * s), static_cast<float>(n[1] * s), static_cast<float>(n[2] * s)};
        normals.push_back(normalized(zUp ? Vec3{v.x, v.z, -v.y} : v));
    }
    std::vector<ObjReal>().swap(obj.normals);

    // The faces' corners, checked where they lie; a corner whose normal is
    // unusable derives one instead.
    std::vector<Corner>& corners = obj.corners;
    corners.resize(corners.size() / 3 * 3);
    std::vector<bool> used(vertexCount, false);
    bool everyNormalGiven = true;
    for (Corner& c : corners) {
        if (c.vertex < 0 || static_cast<std::size_t>(c.vertex) >= vertexCount)
            throw InputError(what + ": a face refers to vertex " + std::to_string(c.vertex + 1) +
                             ", which does not exist");
        if (c.normal >= static_cast<int>(normals.size()))
            throw InputError(what + ": a face refers to normal " + std::to_string(c.normal + 1) +
                             ", which does not exist");
        if (c.normal >= 0 && !usable[c.normal])
            c.normal = -1;
        everyNormalGiven = everyNormalGiven && c.normal >= 0;
        used[c.vertex] = true;
    }
    if (corners.empty())
        throw InputError(what + ": the file has no faces");

    // Recentred on the box around the vertices the faces use, and scaled to a
    // radius of 1, in double precision; then rounded.
    Placement placement;
    double radius;
    boxAndRadius(vertexCount, [&](std::size_t i) { return used[i]; }, exact, placement.origin, radius);
    if (!std::isfinite(radius) || radius > kLargestRadius)
        throw InputError(what + ": the model spans more than 1e35 units, beyond what single precision leaves room "
                                "for around it");
    placement.unit = radius > 0.0 ? radius : 1.0;
    std::vector<Vec3> positions(vertexCount);
    for (std::size_t i = 0; i < vertexCount; ++i) {
        const std::array<double, 3> e = exact(i);
        positions[i] = {static_cast<float>((e[0] - placement.origin[0]) / placement.unit),
                        static_cast<float>((e[1] - placement.origin[1]) / placement.unit),
                        static_cast<float>((e[2] - placement.origin[2]) / placement.unit)};
    }
    std::vector<ObjReal>().swap(obj.vertices);
    std::vector<bool>().swap(used);

    // Noisy normals, as scans have, hatch the outline: say so, and what helps.
    if (notes && options.normals == NormalSource::File && !normals.empty()) {
        const float stray = medianNormalStray(positions, corners, normals);
        if (stray > kNoisyNormalDegrees)
            notes->push_back(what + ": the file's normals stray " + std::to_string(static_cast<int>(stray + 0.5f)) +
                             " degrees from its surface (the median), as a scan's noisy ones do; the Maya panel's "
                             "outline may break into dots along them (--normals smooth recomputes them from the "
                             "surface)");
    }

    std::size_t turned = 0;
    const std::size_t normalCount = normals.size();
    Mesh mesh = buildMesh(path, std::move(positions), std::move(corners), std::move(normals), options.creaseDegrees,
                          options.normals, &turned);
    mesh.placement = placement;
#ifdef __GLIBC__
    // The file's text and the working arrays are freed by now; their memory
    // goes back to the system before the ray caster builds on top of it,
    // rather than staying with the allocator.
    malloc_trim(0);
#endif
    if (notes && turned)
        notes->push_back(what + ": " + std::to_string(turned) + " of the file's " + std::to_string(normalCount) +
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
