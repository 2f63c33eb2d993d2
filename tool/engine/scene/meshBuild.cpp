#include "meshBuild.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace cwtool {

namespace {

const float kPi = 3.14159265f;

// A normal the file gives that lies further than this from its face's normal
// points against the face (100 degrees: a smoothed normal at a fold may lean
// past the face's plane a little).
const float kAgainstFace = -0.17f;

// Below this many faces a thread more costs more than it saves.
const std::size_t kFacesPerThread = 1 << 15;

// Positions with at most this many corners find their vertices by a scan of
// the ones found so far; more (the tip of a fan) are sorted.
const std::size_t kScannedCorners = 32;

const std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

// Whether faces f and g, which share a position, wind the edge they share
// the same way round: two faces that agree on their outside run a shared edge
// in opposite directions. Faces meeting at a point only, or across an edge
// that more than two faces share, are taken as they come.
bool runsSharedEdgeAlike(const Corner* f, const Corner* g)
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            if (f[i].vertex == g[j].vertex && f[(i + 1) % 3].vertex == g[(j + 1) % 3].vertex)
                return true;
    return false;
}

// A normal as vertices tell normals apart: its three floats, -0 the same as 0.
struct NormalKey {
    std::uint32_t x, y, z;
    bool operator==(const NormalKey& o) const { return x == o.x && y == o.y && z == o.z; }
    bool operator<(const NormalKey& o) const
    {
        return x != o.x ? x < o.x : y != o.y ? y < o.y : z < o.z;
    }
};

