#include "meshBuild.h"

#include "onThreads.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <stdexcept>
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

const unsigned char kAgainst = 1, kAlong = 2;

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

template <class T>
void release(std::vector<T>& v)
{
    std::vector<T>().swap(v);
}

// normalized(), operation for operation, where the compiler can inline it.
inline Vec3 unitLength(const Vec3& v)
{
    const float l = std::sqrt(tone::dot(v, v));
    return l > 0.0f ? v * (1.0f / l) : v;
}

// cross(), likewise.
inline Vec3 crossOf(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// One mesh's building: the inputs, and what the passes over them share.
class Builder {
public:
    Builder(std::vector<Vec3>& positions, std::vector<Corner>& corners, std::vector<Vec3>& givenNormals,
            NormalSource source, int threads);
    // Each face's normal (and angles, where normals are smoothed), and the
    // file's winding.
    void faces();
    // Vertices found corner by corner in face order, where no normal is
    // smoothed; false (and nothing built) when a position has too many
    // normals to tell apart by a scan.
    bool inFaceOrder(Mesh& m);
    // Vertices found position by position, on every thread.
    void byPosition(Mesh& m, float creaseDegrees);
    std::size_t turned() const;

private:
    Vec3 faceNormal(std::size_t f) const;
    Vec3 givenNormal(std::size_t c, const Vec3& face);
    void keepFaceNormals();
    void listAround();
    void number(Mesh& m, std::vector<std::uint32_t>& distinctStart, const std::vector<Vec3>& distinct);

    std::vector<Vec3>& positions_;
    std::vector<Corner>& corners_;
    std::vector<Vec3>& given_;
    const NormalSource source_;
    const std::size_t faceCount_, cornerCount_, positionCount_;
    std::size_t parts_ = 1;
    bool smoothing_ = false;
    std::vector<Vec3> unit_;     // each face's normal, kept where smoothing
    std::vector<float> angle_;   // each corner's angle, where smoothing
    // Each corner's file normal against its face (kAgainst) or along it
    // (kAlong), where the file gives every normal.
    std::vector<unsigned char> side_;
    float facing_ = 1.0f;        // -1: the file winds its faces the other way round
    std::vector<std::atomic<unsigned char>> wasTurned_;  // each given normal
    // The corners around each position, in face order: around_[first_[p]]
    // up to around_[first_[p + 1]].
    std::vector<std::uint32_t> first_, around_;
};

Builder::Builder(std::vector<Vec3>& positions, std::vector<Corner>& corners, std::vector<Vec3>& givenNormals,
                 NormalSource source, int threads)
    : positions_(positions), corners_(corners), given_(givenNormals), source_(source),
      faceCount_(corners.size() / 3), cornerCount_(3 * faceCount_), positionCount_(positions.size()),
      wasTurned_(source == NormalSource::File ? givenNormals.size() : 0)
{
    // Corners are numbered in 32 bits; a file within the size limit has
    // fewer than a quarter of that.
    if (cornerCount_ >= kNone || positionCount_ >= kNone)
        throw std::length_error("a mesh of more than 4e9 corners or positions");
    parts_ = threads > 0 ? static_cast<std::size_t>(threads)
                         : std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()),
                                                 faceCount_ / kFacesPerThread);
    parts_ = std::max<std::size_t>(1, parts_);
    smoothing_ = source == NormalSource::Smooth;
    if (source == NormalSource::File)
        for (std::size_t c = 0; c < cornerCount_ && !smoothing_; ++c)
            smoothing_ = corners[c].normal < 0;
}

