#include "render.h"

#include "image.h"
#include "labels.h"
#include "pixelSamples.h"
#include "rayRange.h"
#include "rayScene.h"

#include "core/deliverables.h"
#include "core/errors.h"

#include <embree3/rtcore.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

namespace cwtool {

namespace {

const int kTile = 32;
// Adaptive sampling looks one pixel round each tile: larger tiles look at fewer.
const int kAdaptiveTile = 64;
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

    explicit CameraFrame(const CameraView& c)
    {
        eye = c.eye;
        back = normalized(c.eye - c.target);
        cameraBasis(back, right, up);
        tanHalf = std::tan(0.5f * c.fovY * 3.14159265f / 180.0f);
    }
    Vec3 toCamera(const Vec3& d) const { return {tone::dot(d, right), tone::dot(d, up), tone::dot(d, back)}; }
    Vec3 pointToCamera(const Vec3& p) const { return toCamera(p - eye); }
    Vec3 toWorld(const Vec3& d) const { return d.x * right + d.y * up + d.z * back; }
    Vec3 pointToWorld(const Vec3& p) const { return eye + toWorld(p); }
};

// Casts rays into a RayScene brought up to date with `scene`'s meshes.
class RayCaster {
public:
    RayCaster(const Scene& scene, RayScene::Impl& rays) : scene_(scene), rtcScene_(rays.scene)
    {
        for (const Mesh& m : scene.meshes)
            for (const Vec3& p : m.positions)
                if (!(largest(p) <= kMaxCoordinate))
                    throw InputError((scene.description.empty() ? std::string("the scene") : scene.description) +
                                     ": mesh '" + m.name + "': a vertex lies at (" + formatFloat(p.x) + ", " +
                                     formatFloat(p.y) + ", " + formatFloat(p.z) +
                                     "), beyond 1e16 from the origin, the farthest the renderer can frame");
        rays.update(scene.meshes);
        bias_ = kShadowBias * rays.extent();
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
        if (!castable(origin, dir))
            return false;
        RTCRayHit rh;
        rh.ray = makeRay(origin, dir, std::numeric_limits<float>::infinity());
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
        // A light with no direction from here (it sits on the point) cannot be
        // shadowed.
        if (!castable(origin, dir))
            return 1.0f;
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRay ray = makeRay(origin, dir,
                             std::isfinite(distance) ? std::max(0.0f, distance - 2.0f * bias_)
                                                     : std::numeric_limits<float>::infinity());
        rtcOccluded1(rtcScene_, &context, &ray);
        return ray.tfar == -std::numeric_limits<float>::infinity() ? 0.0f : 1.0f;
    }

private:
    static RTCRay makeRay(const Vec3& origin, const Vec3& dir, float tfar)
    {
        RTCRay ray;
        ray.org_x = origin.x;
        ray.org_y = origin.y;
        ray.org_z = origin.z;
        ray.dir_x = dir.x;
        ray.dir_y = dir.y;
        ray.dir_z = dir.z;
        ray.tnear = 0.0f;
        ray.tfar = tfar;
        ray.mask = 0xFFFFFFFFu;
        ray.flags = 0;
        ray.time = 0.0f;
        return ray;
    }

    const Scene& scene_;
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

// What every render thread shares: the scene, the camera, the deliverables
// set up for this image, and the tile counters.
struct Shared {
    const Scene& scene;
    const RenderSettings& settings;
    const RayCaster& caster;
    const CameraFrame& frame;
    mayahost::Node* node;                    // null without the Maya side
    const MentalRayShader* shader;           // null without the mental ray side
    const mrhost::BlockBuilder* block;
    std::vector<const SceneLight*> mayaLights;
    Image& image;
    int panelCount;
    int tileSide;
    int tilesX, tilesY;
    std::atomic<int> nextTile{0};
    std::atomic<int> doneTiles{0};
    std::atomic<long long> samplesCast{0};
};

// One render thread's shading: its own sampler on the node and its own shader
// call, filled afresh for every sample.
class SampleShader {
public:
    explicit SampleShader(const Shared& s) : s_(s), lights_(s.mayaLights.size())
    {
        if (s.node)
            sampler_.reset(new mayahost::ShadingSampler(*s.node));
        if (s.shader) {
            call_.reset(new mrhost::ShaderCall(s.block->bytes()));
            s.block->write(call_->parameters());
        }
    }

