// Internal to shade/: the class that answers request lines, its parts in
// shade.cpp (the line), nodeRequest.cpp and shaderRequest.cpp.
#ifndef COOLWARM_TOOL_SHADE_SHADING_H
#define COOLWARM_TOOL_SHADE_SHADING_H

#include "requestJson.h"

#include "core/deliverables.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cwtool {
namespace shadeparts {

// Answers request lines one after another. What it keeps from line to line (a
// node, buffers, name tables) carries nothing of one request into the next:
// the node is set back to a new node's values before every request.
class Shading {
public:
    Shading(const MayaPlugin& plugin, const MentalRayShader& shader);
    // As shadeLine; the text stays until the next call.
    const std::string& answer(const std::string& line, int number, bool* failed, bool* internal);

private:
    // Node requests (nodeRequest.cpp): the inputs read into the node, the
    // outputs computed, the reply written.
    void answerNode(const Json& request);
    mayahost::Node& readNodeInputs(const Json& attributes);
    void setAttribute(mayahost::Node& node, const mayahost::Attribute* a, const std::string& name, const Json& value);
    mayahost::LightSample lightElement(const Json& element, std::size_t index) const;
    void computeOutputs(mayahost::Node& node, const Json& request);
    void writeOutputs();

    // Shader requests (shaderRequest.cpp): the lights and the parameter block
    // read, the shader called, the reply written.
    void answerShader(const Json& request);
    void readLights(const Json& request);
    void buildBlock(const Json& params);
    void setLightList(const mrhost::Parameter& p, const Json& names);
    std::vector<double>& parameterValue(const mrhost::Parameter& p, const Json& value);
    const miTag* lightTag(const std::string& name) const;
    void connect(const Json& request, mrhost::ShaderCall& call);
    miColor callShader(const Json& request, mrhost::ShaderCall& call);
    void writeResult(const miColor& result);

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

}  // namespace shadeparts
}  // namespace cwtool

#endif
