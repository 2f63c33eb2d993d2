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
#include <string_view>

namespace cwtool {

namespace {

// ---------------------------------------------------------------------------
// Memory for requests

// A request's JSON values are taken from blocks of memory this thread keeps
// from line to line: taking one is a step along a block, giving one back only
// counts it, and once all are back the blocks are used again from the start.
// A request so costs no heap allocation once the blocks have grown to it.
class RequestMemory {
public:
    static RequestMemory& ofThisThread()
    {
        thread_local RequestMemory memory;
        return memory;
    }

    void* take(std::size_t bytes, std::size_t alignment)
    {
        for (;;) {
            if (current_ == blocks_.size())
                blocks_.push_back(Block{std::max(bytes, kBlockBytes)});
            Block& block = blocks_[current_];
            const std::size_t at = (used_ + alignment - 1) / alignment * alignment;
            if (at + bytes <= block.size) {
                used_ = at + bytes;
                ++taken_;
                return block.bytes.get() + at;
            }
            ++current_;
            used_ = 0;
        }
    }

    void giveBack()
    {
        if (--taken_ == 0)
            current_ = used_ = 0;
    }

private:
    static constexpr std::size_t kBlockBytes = 64 * 1024;
    struct Block {
        explicit Block(std::size_t n) : bytes(new char[n]), size(n) {}
        std::unique_ptr<char[]> bytes;  // aligned for any fundamental type
        std::size_t size;
    };
    std::vector<Block> blocks_;
    std::size_t current_ = 0, used_ = 0;  // the block taken from, and how far
    std::size_t taken_ = 0;               // not yet given back
};

template <class T>
struct RequestAllocator {
    using value_type = T;
    RequestAllocator() = default;
    template <class U>
    RequestAllocator(const RequestAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(RequestMemory::ofThisThread().take(n * sizeof(T), alignof(T))); }
    void deallocate(T*, std::size_t) { RequestMemory::ofThisThread().giveBack(); }
    friend bool operator==(const RequestAllocator&, const RequestAllocator&) { return true; }
    friend bool operator!=(const RequestAllocator&, const RequestAllocator&) { return false; }
};

// A parsed request: nlohmann-json's own values, in request memory. Values stay
// on the thread that parsed them.
using Json = nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t, std::uint64_t, double,
                                  RequestAllocator>;

// ---------------------------------------------------------------------------
// Values
//
// `what` is a function giving the name of the value for a message: the name is
// spelled out only when there is something wrong with the value.

// A JSON number that single precision holds.
template <class What>
double singleOf(const Json& v, const What& what)
{
    if (!v.is_number())
        throw InputError(what() + " takes a number, got " + std::string(v.type_name()));
    const double d = v.get<double>();
    if (!isSingle(d))
        throw InputError(what() + ": " + notSingle(v.dump()));
    return d;
}

// A JSON whole number from `least` to `most`.
template <class What>
int wholeOf(const Json& v, const What& what, int least, int most)
{
    const bool inRange =
        v.is_number_integer() &&
        (v.is_number_unsigned() ? v.get<std::uint64_t>() <= static_cast<std::uint64_t>(most) &&
                                      v.get<std::uint64_t>() >= static_cast<std::uint64_t>(std::max(least, 0))
                                : v.get<std::int64_t>() >= least && v.get<std::int64_t>() <= most);
    if (!inRange)
        throw InputError(what() + " takes a whole number from " + std::to_string(least) + " to " +
                         std::to_string(most) + ", got " + v.dump());
    return static_cast<int>(v.get<std::int64_t>());
}

// Refuses an array longer than `limit` before anything is made of it.
template <class What>
void requireAtMost(const Json& v, std::size_t limit, const What& what)
{
    if (v.size() > limit)
        throw InputError(what() + " has " + std::to_string(v.size()) + " entries, more than the limit of " +
                         std::to_string(limit));
}

template <class What>
void requireObject(const Json& v, const What& what)
{
    if (!v.is_object())
        throw InputError(what() + " must be a JSON object, got " + std::string(v.type_name()));
}

// Hands `take` the numbers of a JSON number, boolean, or array of numbers;
// returns how many there were.
template <class What, class Take>
std::size_t eachNumber(const Json& v, const What& what, const Take& take)
{
    if (v.is_boolean()) {
        take(v.get<bool>() ? 1.0 : 0.0);
        return 1;
    }
    if (v.is_number()) {
        take(singleOf(v, what));
        return 1;
    }
    if (v.is_array()) {
        for (const Json& e : v) {
            if (!e.is_number())
                throw InputError(what() + " takes numbers, got " + std::string(e.type_name()) + " in its array");
            take(singleOf(e, what));
        }
        return v.size();
    }
    throw InputError(what() + " takes a number or an array of numbers, got " + std::string(v.type_name()));
}

// The numbers into `out`, as many as were given.
template <class What>
void numbersOf(const Json& v, const What& what, std::vector<double>& out)
{
    out.clear();
    eachNumber(v, what, [&out](double x) { out.push_back(x); });
}

// Up to four numbers (a colour's), and how many were given.
struct Numbers {
    float v[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    std::size_t count = 0;
};

template <class What>
Numbers fewNumbersOf(const Json& v, const What& what)
{
    Numbers n;
    std::size_t i = 0;
    n.count = eachNumber(v, what, [&](double x) {
        if (i < 4)
            n.v[i++] = static_cast<float>(x);
    });
    return n;
}

template <class What>
Numbers triple(const Json& v, const What& what)
{
    const Numbers n = fewNumbersOf(v, what);
    if (!v.is_array() || n.count != 3)
        throw InputError(what() + " takes an array of 3 numbers");
    return n;
}

template <class What>
miVector vectorOf(const Json& v, const What& what)
{
    const Numbers n = triple(v, what);
    return miVector{n.v[0], n.v[1], n.v[2]};
}

template <class What>
miColor colourOf(const Json& v, const What& what, float alpha)
{
    const Numbers n = fewNumbersOf(v, what);
    if (!v.is_array() || (n.count != 3 && n.count != 4))
        throw InputError(what() + " takes an array of 3 or 4 numbers");
    return miColor{n.v[0], n.v[1], n.v[2], n.count == 4 ? n.v[3] : alpha};
}

// A name for a message that is known as it stands.
auto named(const char* name)
{
    return [name] { return std::string(name); };
}

// ---------------------------------------------------------------------------
// Replies

// A number that reads back as the same float. JSON has no infinity or NaN: a
// result that is not finite is written as the string "inf", "-inf" or "nan".
void appendFloat(std::string& out, float f)
{
    char text[kFloatText];
    const std::size_t n = formatFloat(f, text);
    if (std::isfinite(f)) {
        out.append(text, n);
    } else {
        out += '"';
        out.append(text, n);
        out += '"';
    }
}

void appendFloats(std::string& out, const float* v, int count)
{
    if (count == 1) {
        appendFloat(out, v[0]);
        return;
    }
    out += '[';
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ", ";
        appendFloat(out, v[i]);
    }
    out += ']';
}

// An object key: the names this tool writes need no escaping, anything else
// goes through the JSON writer.
void appendKey(std::string& out, const std::string& key)
{
    const bool plain = std::all_of(key.begin(), key.end(), [](char c) {
        return c >= 0x20 && c < 0x7f && c != '"' && c != '\\';
    });
    if (plain) {
        out += '"';
        out += key;
        out += '"';
    } else {
        out += nlohmann::json(key).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
}

// What the JSON reader says of a line that is not JSON, without its own prefix.
std::string notJson(const nlohmann::json::exception& e)
{
    if (e.id == 406) {  // a number beyond double precision: "... parsing '1e400'"
        const std::string what = e.what();
        const std::size_t open = what.find('\''), close = what.rfind('\'');
        return notSingle(open < close ? what.substr(open + 1, close - open - 1) : "a number");
    }
    const char* at = std::strstr(e.what(), "syntax error");
    return std::string("not JSON: ") + (at ? at : e.what());
}

// ---------------------------------------------------------------------------
// Answering requests

// Answers request lines one after another. What it keeps from line to line (a
// node, buffers, name tables) carries nothing of one request into the next:
// the node is set back to a new node's values before every request.
class Shading {
public:
    Shading(const MayaPlugin& plugin, const MentalRayShader& shader);
    // As shadeLine; the text stays until the next call.
    const std::string& answer(const std::string& line, int number, bool* failed, bool* internal);

private:
    void answerNode(const Json& request);
    void setAttribute(mayahost::Node& node, const mayahost::Attribute* a, const std::string& name, const Json& value);
    mayahost::LightSample lightElement(const Json& element, std::size_t index) const;
    void answerShader(const Json& request);
    std::vector<double>& parameterValue(const mrhost::Parameter& p, const Json& value);
    const miTag* lightTag(const std::string& name) const;

    const MayaPlugin& plugin_;
    const MentalRayShader& shader_;
    std::unique_ptr<mayahost::Node> node_;  // made for the first node request
    mayahost::LightSample lightDefaults_;   // a light-data element as its children's defaults make it
    std::vector<mayahost::LightSample> lights_;
    struct Output {
        const mayahost::Attribute* attribute;
        mayahost::AttrValue value;
    };
    std::vector<Output> outputs_;
    mrhost::BlockBuilder block_, connection_;
    std::vector<std::pair<std::string_view, miTag>> lightTags_;  // by name, the request's own
    std::vector<miTag> tags_;
    std::vector<char> connectionBlock_;
    std::vector<double> numbers_;
    std::string reply_;
};

Shading::Shading(const MayaPlugin& plugin, const MentalRayShader& shader)
    : plugin_(plugin), shader_(shader), block_(shader.declaration()), connection_(shader.declaration())
{
    const mayahost::NodeType& type = plugin.type();
    auto def = [&type](const char* name, int i) { return type.find(name)->defaultValue[i]; };
    for (int i = 0; i < 3; ++i) {
        lightDefaults_.direction[i] = def("lightDirection", i);
        lightDefaults_.intensity[i] = def("lightIntensity", i);
    }
    lightDefaults_.ambient = def("lightAmbient", 0) != 0.0f;
    lightDefaults_.diffuse = def("lightDiffuse", 0) != 0.0f;
    lightDefaults_.specular = def("lightSpecular", 0) != 0.0f;
    lightDefaults_.shadowFraction = def("lightShadowFraction", 0);
    lightDefaults_.preShadowIntensity = def("preShadowIntensity", 0);
}

// ---------------------------------------------------------------------------
// Node requests

// The JSON value must be of the attribute's own kind before the host sees it.
void Shading::setAttribute(mayahost::Node& node, const mayahost::Attribute* a, const std::string& name,
                           const Json& value)
{
    const mayahost::NodeType& type = node.type();
    if (!a)
        throw InputError("unknown attribute '" + name + "' of node " + type.name);
    auto what = [&] { return "attribute '" + name + "' of node " + type.name; };
    if (a->kind == mayahost::AttrKind::Boolean && !value.is_boolean())
        throw InputError(what() + " takes true or false, got " + std::string(value.type_name()));
    if (a->kind == mayahost::AttrKind::Float && !value.is_number())
        throw InputError(what() + " takes a number, got " + std::string(value.type_name()));
    if (a->kind == mayahost::AttrKind::Compound && !value.is_array())
        throw InputError(what() + " takes an array of 3 numbers, got " + std::string(value.type_name()));
    numbersOf(value, what, numbers_);
    setNodeValue(node, *a, name, numbers_);
}

// Children not given take their attribute defaults.
mayahost::LightSample Shading::lightElement(const Json& element, std::size_t index) const
{
    auto what = [index] { return "lightDataArray element " + std::to_string(index); };
    requireObject(element, what);
    mayahost::LightSample l = lightDefaults_;
    for (auto it = element.begin(); it != element.end(); ++it) {
        const std::string& key = it.key();
        const std::string_view k = key;
        auto field = [&] { return what() + " child '" + key + "'"; };
        if (k == "lightDirection" || k == "lightIntensity") {
            const Numbers v = triple(it.value(), field);
            std::copy(v.v, v.v + 3, k == "lightDirection" ? l.direction : l.intensity);
        } else if (k == "lightAmbient" || k == "lightDiffuse" || k == "lightSpecular") {
            if (!it.value().is_boolean())
                throw InputError(field() + " takes true or false");
            (k == "lightAmbient" ? l.ambient : k == "lightDiffuse" ? l.diffuse : l.specular) = it.value().get<bool>();
        } else if (k == "lightShadowFraction" || k == "preShadowIntensity") {
            (k == "lightShadowFraction" ? l.shadowFraction : l.preShadowIntensity) =
                static_cast<float>(singleOf(it.value(), field));
        } else {
            throw InputError("unknown child '" + key + "' of lightDataArray (" + what() + ")");
        }
    }
    return l;
}

void Shading::answerNode(const Json& request)
{
    const mayahost::NodeType& type = plugin_.type();
    if (node_)
        node_->reset();
    else
        node_.reset(new mayahost::Node(type.name));
    mayahost::Node& node = *node_;
    const Json& attributes = request.at("node");
    requireObject(attributes, named("\"node\""));
    for (auto it = attributes.begin(); it != attributes.end(); ++it) {
        const mayahost::Attribute* a = type.find(it.key());
        if (a && a->flags.array && a->kind == mayahost::AttrKind::LightData) {
            auto what = [&] { return "attribute '" + it.key() + "' of node " + type.name; };
            if (!it.value().is_array())
                throw InputError(what() + " takes an array of light objects");
            requireAtMost(it.value(), kMaxLights, what);
            lights_.clear();
            for (std::size_t i = 0; i < it.value().size(); ++i)
                lights_.push_back(lightElement(it.value()[i], i));
            node.setLights(lights_.data(), lights_.size());
        } else {
            setAttribute(node, a, it.key(), it.value());
        }
    }

    static const std::string kDefaultOutputs[] = {"outColor", "outTransparency"};
    const Json* get = nullptr;
    if (request.contains("get")) {
        get = &request["get"];
        if (!get->is_array())
            throw InputError("\"get\" must be an array of output names");
        for (const Json& name : *get)
            if (!name.is_string())
                throw InputError("\"get\" must be an array of output names");
    }
    outputs_.clear();
    auto compute = [&](const std::string& name) {
        const mayahost::Attribute* a = type.find(name);
        if (!a || !(a->computed || (a->parent && a->parent->computed)))
            throw InputError("unknown output '" + name + "' of node " + type.name);
        try {
            outputs_.push_back({a, node.getAttr(*a, name)});
        } catch (const mayahost::Error& e) {
            throw InternalError(e.what());  // the node's own compute failed
        }
    };
    if (get) {
        for (const Json& name : *get)
            compute(name.get_ref<const std::string&>());
    } else {
        for (const std::string& name : kDefaultOutputs)
            compute(name);
    }

    // One member per output, in name order; an output asked for twice is given once.
    std::stable_sort(outputs_.begin(), outputs_.end(), [](const Output& x, const Output& y) {
        return x.attribute->longName < y.attribute->longName;
    });
    reply_ += '{';
    bool first = true;
    for (std::size_t i = 0; i < outputs_.size(); ++i) {
        const Output& o = outputs_[i];
        if (i + 1 < outputs_.size() && outputs_[i + 1].attribute->longName == o.attribute->longName)
            continue;  // the last of equal names stands, as in a JSON object
        if (!first)
            reply_ += ", ";
        first = false;
        appendKey(reply_, o.attribute->longName);
        reply_ += ": ";
        appendFloats(reply_, o.value.v, o.value.count);
    }
    reply_ += '}';
}

// ---------------------------------------------------------------------------
// Shader requests

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
    const mrhost::Declaration& d = shader_.declaration();
    for (auto it = request.begin(); it != request.end(); ++it) {
        static constexpr std::string_view kFields[] = {"shader", "lights", "state", "irradiance", "result",
                                                       "connected"};
        bool known = false;
        for (std::string_view f : kFields)
            known = known || it.key() == f;
        if (!known)
            throw InputError("unknown field '" + it.key() + "' in a shader request");
    }
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

    block_.clear();
    const Json& params = request.at("shader");
    requireObject(params, named("\"shader\""));
    for (auto it = params.begin(); it != params.end(); ++it) {
        const mrhost::Parameter* p = shader_.declaration().find(it.key());
        if (!p)
            throw InputError("unknown parameter '" + it.key() + "' of shader " + d.name);
        if (p->array) {
            auto what = [&] { return "parameter '" + p->name + "' of shader " + d.name; };
            if (!it.value().is_array())
                throw InputError(what() + " takes an array of light names");
            requireAtMost(it.value(), kMaxLights, what);
            tags_.clear();
            for (const Json& name : it.value()) {
                if (!name.is_string())
                    throw InputError(what() + " takes an array of light names");
                const std::string& light = name.get_ref<const std::string&>();
                const miTag* tag = lightTag(light);
                if (!tag)
                    throw InputError("unknown light '" + light + "' in parameter '" + p->name + "'");
                tags_.push_back(*tag);
            }
            block_.setArray(*p, tags_);
        } else {
            setShaderValue(block_, *p, parameterValue(*p, it.value()));
        }
    }

    mrhost::ShaderCall call(block_.bytes());
    block_.write(call.parameters());
    miState& state = call.state();
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
    if (request.contains("connected")) {
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
    mrhost::setIrradiance(request.contains("irradiance")
                              ? colourOf(request["irradiance"], named("\"irradiance\""), 1.0f)
                              : miColor{0.0f, 0.0f, 0.0f, 1.0f});
    miColor result = request.contains("result") ? colourOf(request["result"], named("\"result\""), 0.0f)
                                                : miColor{0.0f, 0.0f, 0.0f, 0.0f};
    shader_.shade(&result, call);
    const float rgba[4] = {result.r, result.g, result.b, result.a};
    reply_ += "{\"result\": ";
    appendFloats(reply_, rgba, 4);
    reply_ += '}';
}

const std::string& Shading::answer(const std::string& line, int number, bool* failed, bool* internal)
{
    reply_.clear();
    *failed = false;
    if (internal)
        *internal = false;
    auto fail = [&](const std::string& message, bool ours) {
        *failed = true;
        if (internal)
            *internal = ours;
        reply_ = "{\"error\": " +
                 nlohmann::json("line " + std::to_string(number) + ": " + message)
                     .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
                 "}";
    };
    try {
        if (line.size() > kMaxLineBytes)
            throw InputError("the request is longer than the limit of " + std::to_string(kMaxLineBytes) + " bytes");
        Json request;
        try {
            request = Json::parse(line);
        } catch (const Json::exception& e) {
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
                if (std::string_view(it.key()) != "node" && std::string_view(it.key()) != "get")
                    throw InputError("unknown field '" + it.key() + "' in a node request");
            answerNode(request);
        } else {
            answerShader(request);
        }
    } catch (const InputError& e) {
        fail(e.what(), false);
    } catch (const Json::exception& e) {
        fail(e.what(), false);  // a value of the wrong JSON kind
    } catch (const std::exception& e) {
        fail(std::string("internal failure: ") + e.what(), true);
    }
    return reply_;
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
    return Shading(plugin, shader).answer(line, number, failed, internal);
}

int runShade(std::istream& in, std::ostream& out, const MayaPlugin& plugin, const MentalRayShader& shader)
{
    Shading shading(plugin, shader);
    std::string line;
    const std::unique_ptr<char[]> buffer(new char[kLineBuffer]);
    int number = 0;
    bool anyFailed = false, anyInternal = false;
    while (readLine(in, buffer.get(), line)) {
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;  // blank lines are not requests
        bool failed = false, internal = false;
        out << shading.answer(line, number, &failed, &internal) << '\n';
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