void Builder::faces()
{
    // The file's normals at unit length, each once rather than at every corner.
    if (source_ == NormalSource::File)
        inEvenParts(given_.size(), parts_, [&](std::size_t, std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i)
                given_[i] = unitLength(given_[i]);
        });
    unit_.resize(smoothing_ ? faceCount_ : 0);
    angle_.resize(smoothing_ ? cornerCount_ : 0);
    side_.resize(source_ == NormalSource::File && !smoothing_ ? cornerCount_ : 0);
    // A file whose faces all wind the other way round has every normal
    // against its face: that is its winding, not its normals.
    std::vector<std::size_t> against(parts_, 0), along(parts_, 0);
    inEvenParts(faceCount_, parts_, [&](std::size_t part, std::size_t begin, std::size_t end) {
        for (std::size_t f = begin; f < end; ++f) {
            const Corner* c = &corners_[3 * f];
            const Vec3 p[3] = {positions_[c[0].vertex], positions_[c[1].vertex], positions_[c[2].vertex]};
            const Vec3 u = unitLength(crossOf(p[1] - p[0], p[2] - p[0]));
            if (source_ == NormalSource::File)
                for (int k = 0; k < 3; ++k)
                    if (c[k].normal >= 0) {
                        const float d = tone::dot(given_[c[k].normal], u);
                        against[part] += d < kAgainstFace;
                        along[part] += d > -kAgainstFace;
                        if (!side_.empty())
                            side_[3 * f + k] = (d < kAgainstFace ? kAgainst : 0) | (d > -kAgainstFace ? kAlong : 0);
                    }
            if (!smoothing_)
                continue;
            unit_[f] = u;
            for (int k = 0; k < 3; ++k) {
                const Vec3 a = unitLength(p[(k + 1) % 3] - p[k]), b = unitLength(p[(k + 2) % 3] - p[k]);
                angle_[3 * f + k] = std::acos(std::max(-1.0f, std::min(1.0f, tone::dot(a, b))));
            }
        }
    });
    const std::size_t a = std::accumulate(against.begin(), against.end(), std::size_t(0));
    facing_ = a > std::accumulate(along.begin(), along.end(), std::size_t(0)) ? -1.0f : 1.0f;
}

// Face f's normal, worked out again where not kept: as cheap as reading it.
Vec3 Builder::faceNormal(std::size_t f) const
{
    const Corner* c = &corners_[3 * f];
    const Vec3 p0 = positions_[c[0].vertex];
    return unitLength(crossOf(positions_[c[1].vertex] - p0, positions_[c[2].vertex] - p0));
}

void Builder::keepFaceNormals()
{
    if (unit_.size() == faceCount_)
        return;
    unit_.resize(faceCount_);
    inEvenParts(faceCount_, parts_, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t f = begin; f < end; ++f)
            unit_[f] = faceNormal(f);
    });
}

// The file's normal of corner c, turned to the side of its face (whose
// normal is `face`).
Vec3 Builder::givenNormal(std::size_t c, const Vec3& face)
{
    Vec3 n = given_[corners_[c].normal];
    if (facing_ * tone::dot(n, face) < kAgainstFace) {
        n = -n;
        wasTurned_[corners_[c].normal].store(1, std::memory_order_relaxed);
    }
    return n;
}

bool Builder::inFaceOrder(Mesh& m)
{
    if (smoothing_)
        return false;
    // Each position's vertices so far, linked from the last made.
    std::vector<std::uint32_t> last(positionCount_, kNone), before;
    m.triangles.resize(faceCount_);
    m.positions.reserve(positionCount_);
    m.normals.reserve(positionCount_);
    before.reserve(positionCount_);
    // A file normal is turned where it points against its face as the file
    // winds it: facing_ * dot < kAgainstFace, told by the side kept for it.
    const unsigned char turnedSide = facing_ > 0.0f ? kAgainst : kAlong;
    for (std::size_t f = 0; f < faceCount_; ++f) {
        const Vec3 face = source_ == NormalSource::Flat ? faceNormal(f) : Vec3{0.0f, 0.0f, 0.0f};
        for (int k = 0; k < 3; ++k) {
            const std::size_t c = 3 * f + k;
            const std::size_t p = static_cast<std::size_t>(corners_[c].vertex);
            Vec3 n = face;
            if (source_ == NormalSource::File) {
                n = given_[corners_[c].normal];
                if (side_[c] & turnedSide) {
                    n = -n;
                    wasTurned_[corners_[c].normal].store(1, std::memory_order_relaxed);
                }
            }
            const NormalKey key = keyOf(n);
            std::uint32_t v = last[p];
            std::size_t scanned = 0;
            for (; v != kNone && !(keyOf(m.normals[v]) == key); v = before[v])
                ++scanned;
            if (v == kNone) {
                if (scanned == kScannedCorners) {
                    m = Mesh();
                    return false;
                }
                v = static_cast<std::uint32_t>(m.positions.size());
                m.positions.push_back(positions_[p]);
                m.normals.push_back(n);
                before.push_back(last[p]);
                last[p] = v;
            }
            m.triangles[f][k] = v;
        }
    }
    return true;
}

