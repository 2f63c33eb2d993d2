#include "describe.h"

#include "core/deliverables.h"
#include "core/values.h"
#include "look/reference.h"

#include <algorithm>

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

std::string hexId(unsigned id)
{
    std::ostringstream s;
    s << "0x" << std::hex << id;
    return s.str();
}

}  // namespace

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

namespace {

// One row of the reference: what each side says of a name.
struct Row {
    std::string name, type;
    const mayahost::Attribute* attribute = nullptr;
    const mrhost::Parameter* parameter = nullptr;
};

std::string numbers(const float* v, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += (i ? " " : "") + formatFloat(v[i]);
    return out;
}

std::string defaultText(const Row& r)
{
    std::string node, shader;
    if (r.attribute) {
        const mayahost::Attribute& a = *r.attribute;
        node = a.kind == mayahost::AttrKind::Boolean ? (a.defaultValue[0] != 0.0f ? "on" : "off")
                                                    : numbers(a.defaultValue, a.valueCount());
    }
    if (r.parameter && !r.parameter->defaults.empty()) {
        const mrhost::Parameter& p = *r.parameter;
        float v[3];
        const int count = p.type == "color" ? 3 : 1;
        for (int i = 0; i < count; ++i)
            v[i] = static_cast<float>(p.defaults[i]);
        shader = p.type == "boolean" ? (v[0] != 0.0f ? "on" : "off") : numbers(v, count);
    }
    if (node.empty() || shader.empty() || node == shader)
        return node.empty() ? shader : node;
    return node + " (Maya), " + shader + " (mental ray)";
}

std::string rangeText(const Row& r)
{
    if (r.type == "boolean")
        return "on or off";
    if (r.type != "float")
        return "any";
    if (r.attribute) {
        const mayahost::Attribute& a = *r.attribute;
        if (a.hardMin.set || a.hardMax.set)
            return (a.hardMin.set ? formatFloat(a.hardMin.value[0]) : "any") + " to " +
                   (a.hardMax.set ? formatFloat(a.hardMax.value[0]) : "any");
        if (a.softMin.set || a.softMax.set)
            return "slider " + (a.softMin.set ? formatFloat(a.softMin.value[0]) : "0") + " to " +
                   (a.softMax.set ? formatFloat(a.softMax.value[0]) : "1");
        return "any";
    }
    const auto lo = r.parameter->hints.find("softmin"), hi = r.parameter->hints.find("softmax");
    if (lo != r.parameter->hints.end() && hi != r.parameter->hints.end())
        return "slider " + formatFloat(static_cast<float>(lo->second)) + " to " +
               formatFloat(static_cast<float>(hi->second));
    return "any";
}

}  // namespace

std::string describeMarkdown(const MayaPlugin& plugin, const MentalRayShader& shader)
{
    std::vector<Row> rows;
    for (const auto& a : plugin.type().attributes)
        if (isUserAttribute(plugin.type(), *a))
            rows.push_back({a->longName,
                            a->kind == mayahost::AttrKind::Boolean ? "boolean"
                            : a->kind == mayahost::AttrKind::Compound ? "color" : "float",
                            a.get(), nullptr});
    for (const mrhost::Parameter& p : shader.declaration().parameters) {
        if (!isUserParameter(p))
            continue;
        auto same = std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.name == p.name; });
        if (same != rows.end())
            same->parameter = &p;
        else
            rows.push_back({p.name, p.type == "scalar" ? "float" : p.type, nullptr, &p});
    }
    // The Attribute Editor's groups in order, each in its own order; the rest last.
    auto rank = [](const Row& r) {
        const std::vector<std::string>& groups = attributeGroups();
        const std::string group = groupOf(r.name);
        return static_cast<std::size_t>(std::find(groups.begin(), groups.end(), group) - groups.begin());
    };
    std::stable_sort(rows.begin(), rows.end(), [&](const Row& a, const Row& b) { return rank(a) < rank(b); });

    std::string out = "| name | nice name | group | type | default | range | meaning | renderers |\n"
                      "|---|---|---|---|---|---|---|---|\n";
    for (const Row& r : rows) {
        const AttributeNote* note = attributeNote(r.name);
        const std::string renderers = r.attribute && r.parameter ? "Maya, mental ray" : r.attribute ? "Maya" : "mental ray";
        out += "| `" + r.name + "` | " + niceName(r.name) + " | " + groupOf(r.name) + " | " + r.type + " | " +
               defaultText(r) + " | " + rangeText(r) + " | " + (note ? note->meaning : "") + " | " + renderers + " |\n";
    }
    return out;
}

}  // namespace cwtool
