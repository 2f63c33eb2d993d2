#include "shade.h"

#include "deliverables.h"
#include "errors.h"
#include "workLimits.h"
#include "values.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <istream>
#include <limits>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>

namespace cwtool {

using nlohmann::json;

namespace {

// A JSON number that single precision holds.
double singleOf(const json& v, const std::string& what)
{
    if (!v.is_number())
        throw InputError(what + " takes a number, got " + std::string(v.type_name()));
    const double d = v.get<double>();
    if (!isSingle(d))
        throw InputError(what + ": " + notSingle(v.dump()));
    return d;
}

// A JSON whole number from `least` to `most`.
int wholeOf(const json& v, const std::string& what, int least, int most)
{
    const std::string range = " from " + std::to_string(least) + " to " + std::to_string(most);
    if (!v.is_number_integer())
        throw InputError(what + " takes a whole number" + range + ", got " + v.dump());
    if (v.is_number_unsigned() ? v.get<std::uint64_t>() > static_cast<std::uint64_t>(most) ||
                                     v.get<std::uint64_t>() < static_cast<std::uint64_t>(std::max(least, 0))
                               : v.get<std::int64_t>() < least || v.get<std::int64_t>() > most)
        throw InputError(what + " takes a whole number" + range + ", got " + v.dump());
    return static_cast<int>(v.get<std::int64_t>());
}

// Refuses an array longer than `limit` before anything is made of it.
void requireAtMost(const json& v, std::size_t limit, const std::string& what)
{
    if (v.size() > limit)
        throw InputError(what + " has " + std::to_string(v.size()) + " entries, more than the limit of " +
                         std::to_string(limit));
}

// Numbers from a JSON number, boolean, or array of numbers.
std::vector<double> numbersOf(const json& v, const std::string& what)
{
    if (v.is_boolean())
        return {v.get<bool>() ? 1.0 : 0.0};
    if (v.is_number())
        return {singleOf(v, what)};
    if (v.is_array()) {
        std::vector<double> out;
        for (const json& e : v) {
            if (!e.is_number())
                throw InputError(what + " takes numbers, got " + std::string(e.type_name()) + " in its array");
            out.push_back(singleOf(e, what));
        }
        return out;
    }
    throw InputError(what + " takes a number or an array of numbers, got " + std::string(v.type_name()));
}

std::vector<double> triple(const json& v, const std::string& what)
{
    const std::vector<double> n = numbersOf(v, what);
    if (!v.is_array() || n.size() != 3)
        throw InputError(what + " takes an array of 3 numbers");
    return n;
}

miVector vectorOf(const json& v, const std::string& what)
{
    const std::vector<double> n = triple(v, what);
    return miVector{static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2])};
}

miColor colourOf(const json& v, const std::string& what, float alpha)
{
    const std::vector<double> n = numbersOf(v, what);
    if (!v.is_array() || (n.size() != 3 && n.size() != 4))
        throw InputError(what + " takes an array of 3 or 4 numbers");
    return miColor{static_cast<float>(n[0]), static_cast<float>(n[1]), static_cast<float>(n[2]),
                   n.size() == 4 ? static_cast<float>(n[3]) : alpha};
}

void requireObject(const json& v, const std::string& what)
{
    if (!v.is_object())
        throw InputError(what + " must be a JSON object, got " + std::string(v.type_name()));
}

// ---------------------------------------------------------------------------
// Node requests

// The JSON value must be of the attribute's own kind before the host sees it.
void setNodeAttribute(mayahost::Node& node, const std::string& name, const json& value)
{
    const mayahost::NodeType& type = node.type();
    const mayahost::Attribute* a = type.find(name);
    if (!a)
        throw InputError("unknown attribute '" + name + "' of node " + type.name);
    const std::string what = "attribute '" + name + "' of node " + type.name;
    if (a->kind == mayahost::AttrKind::Boolean && !value.is_boolean())
        throw InputError(what + " takes true or false, got " + std::string(value.type_name()));
    if (a->kind == mayahost::AttrKind::Float && !value.is_number())
        throw InputError(what + " takes a number, got " + std::string(value.type_name()));
    if (a->kind == mayahost::AttrKind::Compound && !value.is_array())
        throw InputError(what + " takes an array of 3 numbers, got " + std::string(value.type_name()));
    setNodeValue(node, name, numbersOf(value, what));
}

