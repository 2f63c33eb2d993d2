// Shader requests: the lights and parameters read from the request, the
// parameter block built, the state and connections set, the shader called,
// the reply written.
#include "shading.h"

#include "reply.h"

#include "core/values.h"

#include <algorithm>
#include <cmath>

namespace cwtool {
namespace shadeparts {

namespace {

mrhost::Light lightOf(const Json& description, const std::string& name)
{
    auto what = [&] { return "light '" + name + "'"; };
    requireObject(description, what);
    mrhost::Light l;
    if (description.contains("samples") && description["samples"].is_array()) {
        l.kind = mrhost::Light::Listed;
        const Json& samples = description["samples"];
        requireAtMost(samples, kMaxLightSamples, [&] { return what() + " samples"; });
        for (const Json& s : samples) {
            requireObject(s, [&] { return what() + " sample"; });
            if (!s.contains("color") || !s.contains("direction"))
                throw InputError(what() + ": every sample has a \"color\" and a \"direction\"");
            l.listed.push_back({colourOf(s["color"], [&] { return what() + " sample color"; }, 1.0f),
                                vectorOf(s["direction"], [&] { return what() + " sample direction"; })});
        }
        for (auto it = description.begin(); it != description.end(); ++it)
            if (std::string_view(it.key()) != "samples")
                throw InputError(what() + ": a listed light takes only \"samples\", not \"" + it.key() + "\"");
        return l;
    }
    if (!description.contains("type") || !description["type"].is_string())
        throw InputError(what() + " needs \"samples\" or a \"type\" (point, directional or area)");
    const std::string& type = description["type"].get_ref<const std::string&>();
    if (std::string_view(type) == "point")
        l.kind = mrhost::Light::Point;
    else if (std::string_view(type) == "directional")
        l.kind = mrhost::Light::Directional;
    else if (std::string_view(type) == "area")
        l.kind = mrhost::Light::Area;
    else
        throw InputError(what() + ": unknown type '" + type + "' (point, directional or area)");
    miVector facing{0.0f, -1.0f, 0.0f};
    float sizeU = 1.0f, sizeV = 1.0f;
    for (auto it = description.begin(); it != description.end(); ++it) {
        const std::string& key = it.key();
        const std::string_view k = key;
        auto field = [&] { return what() + " " + key; };
        if (k == "type") {
        } else if (k == "color") {
            l.colour = colourOf(it.value(), field, 1.0f);
        } else if (k == "intensity") {
            l.intensity = static_cast<float>(singleOf(it.value(), field));
        } else if (k == "position" && l.kind != mrhost::Light::Directional) {
            l.position = vectorOf(it.value(), field);
        } else if (k == "direction") {
            (l.kind == mrhost::Light::Directional ? l.direction : facing) = vectorOf(it.value(), field);
        } else if (k == "size" && l.kind == mrhost::Light::Area) {
            const Numbers s = fewNumbersOf(it.value(), field);
            if (s.count == 0 || s.count > 2)
                throw InputError(field() + " takes one number or two");
            sizeU = s.v[0];
            sizeV = s.count == 2 ? s.v[1] : s.v[0];
        } else if (k == "samples" && l.kind == mrhost::Light::Area) {
            l.samples = wholeOf(it.value(), field, 1, kMaxLightSamples);
        } else {
            throw InputError(what() + ": a " + type + " light has no \"" + key + "\"");
        }
    }
    if (l.kind == mrhost::Light::Area) {
        // Two edges across the way the rectangle faces.
        const float fx = facing.x, fy = facing.y, fz = facing.z;
        miVector helper = std::fabs(fy) < 0.9f ? miVector{0.0f, 1.0f, 0.0f} : miVector{1.0f, 0.0f, 0.0f};
        miVector u{helper.y * fz - helper.z * fy, helper.z * fx - helper.x * fz, helper.x * fy - helper.y * fx};
        const float ul = std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z);
        if (ul == 0.0f)
            throw InputError(what() + " direction must not be zero");
        u = {u.x / ul, u.y / ul, u.z / ul};
        miVector v{fy * u.z - fz * u.y, fz * u.x - fx * u.z, fx * u.y - fy * u.x};
        const float vl = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
        v = {v.x / vl, v.y / vl, v.z / vl};
        l.edgeU = {u.x * sizeU, u.y * sizeU, u.z * sizeU};
        l.edgeV = {v.x * sizeV, v.y * sizeV, v.z * sizeV};
    }
    return l;
}


// Only the fields a shader request has.
void checkShaderFields(const Json& request)
{
    for (auto it = request.begin(); it != request.end(); ++it) {
        static constexpr std::string_view kFields[] = {"shader", "lights", "state", "irradiance", "result",
                                                       "connected"};
        bool known = false;
        for (std::string_view f : kFields)
            known = known || it.key() == f;
        if (!known)
            throw InputError("unknown field '" + it.key() + "' in a shader request");
    }
}

// The shading state: the request's normal, direction and point over defaults.
void readState(const Json& request, miState& state)
{
    state.normal = {0.0f, 0.0f, 1.0f};
    state.dir = {0.0f, 0.0f, -1.0f};
    state.point = {0.0f, 0.0f, 0.0f};
    static int primitive;  // the renderer shades a primitive
    state.pri = &primitive;
    if (request.contains("state")) {
        const Json& fields = request["state"];
        requireObject(fields, named("\"state\""));
        for (auto it = fields.begin(); it != fields.end(); ++it) {
            auto field = [&] { return "state field '" + it.key() + "'"; };
            const std::string_view k = it.key();
            if (k == "normal")
                state.normal = vectorOf(it.value(), field);
            else if (k == "dir")
                state.dir = vectorOf(it.value(), field);
            else if (k == "point")
                state.point = vectorOf(it.value(), field);
            else
                throw InputError("unknown state field '" + it.key() + "' (normal, dir, point)");
        }
    }
}

}  // namespace

// A value for one declared parameter, as numbers; the builder checks them.
std::vector<double>& Shading::parameterValue(const mrhost::Parameter& p, const Json& value)
{
    const std::string& shaderName = shader_.declaration().name;
    auto what = [&] { return "parameter '" + p.name + "' of shader " + shaderName; };
    const std::string_view type = p.type;
    if (type == "boolean" && !value.is_boolean())
        throw InputError(what() + " takes true or false, got " + std::string(value.type_name()));
    if ((type == "scalar" || type == "integer") && !value.is_number())
        throw InputError(what() + " takes a number, got " + std::string(value.type_name()));
    if ((type == "color" || type == "vector") && !value.is_array())
        throw InputError(what() + " takes an array of " + (type == "color" ? "3 or 4" : "3") + " numbers, got " +
                         std::string(value.type_name()));
    numbersOf(value, what, numbers_);
    return numbers_;
}

const miTag* Shading::lightTag(const std::string& name) const
{
    const auto found = std::lower_bound(lightTags_.begin(), lightTags_.end(), std::string_view(name),
                                        [](const std::pair<std::string_view, miTag>& t, std::string_view n) {
                                            return t.first < n;
                                        });
    return found != lightTags_.end() && found->first == name ? &found->second : nullptr;
}

void Shading::answerShader(const Json& request)
{
    checkShaderFields(request);
    readLights(request);
    buildBlock(request.at("shader"));
    mrhost::ShaderCall call(block_.bytes());
    block_.write(call.parameters());
    readState(request, call.state());
    connect(request, call);
    writeResult(callShader(request, call));
}

// The request's lights, added to the scene, their tags kept by name.
void Shading::readLights(const Json& request)
{
    mrhost::clearScene();
    lightTags_.clear();
    if (request.contains("lights")) {
        const Json& lights = request["lights"];
        requireObject(lights, named("\"lights\""));
        requireAtMost(lights, kMaxLights, named("\"lights\""));
        // In name order, as the JSON object keeps them.
        for (auto it = lights.begin(); it != lights.end(); ++it)
            lightTags_.emplace_back(it.key(), mrhost::addLight(lightOf(it.value(), it.key())));
    }
}

// The parameter block from the request's "shader" object.
void Shading::buildBlock(const Json& params)
{
    const mrhost::Declaration& d = shader_.declaration();
    block_.clear();
    requireObject(params, named("\"shader\""));
    for (auto it = params.begin(); it != params.end(); ++it) {
        const mrhost::Parameter* p = shader_.declaration().find(it.key());
        if (!p)
            throw InputError("unknown parameter '" + it.key() + "' of shader " + d.name);
        if (p->array)
            setLightList(*p, it.value());
        else
            setShaderValue(block_, *p, parameterValue(*p, it.value()));
    }
}

// An array parameter: the tags of the lights it names.
void Shading::setLightList(const mrhost::Parameter& p, const Json& names)
{
    const mrhost::Declaration& d = shader_.declaration();
    auto what = [&] { return "parameter '" + p.name + "' of shader " + d.name; };
    if (!names.is_array())
        throw InputError(what() + " takes an array of light names");
    requireAtMost(names, kMaxLights, what);
    tags_.clear();
    for (const Json& name : names) {
        if (!name.is_string())
            throw InputError(what() + " takes an array of light names");
        const std::string& light = name.get_ref<const std::string&>();
        const miTag* tag = lightTag(light);
        if (!tag)
            throw InputError("unknown light '" + light + "' in parameter '" + p.name + "'");
        tags_.push_back(*tag);
    }
    block_.setArray(p, tags_);
}

// Connected parameters: each reads another shader's output, given in the request.
void Shading::connect(const Json& request, mrhost::ShaderCall& call)
{
    if (!request.contains("connected"))
        return;
    const mrhost::Declaration& d = shader_.declaration();
    const Json& connected = request["connected"];
    requireObject(connected, named("\"connected\""));
    for (auto it = connected.begin(); it != connected.end(); ++it) {
        const mrhost::Parameter* p = shader_.declaration().find(it.key());
        if (!p || p->array)
            throw InputError("unknown parameter '" + it.key() + "' of shader " + d.name);
        // The connected shader's output, laid out as the parameter's own type.
        connection_.clear();
        setShaderValue(connection_, *p, parameterValue(*p, it.value()));
        connectionBlock_.resize(connection_.bytes());
        connection_.write(connectionBlock_.data());
        call.connect(p->offset, mrhost::addConnection(connectionBlock_.data() + p->offset, p->size));
    }
}

// The irradiance and incoming result from the request, then the shader itself.
miColor Shading::callShader(const Json& request, mrhost::ShaderCall& call)
{
    mrhost::setIrradiance(request.contains("irradiance")
                              ? colourOf(request["irradiance"], named("\"irradiance\""), 1.0f)
                              : miColor{0.0f, 0.0f, 0.0f, 1.0f});
    miColor result = request.contains("result") ? colourOf(request["result"], named("\"result\""), 0.0f)
                                                : miColor{0.0f, 0.0f, 0.0f, 0.0f};
    shader_.shade(&result, call);
    return result;
}

void Shading::writeResult(const miColor& result)
{
    const float rgba[4] = {result.r, result.g, result.b, result.a};
    reply_ += "{\"result\": ";
    appendFloats(reply_, rgba, 4);
    reply_ += '}';
}

}  // namespace shadeparts
}  // namespace cwtool
