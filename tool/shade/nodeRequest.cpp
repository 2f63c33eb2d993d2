// Node requests: the attributes and light data read from the request, the
// outputs computed through the host, the reply written.
#include "shading.h"

#include "reply.h"

#include "core/values.h"

#include <algorithm>

namespace cwtool {
namespace shadeparts {


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
    mayahost::Node& node = readNodeInputs(request.at("node"));
    computeOutputs(node, request);
    writeOutputs();
}

// A node set back to a new node's values, then given the request's inputs.
mayahost::Node& Shading::readNodeInputs(const Json& attributes)
{
    const mayahost::NodeType& type = plugin_.type();
    if (node_)
        node_->reset();
    else
        node_.reset(new mayahost::Node(type.name));
    mayahost::Node& node = *node_;
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
    return node;
}

// The outputs "get" names (outColor and outTransparency when it names none),
// computed through the host.
void Shading::computeOutputs(mayahost::Node& node, const Json& request)
{
    const mayahost::NodeType& type = plugin_.type();
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
}

// One member per output, in name order; an output asked for twice is given once.
void Shading::writeOutputs()
{
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

}  // namespace shadeparts
}  // namespace cwtool
