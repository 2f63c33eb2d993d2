#include "describe.h"

#include "core/deliverables.h"

#include <sstream>

namespace cwtool {

using nlohmann::ordered_json;

namespace {

ordered_json kindName(MPxNode::Type kind)
{
    const char* name = mayahost::nodeKindName(kind);
    return name ? ordered_json(name) : ordered_json("unknown");
}

ordered_json limit(const mayahost::Limit& l, int count)
{
    if (!l.set)
        return nullptr;
    if (count == 1)
        return l.value[0];
    return ordered_json::array({l.value[0], l.value[1], l.value[2]});
}

ordered_json defaultOf(const mayahost::Attribute& a)
{
    switch (a.kind) {
    case mayahost::AttrKind::Float: return a.defaultValue[0];
    case mayahost::AttrKind::Boolean: return a.defaultValue[0] != 0.0f;
    case mayahost::AttrKind::Compound:
        return ordered_json::array({a.defaultValue[0], a.defaultValue[1], a.defaultValue[2]});
    case mayahost::AttrKind::Address: return nullptr;
    case mayahost::AttrKind::LightData: {
        const mayahost::LightDefault& d = a.lightDefault;
        if (!d.set)
            return nullptr;
        return ordered_json{{"lightDirection", {d.direction[0], d.direction[1], d.direction[2]}},
                            {"lightIntensity", {d.intensity[0], d.intensity[1], d.intensity[2]}},
                            {"lightAmbient", d.ambient},
                            {"lightDiffuse", d.diffuse},
                            {"lightSpecular", d.specular},
                            {"lightShadowFraction", d.shadowFraction},
                            {"preShadowIntensity", d.preShadowIntensity},
                            {"lightBlindData", nullptr}};
    }
    }
    return nullptr;
}

// What each setting does, in one line; a prefixed entry says how that side
// reads a value the two sides read differently.
const std::pair<const char*, const char*> kSettingDescriptions[] = {
    {"color", "The surface colour; alpha and beta set how much of it the cool and warm tones take."},
    {"alpha", "Share of the surface colour in the cool tone (where the surface faces the light)."},
    {"beta", "Share of the surface colour in the warm tone (where the surface faces away)."},
    {"blue", "Strength of the blue in the cool tone."},
    {"yellow", "Strength of the yellow in the warm tone."},
    {"diffuse", "Scales the cool-to-warm tone of every light."},
    {"outLineColor", "Colour the silhouette is tinted with."},
    {"outLineWidth", "How far in from the silhouette the outline colour reaches (0: no outline)."},
    {"specularColor", "Colour of the highlight."},
    {"eccentricity", "Size of the highlight; the node and the shader read it differently."},
    {"maya:eccentricity", "Size of the highlight on the node: its exponent is 6 / eccentricity, so smaller is tighter."},
    {"mentalray:eccentricity", "The shader's highlight exponent itself: larger is tighter (40 matches the node's 0.15)."},
    {"specularRollOff", "Strength of the highlight."},
    {"transparency", "How much of the background shows through the surface (the node only)."},
    {"ambientColor", "Colour added wherever the surface is, lit or not."},
    {"incandescence", "Colour the surface gives off itself, added after the lighting."},
    {"translucence", "How much light passes through to the side facing away (the node only)."},
    {"computeIrradiance", "Adds the renderer's irradiance, tinted by irradianceColor (the shader only)."},
    {"irradianceColor", "Tint of the irradiance term when computeIrradiance is on (the shader only)."},
};

std::string hexId(unsigned id)
{
    std::ostringstream s;
    s << "0x" << std::hex << id;
    return s.str();
}

}  // namespace

std::string settingDescription(const std::string& name)
{
    for (const auto& d : kSettingDescriptions)
        if (name == d.first)
            return d.second;
    const std::size_t colon = name.find(':');
    return colon == std::string::npos ? std::string() : settingDescription(name.substr(colon + 1));
}

ordered_json describeNode(const MayaPlugin& plugin)
{
    const mayahost::NodeType& t = plugin.type();
    ordered_json attributes = ordered_json::array();
    for (const auto& a : t.attributes) {
        ordered_json children = ordered_json::array();
        for (const mayahost::Attribute* c : a->children)
            children.push_back(c->longName);
        ordered_json affects = ordered_json::array();
        for (const mayahost::Attribute* out : a->affects)
            affects.push_back(out->longName);
        const int count = a->valueCount();
        attributes.push_back(ordered_json{
            {"longName", a->longName},
            {"shortName", a->shortName},
            {"type", mayahost::kindName(a->kind)},
            {"parent", a->parent ? ordered_json(a->parent->longName) : ordered_json(nullptr)},
            {"children", children},
            {"default", defaultOf(*a)},
            {"min", limit(a->hardMin, count)},
            {"max", limit(a->hardMax, count)},
            {"softMin", limit(a->softMin, count)},
            {"softMax", limit(a->softMax, count)},
            {"keyable", a->flags.keyable},
            {"storable", a->flags.storable},
            {"readable", a->flags.readable},
            {"writable", a->flags.writable},
            {"connectable", a->flags.connectable},
            {"hidden", a->flags.hidden},
            {"usedAsColor", a->flags.usedAsColor},
            {"array", a->flags.array},
            {"affects", affects},
        });
    }
    return ordered_json{{"name", t.name},
                        {"id", t.id},
                        {"idHex", hexId(t.id)},
                        {"kind", kindName(t.kind)},
                        {"classification", t.classification},
                        {"attributeCount", t.attributes.size()},
                        {"attributes", attributes}};
}

ordered_json describeShader(const MentalRayShader& shader)
{
    const mrhost::Declaration& d = shader.declaration();
    ordered_json parameters = ordered_json::array();
    for (const mrhost::Parameter& p : d.parameters) {
        ordered_json entry{{"name", p.name},
                           {"type", p.array ? "array " + p.type : p.type},
                           {"offset", p.offset}};
        if (p.type == "boolean" && !p.defaults.empty())
            entry["default"] = p.defaults[0] != 0.0;
        else if (p.defaults.size() == 1)
            entry["default"] = p.defaults[0];
        else if (!p.defaults.empty())
            entry["default"] = p.defaults;
        else
            entry["default"] = nullptr;
        if (p.array)
            entry["elementOffset"] = p.elementOffset();
        if (!p.hints.empty())
            entry["hints"] = p.hints;
        parameters.push_back(entry);
    }
    ordered_json description{{"name", d.name},
                             {"returns", d.returnType},
                             {"version", d.version},
                             {"apply", d.apply},
                             {"file", d.file},
                             {"blockSize", d.blockSize},
                             {"parameters", parameters}};
    if (!d.hints.empty())
        description["hints"] = d.hints;  // Maya's node factory: the node id
    return description;
}

}  // namespace cwtool