std::uint32_t bitsOf(float v)
{
    const float f = v == 0.0f ? 0.0f : v;
    std::uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

NormalKey keyOf(const Vec3& n) { return {bitsOf(n.x), bitsOf(n.y), bitsOf(n.z)}; }

// Calls work(part, begin, end) for `parts` consecutive ranges of [0, count),
// part 0 on this thread, the others each on a thread of its own; `cut(i)`
// gives where part i begins. What a part throws is thrown here once all are
// done.
template <class Cut, class Work>
void inParts(std::size_t count, std::size_t parts, Cut cut, Work work)
{
    std::vector<std::exception_ptr> failed(parts);
    auto run = [&](std::size_t i) {
        try {
            work(i, cut(i), i + 1 == parts ? count : cut(i + 1));
        } catch (...) {
            failed[i] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(parts);
    std::size_t started = 1;
    try {
        for (; started < parts; ++started)
            threads.emplace_back(run, started);
    } catch (const std::system_error&) {
        // No thread to be had: the parts left run here.
    }
    run(0);
    for (std::size_t i = started; i < parts; ++i)
        run(i);
    for (std::thread& t : threads)
        t.join();
    for (const std::exception_ptr& e : failed)
        if (e)
            std::rethrow_exception(e);
}

template <class Work>
void inEvenParts(std::size_t count, std::size_t parts, Work work)
{
    inParts(count, parts, [&](std::size_t i) { return count * i / parts; }, work);
}

template <class T>
void release(std::vector<T>& v)
{
    std::vector<T>().swap(v);
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
//
// Identical corners (same position, same normal) share one vertex; vertices
// are numbered in the order their first corner comes in the faces. The faces
// around each position are listed once (counted, then placed), so that each
// position's corners are found and told apart on their own, on any thread.
Mesh buildMesh(const std::string& name, std::vector<Vec3> positions, std::vector<Corner> corners,
               const std::vector<Vec3>& givenNormals, float creaseDegrees, NormalSource source, std::size_t* turned,
               int threads)
{
    const std::size_t faceCount = corners.size() / 3, cornerCount = 3 * faceCount;
    const std::size_t positionCount = positions.size();
    // Corners are numbered in 32 bits; a file within the size limit has
    // fewer than a quarter of that.
    if (cornerCount >= kNone || positionCount >= kNone)
        throw std::length_error("a mesh of more than 4e9 corners or positions");
    std::size_t parts = threads > 0 ? static_cast<std::size_t>(threads)
                                    : std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()),
                                                            faceCount / kFacesPerThread);
    parts = std::max<std::size_t>(1, parts);

    bool smoothing = source == NormalSource::Smooth;
    if (source == NormalSource::File)
        for (std::size_t c = 0; c < cornerCount && !smoothing; ++c)
            smoothing = corners[c].normal < 0;

    // Each face's normal and, where normals are smoothed, its angle at each corner.
    std::vector<Vec3> unit(faceCount);
    std::vector<float> angle(smoothing ? cornerCount : 0);
    inEvenParts(faceCount, parts, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t f = begin; f < end; ++f) {
            const Corner* c = &corners[3 * f];
            const Vec3 p[3] = {positions[c[0].vertex], positions[c[1].vertex], positions[c[2].vertex]};
            unit[f] = normalized(cross(p[1] - p[0], p[2] - p[0]));
            if (!smoothing)
                continue;
            for (int k = 0; k < 3; ++k) {
                const Vec3 a = normalized(p[(k + 1) % 3] - p[k]), b = normalized(p[(k + 2) % 3] - p[k]);
                angle[3 * f + k] = std::acos(std::max(-1.0f, std::min(1.0f, tone::dot(a, b))));
            }
        }
    });
    const float cosCrease = std::cos(creaseDegrees * kPi / 180.0f);

    // A file whose faces all wind the other way round has every normal
    // against its face: that is its winding, not its normals.
    float facing = 1.0f;
    if (source == NormalSource::File) {
        std::vector<std::size_t> against(parts, 0), along(parts, 0);
        inEvenParts(faceCount, parts, [&](std::size_t part, std::size_t begin, std::size_t end) {
            for (std::size_t f = begin; f < end; ++f)
                for (int k = 0; k < 3; ++k)
                    if (corners[3 * f + k].normal >= 0) {
                        const float d = tone::dot(normalized(givenNormals[corners[3 * f + k].normal]), unit[f]);
                        against[part] += d < kAgainstFace;
                        along[part] += d > -kAgainstFace;
                    }
        });
        const std::size_t a = std::accumulate(against.begin(), against.end(), std::size_t(0));
        facing = a > std::accumulate(along.begin(), along.end(), std::size_t(0)) ? -1.0f : 1.0f;
    }
    std::vector<std::atomic<unsigned char>> wasTurned(source == NormalSource::File ? givenNormals.size() : 0);

    // The corners around each position, in face order: around[first[p]] up to
    // around[first[p + 1]].
    std::vector<std::uint32_t> first(positionCount + 1, 0), around(cornerCount);
    for (std::size_t c = 0; c < cornerCount; ++c)
        ++first[corners[c].vertex + 1];
    std::partial_sum(first.begin(), first.end(), first.begin());
    for (std::size_t c = 0; c < cornerCount; ++c)
        around[first[corners[c].vertex]++] = static_cast<std::uint32_t>(c);
    for (std::size_t p = positionCount; p > 0; --p)  // each start moved on to the next's: back
        first[p] = first[p - 1];
    first[0] = 0;

    // The normal of corner c, at position p.
    auto cornerNormal = [&](std::uint32_t c, std::size_t p) {
        const std::size_t f = c / 3;
        if (source == NormalSource::Flat)
            return unit[f];
        if (source == NormalSource::File && corners[c].normal >= 0) {
            Vec3 n = normalized(givenNormals[corners[c].normal]);
            if (facing * tone::dot(n, unit[f]) < kAgainstFace) {
                n = -n;
                wasTurned[corners[c].normal].store(1, std::memory_order_relaxed);
            }
            return n;
        }
        Vec3 n{0.0f, 0.0f, 0.0f};
        for (std::uint32_t i = first[p]; i < first[p + 1]; ++i) {
            const std::size_t g = around[i] / 3;
            const Vec3 other = runsSharedEdgeAlike(&corners[3 * f], &corners[3 * g]) && g != f ? -unit[g] : unit[g];
            if (g == f || tone::dot(unit[f], other) >= cosCrease)
                n = n + angle[around[i]] * other;
        }
        return normalized(n);
    };

    // Each position's distinct normals, in the order of positions; a corner's
    // slot is its normal's place among its position's. The slots are kept in
    // the triangles until the vertices are numbered.
    Mesh m;
    m.name = name;
    m.triangles.resize(faceCount);
    auto slot = [&m](std::size_t c) -> unsigned& { return m.triangles[c / 3][c % 3]; };
    std::vector<std::uint32_t> distinctStart(positionCount + 1, 0);  // counts first
    std::vector<std::vector<Vec3>> found(parts);
    // Parts of about as many corners each.
    auto positionCut = [&](std::size_t i) {
        return static_cast<std::size_t>(std::lower_bound(first.begin(), first.end() - 1, cornerCount * i / parts) -
                                        first.begin());
    };
    inParts(positionCount, parts, positionCut, [&](std::size_t part, std::size_t begin, std::size_t end) {
        std::vector<Vec3>& normals = found[part];
        normals.reserve(end - begin);
        std::vector<std::pair<NormalKey, std::uint32_t>> many;
        for (std::size_t p = begin; p < end; ++p) {
            const std::size_t base = normals.size();
            const std::uint32_t lo = first[p], hi = first[p + 1];
            if (hi - lo <= kScannedCorners) {
                for (std::uint32_t i = lo; i < hi; ++i) {
                    const Vec3 n = cornerNormal(around[i], p);
                    const NormalKey key = keyOf(n);
                    std::size_t s = base;
                    while (s < normals.size() && !(keyOf(normals[s]) == key))
                        ++s;
                    if (s == normals.size())
                        normals.push_back(n);
                    slot(around[i]) = static_cast<unsigned>(s - base);
                }
            } else {
                // Sorted by normal, the first of each run of equal ones first.
                many.clear();
                std::vector<Vec3> normal(hi - lo);
                for (std::uint32_t i = lo; i < hi; ++i) {
                    normal[i - lo] = cornerNormal(around[i], p);
                    many.push_back({keyOf(normal[i - lo]), i - lo});
                }
                std::sort(many.begin(), many.end(), [](const auto& a, const auto& b) {
                    return a.first < b.first || (a.first == b.first && a.second < b.second);
                });
                for (std::size_t j = 0; j < many.size(); ++j) {
                    if (j == 0 || !(many[j].first == many[j - 1].first))
                        normals.push_back(normal[many[j].second]);
                    slot(around[lo + many[j].second]) = static_cast<unsigned>(normals.size() - 1 - base);
                }
            }
            distinctStart[p] = static_cast<std::uint32_t>(normals.size() - base);
        }
    });
    release(unit);
    release(angle);
    release(around);
    release(first);
    if (turned)
        *turned = static_cast<std::size_t>(std::count_if(wasTurned.begin(), wasTurned.end(), [](const auto& t) {
            return t.load(std::memory_order_relaxed) != 0;
        }));

    // Position p's distinct normals are distinct[distinctStart[p]] onwards.
    std::uint32_t total = 0;
    for (std::uint32_t& s : distinctStart) {
        const std::uint32_t count = s;
        s = total;
        total += count;
    }
    std::vector<Vec3> distinct;
    distinct.reserve(total);
    for (std::vector<Vec3>& f : found) {
        distinct.insert(distinct.end(), f.begin(), f.end());
        release(f);
    }

    // Vertices numbered in the order their first corner comes.
    std::vector<std::uint32_t> vertexOf(total, kNone);
    std::uint32_t next = 0;
    for (std::size_t c = 0; c < cornerCount; ++c) {
        std::uint32_t& v = vertexOf[distinctStart[corners[c].vertex] + slot(c)];
        if (v == kNone)
            v = next++;
        slot(c) = v;
    }
    release(corners);
    m.positions.resize(total);
    m.normals.resize(total);
    inEvenParts(positionCount, parts, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t p = begin; p < end; ++p)
            for (std::uint32_t s = distinctStart[p]; s < distinctStart[p + 1]; ++s) {
                m.positions[vertexOf[s]] = positions[p];
                m.normals[vertexOf[s]] = distinct[s];
            }
    });
    return m;
}

void computeCreasedNormals(Mesh& mesh, float creaseDegrees)
{
    std::vector<Corner> corners;
    corners.reserve(3 * mesh.triangles.size());
    for (const auto& t : mesh.triangles)
        for (unsigned i : t)
            corners.push_back({static_cast<int>(i), -1});
    const bool framed = mesh.framed;
    mesh = buildMesh(mesh.name, std::move(mesh.positions), std::move(corners), {}, creaseDegrees);
    mesh.framed = framed;
}

}  // namespace cwtool
