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

// `describe --markdown`: a table of every attribute and parameter a user sets
// (name, nice name, group, type, default, range, meaning, renderers), in the
// Attribute Editor's groups, one name a row.
std::string describeMarkdown(const MayaPlugin& plugin, const MentalRayShader& shader);

}  // namespace cwtool

#endif
