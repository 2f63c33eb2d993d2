#include "reference.h"

#include "core/values.h"

#include <cctype>

namespace cwtool {

namespace {

// In each group's order, the groups in the Attribute Editor's.
const AttributeNote kNotes[] = {
    {"color", "Cool/Warm Tones", "surface colour: its alpha and beta shares go into the cool and warm colours"},
    {"alpha", "Cool/Warm Tones", "share of the colour in the cool colour, where the surface faces a light"},
    {"beta", "Cool/Warm Tones", "share of the colour in the warm colour, where it faces away"},
    {"blue", "Cool/Warm Tones", "blue of the cool colour's base (0, 0, blue)"},
    {"yellow", "Cool/Warm Tones", "red and green of the warm colour's base (yellow, yellow, 0)"},
    {"diffuse", "Cool/Warm Tones", "scale of the cool-to-warm tone"},
    {"outLineColor", "Outline", "colour the silhouette is tinted with"},
    {"outLineWidth", "Outline", "width of the silhouette band, from 0 (none) to 1"},
    {"specularColor", "Specular Shading", "colour of the highlight"},
    {"eccentricity", "Specular Shading",
     "size of the highlight: the node's exponent is 6 / eccentricity, the shader's is eccentricity itself"},
    {"specularRollOff", "Specular Shading", "scale of the highlight"},
    {"transparency", "Common Material Attributes", "scales the colour and lets the background show through"},
    {"ambientColor", "Common Material Attributes", "ambient colour, added times the colour"},
    {"incandescence", "Common Material Attributes", "added unchanged: the surface's own glow"},
    {"translucence", "Common Material Attributes", "light that the surface lets through from behind"},
    {"computeIrradiance", "Irradiance", "adds the renderer's irradiance times the colour"},
    {"irradianceColor", "Irradiance", "scales the irradiance term; black switches it off"},
};

}  // namespace

const std::vector<std::string>& attributeGroups()
{
    static const std::vector<std::string> groups = [] {
        std::vector<std::string> g;
        for (const AttributeNote& n : kNotes)
            if (g.empty() || g.back() != n.group)
                g.push_back(n.group);
        return g;
    }();
    return groups;
}

const AttributeNote* attributeNote(const std::string& name)
{
    for (const AttributeNote& n : kNotes)
        if (name == n.name)
            return &n;
    return nullptr;
}

std::string groupOf(const std::string& name)
{
    const AttributeNote* n = attributeNote(name);
    return n ? n->group : kExtraGroup;
}

bool isUserAttribute(const mayahost::NodeType& node, const mayahost::Attribute& a)
{
    if (!nodeHasInput(node, a.longName) || a.parent || a.flags.hidden)
        return false;
    return a.kind == mayahost::AttrKind::Boolean || a.kind == mayahost::AttrKind::Float ||
           (a.kind == mayahost::AttrKind::Compound && a.flags.usedAsColor);
}

bool isUserParameter(const mrhost::Parameter& p)
{
    return !p.array && (p.type == "boolean" || p.type == "color" || p.type == "scalar");
}

std::string niceName(const std::string& name)
{
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (i && std::isupper(static_cast<unsigned char>(c)) &&
            (std::islower(static_cast<unsigned char>(name[i - 1])) || std::isdigit(static_cast<unsigned char>(name[i - 1]))))
            out += ' ';
        out += i ? c : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

}  // namespace cwtool