// A light-data element as the children's defaults make it.
mayahost::LightSample lightDefaults(const mayahost::NodeType& type)
{
    mayahost::LightSample l;
    auto def = [&type](const char* name, int i) { return type.find(name)->defaultValue[i]; };
    for (int i = 0; i < 3; ++i) {
        l.direction[i] = def("lightDirection", i);
        l.intensity[i] = def("lightIntensity", i);
    }
    l.ambient = def("lightAmbient", 0) != 0.0f;
    l.diffuse = def("lightDiffuse", 0) != 0.0f;
    l.specular = def("lightSpecular", 0) != 0.0f;
    l.shadowFraction = def("lightShadowFraction", 0);
    l.preShadowIntensity = def("preShadowIntensity", 0);
    return l;
}

// Children not given take their attribute defaults.
mayahost::LightSample lightElement(const mayahost::LightSample& defaults, const json& element, std::size_t index)
{
    const std::string what = "lightDataArray element " + std::to_string(index);
    requireObject(element, what);
    mayahost::LightSample l = defaults;
    for (auto it = element.begin(); it != element.end(); ++it) {
        const std::string& key = it.key();
        const std::string field = what + " child '" + key + "'";
        if (key == "lightDirection" || key == "lightIntensity") {
            const std::vector<double> v = triple(it.value(), field);
            float* target = key == "lightDirection" ? l.direction : l.intensity;
            for (int i = 0; i < 3; ++i)
                target[i] = static_cast<float>(v[i]);
        } else if (key == "lightAmbient" || key == "lightDiffuse" || key == "lightSpecular") {
            if (!it.value().is_boolean())
                throw InputError(field + " takes true or false");
            (key == "lightAmbient" ? l.ambient : key == "lightDiffuse" ? l.diffuse : l.specular) = it.value().get<bool>();
        } else if (key == "lightShadowFraction" || key == "preShadowIntensity") {
            (key == "lightShadowFraction" ? l.shadowFraction : l.preShadowIntensity) =
                static_cast<float>(singleOf(it.value(), field));
        } else {
            throw InputError("unknown child '" + key + "' of lightDataArray (" + what + ")");
        }
    }
    return l;
}

json nodeRequest(const json& request, const MayaPlugin& plugin)
{
    const mayahost::NodeType& type = plugin.type();
    mayahost::Node node(type.name);
    const json& attributes = request.at("node");
    requireObject(attributes, "\"node\"");
    for (auto it = attributes.begin(); it != attributes.end(); ++it) {
        const mayahost::Attribute* a = type.find(it.key());
        if (a && a->flags.array && a->kind == mayahost::AttrKind::LightData) {
            if (!it.value().is_array())
                throw InputError("attribute '" + it.key() + "' of node " + type.name + " takes an array of light objects");
            requireAtMost(it.value(), kMaxLights, "attribute '" + it.key() + "' of node " + type.name);
            const mayahost::LightSample defaults = lightDefaults(type);
            std::vector<mayahost::LightSample> lights;
            for (std::size_t i = 0; i < it.value().size(); ++i)
                lights.push_back(lightElement(defaults, it.value()[i], i));
            node.setLights(lights.data(), lights.size());
        } else {
            setNodeAttribute(node, it.key(), it.value());
        }
    }
    std::vector<std::string> outputs{"outColor", "outTransparency"};
    if (request.contains("get")) {
        const json& get = request["get"];
        if (!get.is_array())
            throw InputError("\"get\" must be an array of output names");
        outputs.clear();
        for (const json& name : get) {
            if (!name.is_string())
                throw InputError("\"get\" must be an array of output names");
            outputs.push_back(name.get<std::string>());
        }
    }
    json reply = json::object();
    for (const std::string& name : outputs) {
        const mayahost::Attribute* a = type.find(name);
        if (!a || !(a->computed || (a->parent && a->parent->computed)))
            throw InputError("unknown output '" + name + "' of node " + type.name);
        mayahost::AttrValue v;
        try {
            v = node.getAttr(name);
        } catch (const mayahost::Error& e) {
            throw InternalError(e.what());  // the node's own compute failed
        }
        json values = json::array();
        for (int i = 0; i < v.count; ++i)
            values.push_back(v.v[i]);
        reply[a->longName] = v.count == 1 ? values[0] : values;
    }
    return reply;
}

