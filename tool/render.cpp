#include "render.h"

#include "deliverables.h"
#include "errors.h"

#include <embree3/rtcore.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <thread>

namespace cwtool {

namespace {

const int kTile = 32;
// Shadow rays start this far off the surface, relative to the scene's size.
const float kShadowBias = 1e-4f;

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// World to camera space: the camera looks down -z with y up, as Maya's
// camera space does.
struct CameraFrame {
    Vec3 eye, right, up, back;
    float tanHalf;

    explicit CameraFrame(const Camera& c)
    {
        eye = c.eye;
        back = normalized(c.eye - c.target);
        right = normalized(cross(c.up, back));
        up = cross(back, right);
        tanHalf = std::tan(0.5f * c.fovY * 3.14159265f / 180.0f);
    }
    Vec3 toCamera(const Vec3& d) const { return {tone::dot(d, right), tone::dot(d, up), tone::dot(d, back)}; }
    Vec3 pointToCamera(const Vec3& p) const { return toCamera(p - eye); }
    Vec3 toWorld(const Vec3& d) const { return d.x * right + d.y * up + d.z * back; }
    Vec3 pointToWorld(const Vec3& p) const { return eye + toWorld(p); }
};

class RayCaster {
public:
    explicit RayCaster(const Scene& scene) : scene_(scene)
    {
        device_ = rtcNewDevice(nullptr);
        if (!device_)
            throw InternalError("cannot start the ray caster (Embree error " + std::to_string(rtcGetDeviceError(nullptr)) + ")");
        rtcScene_ = rtcNewScene(device_);
        float extent = 1.0f;
        for (const Mesh& m : scene.meshes) {
            RTCGeometry g = rtcNewGeometry(device_, RTC_GEOMETRY_TYPE_TRIANGLE);
            float* v = static_cast<float*>(rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                                                   3 * sizeof(float), m.positions.size()));
            unsigned* t = static_cast<unsigned*>(rtcSetNewGeometryBuffer(g, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                                         3 * sizeof(unsigned), m.triangles.size()));
            for (std::size_t i = 0; i < m.positions.size(); ++i) {
                v[3 * i] = m.positions[i].x;
                v[3 * i + 1] = m.positions[i].y;
                v[3 * i + 2] = m.positions[i].z;
                extent = std::max({extent, std::fabs(m.positions[i].x), std::fabs(m.positions[i].y),
                                   std::fabs(m.positions[i].z)});
            }
            for (std::size_t i = 0; i < m.triangles.size(); ++i)
                for (int k = 0; k < 3; ++k)
                    t[3 * i + k] = m.triangles[i][k];
            rtcCommitGeometry(g);
            rtcAttachGeometry(rtcScene_, g);
            rtcReleaseGeometry(g);
        }
        rtcCommitScene(rtcScene_);
        bias_ = kShadowBias * extent;
    }
    ~RayCaster()
    {
        rtcReleaseScene(rtcScene_);
        rtcReleaseDevice(device_);
    }
    RayCaster(const RayCaster&) = delete;
    RayCaster& operator=(const RayCaster&) = delete;

    struct Hit {
        Vec3 point, normal, geometricNormal;
        const Mesh* mesh;
    };

    bool intersect(const Vec3& origin, const Vec3& dir, Hit& hit) const
    {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRayHit rh;
        rh.ray.org_x = origin.x;
        rh.ray.org_y = origin.y;
        rh.ray.org_z = origin.z;
        rh.ray.dir_x = dir.x;
        rh.ray.dir_y = dir.y;
        rh.ray.dir_z = dir.z;
        rh.ray.tnear = 0.0f;
        rh.ray.tfar = std::numeric_limits<float>::infinity();
        rh.ray.mask = 0xFFFFFFFFu;
        rh.ray.flags = 0;
        rh.ray.time = 0.0f;
        rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        rh.hit.instID[0] = RTC_INVALID_GEOMETRY_ID;
        rtcIntersect1(rtcScene_, &context, &rh);
        if (rh.hit.geomID == RTC_INVALID_GEOMETRY_ID)
            return false;
        const Mesh& m = scene_.meshes[rh.hit.geomID];
        const auto& t = m.triangles[rh.hit.primID];
        const float u = rh.hit.u, v = rh.hit.v, w = 1.0f - u - v;
        hit.mesh = &m;
        hit.point = origin + rh.ray.tfar * dir;
        hit.geometricNormal = normalized(Vec3{rh.hit.Ng_x, rh.hit.Ng_y, rh.hit.Ng_z});
        hit.normal = normalized(w * m.normals[t[0]] + u * m.normals[t[1]] + v * m.normals[t[2]]);
        // Both sides of a surface shade: turn the normals towards the viewer.
        if (tone::dot(hit.geometricNormal, dir) > 0.0f)
            hit.geometricNormal = -hit.geometricNormal;
        if (tone::dot(hit.normal, hit.geometricNormal) < 0.0f)
            hit.normal = -hit.normal;
        return true;
    }