void Builder::listAround()
{
    first_.assign(positionCount_ + 1, 0);
    around_.resize(cornerCount_);
    for (std::size_t c = 0; c < cornerCount_; ++c)
        ++first_[corners_[c].vertex + 1];
    std::partial_sum(first_.begin(), first_.end(), first_.begin());
    for (std::size_t c = 0; c < cornerCount_; ++c)
        around_[first_[corners_[c].vertex]++] = static_cast<std::uint32_t>(c);
    for (std::size_t p = positionCount_; p > 0; --p)  // each start moved on to the next's: back
        first_[p] = first_[p - 1];
    first_[0] = 0;
}

void Builder::byPosition(Mesh& m, float creaseDegrees)
{
    keepFaceNormals();
    release(side_);
    listAround();
    const float cosCrease = std::cos(creaseDegrees * kPi / 180.0f);
    // The normal of corner c, at position p.
    auto cornerNormal = [&](std::uint32_t c, std::size_t p) {
        const std::size_t f = c / 3;
        if (source_ == NormalSource::Flat)
            return unit_[f];
        if (source_ == NormalSource::File && corners_[c].normal >= 0)
            return givenNormal(c, unit_[f]);
        Vec3 n{0.0f, 0.0f, 0.0f};
        for (std::uint32_t i = first_[p]; i < first_[p + 1]; ++i) {
            const std::size_t g = around_[i] / 3;
            const Vec3 other =
                runsSharedEdgeAlike(&corners_[3 * f], &corners_[3 * g]) && g != f ? -unit_[g] : unit_[g];
            if (g == f || tone::dot(unit_[f], other) >= cosCrease)
                n = n + angle_[around_[i]] * other;
        }
        return unitLength(n);
    };

    // Each position's distinct normals, in the order of positions; a corner's
    // slot is its normal's place among its position's. The slots are kept in
    // the triangles until the vertices are numbered.
    m.triangles.resize(faceCount_);
    auto slot = [&m](std::size_t c) -> unsigned& { return m.triangles[c / 3][c % 3]; };
    std::vector<std::uint32_t> distinctStart(positionCount_ + 1, 0);  // counts first
    std::vector<std::vector<Vec3>> found(parts_);
    // Parts of about as many corners each.
    auto positionCut = [&](std::size_t i) {
        return static_cast<std::size_t>(
            std::lower_bound(first_.begin(), first_.end() - 1, cornerCount_ * i / parts_) - first_.begin());
    };
    inParts(positionCount_, parts_, positionCut, [&](std::size_t part, std::size_t begin, std::size_t end) {
        std::vector<Vec3>& normals = found[part];
        normals.reserve(end - begin);
        std::vector<std::pair<NormalKey, std::uint32_t>> many;
        std::vector<Vec3> normal;
        for (std::size_t p = begin; p < end; ++p) {
            const std::size_t base = normals.size();
            const std::uint32_t lo = first_[p], hi = first_[p + 1];
            if (hi - lo <= kScannedCorners) {
                for (std::uint32_t i = lo; i < hi; ++i) {
                    const Vec3 n = cornerNormal(around_[i], p);
                    const NormalKey key = keyOf(n);
                    std::size_t s = base;
                    while (s < normals.size() && !(keyOf(normals[s]) == key))
                        ++s;
                    if (s == normals.size())
                        normals.push_back(n);
                    slot(around_[i]) = static_cast<unsigned>(s - base);
                }
            } else {
                // Sorted by normal, the first of each run of equal ones first.
                many.clear();
                normal.resize(hi - lo);
                for (std::uint32_t i = lo; i < hi; ++i) {
                    normal[i - lo] = cornerNormal(around_[i], p);
                    many.push_back({keyOf(normal[i - lo]), i - lo});
                }
                std::sort(many.begin(), many.end(), [](const auto& a, const auto& b) {
                    return a.first < b.first || (a.first == b.first && a.second < b.second);
                });
                for (std::size_t j = 0; j < many.size(); ++j) {
                    if (j == 0 || !(many[j].first == many[j - 1].first))
                        normals.push_back(normal[many[j].second]);
                    slot(around_[lo + many[j].second]) = static_cast<unsigned>(normals.size() - 1 - base);
                }
            }
            distinctStart[p] = static_cast<std::uint32_t>(normals.size() - base);
        }
    });
    release(unit_);
    release(angle_);
    release(around_);
    release(first_);
    std::vector<Vec3> distinct;
    for (std::vector<Vec3>& f : found) {
        distinct.insert(distinct.end(), f.begin(), f.end());
        release(f);
    }
    number(m, distinctStart, distinct);
}

