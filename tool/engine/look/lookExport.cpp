#include "lookExport.h"

#include "core/errors.h"

#include <algorithm>
#include <cctype>

namespace cwtool {

bool parseExportFormat(const std::string& text, ExportFormat& format)
{
    static const std::pair<const char*, ExportFormat> kNames[] = {
        {"mel", ExportFormat::Mel}, {"mel-preset", ExportFormat::MelPreset}, {"mi", ExportFormat::Mi},
        {"json", ExportFormat::Json}};
    for (const auto& n : kNames)
        if (text == n.first) {
            format = n.second;
            return true;
        }
    return false;
}

const char* exportExtension(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Mi: return "mi";
    case ExportFormat::Json: return "json";
    default: return "mel";
    }
}

void checkExportName(const std::string& name, const std::string& what)
{
    bool ok = !name.empty() && name.size() <= 64 && !std::isdigit(static_cast<unsigned char>(name[0]));
    for (char c : name)
        ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
    if (!ok)
        throw InputError(what + ": expected a name of letters, digits and underscores, not starting with a digit, "
                                "at most 64 characters");
}

namespace {

std::string numbersText(const std::vector<double>& numbers, std::size_t count)
{
    std::string out;
    for (std::size_t i = 0; i < count && i < numbers.size(); ++i)
        out += (i ? " " : "") + formatFloat(static_cast<float>(numbers[i]));
    return out;
}

// The node's side of the look, in the node's attribute order.
std::vector<std::pair<const mayahost::Attribute*, std::vector<double>>> nodeValues(const Look& look,
                                                                                    const mayahost::NodeType& node)
{
    const std::vector<Setting> side = look.side(true);
    std::vector<std::pair<const mayahost::Attribute*, std::vector<double>>> out;
    for (const auto& a : node.attributes) {
        auto s = std::find_if(side.begin(), side.end(), [&](const Setting& v) { return v.name == a->longName; });
        if (s != side.end() && nodeHasInput(node, a->longName) &&
            s->numbers.size() == static_cast<std::size_t>(a->valueCount()))
            out.push_back({a.get(), s->numbers});
    }
    return out;
}

std::string melScript(const Look& look, const std::string& name, const mayahost::NodeType& node)
{
    std::string out = "// coolwarm look: " + std::string(name.empty() ? "makes a coolwarm node" : "updates node " + name) +
                      " with the look's values.\n{\n";
    if (name.empty()) {
        out += "    string $node = `shadingNode -asShader " + node.name + "`;\n";
    } else {
        out += "    string $node = \"" + name + "\";\n";
        out += "    if (!`objExists $node`)\n        error (\"no node \" + $node);\n";
        out += "    if (`nodeType $node` != \"" + node.name + "\")\n        error ($node + \" is not a " + node.name +
               " node\");\n";
    }
    for (const auto& v : nodeValues(look, node)) {
        const mayahost::Attribute& a = *v.first;
        out += "    setAttr ($node + \"." + a.longName + "\")";
        if (a.kind == mayahost::AttrKind::Compound)
            out += " -type double3 " + numbersText(v.second, 3);
        else if (a.kind == mayahost::AttrKind::Boolean)
            out += std::string(" ") + (v.second[0] != 0.0 ? "true" : "false");
        else
            out += " " + numbersText(v.second, 1);
        out += ";\n";
    }
    return out + "}\n";
}

std::string melPreset(const Look& look, const mayahost::NodeType& node)
{
    // The form the Attribute Editor's Presets menu reads: every value on its
    // own (a compound as its children), blended in by the menu's percentage.
    std::string out = "// coolwarm look as an attribute preset of the " + node.name +
                      " node: save it as attrPresets/" + node.name +
                      "/NAME.mel in the user's Maya presets folder (such as ~/maya/2009/presets).\n";
    out += "startAttrPreset( \"" + node.name + "\" );\n";
    for (const auto& v : nodeValues(look, node)) {
        const mayahost::Attribute& a = *v.first;
        if (a.kind == mayahost::AttrKind::Compound && a.children.size() == 3)
            for (std::size_t i = 0; i < 3; ++i)
                out += "blendAttr \"" + a.children[i]->longName + "\" " + formatFloat(static_cast<float>(v.second[i])) +
                       ";\n";
        else
            out += "blendAttr \"" + a.longName + "\" " + numbersText(v.second, 1) + ";\n";
    }
    return out + "endAttrPreset();\n";
}

std::string shaderInstance(const Look& look, const std::string& name, const mrhost::Declaration& shader)
{
    const std::vector<Setting> side = look.side(false);
    std::vector<std::string> lines;
    for (const mrhost::Parameter& p : shader.parameters) {
        auto s = std::find_if(side.begin(), side.end(), [&](const Setting& v) { return v.name == p.name; });
        if (s == side.end() || !shaderHasParameter(shader, p.name))
            continue;
        if (p.type == "boolean")
            lines.push_back("\"" + p.name + "\" " + (s->numbers[0] != 0.0 ? "on" : "off"));
        else if (p.type == "integer")
            lines.push_back("\"" + p.name + "\" " + std::to_string(static_cast<long long>(s->numbers[0])));
        else
            lines.push_back("\"" + p.name + "\" " + numbersText(s->numbers, s->numbers.size()));
    }
    std::string out = "# coolwarm look: an instance of the shader " + shader.name +
                      " with the look's values; the declaration (" + shader.name + ".mi) comes first.\n";
    out += "shader \"" + name + "\" \"" + shader.name + "\" (";
    for (std::size_t i = 0; i < lines.size(); ++i)
        out += std::string(i ? "," : "") + "\n    " + lines[i];
    return out + (lines.empty() ? ")\n" : "\n)\n");
}

}  // namespace

std::string exportLook(const Look& look, ExportFormat format, const std::string& name, const mayahost::NodeType& node,
                       const mrhost::Declaration& shader)
{
    switch (format) {
    case ExportFormat::Mel: return melScript(look, name, node);
    case ExportFormat::MelPreset: return melPreset(look, node);
    case ExportFormat::Mi: return shaderInstance(look, name.empty() ? kDefaultExportName : name, shader);
    case ExportFormat::Json: {
        std::vector<std::string> booleans;
        for (const mrhost::Parameter& p : shader.parameters)
            if (p.type == "boolean")
                booleans.push_back(p.name);
        for (const auto& a : node.attributes)
            if (a->kind == mayahost::AttrKind::Boolean)
                booleans.push_back(a->longName);
        return lookJson(look, true, booleans);
    }
    }
    return "";
}

}  // namespace cwtool