    // How much light arrives at `point` from along `dir` (unit) within `distance`.
    float visibility(const Vec3& point, const Vec3& offsetNormal, const Vec3& dir, float distance) const
    {
        const Vec3 origin = point + bias_ * offsetNormal;
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRay ray;
        ray.org_x = origin.x;
        ray.org_y = origin.y;
        ray.org_z = origin.z;
        ray.dir_x = dir.x;
        ray.dir_y = dir.y;
        ray.dir_z = dir.z;
        ray.tnear = 0.0f;
        ray.tfar = std::isfinite(distance) ? std::max(0.0f, distance - 2.0f * bias_) : std::numeric_limits<float>::infinity();
        ray.mask = 0xFFFFFFFFu;
        ray.flags = 0;
        ray.time = 0.0f;
        rtcOccluded1(rtcScene_, &context, &ray);
        return ray.tfar == -std::numeric_limits<float>::infinity() ? 0.0f : 1.0f;
    }

private:
    const Scene& scene_;
    RTCDevice device_;
    RTCScene rtcScene_;
    float bias_ = kShadowBias;
};

// The mental ray stand-in asks this for shadows; its state is in camera space.
struct OcclusionContext {
    const RayCaster* caster;
    const CameraFrame* frame;
};

float occlusion(void* user, const miState* state, const miVector* dir, float distance)
{
    const OcclusionContext& c = *static_cast<const OcclusionContext*>(user);
    const Vec3 p = c.frame->pointToWorld({state->point.x, state->point.y, state->point.z});
    const Vec3 n = c.frame->toWorld({state->normal_geom.x, state->normal_geom.y, state->normal_geom.z});
    const Vec3 d = c.frame->toWorld({dir->x, dir->y, dir->z});
    // Light arriving from behind the geometric surface cannot reach it.
    if (tone::dot(d, n) <= 0.0f)
        return 1.0f;
    return c.caster->visibility(p, n, d, distance);
}

// A fixed, well-spread sub-pixel position for sample s of n.
void samplePosition(int s, int n, float& dx, float& dy)
{
    if (n == 1) {
        dx = dy = 0.5f;
        return;
    }
    const int side = static_cast<int>(std::ceil(std::sqrt(static_cast<float>(n))));
    const unsigned h = static_cast<unsigned>(s) * 2654435761u;
    dx = (static_cast<float>(s % side) + 0.25f + 0.5f * static_cast<float>((h >> 8) & 0xFF) / 256.0f) / side;
    dy = (static_cast<float>(s / side % side) + 0.25f + 0.5f * static_cast<float>((h >> 16) & 0xFF) / 256.0f) / side;
}

struct Shared {
    const Scene& scene;
    const RenderSettings& settings;
    const RayCaster& caster;
    const CameraFrame& frame;
    mayahost::Node* node;                    // null without the Maya side
    const MentalRayShader* shader;           // null without the mental ray side
    const mrhost::BlockBuilder* block;
    Image& image;
    int panelWidth;
    int panelCount;
    int tilesX, tilesY;
    std::atomic<int> nextTile{0};
    std::atomic<int> doneTiles{0};
};

// One render thread: its own sampler on the node and its own shader call.
void renderTiles(Shared& s)
{
    const Scene& scene = s.scene;
    std::unique_ptr<mayahost::ShadingSampler> sampler;
    if (s.node)
        sampler.reset(new mayahost::ShadingSampler(*s.node));
    std::unique_ptr<mrhost::ShaderCall> call;
    if (s.shader) {
        call.reset(new mrhost::ShaderCall(s.block->bytes()));
        s.block->write(call->parameters());
    }
    std::vector<mayahost::LightSample> lights(scene.lights.size());
    const int w = s.settings.width, h = s.settings.height, n = s.settings.samples;
    const float aspect = static_cast<float>(w) / static_cast<float>(h);
    const int tilesPerPanel = s.tilesX * s.tilesY;
    const int totalTiles = tilesPerPanel * s.panelCount;

    for (int tile; (tile = s.nextTile.fetch_add(1)) < totalTiles;) {
        const int panel = tile / tilesPerPanel;
        const bool maya = s.panelCount == 2 ? panel == 0 : s.node != nullptr;
        const int tx = tile % tilesPerPanel % s.tilesX, ty = tile % tilesPerPanel / s.tilesX;
        const int x0 = panel * (s.panelWidth + 2);
        for (int y = ty * kTile; y < std::min(h, (ty + 1) * kTile); ++y)
            for (int x = tx * kTile; x < std::min(w, (tx + 1) * kTile); ++x) {
                Vec3 sum{0.0f, 0.0f, 0.0f};
                for (int k = 0; k < n; ++k) {
                    float dx, dy;
                    samplePosition(k, n, dx, dy);
                    const float px = (2.0f * (x + dx) / w - 1.0f) * aspect * s.frame.tanHalf;
                    const float py = (1.0f - 2.0f * (y + dy) / h) * s.frame.tanHalf;
                    const Vec3 viewCamera = normalized(Vec3{px, py, -1.0f});
                    const Vec3 viewWorld = s.frame.toWorld(viewCamera);
                    RayCaster::Hit hit;
                    if (!s.caster.intersect(s.frame.eye, viewWorld, hit)) {
                        sum = sum + scene.background;
                        continue;
                    }
                    const Vec3 pc = s.frame.pointToCamera(hit.point);
                    const Vec3 nc = s.frame.toCamera(hit.normal);
                    if (maya) {
                        // One light-data element per light, as Maya's renderer fills them.
                        for (std::size_t i = 0; i < scene.lights.size(); ++i) {
                            const SceneLight& l = scene.lights[i];
                            Vec3 toLight;
                            float distance = std::numeric_limits<float>::infinity();
                            if (l.kind == SceneLight::Point) {
                                toLight = l.position - hit.point;
                                distance = length(toLight);
                                toLight = normalized(toLight);
                            } else {
                                toLight = normalized(-l.direction);
                            }
                            const float visible = tone::dot(toLight, hit.geometricNormal) > 0.0f
                                                      ? s.caster.visibility(hit.point, hit.geometricNormal, toLight, distance)
                                                      : 1.0f;
                            const Vec3 lc = s.frame.toCamera(toLight);
                            mayahost::LightSample& e = lights[i];
                            e.direction[0] = lc.x;
                            e.direction[1] = lc.y;
                            e.direction[2] = lc.z;
                            e.intensity[0] = l.colour.x * l.intensity * visible;
                            e.intensity[1] = l.colour.y * l.intensity * visible;
                            e.intensity[2] = l.colour.z * l.intensity * visible;
                            e.ambient = l.emitAmbient;
                            e.diffuse = l.emitDiffuse;
                            e.specular = l.emitSpecular;
                            e.shadowFraction = visible;
                            e.preShadowIntensity = l.intensity;
                        }
                        const float point[3] = {pc.x, pc.y, pc.z};
                        const float normal[3] = {nc.x, nc.y, nc.z};
                        const float view[3] = {viewCamera.x, viewCamera.y, viewCamera.z};
                        sampler->setSample(point, normal, view);
                        sampler->setLights(lights.data(), lights.size());
                        float colour[3], transparency[3];
                        sampler->outColor(colour);
                        sampler->outTransparency(transparency);
                        // What the surface lets through shows the background.
                        sum = sum + Vec3{colour[0] + transparency[0] * scene.background.x,
                                         colour[1] + transparency[1] * scene.background.y,
                                         colour[2] + transparency[2] * scene.background.z};
                    } else {
                        miState& state = call->state();
                        const Vec3 gc = s.frame.toCamera(hit.geometricNormal);
                        state.point = {pc.x, pc.y, pc.z};
                        state.normal = {nc.x, nc.y, nc.z};
                        state.normal_geom = {gc.x, gc.y, gc.z};
                        state.dir = {viewCamera.x, viewCamera.y, viewCamera.z};
                        state.org = {0.0f, 0.0f, 0.0f};
                        state.pri = const_cast<Mesh*>(hit.mesh);
                        state.thread = 0;
                        miColor result{0.0f, 0.0f, 0.0f, 0.0f};
                        s.shader->shade(&result, *call);
                        sum = sum + Vec3{result.r, result.g, result.b};
                    }
                }
                float* out = &s.image.rgb[3 * (static_cast<std::size_t>(y) * s.image.width + x0 + x)];
                out[0] = sum.x / n;
                out[1] = sum.y / n;
                out[2] = sum.z / n;
            }
        s.doneTiles.fetch_add(1);
    }
}

void drawProgress(int done, int total, double elapsed)
{
    const int width = 30;
    const int filled = total ? done * width / total : width;
    std::fprintf(stderr, "\rrendering [%.*s%*s] %3d%%  %d/%d tiles  %.1f s", filled,
                 "##############################", width - filled, "", total ? 100 * done / total : 100, done, total,
                 elapsed);
    std::fflush(stderr);
}

}  // namespace

