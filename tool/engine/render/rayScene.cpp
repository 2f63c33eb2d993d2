#include "rayScene.h"

#include "core/errors.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace cwtool {

namespace {

static_assert(sizeof(Vec3) == 3 * sizeof(float), "positions are packed as the ray caster's vertices");
static_assert(sizeof(std::array<unsigned, 3>) == 3 * sizeof(unsigned), "triangles are packed as its indices");

// True when geometry `id` holds exactly these positions and triangles.
bool holds(RTCScene scene, unsigned id, const RayScene::Impl::Held& held, const Mesh& m)
{
    if (held.positions != m.positions.size() || held.triangles != m.triangles.size())
        return false;
    if (m.positions.empty() || m.triangles.empty())
        return true;
    RTCGeometry g = rtcGetGeometry(scene, id);
    const void* v = rtcGetGeometryBufferData(g, RTC_BUFFER_TYPE_VERTEX, 0);
    const void* t = rtcGetGeometryBufferData(g, RTC_BUFFER_TYPE_INDEX, 0);
    return std::memcmp(v, m.positions.data(), m.positions.size() * sizeof(Vec3)) == 0 &&
           std::memcmp(t, m.triangles.data(), m.triangles.size() * sizeof(m.triangles[0])) == 0;
}

// One ray-casting device for the process, started by the first scene: its
// worker threads serve every scene after it, and starting one costs more than
// a small scene's whole build.
RTCDevice sharedDevice()
{
    static const RTCDevice device = [] {
        RTCDevice d = rtcNewDevice(nullptr);
        if (!d)
            throw InternalError("cannot start the ray caster (Embree error " +
                                std::to_string(rtcGetDeviceError(nullptr)) + ")");
        return d;
    }();
    return device;
}

}  // namespace

RayScene::Impl::Impl(bool forOneRender)
    : device(sharedDevice()), scene(rtcNewScene(device)), sharesTriangles(forOneRender)
{
    // Triangles kept as indices into the vertices rather than as copies of
    // their corners: a third of the memory for the same hits.
    rtcSetSceneFlags(scene, RTC_SCENE_FLAG_COMPACT);
}

RayScene::Impl::~Impl() { rtcReleaseScene(scene); }

int RayScene::Impl::update(const std::vector<Mesh>& meshes)
{
    int built = 0;
    const bool changed = !committed || meshes.size() < held.size();
    for (unsigned id = static_cast<unsigned>(meshes.size()); id < held.size(); ++id)
        rtcDetachGeometry(scene, id);
    const std::size_t kept = std::min(held.size(), meshes.size());
    held.resize(meshes.size());
    for (unsigned id = 0; id < meshes.size(); ++id) {
        const Mesh& m = meshes[id];
        if (id < kept) {
            if (holds(scene, id, held[id], m))
                continue;
            rtcDetachGeometry(scene, id);
        }
        RTCGeometry g = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        void* v = rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, sizeof(Vec3),
                                          m.positions.size());
        if (!m.positions.empty())
            std::memcpy(v, m.positions.data(), m.positions.size() * sizeof(Vec3));
        // The vertices are always copied: the ray caster reads past the last
        // one, into the padding of a buffer of its own.
        if (sharesTriangles && !m.triangles.empty()) {
            rtcSetSharedGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, m.triangles.data(), 0,
                                       sizeof(m.triangles[0]), m.triangles.size());
        } else {
            void* t = rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, sizeof(m.triangles[0]),
                                              m.triangles.size());
            if (!m.triangles.empty())
                std::memcpy(t, m.triangles.data(), m.triangles.size() * sizeof(m.triangles[0]));
        }
        Held& h = held[id];
        h = {m.positions.size(), m.triangles.size(), 0.0f};
        for (const Vec3& p : m.positions)
            h.extent = std::max({h.extent, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
        rtcCommitGeometry(g);
        rtcAttachGeometryByID(scene, g, id);
        rtcReleaseGeometry(g);
        ++built;
    }
    if (changed || built > 0)
        rtcCommitScene(scene);
    committed = true;
    return built;
}

float RayScene::Impl::extent() const
{
    float e = 1.0f;
    for (const Held& h : held)
        e = std::max(e, h.extent);
    return e;
}

RayScene::RayScene() : impl_(new Impl) {}
RayScene::RayScene(OneRender) : impl_(new Impl(true)) {}
RayScene::~RayScene() = default;

int RayScene::update(const std::vector<Mesh>& meshes)
{
    std::lock_guard<std::mutex> lock(impl_->inUse);
    return impl_->update(meshes);
}

}  // namespace cwtool