    // The node's camera-space sample inputs and one light-data element per
    // light, as Maya's renderer fills them; what the surface lets through
    // shows the background.
    Vec3 maya(const RayCaster::Hit& hit, const Vec3& viewCamera)
    {
        for (std::size_t i = 0; i < lights_.size(); ++i)
            fillLightData(*s_.mayaLights[i], hit, lights_[i]);
        const Vec3 pc = s_.frame.pointToCamera(hit.point), nc = s_.frame.toCamera(hit.normal);
        const float point[3] = {pc.x, pc.y, pc.z};
        const float normal[3] = {nc.x, nc.y, nc.z};
        const float view[3] = {viewCamera.x, viewCamera.y, viewCamera.z};
        sampler_->setSample(point, normal, view);
        sampler_->setLights(lights_.data(), lights_.size());
        float colour[3], transparency[3];
        sampler_->outColor(colour);
        sampler_->outTransparency(transparency);
        const Vec3& bg = s_.scene.background;
        return {colour[0] + transparency[0] * bg.x, colour[1] + transparency[1] * bg.y,
                colour[2] + transparency[2] * bg.z};
    }

    // The renderer's camera-space state; the shader samples the lights itself.
    Vec3 mentalRay(const RayCaster::Hit& hit, const Vec3& viewCamera)
    {
        miState& state = call_->state();
        const Vec3 pc = s_.frame.pointToCamera(hit.point), nc = s_.frame.toCamera(hit.normal),
                   gc = s_.frame.toCamera(hit.geometricNormal);
        state.point = {pc.x, pc.y, pc.z};
        state.normal = {nc.x, nc.y, nc.z};
        state.normal_geom = {gc.x, gc.y, gc.z};
        state.dir = {viewCamera.x, viewCamera.y, viewCamera.z};
        state.org = {0.0f, 0.0f, 0.0f};
        state.pri = const_cast<Mesh*>(hit.mesh);
        state.thread = 0;
        miColor result{0.0f, 0.0f, 0.0f, 0.0f};
        s_.shader->shade(&result, *call_);
        return {result.r, result.g, result.b};
    }

    // The same primary and shadow rays as shading casts, nothing shaded: what
    // the rays alone cost.
    Vec3 raysOnly(const RayCaster::Hit& hit) const
    {
        Vec3 sum{0.0f, 0.0f, 0.0f};
        for (const SceneLight& l : s_.scene.lights) {
            Vec3 toLight;
            sum = sum + lightVisibility(l, hit, &toLight) * toLight;
        }
        return sum;
    }

private:
    // The direction from a hit towards a light, and how much of the light gets
    // there: a shadow ray for a light in front of the surface.
    float lightVisibility(const SceneLight& l, const RayCaster::Hit& hit, Vec3* toLight) const
    {
        float distance = std::numeric_limits<float>::infinity();
        if (l.kind == SceneLight::Point) {
            *toLight = l.position - hit.point;
            distance = length(*toLight);
            *toLight = normalized(*toLight);
        } else {
            *toLight = normalized(-l.direction);
        }
        return tone::dot(*toLight, hit.geometricNormal) > 0.0f
                   ? s_.caster.visibility(hit.point, hit.geometricNormal, *toLight, distance)
                   : 1.0f;
    }