void validateSettings(const RenderSettings& settings, const MayaPlugin* plugin, const MentalRayShader* shader)
{
    // The values go to a scratch node and block, so that a bad one is refused
    // before the scene is loaded.
    std::unique_ptr<mayahost::Node> node;
    if (plugin)
        node.reset(new mayahost::Node(plugin->type().name));
    std::unique_ptr<mrhost::BlockBuilder> block;
    if (shader)
        block.reset(new mrhost::BlockBuilder(shader->declaration()));
    for (const Setting& set : settings.settings) {
        const bool onNode = plugin && nodeHasInput(plugin->type(), set.name);
        const bool onShader = shader && shaderHasParameter(shader->declaration(), set.name);
        if (!onNode && !onShader) {
            std::string where = plugin && shader ? "node coolwarm or shader zarn_coolwarm"
                                : plugin         ? "node coolwarm"
                                                 : "shader zarn_coolwarm";
            throw InputError("--set " + set.name + ": unknown attribute or parameter '" + set.name + "' of " + where);
        }
        try {
            if (onNode)
                setNodeValue(*node, set.name, set.numbers);
            if (onShader)
                setShaderValue(*block, set.name, set.numbers);
        } catch (const InputError& e) {
            throw InputError("--set " + set.name + ": " + e.what());
        }
    }
}

