// Setting node attributes and shader parameters by name, with one checking for
// the `shade` requests and the `render --set` options.
#ifndef COOLWARM_TOOL_VALUES_H
#define COOLWARM_TOOL_VALUES_H

#include "declaration.h"
#include "mayaHost.h"

#include <string>
#include <vector>

namespace cwtool {

// NAME=VALUE, VALUE being numbers separated by commas or a boolean word.
struct Setting {
    std::string name;
    std::vector<double> numbers;
};

// Throws InputError naming the text when it is not NAME=VALUE.
Setting parseSetting(const std::string& text);

bool nodeHasInput(const mayahost::NodeType& type, const std::string& name);
bool shaderHasParameter(const mrhost::Declaration& declaration, const std::string& name);

// Through the host's setAttr (hard limits clamp); throws InputError with the
// host's complaint.
void setNodeValue(mayahost::Node& node, const std::string& name, const std::vector<double>& numbers);
// The same for an attribute already found in the node's type.
void setNodeValue(mayahost::Node& node, const mayahost::Attribute& attribute, const std::string& name,
                  const std::vector<double>& numbers);
// Into the parameter block; throws InputError with the builder's complaint.
void setShaderValue(mrhost::BlockBuilder& builder, const std::string& name, const std::vector<double>& numbers);
void setShaderValue(mrhost::BlockBuilder& builder, const mrhost::Parameter& parameter,
                    const std::vector<double>& numbers);

// Numbers separated by commas, from `least` to `most` of them; throws
// InputError starting with `what` for anything else.
std::vector<double> parseNumbers(const std::string& text, const std::string& what, std::size_t least,
                                 std::size_t most);

// Shortest decimal text that reads back as the same single-precision value;
// "inf", "-inf" or "nan" for a value that is not finite.
std::string formatFloat(float value);
// The same text into `text` (at least kFloatText bytes, not terminated); returns its length.
constexpr std::size_t kFloatText = 32;
std::size_t formatFloat(float value, char* text);

}  // namespace cwtool

#endif
