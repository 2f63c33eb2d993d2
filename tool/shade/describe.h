// `coolwarm describe node | shader`: what the hosts see after loading.
#ifndef COOLWARM_TOOL_DESCRIBE_H
#define COOLWARM_TOOL_DESCRIBE_H

#include <nlohmann/json.hpp>

namespace cwtool {

class MayaPlugin;
class MentalRayShader;

nlohmann::ordered_json describeNode(const MayaPlugin& plugin);
nlohmann::ordered_json describeShader(const MentalRayShader& shader);

}  // namespace cwtool

#endif
