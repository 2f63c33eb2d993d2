#include "values.h"

#include "errors.h"
#include "workLimits.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace cwtool {

Setting parseSetting(const std::string& text)
{
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == text.size())
        throw InputError("--set '" + text + "': expected NAME=VALUE, such as color=0.8,0.3,0.1");
    Setting s;
    s.name = text.substr(0, eq);
    const std::string value = text.substr(eq + 1);
    if (value == "true" || value == "on") {
        s.numbers = {1.0};
        return s;
    }
    if (value == "false" || value == "off") {
        s.numbers = {0.0};
        return s;
    }
    std::stringstream parts(value);
    std::string part;
    while (std::getline(parts, part, ',')) {
        char* end = nullptr;
        const double v = std::strtod(part.c_str(), &end);
        if (part.empty() || *end)
            throw InputError("--set '" + text + "': '" + part + "' is not a number");
        if (!isSingle(v))
            throw InputError("--set '" + text + "': " + notSingle(part));
        s.numbers.push_back(v);
    }
    if (!value.empty() && value.back() == ',')
        throw InputError("--set '" + text + "': a value is missing after the last comma");
    return s;
}

bool nodeHasInput(const mayahost::NodeType& type, const std::string& name)
{
    const mayahost::Attribute* a = type.find(name);
    return a && a->flags.writable && !(a->parent && !a->parent->flags.writable) && !a->arrayRoot &&
           !a->flags.array;
}

bool shaderHasParameter(const mrhost::Declaration& declaration, const std::string& name)
{
    const mrhost::Parameter* p = declaration.find(name);
    return p && !p->array;
}

namespace {
// The numbers as the host takes them; it refuses a count other than the
// attribute's before it reads a value.
mayahost::AttrValue attrValueOf(const std::vector<double>& numbers)
{
    mayahost::AttrValue v;
    v.count = static_cast<int>(std::min<std::size_t>(numbers.size(), 1000));
    for (int i = 0; i < 3 && i < static_cast<int>(numbers.size()); ++i)
        v.v[i] = static_cast<float>(numbers[i]);
    return v;
}
}  // namespace

void setNodeValue(mayahost::Node& node, const std::string& name, const std::vector<double>& numbers)
{
    try {
        node.setAttr(name, attrValueOf(numbers));
    } catch (const mayahost::Error& e) {
        throw InputError(e.what());
    }
}

void setNodeValue(mayahost::Node& node, const mayahost::Attribute& attribute, const std::string& name,
                  const std::vector<double>& numbers)
{
    try {
        node.setAttr(attribute, name, attrValueOf(numbers));
    } catch (const mayahost::Error& e) {
        throw InputError(e.what());
    }
}

void setShaderValue(mrhost::BlockBuilder& builder, const std::string& name, const std::vector<double>& numbers)
{
    try {
        builder.set(name, numbers);
    } catch (const mrhost::DeclarationError& e) {
        throw InputError(e.what());
    }
}

void setShaderValue(mrhost::BlockBuilder& builder, const mrhost::Parameter& parameter,
                    const std::vector<double>& numbers)
{
    try {
        builder.set(parameter, numbers);
    } catch (const mrhost::DeclarationError& e) {
        throw InputError(e.what());
    }
}

std::size_t formatFloat(float value, char* text)
{
    const char* special = std::isnan(value) ? "nan" : std::isinf(value) ? (value > 0 ? "inf" : "-inf") : nullptr;
    if (special) {
        const std::size_t n = std::strlen(special);
        std::memcpy(text, special, n);
        return n;
    }
    // The shortest text that reads back as the same single-precision value.
    return static_cast<std::size_t>(std::to_chars(text, text + kFloatText, value).ptr - text);
}

std::vector<double> parseNumbers(const std::string& text, const std::string& what, std::size_t least,
                                 std::size_t most)
{
    std::vector<double> out;
    std::stringstream parts(text);
    std::string part;
    while (std::getline(parts, part, ',')) {
        char* end = nullptr;
        const double v = std::strtod(part.c_str(), &end);
        if (part.empty() || *end)
            throw InputError(what + ": '" + part + "' is not a number");
        if (!isSingle(v))
            throw InputError(what + ": " + notSingle(part));
        out.push_back(v);
    }
    if (text.empty() || text.back() == ',' || out.size() < least || out.size() > most)
        throw InputError(what + ": expected " + std::to_string(least) +
                         (most > least ? " to " + std::to_string(most) : "") + " numbers separated by commas");
    return out;
}

std::string formatFloat(float value)
{
    char text[kFloatText];
    return std::string(text, formatFloat(value, text));
}

}  // namespace cwtool
