#include "serve.h"

#include "core/deliverables.h"
#include "shade/describe.h"
#include "core/errors.h"
#include "render/image.h"
#include "render/render.h"
#include "scene/scene.h"
#include "scene/sceneFile.h"
#include "webAssets.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <pthread.h>
#include <sys/socket.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <thread>

namespace cwtool {

using nlohmann::json;
using nlohmann::ordered_json;

namespace {

// Bounds on what one request may ask for; the schema reports them.
const int kMaxSize = 2048;          // pixels, each side of each panel
const int kMaxSamples = 64;         // per pixel
const std::size_t kMaxRequestBytes = 64 * 1024;
const int kMaxJsonDepth = 8;
const float kPi = 3.14159265f;

// Groups as the attribute editor shows them; anything else goes last under
// "Extra Attributes".
const std::pair<const char*, std::vector<const char*>> kGroups[] = {
    {"Cool/Warm Tones", {"color", "alpha", "beta", "blue", "yellow", "diffuse"}},
    {"Outline", {"outLineColor", "outLineWidth"}},
    {"Specular Shading", {"specularColor", "eccentricity", "specularRollOff"}},
    {"Common Material Attributes", {"transparency", "ambientColor", "incandescence", "translucence"}},
    {"Irradiance", {"computeIrradiance", "irradianceColor"}},
};
const char kExtraGroup[] = "Extra Attributes";

// One thing the page can tune: a node attribute, a shader parameter, or both
// under one name.
struct Control {
    enum Kind { Float, Color, Boolean };
    std::string name;
    Kind kind = Float;
    std::vector<double> defaults;
    bool hasMin = false, hasMax = false;  // hard limits
    double min = 0.0, max = 0.0;
    double softMin = 0.0, softMax = 1.0;  // the slider's range
    bool maya = false, mentalray = false;
    std::string group = kExtraGroup;
};

std::vector<Control> buildControls(const MayaPlugin& plugin, const MentalRayShader& shader)
{
    std::vector<Control> controls;
    for (const auto& a : plugin.type().attributes) {
        // What the renderer fills per sample is hidden; outputs are not writable.
        if (!nodeHasInput(plugin.type(), a->longName) || a->parent || a->flags.hidden)
            continue;
        Control c;
        c.name = a->longName;
        c.maya = true;
        if (a->kind == mayahost::AttrKind::Boolean)
            c.kind = Control::Boolean;
        else if (a->kind == mayahost::AttrKind::Compound && a->flags.usedAsColor)
            c.kind = Control::Color;
        else if (a->kind != mayahost::AttrKind::Float)
            continue;
        c.defaults.assign(a->defaultValue, a->defaultValue + a->valueCount());
        c.hasMin = a->hardMin.set;
        c.hasMax = a->hardMax.set;
        c.min = a->hardMin.value[0];
        c.max = a->hardMax.value[0];
        c.softMin = a->softMin.set ? a->softMin.value[0] : c.hasMin ? c.min : 0.0;
        c.softMax = a->softMax.set ? a->softMax.value[0] : c.hasMax ? c.max : 1.0;
        controls.push_back(c);
    }
    for (const mrhost::Parameter& p : shader.declaration().parameters) {
        if (p.array)
            continue;
        auto same = std::find_if(controls.begin(), controls.end(), [&](const Control& c) { return c.name == p.name; });
        if (same != controls.end()) {
            same->mentalray = true;
            continue;
        }
        Control c;
        c.name = p.name;
        c.mentalray = true;
        if (p.type == "boolean")
            c.kind = Control::Boolean;
        else if (p.type == "color")
            c.kind = Control::Color;
        else if (p.type != "scalar")
            continue;  // vectors are per-sample inputs
        const std::size_t count = c.kind == Control::Color ? 3 : 1;
        c.defaults.assign(p.defaults.begin(), p.defaults.begin() + std::min(count, p.defaults.size()));
        c.defaults.resize(count, 0.0);
        const auto softMin = p.hints.find("softmin"), softMax = p.hints.find("softmax");
        if (softMin != p.hints.end())
            c.softMin = softMin->second;
        if (softMax != p.hints.end())
            c.softMax = softMax->second;
        controls.push_back(c);
    }
    for (Control& c : controls) {
        for (const auto& g : kGroups)
            if (std::find_if(g.second.begin(), g.second.end(), [&](const char* n) { return c.name == n; }) !=
                g.second.end())
                c.group = g.first;
        if (c.kind == Control::Float) {
            c.softMin = std::min(c.softMin, c.defaults[0]);
            c.softMax = std::max(c.softMax, c.defaults[0]);
        }
    }
    return controls;
}

// Where a camera or a light sits around the scene's centre, in the angles of
// directionFromAngles.
struct Orbit {
    float azimuth = 0.0f, elevation = 0.0f;
    float distance = 0.0f;   // the camera's; 0: fitted to the picture
    float intensity = 1.0f;  // the light's
};

struct SceneEntry {
    std::string id, label;
    Scene scene;
    Orbit camera, light;  // as the scene has them; light: the key light
    std::string keyLight;
};

// `look` goes under the scene's own material, as `render --look` puts it.
SceneEntry makeEntry(const std::string& id, const std::string& label, Scene scene, const std::vector<Setting>& look)
{
    scene.material.insert(scene.material.begin(), look.begin(), look.end());
    SceneEntry e{id, label, std::move(scene), {}, {}, {}};
    const Camera& c = e.scene.camera;
    const CameraView view = resolveCamera(e.scene, 4.0f / 3.0f);
    e.camera = {c.azimuth, c.elevation, length(view.eye - view.target), 1.0f};
    auto key = std::find_if(e.scene.lights.begin(), e.scene.lights.end(), [](const SceneLight& l) { return l.name == "key"; });
    if (key == e.scene.lights.end())
        key = e.scene.lights.begin();
    if (key != e.scene.lights.end()) {
        Vec3 centre;
        float radius;
        boundingSphere(e.scene, centre, radius);
        const Vec3 from = normalized(key->kind == SceneLight::Point ? key->position - centre : -key->direction);
        e.keyLight = key->name;
        e.light.azimuth = std::atan2(from.x, from.z) * 180.0f / kPi;
        e.light.elevation = std::asin(std::clamp(from.y, -1.0f, 1.0f)) * 180.0f / kPi;
        e.light.intensity = key->intensity;
    }
    return e;
}

// What one POST /api/render asks for, checked.
struct RenderJob {
    const SceneEntry* scene = nullptr;
    RenderSettings settings;
    std::string camera, light;  // as --camera and --light take them; empty: the scene's
    std::string format = "png";
};

class BadRequest : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string show(const json& value)
{
    const std::string text = value.dump();
    return text.size() > 40 ? text.substr(0, 37) + "..." : text;
}

double number(const json& value, const std::string& what, double lo, double hi)
{
    if (!value.is_number())
        throw BadRequest(what + ": expected a number, not " + show(value));
    const double v = value.get<double>();
    if (!std::isfinite(v) || v < lo || v > hi)
        throw BadRequest(what + ": " + show(value) + " is outside the range " + formatFloat(static_cast<float>(lo)) +
                         " to " + formatFloat(static_cast<float>(hi)));
    return v;
}

int integer(const json& value, const std::string& what, int lo, int hi)
{
    if (!value.is_number_integer())
        throw BadRequest(what + ": expected a whole number, not " + show(value));
    return static_cast<int>(number(value, what, lo, hi));
}

void onlyKeys(const json& object, const std::string& what, std::initializer_list<const char*> keys)
{
    if (!object.is_object())
        throw BadRequest(what + ": expected an object, not " + show(object));
    for (const auto& item : object.items())
        if (std::find_if(keys.begin(), keys.end(), [&](const char* k) { return item.key() == k; }) == keys.end())
            throw BadRequest(what + ": unknown field '" + item.key() + "'");
}

Setting settingOf(const Control& c, const json& value)
{
    const std::string what = "settings." + c.name;
    const double lo = c.hasMin ? c.min : -1e6, hi = c.hasMax ? c.max : 1e6;
    Setting s{c.name, {}};
    switch (c.kind) {
    case Control::Boolean:
        if (!value.is_boolean())
            throw BadRequest(what + ": expected true or false, not " + show(value));
        s.numbers = {value.get<bool>() ? 1.0 : 0.0};
        break;
    case Control::Float: s.numbers = {number(value, what, lo, hi)}; break;
    case Control::Color:
        if (!value.is_array() || value.size() != 3)
            throw BadRequest(what + ": expected a colour [r, g, b], not " + show(value));
        for (std::size_t i = 0; i < 3; ++i)
            s.numbers.push_back(number(value[i], what + "[" + std::to_string(i) + "]", lo, hi));
        break;
    }
    return s;
}

json parseBody(const std::string& body)
{
    // Depth is bounded before anything is built from the text.
    json::parser_callback_t depthCheck = [](int depth, json::parse_event_t, json&) {
        if (depth > kMaxJsonDepth)
            throw BadRequest("the request nests deeper than " + std::to_string(kMaxJsonDepth) + " levels");
        return true;
    };
    try {
        return json::parse(body, depthCheck);
    } catch (const json::parse_error& e) {
        throw BadRequest(std::string("malformed JSON: ") + e.what());
    }
}

RenderJob parseRenderRequest(const json& request, const std::vector<Control>& controls,
                             const std::vector<SceneEntry>& scenes)
{
    onlyKeys(request, "the request",
             {"scene", "renderer", "width", "height", "samples", "format", "settings", "camera", "light"});
    RenderJob job;
    const json scene = request.value("scene", json("built-in"));
    if (!scene.is_string())
        throw BadRequest("scene: expected a scene name, not " + show(scene));
    const std::string sceneId = scene.get<std::string>();
    for (const SceneEntry& e : scenes)
        if (e.id == sceneId)
            job.scene = &e;
    if (!job.scene)
        throw BadRequest("scene: unknown scene '" + sceneId + "'");

    const json renderer = request.value("renderer", json("both"));
    if (renderer == "maya")
        job.settings.renderer = Renderer::Maya;
    else if (renderer == "mentalray")
        job.settings.renderer = Renderer::MentalRay;
    else if (renderer != "both")
        throw BadRequest("renderer: expected \"maya\", \"mentalray\" or \"both\", not " + show(renderer));
    job.settings.width = integer(request.value("width", json(480)), "width", 1, kMaxSize);
    job.settings.height = integer(request.value("height", json(360)), "height", 1, kMaxSize);
    job.settings.samples = integer(request.value("samples", json(1)), "samples", 1, kMaxSamples);
    const json format = request.value("format", json("png"));
    if (format != "png" && format != "exr")
        throw BadRequest("format: expected \"png\" or \"exr\", not " + show(format));
    job.format = format.get<std::string>();

    if (request.contains("settings")) {
        const json& settings = request["settings"];
        if (!settings.is_object())
            throw BadRequest("settings: expected an object of NAME: VALUE, not " + show(settings));
        for (const auto& item : settings.items()) {
            auto c = std::find_if(controls.begin(), controls.end(), [&](const Control& c) { return c.name == item.key(); });
            if (c == controls.end())
                throw BadRequest("settings: unknown attribute or parameter '" + item.key() + "'");
            job.settings.settings.push_back(settingOf(*c, item.value()));
        }
    }

    // Checked here, then handed on in the command line's words so that the
    // page and `coolwarm render` pose the scene alike.
    const Orbit& camera = job.scene->camera;
    if (request.contains("camera")) {
        const json& c = request["camera"];
        onlyKeys(c, "camera", {"azimuth", "elevation", "distance"});
        job.camera = formatFloat(number(c.value("azimuth", json(camera.azimuth)), "camera.azimuth", -360.0, 360.0)) +
                     "," +
                     formatFloat(number(c.value("elevation", json(camera.elevation)), "camera.elevation", -90.0, 90.0));
        if (c.contains("distance"))
            job.camera += "," + formatFloat(number(c["distance"], "camera.distance", 0.01 * camera.distance,
                                                   100.0 * camera.distance));
    }
    const Orbit& light = job.scene->light;
    if (request.contains("light")) {
        const json& l = request["light"];
        onlyKeys(l, "light", {"azimuth", "elevation", "intensity"});
        if (job.scene->keyLight.empty())
            throw BadRequest("light: the scene has no light to move");
        job.light = job.scene->keyLight + "=" +
                    formatFloat(number(l.value("azimuth", json(light.azimuth)), "light.azimuth", -360.0, 360.0)) + "," +
                    formatFloat(number(l.value("elevation", json(light.elevation)), "light.elevation", -90.0, 90.0)) +
                    "," + formatFloat(number(l.value("intensity", json(light.intensity)), "light.intensity", 0.0, 10.0));
    }
    return job;
}

Scene posedScene(const RenderJob& job)
{
    Scene scene = job.scene->scene;
    if (!job.camera.empty())
        applyCameraOption(scene, job.camera);
    if (!job.light.empty())
        applyLightOption(scene, job.light);
    return scene;
}

// At most one render at a time. A new request supersedes every queued one and
// cancels the running one, so an interactive client is never behind.
class RenderGate {
public:
    enum Outcome { Done, SupersededQueued, SupersededRunning };