// ---------------------------------------------------------------------------
// Shader requests

mrhost::Light lightOf(const json& description, const std::string& name)
{
    const std::string what = "light '" + name + "'";
    requireObject(description, what);
    mrhost::Light l;
    if (description.contains("samples") && description["samples"].is_array()) {
        l.kind = mrhost::Light::Listed;
        requireAtMost(description["samples"], kMaxLightSamples, what + " samples");
        for (const json& s : description["samples"]) {
            requireObject(s, what + " sample");
            if (!s.contains("color") || !s.contains("direction"))
                throw InputError(what + ": every sample has a \"color\" and a \"direction\"");
            l.listed.push_back({colourOf(s["color"], what + " sample color", 1.0f),
                                vectorOf(s["direction"], what + " sample direction")});
        }
        for (auto it = description.begin(); it != description.end(); ++it)
            if (it.key() != "samples")
                throw InputError(what + ": a listed light takes only \"samples\", not \"" + it.key() + "\"");
        return l;
    }
    if (!description.contains("type") || !description["type"].is_string())
        throw InputError(what + " needs \"samples\" or a \"type\" (point, directional or area)");
    const std::string type = description["type"].get<std::string>();
    if (type == "point")
        l.kind = mrhost::Light::Point;
    else if (type == "directional")
        l.kind = mrhost::Light::Directional;
    else if (type == "area")
        l.kind = mrhost::Light::Area;
    else
        throw InputError(what + ": unknown type '" + type + "' (point, directional or area)");
    miVector facing{0.0f, -1.0f, 0.0f};
    float sizeU = 1.0f, sizeV = 1.0f;
    for (auto it = description.begin(); it != description.end(); ++it) {
        const std::string& key = it.key();
        const std::string field = what + " " + key;
        if (key == "type") {
        } else if (key == "color") {
            l.colour = colourOf(it.value(), field, 1.0f);
        } else if (key == "intensity") {
            l.intensity = static_cast<float>(singleOf(it.value(), field));
        } else if (key == "position" && l.kind != mrhost::Light::Directional) {
            l.position = vectorOf(it.value(), field);
        } else if (key == "direction") {
            (l.kind == mrhost::Light::Directional ? l.direction : facing) = vectorOf(it.value(), field);
        } else if (key == "size" && l.kind == mrhost::Light::Area) {
            const std::vector<double> s = numbersOf(it.value(), field);
            if (s.empty() || s.size() > 2)
                throw InputError(field + " takes one number or two");
            sizeU = static_cast<float>(s[0]);
            sizeV = static_cast<float>(s.size() == 2 ? s[1] : s[0]);
        } else if (key == "samples" && l.kind == mrhost::Light::Area) {
            l.samples = wholeOf(it.value(), field, 1, kMaxLightSamples);
        } else {
            throw InputError(what + ": a " + type + " light has no \"" + key + "\"");
        }
    }
    if (l.kind == mrhost::Light::Area) {
        // Two edges across the way the rectangle faces.
        const float fx = facing.x, fy = facing.y, fz = facing.z;
        miVector helper = std::fabs(fy) < 0.9f ? miVector{0.0f, 1.0f, 0.0f} : miVector{1.0f, 0.0f, 0.0f};
        miVector u{helper.y * fz - helper.z * fy, helper.z * fx - helper.x * fz, helper.x * fy - helper.y * fx};
        const float ul = std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z);
        if (ul == 0.0f)
            throw InputError(what + " direction must not be zero");
        u = {u.x / ul, u.y / ul, u.z / ul};
        miVector v{fy * u.z - fz * u.y, fz * u.x - fx * u.z, fx * u.y - fy * u.x};
        const float vl = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        v = {v.x / vl, v.y / vl, v.z / vl};
        l.edgeU = {u.x * sizeU, u.y * sizeU, u.z * sizeU};
        l.edgeV = {v.x * sizeV, v.y * sizeV, v.z * sizeV};
    }
    return l;
}

