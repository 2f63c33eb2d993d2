// POST /api/render's body: read, its depth bounded, every field checked, the
// scene posed as the command line would pose it.
#include "lookdev.h"

#include "core/errors.h"
#include "core/jsonInput.h"
#include "scene/sceneFile.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace cwtool {
namespace lookdev {

namespace {

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

}  // namespace

json parseBody(const std::string& body)
{
    // Size, depth, encoding and numbers are checked before anything is built
    // from the text, as for every JSON the tool reads.
    try {
        checkJsonText(body, kMaxRequestBytes, "the request body");
        return json::parse(body);
    } catch (const InputError& e) {
        throw BadRequest(e.what());
    } catch (const json::exception& e) {
        throw BadRequest("malformed JSON: " + jsonErrorText(e));
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

}  // namespace lookdev
}  // namespace cwtool
