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

// The value for `name` as control `c` takes it.
Setting settingOf(const Control& c, const std::string& name, const json& value)
{
    const std::string what = "settings." + name;
    const double lo = c.hasMin ? c.min : -1e6, hi = c.hasMax ? c.max : 1e6;
    Setting s{name, {}};
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

Look parseSettings(const json& settings, const std::vector<Control>& controls, const std::vector<Control>& sides)
{
    if (!settings.is_object())
        throw BadRequest("settings: expected an object of NAME: VALUE, not " + show(settings));
    Look bare, prefixed;
    for (const auto& item : settings.items()) {
        const std::string& name = item.key();
        auto c = std::find_if(controls.begin(), controls.end(), [&](const Control& c) { return c.name == name; });
        const SettingTarget t = targetOf(name);
        const bool isBare = t.maya && t.mentalRay;
        if (c != controls.end()) {
            (isBare ? bare : prefixed).set(settingOf(*c, name, item.value()));
            continue;
        }
        // A name the controls do not list as it is: each side that has it
        // checks the value against its own range.
        Setting s;
        for (const Control& side : sides)
            if (side.name == t.name && ((side.maya && t.maya) || (side.mentalray && t.mentalRay)))
                s = settingOf(side, name, item.value());
        if (s.name.empty())
            throw BadRequest("settings: unknown attribute or parameter '" + name + "'" +
                             (!t.mentalRay ? " of node coolwarm" : !t.maya ? " of shader zarn_coolwarm" : ""));
        (isBare ? bare : prefixed).set(s);
    }
    bare.set(prefixed);
    return bare;
}

ExportJob parseExportRequest(const json& request, const std::vector<Control>& controls,
                             const std::vector<Control>& sides)
{
    onlyKeys(request, "the request", {"format", "settings", "name"});
    ExportJob job;
    const json format = request.value("format", json(nullptr));
    if (!format.is_string() || !parseExportFormat(format.get<std::string>(), job.format))
        throw BadRequest(std::string("format: expected one of ") + kExportFormats + ", not " + show(format));
    job.look = builtinLook();
    if (request.contains("settings"))
        job.look.set(parseSettings(request["settings"], controls, sides));
    if (request.contains("name")) {
        const json& name = request["name"];
        if (!name.is_string())
            throw BadRequest("name: expected a node name, not " + show(name));
        job.name = name.get<std::string>();
        try {
            checkExportName(job.name, "name");
        } catch (const InputError& e) {
            throw BadRequest(e.what());
        }
    }
    return job;
}

std::vector<std::string> settingNotes(const RenderJob& job, const std::vector<Control>& controls,
                                      const MayaPlugin& plugin, const MentalRayShader& shader)
{
    auto sameFloats = [](const std::vector<double>& a, const std::vector<double>& b) {
        if (a.size() != b.size())
            return false;
        for (std::size_t i = 0; i < a.size(); ++i)
            if (static_cast<float>(a[i]) != static_cast<float>(b[i]))
                return false;
        return true;
    };
    std::vector<Setting> changed;
    for (const Setting& s : job.settings.settings.values) {
        const Setting* base = job.scene->scene.material.find(s.name);
        auto c = std::find_if(controls.begin(), controls.end(), [&](const Control& c) { return c.name == s.name; });
        const bool same = base ? sameFloats(base->numbers, s.numbers) : c != controls.end() && sameFloats(c->defaults, s.numbers);
        if (!same)
            changed.push_back(s);
    }
    // One at a time: a value for the panel that is not drawn is a note here,
    // not a refusal (the page sends every value whichever panels it asks for).
    std::vector<std::string> notes;
    for (const Setting& s : changed) {
        try {
            const std::vector<std::string> more = checkSettings({s}, "setting", true, job.settings.renderer, plugin, shader);
            notes.insert(notes.end(), more.begin(), more.end());
        } catch (const InputError& e) {
            notes.push_back(e.what());
        }
    }
    return notes;
}

RenderJob parseRenderRequest(const json& request, const std::vector<Control>& controls,
                             const std::vector<Control>& sides, const std::vector<SceneEntry>& scenes)
{
    onlyKeys(request, "the request",
             {"scene", "renderer", "width", "height", "samples", "format", "settings", "camera", "light", "background",
              "up"});
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

    const json up = request.value("up", json("y"));
    if (!up.is_string() || !parseUpAxis(up.get<std::string>(), job.up))
        throw BadRequest("up: expected \"y\" or \"z\", not " + show(up));
    if (job.up != UpAxis::Y && !job.scene->fromObj)
        throw BadRequest("up: the built-in scenes stand y up; only an OBJ scene takes another axis");

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

    if (request.contains("settings"))
        job.settings.settings = parseSettings(request["settings"], controls, sides);

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
        onlyKeys(l, "light", {"azimuth", "elevation", "intensity", "on"});
        if (job.scene->keyLight.empty())
            throw BadRequest("light: the scene has no light to move");
        const json on = l.value("on", json(true));
        if (!on.is_boolean())
            throw BadRequest("light.on: expected true or false, not " + show(on));
        job.light = job.scene->keyLight + "=" +
                    formatFloat(number(l.value("azimuth", json(light.azimuth)), "light.azimuth", -360.0, 360.0)) + "," +
                    formatFloat(number(l.value("elevation", json(light.elevation)), "light.elevation", -90.0, 90.0)) +
                    "," + formatFloat(number(l.value("intensity", json(light.intensity)), "light.intensity", 0.0, 10.0));
        if (!on.get<bool>())
            job.light = job.scene->keyLight + "=off";
    }
    if (request.contains("background")) {
        const json& b = request["background"];
        if (b.is_array() && b.size() == 3)
            for (std::size_t i = 0; i < 3; ++i)
                job.background += (i ? "," : "") + formatFloat(number(b[i], "background[" + std::to_string(i) + "]",
                                                                      0.0, 1000.0));
        else if (b.is_number())
            job.background = formatFloat(number(b, "background", 0.0, 1000.0));
        else
            throw BadRequest("background: expected a grey level or a colour [r, g, b], not " + show(b));
    }
    return job;
}

Scene posedScene(const RenderJob& job)
{
    Scene scene = job.scene->scene;
    standUp(scene, job.up);
    if (!job.camera.empty())
        applyCameraOption(scene, job.camera);
    if (!job.light.empty())
        applyLightOption(scene, job.light);
    if (!job.background.empty())
        scene.background = parseBackground(job.background);
    return scene;
}

}  // namespace lookdev
}  // namespace cwtool