    // Shadowing scales the light's intensity; its intensity before shadowing
    // goes to preShadowIntensity.
    void fillLightData(const SceneLight& l, const RayCaster::Hit& hit, mayahost::LightSample& e) const
    {
        Vec3 toLight;
        const float visible = lightVisibility(l, hit, &toLight);
        const Vec3 lc = s_.frame.toCamera(toLight);
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

    const Shared& s_;
    std::unique_ptr<mayahost::ShadingSampler> sampler_;
    std::unique_ptr<mrhost::ShaderCall> call_;
    std::vector<mayahost::LightSample> lights_;
};

// One sample of a pixel: sample k of n at pixel (x, y); the background where
// the ray misses. `surface` (when given) gets what the ray hit, for telling
// geometric edges apart: the mesh (null for a miss) and its geometric normal.
struct SurfaceProbe {
    const Mesh* mesh = nullptr;
    Vec3 normal{0.0f, 0.0f, 0.0f};
};

Vec3 shadeSample(const Shared& s, SampleShader& shading, bool maya, int x, int y, int k, int n,
                 SurfaceProbe* surface = nullptr)
{
    const int w = s.settings.width, h = s.settings.height;
    const float aspect = static_cast<float>(w) / static_cast<float>(h);
    float dx, dy;
    samplePosition(k, n, dx, dy);
    const float px = (2.0f * (x + dx) / w - 1.0f) * aspect * s.frame.tanHalf;
    const float py = (1.0f - 2.0f * (y + dy) / h) * s.frame.tanHalf;
    const Vec3 viewCamera = normalized(Vec3{px, py, -1.0f});
    RayCaster::Hit hit;
    if (!s.caster.intersect(s.frame.eye, s.frame.toWorld(viewCamera), hit))
        return s.scene.background;
    if (surface) {
        surface->mesh = hit.mesh;
        surface->normal = hit.geometricNormal;
    }
    if (!s.settings.shade)
        return shading.raysOnly(hit);
    return maya ? shading.maya(hit, viewCamera) : shading.mentalRay(hit, viewCamera);
}

// The mean of the pixel's samples, the first one given when it is known.
Vec3 shadePixel(const Shared& s, SampleShader& shading, bool maya, int x, int y, int from = 0,
                Vec3 sum = {0.0f, 0.0f, 0.0f})
{
    const int n = s.settings.samples;
    for (int k = from; k < n; ++k)
        sum = sum + shadeSample(s, shading, maya, x, y, k, n);
    return (1.0f / static_cast<float>(n)) * sum;
}

// Adaptive sampling within a tile. Every pixel of the tile and of the ring
// around it gets its first sample; a pixel gets the rest only where it differs
// from one of its eight neighbours by more than kRefineCodes in 8-bit sRGB,
// where the neighbour shows another mesh or the background, or where the
// surface folds between them (an edge, and the outline band along it). A
// refined pixel sums the same samples in the same order as a uniform one.
const int kRefineCodes = 6;
const float kCreaseCosine = 0.7f;  // a fold of 45 degrees

bool adaptiveSampling(const RenderSettings& settings) { return settings.samples > 1 && !settings.uniformSamples; }

class AdaptiveTile {
public:
    AdaptiveTile() : first_(kSide * kSide) {}

    // Returns the samples taken.
    long long render(const Shared& s, SampleShader& shading, bool maya, int x0, int y0, int x1, int y1, int panelX)
    {
        const int w = s.settings.width, h = s.settings.height, n = s.settings.samples;
        // The ring: one pixel round the tile, inside the picture.
        const int rx0 = std::max(0, x0 - 1), ry0 = std::max(0, y0 - 1);
        const int rx1 = std::min(w, x1 + 1), ry1 = std::min(h, y1 + 1);
        long long taken = static_cast<long long>(rx1 - rx0) * (ry1 - ry0);
        for (int y = ry0; y < ry1; ++y)
            for (int x = rx0; x < rx1; ++x) {
                First& f = at(x - x0, y - y0);
                SurfaceProbe probe;
                f.colour = shadeSample(s, shading, maya, x, y, 0, n, &probe);
                f.mesh = probe.mesh;
                f.normal = probe.normal;
                for (int c = 0; c < 3; ++c)
                    f.codes[c] = encodeSrgb((&f.colour.x)[c]);
            }
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const First& f = at(x - x0, y - y0);
                Vec3 c = f.colour;
                if (differsAround(f, x - x0, y - y0, x > rx0, x + 1 < rx1, y > ry0, y + 1 < ry1)) {
                    c = shadePixel(s, shading, maya, x, y, 1, f.colour);
                    taken += n - 1;
                }
                storePixel(s.image, static_cast<std::size_t>(y) * s.image.width + panelX + x, c.x, c.y, c.z);
            }
        return taken;
    }

private:
    static const int kSide = kAdaptiveTile + 2;
    struct First {
        Vec3 colour;
        unsigned char codes[3];
        const Mesh* mesh;
        Vec3 normal;
    };