// Position p's distinct normals, counted in distinctStart[p], are
// distinct[start of p] onwards; the triangles hold each corner's slot among
// them. Numbers the vertices in the order their first corner comes.
void Builder::number(Mesh& m, std::vector<std::uint32_t>& distinctStart, const std::vector<Vec3>& distinct)
{
    std::uint32_t total = 0;
    for (std::uint32_t& s : distinctStart) {
        const std::uint32_t count = s;
        s = total;
        total += count;
    }
    std::vector<std::uint32_t> vertexOf(total, kNone);
    std::uint32_t next = 0;
    for (std::size_t f = 0; f < faceCount_; ++f)
        for (int k = 0; k < 3; ++k) {
            std::uint32_t& v = vertexOf[distinctStart[corners_[3 * f + k].vertex] + m.triangles[f][k]];
            if (v == kNone)
                v = next++;
            m.triangles[f][k] = v;
        }
    release(corners_);
    m.positions.resize(total);
    m.normals.resize(total);
    inEvenParts(positionCount_, parts_, [&](std::size_t, std::size_t begin, std::size_t end) {
        for (std::size_t p = begin; p < end; ++p)
            for (std::uint32_t s = distinctStart[p]; s < distinctStart[p + 1]; ++s) {
                m.positions[vertexOf[s]] = positions_[p];
                m.normals[vertexOf[s]] = distinct[s];
            }
    });
}

std::size_t Builder::turned() const
{
    return static_cast<std::size_t>(std::count_if(wasTurned_.begin(), wasTurned_.end(), [](const auto& t) {
        return t.load(std::memory_order_relaxed) != 0;
    }));
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
// are numbered in the order their first corner comes in the faces. Where no
// normal is smoothed, one pass in face order finds them; otherwise the faces
// around each position are listed once (counted, then placed), so that each
// position's corners are found and told apart on their own, on any thread.
Mesh buildMesh(const std::string& name, std::vector<Vec3> positions, std::vector<Corner> corners,
               std::vector<Vec3> givenNormals, float creaseDegrees, NormalSource source, std::size_t* turned,
               int threads)
{
    Builder b(positions, corners, givenNormals, source, threads);
    b.faces();
    Mesh m;
    if (!b.inFaceOrder(m))
        b.byPosition(m, creaseDegrees);
    m.name = name;
    if (turned)
        *turned = b.turned();
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