// A value for one declared parameter, as the bytes the renderer would store.
std::vector<double> parameterValue(const mrhost::Parameter& p, const json& value, const std::string& shaderName)
{
    const std::string what = "parameter '" + p.name + "' of shader " + shaderName;
    if (p.type == "boolean" && !value.is_boolean())
        throw InputError(what + " takes true or false, got " + std::string(value.type_name()));
    if ((p.type == "scalar" || p.type == "integer") && !value.is_number())
        throw InputError(what + " takes a number, got " + std::string(value.type_name()));
    if ((p.type == "color" || p.type == "vector") && !value.is_array())
        throw InputError(what + " takes an array of " + (p.type == "color" ? "3 or 4" : "3") + " numbers, got " +
                         std::string(value.type_name()));
    return numbersOf(value, what);
}

json shaderRequest(const json& request, const MentalRayShader& shader)
{
    const mrhost::Declaration& d = shader.declaration();
    for (auto it = request.begin(); it != request.end(); ++it) {
        static const char* const kFields[] = {"shader", "lights", "state", "irradiance", "result", "connected"};
        bool known = false;
        for (const char* f : kFields)
            known = known || it.key() == f;
        if (!known)
            throw InputError("unknown field '" + it.key() + "' in a shader request");
    }
    mrhost::clearScene();
    std::map<std::string, miTag> lightTags;
    if (request.contains("lights")) {
        requireObject(request["lights"], "\"lights\"");
        requireAtMost(request["lights"], kMaxLights, "\"lights\"");
        for (auto it = request["lights"].begin(); it != request["lights"].end(); ++it)
            lightTags[it.key()] = mrhost::addLight(lightOf(it.value(), it.key()));
    }

    mrhost::BlockBuilder builder(d);
    const json& params = request.at("shader");
    requireObject(params, "\"shader\"");
    for (auto it = params.begin(); it != params.end(); ++it) {
        const mrhost::Parameter* p = d.find(it.key());
        if (!p)
            throw InputError("unknown parameter '" + it.key() + "' of shader " + d.name);
        if (p->array) {
            if (!it.value().is_array())
                throw InputError("parameter '" + p->name + "' of shader " + d.name + " takes an array of light names");
            requireAtMost(it.value(), kMaxLights, "parameter '" + p->name + "' of shader " + d.name);
            std::vector<miTag> tags;
            for (const json& name : it.value()) {
                if (!name.is_string())
                    throw InputError("parameter '" + p->name + "' of shader " + d.name + " takes an array of light names");
                const auto found = lightTags.find(name.get<std::string>());
                if (found == lightTags.end())
                    throw InputError("unknown light '" + name.get<std::string>() + "' in parameter '" + p->name + "'");
                tags.push_back(found->second);
            }
            builder.setArray(p->name, tags);
        } else {
            setShaderValue(builder, p->name, parameterValue(*p, it.value(), d.name));
        }
    }

    mrhost::ShaderCall call(builder.bytes());
    builder.write(call.parameters());
    miState& state = call.state();
    state.normal = {0.0f, 0.0f, 1.0f};
    state.dir = {0.0f, 0.0f, -1.0f};
    state.point = {0.0f, 0.0f, 0.0f};
    static int primitive;  // the renderer shades a primitive
    state.pri = &primitive;
    if (request.contains("state")) {
        requireObject(request["state"], "\"state\"");
        for (auto it = request["state"].begin(); it != request["state"].end(); ++it) {
            const std::string field = "state field '" + it.key() + "'";
            if (it.key() == "normal")
                state.normal = vectorOf(it.value(), field);
            else if (it.key() == "dir")
                state.dir = vectorOf(it.value(), field);
            else if (it.key() == "point")
                state.point = vectorOf(it.value(), field);
            else
                throw InputError("unknown state field '" + it.key() + "' (normal, dir, point)");
        }
    }
    if (request.contains("connected")) {
        requireObject(request["connected"], "\"connected\"");
        for (auto it = request["connected"].begin(); it != request["connected"].end(); ++it) {
            const mrhost::Parameter* p = d.find(it.key());
            if (!p || p->array)
                throw InputError("unknown parameter '" + it.key() + "' of shader " + d.name);
            // The connected shader's output, laid out as the parameter's own type.
            mrhost::BlockBuilder one(d);
            one.set(p->name, parameterValue(*p, it.value(), d.name));
            std::vector<char> block(one.bytes());
            one.write(block.data());
            call.connect(p->offset, mrhost::addConnection(block.data() + p->offset, p->size));
        }
    }
    mrhost::setIrradiance(request.contains("irradiance") ? colourOf(request["irradiance"], "\"irradiance\"", 1.0f)
                                                         : miColor{0.0f, 0.0f, 0.0f, 1.0f});
    miColor result = request.contains("result") ? colourOf(request["result"], "\"result\"", 0.0f)
                                                : miColor{0.0f, 0.0f, 0.0f, 0.0f};
    shader.shade(&result, call);
    return json{{"result", {result.r, result.g, result.b, result.a}}};
}

