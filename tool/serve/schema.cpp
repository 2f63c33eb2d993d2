// What the page can tune and show: the controls, grouped as the attribute
// editor groups them, the scenes, and the schema that describes them.
#include "lookdev.h"

#include "look/reference.h"
#include "shade/describe.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace cwtool {
namespace lookdev {

namespace {

const float kPi = 3.14159265f;

// The attribute reference's one line on a control, with a capital letter and
// a full stop for a tooltip.
std::string description(const std::string& name)
{
    const AttributeNote* note = attributeNote(targetOf(name).name);
    if (!note)
        return "";
    std::string text = note->meaning;
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text + ".";
}

ordered_json controlJson(const Control& c)
{
    static const char* const kKinds[] = {"float", "color", "boolean"};
    ordered_json j{{"name", c.name},
                   {"group", c.group},
                   {"type", kKinds[c.kind]},
                   {"description", description(c.name)}};
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

}  // namespace

std::vector<Control> buildSideControls(const MayaPlugin& plugin, const MentalRayShader& shader)
{
    std::vector<Control> sides;
    for (const auto& a : plugin.type().attributes) {
        if (!isUserAttribute(plugin.type(), *a))
            continue;
        Control c;
        c.name = a->longName;
        c.maya = true;
        if (a->kind == mayahost::AttrKind::Boolean)
            c.kind = Control::Boolean;
        else if (a->kind == mayahost::AttrKind::Compound)
            c.kind = Control::Color;
        c.defaults.assign(a->defaultValue, a->defaultValue + a->valueCount());
        c.hasMin = a->hardMin.set;
        c.hasMax = a->hardMax.set;
        c.min = a->hardMin.value[0];
        c.max = a->hardMax.value[0];
        c.softMin = a->softMin.set ? a->softMin.value[0] : c.hasMin ? c.min : 0.0;
        c.softMax = a->softMax.set ? a->softMax.value[0] : c.hasMax ? c.max : 1.0;
        sides.push_back(c);
    }
    for (const mrhost::Parameter& p : shader.declaration().parameters) {
        if (!isUserParameter(p))
            continue;  // vectors are per-sample inputs
        Control c;
        c.name = p.name;
        c.mentalray = true;
        if (p.type == "boolean")
            c.kind = Control::Boolean;
        else if (p.type == "color")
            c.kind = Control::Color;
        const std::size_t count = c.kind == Control::Color ? 3 : 1;
        c.defaults.assign(p.defaults.begin(), p.defaults.begin() + std::min(count, p.defaults.size()));
        c.defaults.resize(count, 0.0);
        const auto hint = [&](const char* key, double& into) {
            const auto h = p.hints.find(key);
            if (h != p.hints.end())
                into = h->second;
            return h != p.hints.end();
        };
        hint("softmin", c.softMin);
        hint("softmax", c.softMax);
        c.hasMin = hint("min", c.min);
        c.hasMax = hint("max", c.max);
        sides.push_back(c);
    }
    return sides;
}

namespace {

// The value a look gives one side for a bare name, or null.
const Setting* sideValue(const std::vector<Setting>& side, const std::string& name)
{
    for (const Setting& s : side)
        if (s.name == name)
            return &s;
    return nullptr;
}

}  // namespace

std::vector<Control> buildControls(const std::vector<Control>& sides, const Look& look)
{
    const std::vector<Setting> mayaSide = look.side(true), mentalRaySide = look.side(false);
    std::vector<Control> controls;
    for (const Control& side : sides) {
        auto same = std::find_if(controls.begin(), controls.end(), [&](const Control& c) { return c.name == side.name; });
        if (same == controls.end()) {
            controls.push_back(side);
            continue;
        }
        // Both sides have it: one control, with the node's limits and range,
        // unless the look gives the sides different values.
        const Setting* onMaya = sideValue(mayaSide, side.name);
        const Setting* onMentalRay = sideValue(mentalRaySide, side.name);
        if (!onMaya || !onMentalRay || onMaya->numbers == onMentalRay->numbers) {
            same->mentalray = true;
            continue;
        }
        Control maya = *same, mentalray = side;
        maya.name = "maya:" + side.name;
        maya.defaults = onMaya->numbers;
        mentalray.name = "mentalray:" + side.name;
        mentalray.defaults = onMentalRay->numbers;
        *same = maya;
        controls.insert(same + 1, mentalray);
    }
    for (Control& c : controls) {
        c.group = groupOf(targetOf(c.name).name);
        if (c.kind == Control::Float) {
            c.softMin = std::min(c.softMin, c.defaults[0]);
            c.softMax = std::max(c.softMax, c.defaults[0]);
        }
    }
    return controls;
}

ordered_json lookObject(const Look& look, const std::vector<Control>& sides)
{
    std::vector<std::string> booleans;
    for (const Control& c : sides)
        if (c.kind == Control::Boolean)
            booleans.push_back(c.name);
    return ordered_json::parse(lookJson(look, false, booleans));
}

SceneEntry makeEntry(const std::string& id, const std::string& label, Scene scene, const Look& look)
{
    Look material = look;
    material.set(scene.material);
    scene.material = material;
    SceneEntry e{id, label, std::move(scene), {}, {}, {}};
    const Camera& c = e.scene.camera;
    const CameraView view = resolveCamera(e.scene, 4.0f / 3.0f);
    // In the file's units, as --camera takes it.
    e.camera = {c.azimuth, c.elevation,
                static_cast<float>(length(view.eye - view.target) * e.scene.placement.unit), 1.0f};
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

ordered_json schemaJson(const Look& look, const std::vector<Control>& controls, const std::vector<SceneEntry>& scenes,
                        const MayaPlugin& plugin, const MentalRayShader& shader)
{
    ordered_json groups = ordered_json::array();
    for (const std::string& g : attributeGroups())
        groups.push_back(g);
    groups.push_back(kExtraGroup);
    ordered_json controlList = ordered_json::array();
    for (const Control& c : controls)
        controlList.push_back(controlJson(c));
    ordered_json sceneList = ordered_json::array();
    for (const SceneEntry& e : scenes) {
        // The scene's own look, which applies before the request's settings.
        ordered_json look = ordered_json::object();
        for (const Setting& s : e.scene.material.values) {
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
        // What the page tells the user about the lights: which panels each
        // reaches, and at what intensity.
        ordered_json lights = ordered_json::array();
        for (const SceneLight& l : e.scene.lights) {
            ordered_json renderers = ordered_json::array();
            if (l.maya)
                renderers.push_back("maya");
            if (l.mentalRay)
                renderers.push_back("mentalray");
            lights.push_back(ordered_json{{"name", l.name}, {"intensity", l.intensity}, {"renderers", renderers}});
        }
        sceneList.push_back(ordered_json{{"id", e.id},
                                         {"label", e.label},
                                         {"description", e.scene.description},
                                         {"look", look},
                                         {"camera", cameraJson(e.camera)},
                                         {"light", light},
                                         {"lights", lights},
                                         {"background", {e.scene.background.x, e.scene.background.y,
                                                         e.scene.background.z}},
                                         {"upAxes", e.fromObj ? ordered_json{"y", "z"} : ordered_json{"y"}}});
    }
    return ordered_json{
        {"look", lookObject(look, controls)},
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

}  // namespace lookdev
}  // namespace cwtool
