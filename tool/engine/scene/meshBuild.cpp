#include "meshBuild.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace cwtool {

namespace {

const float kPi = 3.14159265f;

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

}  // namespace

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
               float creaseDegrees, NormalSource source, std::size_t* turned)
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

void computeCreasedNormals(Mesh& mesh, float creaseDegrees)
{
    std::vector<std::array<Corner, 3>> faces;
    for (const auto& t : mesh.triangles)
        faces.push_back({Corner{t[0], -1}, Corner{t[1], -1}, Corner{t[2], -1}});
    const bool framed = mesh.framed;
    mesh = buildMesh(mesh.name, mesh.positions, faces, {}, creaseDegrees);
    mesh.framed = framed;
}

}  // namespace cwtool