    // (x, y) relative to the tile's corner; the ring is at -1 and the tile's side.
    First& at(int x, int y) { return first_[(y + 1) * kSide + x + 1]; }

    bool differsAround(const First& f, int x, int y, bool left, bool right, bool up, bool down)
    {
        for (int dy = up ? -1 : 0; dy <= (down ? 1 : 0); ++dy)
            for (int dx = left ? -1 : 0; dx <= (right ? 1 : 0); ++dx) {
                const First& g = at(x + dx, y + dy);
                if (g.mesh != f.mesh || (f.mesh && tone::dot(f.normal, g.normal) < kCreaseCosine))
                    return true;
                for (int c = 0; c < 3; ++c)
                    if (std::abs(int(f.codes[c]) - int(g.codes[c])) > kRefineCodes)
                        return true;
            }
        return false;
    }

    std::vector<First> first_;
};

// One render thread: takes tiles until none is left (or the render is
// cancelled). Tiles run through the first panel, then the second.
void renderTiles(Shared& s)
{
    SampleShader shading(s);
    std::unique_ptr<AdaptiveTile> adaptiveTile(adaptiveSampling(s.settings) ? new AdaptiveTile : nullptr);
    const int w = s.settings.width, h = s.settings.height;
    const int tilesPerPanel = s.tilesX * s.tilesY, totalTiles = tilesPerPanel * s.panelCount;
    for (int tile; (tile = s.nextTile.fetch_add(1)) < totalTiles;) {
        if (s.settings.cancel && s.settings.cancel->load())
            return;
        const int panel = tile / tilesPerPanel;
        const bool maya = s.panelCount == 2 ? panel == 0 : s.node != nullptr;
        const int tx = tile % tilesPerPanel % s.tilesX, ty = tile % tilesPerPanel / s.tilesX;
        const int x0 = panel * (w + 2);
        const int side = s.tileSide, xBegin = tx * side, yBegin = ty * side;
        const int xEnd = std::min(w, xBegin + side), yEnd = std::min(h, yBegin + side);
        if (adaptiveTile) {
            s.samplesCast.fetch_add(adaptiveTile->render(s, shading, maya, xBegin, yBegin, xEnd, yEnd, x0));
        } else {
            for (int y = yBegin; y < yEnd; ++y)
                for (int x = xBegin; x < xEnd; ++x) {
                    const Vec3 c = shadePixel(s, shading, maya, x, y);
                    storePixel(s.image, static_cast<std::size_t>(y) * s.image.width + x0 + x, c.x, c.y, c.z);
                }
            s.samplesCast.fetch_add(static_cast<long long>(xEnd - xBegin) * (yEnd - yBegin) *
                                    s.settings.samples);
        }
        s.doneTiles.fetch_add(1);
    }
}

// The renderer's lights, in the camera space the states are in.
std::vector<miTag> addMentalRayLights(const Scene& scene, const CameraFrame& frame)
{
    mrhost::clearScene();
    std::vector<miTag> tags;
    for (const SceneLight& l : scene.lights) {
        if (!l.mentalRay)
            continue;
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
    return tags;
}

// Runs the threads; reports progress from this one while they work.
void runThreads(Shared& shared, int totalTiles)
{
    const RenderSettings& settings = shared.settings;
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
    // Reports ten times a second, but notices the end within milliseconds: a
    // small interactive render must not wait out a whole reporting interval.
    if (settings.progress)
        for (auto report = std::chrono::steady_clock::now();
             shared.doneTiles.load() < totalTiles && !failed.load() && !(settings.cancel && settings.cancel->load());
             std::this_thread::sleep_for(std::chrono::milliseconds(2)))
            if (std::chrono::steady_clock::now() >= report) {
                settings.progress(shared.doneTiles.load(), totalTiles);
                report += std::chrono::milliseconds(100);
            }
    for (std::thread& t : threads)
        t.join();
    if (failure)
        std::rethrow_exception(failure);
    if (settings.cancel && settings.cancel->load() && shared.doneTiles.load() < totalTiles)
        throw RenderCancelled();
    if (settings.progress)
        settings.progress(totalTiles, totalTiles);
}

const char* panelTitle(const std::string& panel) { return panel == "maya" ? "Maya" : "mental ray"; }

}  // namespace

Image render(const Scene& scene, const RenderSettings& settings, const MayaPlugin* plugin,
             const MentalRayShader* shader, RenderTimes* times, RayScene* rays)
{
    RenderTimes ignored;
    if (!times)
        times = &ignored;
    // The renderer stand-in keeps one scene of lights and one shadow callback
    // for the whole process: renders through the shader take turns.
    static std::mutex mentalRayScene;
    std::unique_lock<std::mutex> turn(mentalRayScene, std::defer_lock);
    if (shader)
        turn.lock();
    auto start = std::chrono::steady_clock::now();
    std::unique_ptr<RayScene> ownRays;
    if (!rays) {
        ownRays.reset(new RayScene(RayScene::OneRender{}));
        rays = ownRays.get();
    }
    std::lock_guard<std::mutex> raysInUse(rays->impl_->inUse);
    RayCaster caster(scene, *rays->impl_);
    const CameraFrame frame(
        castableView(resolveCamera(scene, static_cast<float>(settings.width) / settings.height), scene.camera));
    times->buildBvh = seconds(start);

    // The material's settings, once for the whole image: the scene's own, then
    // the caller's; each to the side it names.
    Look material = scene.material;
    material.set(settings.settings);
    std::unique_ptr<mayahost::Node> node;
    std::vector<const SceneLight*> mayaLights;
    if (plugin) {
        node.reset(new mayahost::Node(plugin->type().name));
        for (const Setting& set : material.values) {
            const SettingTarget t = targetOf(set.name);
            if (t.maya && nodeHasInput(plugin->type(), t.name))
                setNodeValue(*node, t.name, set.numbers);
        }
        for (const SceneLight& l : scene.lights)
            if (l.maya)
                mayaLights.push_back(&l);
    }
    std::unique_ptr<mrhost::BlockBuilder> block;
    OcclusionContext occlusionContext{&caster, &frame};
    if (shader) {
        block.reset(new mrhost::BlockBuilder(shader->declaration()));
        for (const Setting& set : material.values) {
            const SettingTarget t = targetOf(set.name);
            if (t.mentalRay && shaderHasParameter(shader->declaration(), t.name))
                setShaderValue(*block, t.name, set.numbers);
        }
        block->setArray("light", addMentalRayLights(scene, frame));
        mrhost::setOcclusion(occlusion, &occlusionContext);
    }
    struct ForgetOcclusion {
        ~ForgetOcclusion() { mrhost::setOcclusion(nullptr, nullptr); }
    } forgetOcclusion;

    Image image;
    const int panels = plugin && shader ? 2 : 1;
    prepareImage(image, panels * settings.width + (panels - 1) * 2, settings.height, settings.linearOutput,
                 0.08f);  // the separator's grey
    if (plugin) image.panels.push_back("maya");
    if (shader) image.panels.push_back("mentalray");
    image.look = material;

    const int tileSide = adaptiveSampling(settings) ? kAdaptiveTile : kTile;
    Shared shared{scene, settings, caster, frame, node.get(), shader, block.get(), mayaLights, image, panels,
                  tileSide, (settings.width + tileSide - 1) / tileSide, (settings.height + tileSide - 1) / tileSide};
    const int totalTiles = shared.tilesX * shared.tilesY * panels;
    times->tiles = totalTiles;
    start = std::chrono::steady_clock::now();
    runThreads(shared, totalTiles);
    times->render = seconds(start);
    times->samples = shared.samplesCast.load();

    if (panels == 2 && settings.labels)
        for (int p = 0; p < panels; ++p)
            drawPanelLabel(image, p * (settings.width + 2), settings.width, panelTitle(image.panels[p]));
    return image;
}

}  // namespace cwtool