// JSON text with every number printed so it reads back as the same float.
// JSON has no infinity or NaN: a result that is not finite is written as the
// string "inf", "-inf" or "nan". Text that is not valid UTF-8 (a bad request
// quoted in an error) has each bad byte replaced by U+FFFD.
void writeJson(std::ostream& out, const json& v);

// An object key: the names this tool writes need no escaping, anything else goes
// through the JSON writer.
void writeKey(std::ostream& out, const std::string& key)
{
    const bool plain = std::all_of(key.begin(), key.end(), [](char c) {
        return c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
    });
    if (!plain) {
        writeJson(out, json(key));
        return;
    }
    out.put('"');
    out.write(key.data(), static_cast<std::streamsize>(key.size()));
    out.put('"');
}

void writeJson(std::ostream& out, const json& v)
{
    if (v.is_object()) {
        out << '{';
        bool first = true;
        for (auto it = v.begin(); it != v.end(); ++it) {
            out << (first ? "" : ", ");
            writeKey(out, it.key());
            out << ": ";
            writeJson(out, it.value());
            first = false;
        }
        out << '}';
    } else if (v.is_array()) {
        out << '[';
        for (std::size_t i = 0; i < v.size(); ++i) {
            out << (i ? ", " : "");
            writeJson(out, v[i]);
        }
        out << ']';
    } else if (v.is_number_float()) {
        const float f = v.get<float>();
        char text[32];
        const std::size_t n = formatFloat(f, text);
        if (std::isfinite(f)) {
            out.write(text, static_cast<std::streamsize>(n));
        } else {
            out.put('"');
            out.write(text, static_cast<std::streamsize>(n));
            out.put('"');
        }
    } else {
        out << v.dump(-1, ' ', false, json::error_handler_t::replace);
    }
}

// What the JSON reader says of a line that is not JSON, without its own prefix.
std::string notJson(const json::exception& e)
{
    if (e.id == 406) {  // a number beyond double precision: "... parsing '1e400'"
        const std::string what = e.what();
        const std::size_t open = what.find('\''), close = what.rfind('\'');
        return notSingle(open < close ? what.substr(open + 1, close - open - 1) : "a number");
    }
    const char* at = std::strstr(e.what(), "syntax error");
    return std::string("not JSON: ") + (at ? at : e.what());
}

