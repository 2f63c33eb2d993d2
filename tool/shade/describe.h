// `coolwarm describe node | shader`: what the hosts see after loading.
#ifndef COOLWARM_TOOL_DESCRIBE_H
#define COOLWARM_TOOL_DESCRIBE_H

#include <nlohmann/json.hpp>

#include <string>

namespace cwtool {

class MayaPlugin;
class MentalRayShader;

nlohmann::ordered_json describeNode(const MayaPlugin& plugin);
nlohmann::ordered_json describeShader(const MentalRayShader& shader);

// One line on what a material setting does: a node attribute or shader
// parameter that a user sets, by its long name, or with "maya:" or
// "mentalray:" in front where the two sides read it differently. Empty for
// a name it does not know.
std::string settingDescription(const std::string& name);

}  // namespace cwtool

#endif