Image render(const Scene& scene, const RenderSettings& settings, const MayaPlugin* plugin,
             const MentalRayShader* shader, RenderTimes* times)
{
    auto start = std::chrono::steady_clock::now();
    RayCaster caster(scene);
    const CameraFrame frame(scene.camera);
    times->buildBvh = seconds(start);

    // The material's settings, once for the whole image: the scene's own, then
    // the command line's.
    std::vector<Setting> material = scene.material;
    material.insert(material.end(), settings.settings.begin(), settings.settings.end());
    std::unique_ptr<mayahost::Node> node;
    if (plugin) {
        node.reset(new mayahost::Node(plugin->type().name));
        for (const Setting& set : material)
            if (nodeHasInput(plugin->type(), set.name))
                setNodeValue(*node, set.name, set.numbers);
    }
    std::unique_ptr<mrhost::BlockBuilder> block;
    OcclusionContext occlusionContext{&caster, &frame};
    if (shader) {
        block.reset(new mrhost::BlockBuilder(shader->declaration()));
        for (const Setting& set : material)
            if (shaderHasParameter(shader->declaration(), set.name))
                setShaderValue(*block, set.name, set.numbers);
        // The scene's lights, in the camera space the states are in.
        mrhost::clearScene();
        std::vector<miTag> tags;
        for (const SceneLight& l : scene.lights) {
            mrhost::Light light;
            light.colour = {l.colour.x, l.colour.y, l.colour.z, 1.0f};
            light.intensity = l.intensity;
            if (l.kind == SceneLight::Point) {
                const Vec3 p = frame.pointToCamera(l.position);
                light.kind = mrhost::Light::Point;
                light.position = {p.x, p.y, p.z};
            } else {
                const Vec3 d = frame.toCamera(l.direction);
                light.kind = mrhost::Light::Directional;
                light.direction = {d.x, d.y, d.z};
            }
            tags.push_back(mrhost::addLight(light));
        }
        block->setArray("light", tags);
        mrhost::setOcclusion(occlusion, &occlusionContext);
    }

    Image image;
    const int panels = plugin && shader ? 2 : 1;
    image.width = panels * settings.width + (panels - 1) * 2;
    image.height = settings.height;
    image.rgb.assign(static_cast<std::size_t>(image.width) * image.height * 3, 0.08f);  // the separator's grey
    if (plugin) image.panels.push_back("maya");
    if (shader) image.panels.push_back("mentalray");

    Shared shared{scene, settings, caster, frame, node.get(), shader, block.get(), image, settings.width, panels,
                  (settings.width + kTile - 1) / kTile, (settings.height + kTile - 1) / kTile};
    const int totalTiles = shared.tilesX * shared.tilesY * panels;
    times->tiles = totalTiles;

    start = std::chrono::steady_clock::now();
    int threadCount = settings.threads > 0 ? settings.threads : static_cast<int>(std::thread::hardware_concurrency());
    threadCount = std::max(1, std::min(threadCount, totalTiles));
    std::vector<std::thread> threads;
    std::exception_ptr failure;
    std::atomic<bool> failed{false};
    for (int t = 0; t < threadCount; ++t)
        threads.emplace_back([&] {
            try {
                renderTiles(shared);
            } catch (...) {
                if (!failed.exchange(true))
                    failure = std::current_exception();
                shared.nextTile = totalTiles;
            }
        });
    if (settings.progress) {
        while (shared.doneTiles.load() < totalTiles && !failed.load()) {
            drawProgress(shared.doneTiles.load(), totalTiles, seconds(start));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    for (std::thread& t : threads)
        t.join();
    if (settings.progress) {
        drawProgress(shared.doneTiles.load(), totalTiles, seconds(start));
        std::fprintf(stderr, "\n");
    }
    mrhost::setOcclusion(nullptr, nullptr);
    if (failure)
        std::rethrow_exception(failure);
    times->render = seconds(start);
    return image;
}

}  // namespace cwtool
