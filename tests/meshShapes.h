// Meshes of the kinds people bring, made by code: a lumpy blob, an extruded
// profile, a noisy scan of a bust, a flat-faced machined part and a thin open
// shell. Each comes out as OBJ text, moved, scaled, stood on another axis or
// given spoilt normals as a test asks.
#ifndef COOLWARM_TEST_MESH_SHAPES_H
#define COOLWARM_TEST_MESH_SHAPES_H

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace shapes {

using P3 = std::array<double, 3>;

struct Shape {
    std::vector<P3> positions;
    std::vector<P3> normals;                    // empty: the file gives none
    std::vector<std::vector<int>> faces;        // positions, counted from 0
    std::vector<std::vector<int>> faceNormals;  // normals of each corner, when given
};

// A small fixed generator, the same on every platform.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed) {}
    double unit()  // [0, 1)
    {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<double>(state_ >> 11) * (1.0 / 9007199254740992.0);
    }
    double signedUnit() { return 2.0 * unit() - 1.0; }

private:
    std::uint64_t state_;
};

inline P3 sub(const P3& a, const P3& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
inline P3 crossP(const P3& a, const P3& b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline P3 unitP(const P3& v)
{
    const double l = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    return l > 0.0 ? P3{v[0] / l, v[1] / l, v[2] / l} : v;
}

// A closed or open grid over (u, v) in [0, 1]^2; normals from the surface's
// own derivatives, one per vertex.
inline Shape grid(int columns, int rows, bool wrapU, const std::function<P3(double, double)>& surface)
{
    Shape s;
    const int uCount = wrapU ? columns : columns + 1;
    for (int j = 0; j <= rows; ++j)
        for (int i = 0; i < uCount; ++i)
            s.positions.push_back(surface(static_cast<double>(i) / columns, static_cast<double>(j) / rows));
    auto at = [&](int i, int j) { return j * uCount + (wrapU ? i % columns : i); };
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < columns; ++i)
            s.faces.push_back({at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)});
    return s;
}

// Per-vertex normals: the area-weighted mean of the faces around each vertex.
inline void smoothNormals(Shape& s)
{
    s.normals.assign(s.positions.size(), P3{0.0, 0.0, 0.0});
    for (const auto& f : s.faces)
        for (std::size_t k = 1; k + 1 < f.size(); ++k) {
            const P3 n = crossP(sub(s.positions[f[k]], s.positions[f[0]]), sub(s.positions[f[k + 1]], s.positions[f[0]]));
            for (int c : {f[0], f[k], f[k + 1]})
                for (int a = 0; a < 3; ++a)
                    s.normals[c][a] += n[a];
        }
    for (P3& n : s.normals)
        n = unitP(n);
    s.faceNormals = s.faces;
}

// A sphere with slow lumps on it, y up, radius about 1, smooth normals.
inline Shape blob()
{
    const double pi = 3.14159265358979323846;
    Shape s = grid(64, 40, true, [&](double u, double v) {
        const double phi = 2.0 * pi * u, theta = pi * (0.02 + 0.96 * v);
        const double r = 1.0 + 0.18 * std::sin(3.0 * phi) * std::sin(2.0 * theta) + 0.12 * std::cos(5.0 * theta);
        return P3{r * std::sin(theta) * std::cos(phi), r * std::cos(theta) * 1.2, r * std::sin(theta) * std::sin(phi)};
    });
    smoothNormals(s);
    return s;
}

// A six-pointed star extruded along y with flat caps, no normals in the file.
inline Shape extrusion()
{
    const double pi = 3.14159265358979323846;
    Shape s;
    const int points = 12;
    for (int side = 0; side < 2; ++side)
        for (int i = 0; i < points; ++i) {
            const double a = 2.0 * pi * i / points, r = i % 2 ? 0.55 : 1.0;
            s.positions.push_back({r * std::cos(a), side ? 0.6 : -0.6, r * std::sin(a)});
        }
    s.positions.push_back({0.0, -0.6, 0.0});
    s.positions.push_back({0.0, 0.6, 0.0});
    for (int i = 0; i < points; ++i) {
        const int j = (i + 1) % points;
        s.faces.push_back({i, j, points + j, points + i});
        s.faces.push_back({2 * points, j, i});
        s.faces.push_back({2 * points + 1, points + i, points + j});
    }
    return s;
}

