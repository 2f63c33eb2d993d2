// Mesh building against a plain reference: a map from each corner (its
// position and normal) to its vertex, filled in face order, with every normal
// worked out at every corner. Random small meshes with shared positions,
// shared and turned normals, edges of three or more faces, fans and
// degenerate faces must come out bit for bit the same on any number of
// threads.
#include "portableRandom.h"

#include "scene/meshBuild.h"
#include "scene/onThreads.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <tuple>
#include <vector>

using namespace cwtool;

namespace {

bool sharedEdgeAlike(const Corner* f, const Corner* g)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (f[i].vertex == g[j].vertex && f[(i + 1) % 3].vertex == g[(j + 1) % 3].vertex)
                return true;
    return false;
}

// The straightforward building: what buildMesh must give.
Mesh referenceMesh(const std::vector<Vec3>& positions, const std::vector<Corner>& corners,
                   const std::vector<Vec3>& given, float creaseDegrees, NormalSource source, std::size_t& turned)
{
    const std::size_t faces = corners.size() / 3;
    std::vector<Vec3> unit(faces);
    std::vector<std::vector<std::pair<std::size_t, float>>> around(positions.size());
    for (std::size_t f = 0; f < faces; ++f) {
        const Vec3 p[3] = {positions[corners[3 * f].vertex], positions[corners[3 * f + 1].vertex],
                           positions[corners[3 * f + 2].vertex]};
        unit[f] = normalized(cross(p[1] - p[0], p[2] - p[0]));
        for (int k = 0; k < 3; ++k) {
            const Vec3 a = normalized(p[(k + 1) % 3] - p[k]), b = normalized(p[(k + 2) % 3] - p[k]);
            around[corners[3 * f + k].vertex].push_back(
                {f, std::acos(std::max(-1.0f, std::min(1.0f, tone::dot(a, b))))});
        }
    }
    const float cosCrease = std::cos(creaseDegrees * 3.14159265f / 180.0f);
    float facing = 1.0f;
    if (source == NormalSource::File) {
        std::size_t against = 0, along = 0;
        for (std::size_t c = 0; c < corners.size(); ++c)
            if (corners[c].normal >= 0) {
                const float d = tone::dot(normalized(given[corners[c].normal]), unit[c / 3]);
                against += d < -0.17f;
                along += d > 0.17f;
            }
        facing = against > along ? -1.0f : 1.0f;
    }
    std::vector<bool> wasTurned(given.size(), false);
    std::map<std::tuple<int, float, float, float>, unsigned> vertices;
    Mesh m;
    for (std::size_t f = 0; f < faces; ++f) {
        std::array<unsigned, 3> t;
        for (int k = 0; k < 3; ++k) {
            const Corner& c = corners[3 * f + k];
            Vec3 n{0.0f, 0.0f, 0.0f};
            if (source == NormalSource::Flat) {
                n = unit[f];
            } else if (c.normal >= 0 && source == NormalSource::File) {
                n = normalized(given[c.normal]);
                if (facing * tone::dot(n, unit[f]) < -0.17f) {
                    n = -n;
                    wasTurned[c.normal] = true;
                }
            } else {
                for (const auto& g : around[c.vertex]) {
                    const bool alike = sharedEdgeAlike(&corners[3 * f], &corners[3 * g.first]) && g.first != f;
                    const Vec3 other = alike ? -unit[g.first] : unit[g.first];
                    if (g.first == f || tone::dot(unit[f], other) >= cosCrease)
                        n = n + g.second * other;
                }
                n = normalized(n);
            }
            const auto placed = vertices.emplace(std::make_tuple(c.vertex, n.x, n.y, n.z),
                                                 static_cast<unsigned>(m.positions.size()));
            if (placed.second) {
                m.positions.push_back(positions[c.vertex]);
                m.normals.push_back(n);
            }
            t[k] = placed.first->second;
        }
        m.triangles.push_back(t);
    }
    turned = static_cast<std::size_t>(std::count(wasTurned.begin(), wasTurned.end(), true));
    return m;
}

template <class T>
bool sameBits(const std::vector<T>& a, const std::vector<T>& b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

struct Input {
    std::vector<Vec3> positions;
    std::vector<Corner> corners;
    std::vector<Vec3> normals;
};

// Builds `in` every way and compares each with the reference.
void expectLikeReference(const Input& in, const std::string& label)
{
    for (NormalSource source : {NormalSource::File, NormalSource::Smooth, NormalSource::Flat})
        for (float crease : {0.0f, 40.0f, 180.0f}) {
            std::size_t turnedThere = 0;
            const Mesh want = referenceMesh(in.positions, in.corners, in.normals, crease, source, turnedThere);
            for (int threads : {1, 2, 3}) {
                SCOPED_TRACE(label + ", source " + std::to_string(static_cast<int>(source)) + ", crease " +
                             std::to_string(crease) + ", threads " + std::to_string(threads));
                std::size_t turned = 0;
                const Mesh got = buildMesh("m", in.positions, in.corners, in.normals, crease, source, &turned, threads);
                EXPECT_EQ(got.positions.size(), want.positions.size());
                EXPECT_TRUE(sameBits(got.positions, want.positions));
                EXPECT_TRUE(sameBits(got.normals, want.normals));
                EXPECT_TRUE(sameBits(got.triangles, want.triangles));
                EXPECT_EQ(turned, turnedThere);
                EXPECT_EQ(got.name, "m");
            }
        }
}

// A random mesh on few positions, so that they are shared by many faces and
// edges by three or more; some faces degenerate; normals shared, missing,
// repeated under another index, or pointing against their face.
Input randomMesh(PortableRandom& random, int positionCount, int faceCount)
{
    Input in;
    for (int i = 0; i < positionCount; ++i)
        in.positions.push_back(random.oneIn(8) && i > 0 ? in.positions[random.below(i)] : random.triple(-1.0f, 1.0f));
    const int normalCount = 1 + random.below(positionCount);
    for (int i = 0; i < normalCount; ++i) {
        Vec3 n = random.triple(-1.0f, 1.0f);
        if (random.oneIn(6) && i > 0)
            n = in.normals[random.below(i)];  // the same value under two indices
        if (random.oneIn(10))
            n = {n.x, 0.0f, random.oneIn(2) ? -0.0f : 0.0f};  // -0 and 0 tell no vertices apart
        in.normals.push_back(n);
    }
    for (int f = 0; f < faceCount; ++f) {
        int p[3];
        for (int& q : p)
            q = random.below(positionCount);
        if (random.oneIn(12))
            p[2] = p[0];  // degenerate
        for (int k = 0; k < 3; ++k)
            in.corners.push_back({p[k], random.oneIn(4) ? -1 : random.below(normalCount)});
    }
    return in;
}

}  // namespace

