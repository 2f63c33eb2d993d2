#include "look.h"

#include "core/errors.h"
#include "core/fileInput.h"
#include "core/jsonInput.h"
#include "core/workLimits.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace cwtool {

using nlohmann::json;

SettingTarget targetOf(const std::string& name)
{
    SettingTarget t;
    t.name = name;
    if (name.compare(0, 5, "maya:") == 0) {
        t.mentalRay = false;
        t.name = name.substr(5);
    } else if (name.compare(0, 10, "mentalray:") == 0) {
        t.maya = false;
        t.name = name.substr(10);
    }
    return t;
}

void Look::set(const Setting& value)
{
    const SettingTarget t = targetOf(value.name);
    const bool bare = t.maya && t.mentalRay;
    // A bare name takes both sides: the prefixed values of its name go.
    if (bare)
        values.erase(std::remove_if(values.begin(), values.end(),
                                    [&](const Setting& s) {
                                        const SettingTarget o = targetOf(s.name);
                                        return o.name == t.name && !(o.maya && o.mentalRay);
                                    }),
                     values.end());
    for (Setting& s : values)
        if (s.name == value.name) {
            s.numbers = value.numbers;
            return;
        }
    values.push_back(value);
}

void Look::set(const Look& other)
{
    for (const Setting& s : other.values)
        set(s);
}

const Setting* Look::find(const std::string& name) const
{
    for (const Setting& s : values)
        if (s.name == name)
            return &s;
    return nullptr;
}

std::vector<Setting> Look::side(bool maya) const
{
    std::vector<Setting> out;
    for (const Setting& s : values) {
        const SettingTarget t = targetOf(s.name);
        if (maya ? !t.maya : !t.mentalRay)
            continue;
        auto same = std::find_if(out.begin(), out.end(), [&](const Setting& o) { return o.name == t.name; });
        if (same != out.end())
            same->numbers = s.numbers;
        else
            out.push_back({t.name, s.numbers});
    }
    return out;
}

bool operator==(const Look& a, const Look& b)
{
    if (a.values.size() != b.values.size())
        return false;
    for (std::size_t i = 0; i < a.values.size(); ++i)
        if (a.values[i].name != b.values[i].name || a.values[i].numbers != b.values[i].numbers)
            return false;
    return true;
}

Look builtinLook()
{
    // Little of the orange in the cool tone keeps it blue; half of it in the
    // warm tone makes that a yellow orange. The diffuse scale keeps the warm
    // colour plus the Maya fill's share below 1.
    Look look;
    look.values = {{"color", {0.9, 0.45, 0.1}},
                   {"alpha", {0.05}},
                   {"beta", {0.5}},
                   {"blue", {0.55}},
                   {"yellow", {0.45}},
                   {"diffuse", {0.85}},
                   {"specularColor", {0.5, 0.5, 0.5}},
                   {"specularRollOff", {0.6}},
                   // The node's exponent is 6 / eccentricity, the shader's is the
                   // value itself: the same small highlight on both.
                   {"maya:eccentricity", {0.15}},
                   {"mentalray:eccentricity", {40.0}},
                   // Narrow enough that noisy normals (a scan's) seldom dip below it
                   // inside the silhouette, wide enough to stay one unbroken band
                   // where a smooth model folds over itself.
                   {"outLineWidth", {0.2}},
                   {"outLineColor", {0.08, 0.06, 0.1}}};
    return look;
}

namespace {

template <class Json>
std::string shown(const Json& value)
{
    std::string s = value.dump();
    return s.size() > 40 ? s.substr(0, 37) + "..." : s;
}

template <class Json>
double lookNumber(const Json& v, const std::string& what, const std::string& field)
{
    if (!v.is_number())
        throw InputError(what + ": " + field + ": expected a number, got " + shown(v));
    const double d = v.template get<double>();
    if (!isSingle(d))
        throw InputError(what + ": " + field + ": " + notSingle(v.dump()));
    return d;
}

}  // namespace

namespace {

template <class Json>
Look lookFrom(const Json& object, const std::string& what, const std::string& field)
{
    if (!object.is_object())
        throw InputError(what + ": " + (field.empty() ? "the file" : field) +
                         ": expected an object of NAME: VALUE, got " + shown(object));
    Look look;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string f = field.empty() ? it.key() : field + "." + it.key();
        const SettingTarget t = targetOf(it.key());
        if (t.name.empty())
            throw InputError(what + ": " + f + ": the name is missing after the prefix");
        Setting s;
        s.name = it.key();
        const json& v = it.value();
        if (v.is_boolean())
            s.numbers = {v.template get<bool>() ? 1.0 : 0.0};
        else if (v.is_number())
            s.numbers = {lookNumber(v, what, f)};
        else if (v.is_array() && !v.empty() && v.size() <= 3)
            for (std::size_t i = 0; i < v.size(); ++i)
                s.numbers.push_back(lookNumber(v[i], what, f + "[" + std::to_string(i) + "]"));
        else
            throw InputError(what + ": " + f + ": expected a number, true/false or one to three numbers, got " +
                             shown(v));
        if (!(t.maya && t.mentalRay)) {
            look.set(s);
            continue;
        }
        // A bare value after prefixed ones of its name leaves them in force.
        std::vector<Setting> kept;
        for (const Setting& v : look.values)
            if (v.name != s.name && targetOf(v.name).name == t.name)
                kept.push_back(v);
        look.set(s);
        for (const Setting& v : kept)
            look.set(v);
    }
    return look;
}

}  // namespace

Look lookFromJson(const json& object, const std::string& what, const std::string& field)
{
    return lookFrom(object, what, field);
}

Look lookFromJson(const nlohmann::ordered_json& object, const std::string& what, const std::string& field)
{
    return lookFrom(object, what, field);
}

Look parseLook(const std::string& text, const std::string& what)
{
    // In the file's order, which is the order written back.
    return lookFromJson(parseJsonText<nlohmann::ordered_json>(text, kMaxJsonFileBytes, what), what, "");
}

std::string lookJson(const Look& look, bool pretty, const std::vector<std::string>& booleans)
{
    // Keys in the look's order, one a line when pretty; numbers through float
    // (every value reaches the deliverables in single precision) as the
    // float's shortest text, so 0.9 stays 0.9 rather than 0.899999976.
    std::string out = "{";
    for (std::size_t k = 0; k < look.values.size(); ++k) {
        const Setting& s = look.values[k];
        out += (k ? "," : "") + std::string(pretty ? "\n  " : "") + json(s.name).dump() + (pretty ? ": " : ":");
        const bool boolean = s.numbers.size() == 1 && std::find(booleans.begin(), booleans.end(),
                                                                targetOf(s.name).name) != booleans.end();
        if (boolean) {
            out += s.numbers[0] != 0.0 ? "true" : "false";
            continue;
        }
        if (s.numbers.size() != 1)
            out += "[";
        for (std::size_t i = 0; i < s.numbers.size(); ++i) {
            const std::string number = formatFloat(static_cast<float>(s.numbers[i]));
            out += (i ? (pretty ? ", " : ",") : "") + number;
        }
        if (s.numbers.size() != 1)
            out += "]";
    }
    return out + (pretty && !look.values.empty() ? "\n}\n" : pretty ? "}\n" : "}");
}

Look loadLookFile(const std::string& path)
{
    const std::string what = "--look '" + path + "'";
    return parseLook(readRegularFile(path, kMaxJsonFileBytes, what), what);
}

Look loadLook(const std::string& look)
{
    if (look == "builtin")
        return builtinLook();
    if (look == "node")
        return {};
    return loadLookFile(look);
}

}  // namespace cwtool