// A head on a neck on shoulders, as a scanner gives it: jittered vertices and
// noisy normals, z up as scans often come.
inline Shape bust()
{
    const double pi = 3.14159265358979323846;
    Noise noise(7);
    Shape s = grid(120, 90, true, [&](double u, double v) {
        const double phi = 2.0 * pi * u, z = 2.2 * v;  // height
        // Radius profile: shoulders, neck, head.
        double rx, ry;
        if (z < 0.6) {
            rx = 1.1 - 0.1 * z;
            ry = 0.5;
        } else if (z < 0.9) {
            const double t = (z - 0.6) / 0.3;
            rx = (1.04 * (1.0 - t) + 0.28 * t);
            ry = 0.5 * (1.0 - t) + 0.28 * t;
        } else {
            const double t = (z - 0.9) / 1.3;  // 0..1 over the head
            const double h = std::sqrt(std::max(0.0, 1.0 - (2.0 * t - 1.0) * (2.0 * t - 1.0)));
            rx = 0.28 + 0.3 * h;
            ry = 0.28 + 0.38 * h;
        }
        // A nose on the front (-y, as z-up files face).
        double bump = 0.0;
        if (z > 1.3 && z < 1.6)
            bump = 0.08 * std::exp(-std::pow((phi - 1.5 * pi) / 0.12, 2)) * std::sin(pi * (z - 1.3) / 0.3);
        const double j = 0.004 * noise.signedUnit();
        return P3{(rx + j) * std::cos(phi), (ry + j + bump) * std::sin(phi), z};
    });
    smoothNormals(s);
    for (P3& n : s.normals)
        n = unitP(P3{n[0] + 0.25 * noise.signedUnit(), n[1] + 0.25 * noise.signedUnit(), n[2] + 0.25 * noise.signedUnit()});
    return s;
}

// A flat-faced machined part: an L-shaped bracket with a boss on one arm, its
// bounding box far from its mass. Face normals in the file.
inline Shape cadPart()
{
    Shape s;
    auto box = [&](P3 lo, P3 hi) {
        const int base = static_cast<int>(s.positions.size());
        for (int k = 0; k < 8; ++k)
            s.positions.push_back({k & 1 ? hi[0] : lo[0], k & 2 ? hi[1] : lo[1], k & 4 ? hi[2] : lo[2]});
        const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
        const P3 normals[6] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
        for (int f = 0; f < 6; ++f) {
            const int n = static_cast<int>(s.normals.size());
            s.normals.push_back(normals[f]);
            s.faces.push_back({base + quads[f][0], base + quads[f][1], base + quads[f][2], base + quads[f][3]});
            s.faceNormals.push_back({n, n, n, n});
        }
    };
    box({0.0, 0.0, 0.0}, {3.0, 0.3, 1.0});    // the base arm
    box({0.0, 0.3, 0.0}, {0.3, 2.2, 1.0});    // the upright
    box({2.2, 0.3, 0.3}, {2.6, 0.8, 0.7});    // a boss
    box({0.3, 0.3, 0.0}, {0.9, 0.9, 0.15});   // a web
    return s;
}

// A thin open sheet, gently curved both ways, facing +z: no thickness, no
// normals in the file, seen from both sides.
inline Shape shell()
{
    return grid(48, 32, false, [](double u, double v) {
        const double x = 2.0 * u - 1.0, y = 1.4 * v - 0.7;
        return P3{x, y, 0.35 * (1.0 - x * x) - 0.25 * y * y};
    });
}

struct Options {
    P3 offset{0.0, 0.0, 0.0};
    double scale = 1.0;
    bool zUp = false;           // a y-up shape stored with z up: (x, y, z) becomes (x, -z, y)
    int flipEvery = 0;          // turn every n-th normal against its face
};

inline Shape named(const std::string& name)
{
    if (name == "blob") return blob();
    if (name == "extrusion") return extrusion();
    if (name == "bust") return bust();
    if (name == "cad") return cadPart();
    return shell();
}

inline const std::vector<std::string>& names()
{
    static const std::vector<std::string> all{"blob", "extrusion", "bust", "cad", "shell"};
    return all;
}

// The bust is made z up (facing -y); the others y up.
inline bool madeZUp(const std::string& name) { return name == "bust"; }

inline std::string objText(Shape s, const Options& o)
{
    std::string out = "# generated test shape\n";
    char line[160];
    for (const P3& p : s.positions) {
        const P3 q = o.zUp ? P3{p[0], -p[2], p[1]} : p;
        std::snprintf(line, sizeof line, "v %.17g %.17g %.17g\n", o.offset[0] + o.scale * q[0],
                      o.offset[1] + o.scale * q[1], o.offset[2] + o.scale * q[2]);
        out += line;
    }
    for (std::size_t i = 0; i < s.normals.size(); ++i) {
        P3 n = s.normals[i];
        if (o.flipEvery > 0 && i % o.flipEvery == 0)
            n = {-n[0], -n[1], -n[2]};
        if (o.zUp)
            n = {n[0], -n[2], n[1]};
        std::snprintf(line, sizeof line, "vn %.9g %.9g %.9g\n", n[0], n[1], n[2]);
        out += line;
    }
    for (std::size_t f = 0; f < s.faces.size(); ++f) {
        out += "f";
        for (std::size_t k = 0; k < s.faces[f].size(); ++k) {
            out += " " + std::to_string(s.faces[f][k] + 1);
            if (!s.normals.empty())
                out += "//" + std::to_string(s.faceNormals[f][k] + 1);
        }
        out += "\n";
    }
    return out;
}

}  // namespace shapes

#endif