TEST(MeshBuild, RandomMeshesComeOutAsTheReferenceBuildsThem)
{
    PortableRandom random(20261209);
    for (int round = 0; round < 60; ++round) {
        const int positions = 3 + random.below(40);
        const Input in = randomMesh(random, positions, 1 + random.below(3 * positions));
        expectLikeReference(in, "round " + std::to_string(round));
    }
}

// Every corner given a normal (no smoothing at all), as most files are, and
// a file wound the other way round throughout.
TEST(MeshBuild, FilesGivingEveryNormalComeOutAsTheReferenceBuildsThem)
{
    PortableRandom random(7);
    for (int round = 0; round < 30; ++round) {
        Input in = randomMesh(random, 4 + random.below(30), 1 + random.below(60));
        for (Corner& c : in.corners)
            c.normal = random.below(static_cast<int>(in.normals.size()));
        if (round % 3 == 0) {
            // Each normal that of its first face, with the faces' winding reversed.
            for (std::size_t c = 0; c < in.corners.size(); ++c) {
                const std::size_t f = c - c % 3;
                const Vec3 a = in.positions[in.corners[f].vertex], b = in.positions[in.corners[f + 1].vertex],
                           d = in.positions[in.corners[f + 2].vertex];
                in.normals.push_back(cross(b - a, d - a));
                in.corners[c].normal = static_cast<int>(in.normals.size() - 1);
            }
            for (std::size_t f = 0; f < in.corners.size(); f += 3)
                std::swap(in.corners[f + 1], in.corners[f + 2]);
        }
        expectLikeReference(in, "round " + std::to_string(round));
    }
}

// The tip of a fan, flat or with a normal of its own at every face, has more
// normals than a scan tells apart; it is sorted instead.
TEST(MeshBuild, FansWithManyNormalsAtOnePositionComeOutAsTheReferenceBuildsThem)
{
    for (int sides : {31, 33, 80}) {
        Input in;
        in.positions.push_back({0.0f, 1.0f, 0.0f});
        for (int i = 0; i < sides; ++i) {
            const float a = 6.2831853f * i / sides;
            in.positions.push_back({std::cos(a), 0.0f, std::sin(a)});
            in.normals.push_back({std::cos(a), 0.5f, std::sin(a)});
        }
        for (int i = 0; i < sides; ++i) {
            const int b = 1 + i, c = 1 + (i + 1) % sides;
            in.corners.push_back({0, i % 5 == 0 ? -1 : i});
            in.corners.push_back({c, i});
            in.corners.push_back({b, i});
        }
        expectLikeReference(in, std::to_string(sides) + " sides");
    }
}

TEST(MeshBuild, NormalsOfAMeshAreCreasedInPlace)
{
    // Two faces of a box's corner: smoothed at 100 degrees, split at 40.
    Mesh m;
    m.name = "corner";
    m.positions = {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}};
    m.triangles = {{0, 2, 1}, {0, 1, 3}};
    m.framed = false;
    Mesh creased = m, smooth = m;
    computeCreasedNormals(creased, 40.0f);
    computeCreasedNormals(smooth, 100.0f);
    EXPECT_EQ(creased.positions.size(), 6u) << "the shared edge's two positions split";
    EXPECT_EQ(smooth.positions.size(), 4u);
    EXPECT_FALSE(creased.framed);
    EXPECT_EQ(creased.name, "corner");
    for (const Vec3& n : creased.normals)
        EXPECT_NEAR(std::fabs(n.y) + std::fabs(n.z), 1.0f, 1e-6f);
}

// Loading's threads: what one call throws (memory running out) reaches the
// caller once every call has run, instead of ending the process.
TEST(MeshBuild, WorkThatThrowsOnAThreadReachesTheCaller)
{
    for (std::size_t count : {1u, 2u, 3u}) {
        SCOPED_TRACE(count);
        std::vector<int> ran(count, 0);
        bool caught = false;
        try {
            onThreads(count, [&](std::size_t i) {
                ran[i] = 1;
                if (i + 1 == count)
                    throw std::bad_alloc();
            });
        } catch (const std::bad_alloc&) {
            caught = true;
        }
        EXPECT_TRUE(caught);
        EXPECT_EQ(std::count(ran.begin(), ran.end(), 1), static_cast<long>(count));
    }
    std::vector<int> seen(5, 0);
    inEvenParts(103, 5, [&](std::size_t part, std::size_t begin, std::size_t end) {
        seen[part] = static_cast<int>(end - begin);
    });
    EXPECT_EQ(seen, (std::vector<int>{20, 21, 20, 21, 21}));
}