    template <class Work>
    Outcome run(Work work)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const unsigned long ticket = ++latest_;
        if (running_)
            running_->store(true);
        changed_.notify_all();
        changed_.wait(lock, [&] { return !busy_ || latest_ != ticket; });
        if (latest_ != ticket || stopping_)
            return SupersededQueued;
        busy_ = true;
        std::atomic<bool> cancel{false};
        running_ = &cancel;
        lock.unlock();
        struct Release {
            RenderGate& gate;
            ~Release()
            {
                std::lock_guard<std::mutex> l(gate.mutex_);
                gate.busy_ = false;
                gate.running_ = nullptr;
                gate.changed_.notify_all();
            }
        } release{*this};
        work(cancel);
        return cancel.load() ? SupersededRunning : Done;
    }

    // Cancels everything, for shutting down.
    void stop()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        ++latest_;
        if (running_)
            running_->store(true);
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned long latest_ = 0;
    bool busy_ = false, stopping_ = false;
    std::atomic<bool>* running_ = nullptr;
};

ordered_json controlJson(const Control& c)
{
    static const char* const kKinds[] = {"float", "color", "boolean"};
    ordered_json j{{"name", c.name}, {"group", c.group}, {"type", kKinds[c.kind]}};
    if (c.kind == Control::Boolean)
        j["default"] = c.defaults[0] != 0.0;
    else if (c.kind == Control::Color)
        j["default"] = c.defaults;
    else
        j["default"] = c.defaults[0];
    j["min"] = c.hasMin ? ordered_json(c.min) : ordered_json(nullptr);
    j["max"] = c.hasMax ? ordered_json(c.max) : ordered_json(nullptr);
    if (c.kind == Control::Float) {
        j["softMin"] = c.softMin;
        j["softMax"] = c.softMax;
    }
    j["renderers"] = ordered_json::array();
    if (c.maya)
        j["renderers"].push_back("maya");
    if (c.mentalray)
        j["renderers"].push_back("mentalray");
    return j;
}

ordered_json cameraJson(const Orbit& o)
{
    return ordered_json{{"azimuth", o.azimuth},
                        {"elevation", o.elevation},
                        {"distance", o.distance},
                        {"minDistance", 0.01 * o.distance},
                        {"maxDistance", 100.0 * o.distance}};
}

ordered_json schemaJson(const std::vector<Control>& controls, const std::vector<SceneEntry>& scenes,
                        const MayaPlugin& plugin, const MentalRayShader& shader)
{
    ordered_json groups = ordered_json::array();
    for (const auto& g : kGroups)
        groups.push_back(g.first);
    groups.push_back(kExtraGroup);
    ordered_json controlList = ordered_json::array();
    for (const Control& c : controls)
        controlList.push_back(controlJson(c));
    ordered_json sceneList = ordered_json::array();
    for (const SceneEntry& e : scenes) {
        // The scene's own look, which applies before the request's settings.
        ordered_json look = ordered_json::object();
        for (const Setting& s : e.scene.material) {
            auto c = std::find_if(controls.begin(), controls.end(), [&](const Control& c) { return c.name == s.name; });
            if (c == controls.end())
                continue;
            if (c->kind == Control::Boolean)
                look[s.name] = s.numbers.at(0) != 0.0;
            else if (c->kind == Control::Color)
                look[s.name] = s.numbers;
            else
                look[s.name] = s.numbers.at(0);
        }
        const ordered_json light{{"name", e.keyLight},
                                 {"azimuth", e.light.azimuth},
                                 {"elevation", e.light.elevation},
                                 {"intensity", e.light.intensity}};
        sceneList.push_back(ordered_json{{"id", e.id},
                                         {"label", e.label},
                                         {"description", e.scene.description},
                                         {"look", look},
                                         {"camera", cameraJson(e.camera)},
                                         {"light", light}});
    }
    return ordered_json{
        {"groups", groups},
        {"controls", controlList},
        {"scenes", sceneList},
        {"renderers", {"both", "maya", "mentalray"}},
        {"formats", {"png", "exr"}},
        {"limits",
         {{"maxWidth", kMaxSize}, {"maxHeight", kMaxSize}, {"maxSamples", kMaxSamples},
          {"maxRequestBytes", kMaxRequestBytes}}},
        {"node", describeNode(plugin)},
        {"shader", describeShader(shader)},
    };
}

void sendError(httplib::Response& res, int status, const std::string& message, ordered_json extra = ordered_json::object())
{
    ordered_json body{{"error", message}};
    body.update(extra);
    res.status = status;
    res.set_content(body.dump() + "\n", "application/json");
}

// The Host values a browser sends for the served address. Anything else is a
// page on another name trying to reach this server through the browser.
std::set<std::string> allowedHosts(const std::string& host, int port)
{
    const std::string p = ":" + std::to_string(port);
    const bool v6 = host.find(':') != std::string::npos;
    std::set<std::string> hosts{(v6 ? "[" + host + "]" : host) + p};
    if (host == "127.0.0.1" || host == "localhost" || host == "::1" || host == "0.0.0.0" || host == "::")
        hosts.insert({"127.0.0.1" + p, "localhost" + p, "[::1]" + p});
    if (port == 80) {
        std::set<std::string> bare;
        for (const std::string& h : hosts)
            bare.insert(h.substr(0, h.size() - p.size()));
        hosts.insert(bare.begin(), bare.end());
    }
    return hosts;
}

std::string urlOf(const std::string& host, int port)
{
    const std::string shown = host == "0.0.0.0" ? "127.0.0.1" : host == "::" ? "::1" : host;
    return "http://" + (shown.find(':') != std::string::npos ? "[" + shown + "]" : shown) + ":" +
           std::to_string(port) + "/";
}

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int runServe(const ServeOptions& options)
{
    // Everything is loaded before the first request: no request names a file.
    const InstallLayout layout = findLayout();
    const MayaPlugin plugin(layout);
    const MentalRayShader shader(layout);
    const std::vector<Control> controls = buildControls(plugin, shader);
    std::vector<SceneEntry> scenes;
    const std::vector<Setting> look = builtinLook();
    scenes.push_back(makeEntry("built-in", "Built-in scene", defaultScene(), look));
    scenes.push_back(makeEntry("swatch", "Sphere swatch", swatchScene(), look));
    for (const std::string& path : options.scenes) {
        if (std::any_of(scenes.begin(), scenes.end(), [&](const SceneEntry& e) { return e.id == path; }))
            throw InputError("--scene '" + path + "': named twice");
        scenes.push_back(makeEntry(path, baseName(path), loadObjScene(path, kDefaultCreaseDegrees), look));
    }
    const std::string schema = schemaJson(controls, scenes, plugin, shader).dump();
    const std::string version =
        ordered_json{{"tool", "coolwarm"},
                     {"version", COOLWARM_VERSION},
                     {"node", {{"name", plugin.type().name}, {"id", plugin.type().id}}},
                     {"shader", {{"name", shader.declaration().name}, {"version", shader.declaration().version}}}}
            .dump();

    // SIGINT and SIGTERM go to one thread, which stops the server; every
    // other thread inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(16); };
    // The library's default also sets SO_REUSEPORT, which would let a second
    // server share the port unnoticed.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server.set_payload_max_length(kMaxRequestBytes);
    server.set_read_timeout(10);
    server.set_write_timeout(10);
    server.set_keep_alive_timeout(2);

    int port = options.port;
    if (port == 0)
        port = server.bind_to_any_port(options.host);
    else if (!server.bind_to_port(options.host, port))
        port = -1;
    if (port <= 0)
        throw InputError("--host '" + options.host + "' --port " + std::to_string(options.port) +
                         ": cannot listen there (in use, or not an address of this machine)");
    const std::set<std::string> hosts = allowedHosts(options.host, port);

    server.set_pre_routing_handler([&](const httplib::Request& req, httplib::Response& res) {
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Cache-Control", "no-store");
        const std::string host = req.get_header_value("Host");
        if (hosts.count(host))
            return httplib::Server::HandlerResponse::Unhandled;
        sendError(res, 403, "Host '" + host + "' is not the address this server serves (" + urlOf(options.host, port) + ")");
        return httplib::Server::HandlerResponse::Handled;
    });

    for (int i = 0; i < kWebAssetCount; ++i) {
        const WebAsset& asset = kWebAssets[i];
        server.Get(asset.path, [&asset](const httplib::Request&, httplib::Response& res) {
            res.set_header("Content-Security-Policy",
                           "default-src 'self'; img-src 'self' blob: data:; object-src 'none'; base-uri 'none'; "
                           "frame-ancestors 'none'");
            res.set_content(asset.body, asset.size, asset.type);
        });
    }
    server.Get("/api/version", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(version, "application/json");
    });
    server.Get("/api/schema", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(schema, "application/json");
    });

    RenderGate gate;
    server.Post("/api/render", [&](const httplib::Request& req, httplib::Response& res) {
        RenderJob job;
        try {
            // A JSON body cannot be sent across origins without the browser
            // asking first, and this server never says yes.
            const std::string type = req.get_header_value("Content-Type");
            if (type.compare(0, 16, "application/json") != 0)
                throw BadRequest("Content-Type: expected application/json, not '" + type + "'");
            job = parseRenderRequest(parseBody(req.body), controls, scenes);
        } catch (const BadRequest& e) {
            sendError(res, 400, e.what());
            return;
        }
        Scene scene;
        try {
            scene = posedScene(job);
        } catch (const InputError& e) {
            sendError(res, 400, e.what());
            return;
        }
        job.settings.linearOutput = job.format == "exr";
        job.settings.labels = false;  // the page names the panels itself
        int tilesDone = 0, tiles = 0;
        job.settings.progress = [&](int done, int total) {
            tilesDone = done;
            tiles = total;
        };
        Image image;
        double seconds = 0.0;
        const RenderGate::Outcome outcome = gate.run([&](const std::atomic<bool>& cancel) {
            job.settings.cancel = &cancel;
            const auto start = std::chrono::steady_clock::now();
            try {
                image = render(scene, job.settings, job.settings.renderer == Renderer::MentalRay ? nullptr : &plugin,
                               job.settings.renderer == Renderer::Maya ? nullptr : &shader);
            } catch (const RenderCancelled&) {
                return;
            }
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        });
        if (outcome != RenderGate::Done) {
            sendError(res, 409, "superseded by a newer render request",
                      {{"stage", outcome == RenderGate::SupersededQueued ? "queued" : "running"},
                       {"tilesDone", tilesDone},
                       {"tiles", tiles}});
            return;
        }
        std::string panels;
        for (const std::string& p : image.panels)
            panels += (panels.empty() ? "" : ",") + p;
        res.set_header("X-Coolwarm-Panels", panels);
        res.set_header("X-Coolwarm-Render-Seconds", std::to_string(seconds));
        res.set_content(encodeImage(image, job.format,
                                    "coolwarm preview of " + scene.description + "; panels from the left: " + panels),
                        job.format == "png" ? "image/png" : "image/x-exr");
    });
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr failure) {
        std::string why = "unknown failure";
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            why = e.what();
        } catch (...) {
        }
        std::fprintf(stderr, "coolwarm: internal failure: %s\n", why.c_str());
        sendError(res, 500, "internal failure: " + why);
    });

    std::atomic<bool> done{false};
    std::thread signalWaiter([&] {
        const timespec poll{0, 200 * 1000 * 1000};
        while (!done.load())
            if (sigtimedwait(&stopSignals, nullptr, &poll) > 0) {
                gate.stop();
                // stop() does nothing until the server has begun listening.
                while (!done.load() && !server.is_running())
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                server.stop();
                return;
            }
    });
    std::printf("coolwarm lookdev page: %s  (Ctrl-C stops)\n", urlOf(options.host, port).c_str());
    std::fflush(stdout);
    const bool listened = server.listen_after_bind();
    done = true;
    signalWaiter.join();
    std::printf("stopped\n");
    return listened ? kExitOk : kExitInternal;
}

}  // namespace cwtool