// Reads one line without its newline into `line`, keeping at most
// kMaxLineBytes + 1 bytes of it (the rest of a longer line is skipped); false
// at the end of the input. The stream's own line reader scans its buffer
// whole, rather than a character at a time.
const std::size_t kLineBuffer = kMaxLineBytes + 2;

bool readLine(std::istream& in, char* buffer, std::string& line)
{
    in.getline(buffer, static_cast<std::streamsize>(kLineBuffer));
    const std::streamsize read = in.gcount();
    if (in.fail() && !in.eof() && !in.bad()) {
        // Longer than the buffer: keep what was read, drop the rest of the line.
        in.clear();
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        line.assign(buffer, static_cast<std::size_t>(read));
        return true;
    }
    if (in.bad() || (read == 0 && in.eof()))
        return false;  // a read error is the caller's to report
    // A newline that was read counts in gcount but is not stored.
    const bool newline = !in.eof();
    line.assign(buffer, static_cast<std::size_t>(read) - (newline ? 1 : 0));
    in.clear(in.rdstate() & ~std::ios::failbit);
    return true;
}

}  // namespace

std::string shadeLine(const std::string& line, int number, const MayaPlugin& plugin, const MentalRayShader& shader,
                      bool* failed, bool* internal)
{
    std::ostringstream out;
    *failed = false;
    if (internal)
        *internal = false;
    auto fail = [&](const std::string& message, bool ours) {
        *failed = true;
        if (internal)
            *internal = ours;
        out.str("");
        writeJson(out, json{{"error", "line " + std::to_string(number) + ": " + message}});
    };
    try {
        if (line.size() > kMaxLineBytes)
            throw InputError("the request is longer than the limit of " + std::to_string(kMaxLineBytes) + " bytes");
        json request;
        try {
            request = json::parse(line);
        } catch (const json::exception& e) {
            throw InputError(notJson(e));
        }
        if (!request.is_object())
            throw InputError("a request is a JSON object with \"node\" or \"shader\"");
        const bool node = request.contains("node"), shaderCall = request.contains("shader");
        if (node == shaderCall)
            throw InputError(node ? "a request has \"node\" or \"shader\", not both"
                                  : "a request needs \"node\" or \"shader\"");
        if (node) {
            for (auto it = request.begin(); it != request.end(); ++it)
                if (it.key() != "node" && it.key() != "get")
                    throw InputError("unknown field '" + it.key() + "' in a node request");
        }
        writeJson(out, node ? nodeRequest(request, plugin) : shaderRequest(request, shader));
    } catch (const InputError& e) {
        fail(e.what(), false);
    } catch (const json::exception& e) {
        fail(e.what(), false);  // a value of the wrong JSON kind
    } catch (const std::exception& e) {
        fail(std::string("internal failure: ") + e.what(), true);
    }
    return out.str();
}

int runShade(std::istream& in, std::ostream& out, const MayaPlugin& plugin, const MentalRayShader& shader)
{
    std::string line;
    const std::unique_ptr<char[]> buffer(new char[kLineBuffer]);
    int number = 0;
    bool anyFailed = false, anyInternal = false;
    while (readLine(in, buffer.get(), line)) {
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;  // blank lines are not requests
        bool failed = false, internal = false;
        out << shadeLine(line, number, plugin, shader, &failed, &internal) << '\n';
        if (!out)  // the replies have nowhere to go: stop, with the system's reason
            throw InputError(std::string("shade: writing a reply failed: ") + std::strerror(errno));
        anyFailed = anyFailed || failed;
        anyInternal = anyInternal || internal;
    }
    out.flush();
    if (!out)
        throw InputError(std::string("shade: writing a reply failed: ") + std::strerror(errno));
    return anyInternal ? kExitInternal : anyFailed ? kExitBadInput : kExitOk;
}

}  // namespace cwtool
