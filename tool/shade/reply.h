// Internal to shade/: writing replies (numbers that read back as the same
// float, object keys) and saying why a line is not JSON.
#ifndef COOLWARM_TOOL_SHADE_REPLY_H
#define COOLWARM_TOOL_SHADE_REPLY_H

#include <nlohmann/json.hpp>

#include <string>

namespace cwtool {
namespace shadeparts {

// A number that reads back as the same float. JSON has no infinity or NaN: a
// result that is not finite is written as the string "inf", "-inf" or "nan".
void appendFloat(std::string& out, float f);
// One number, or an array of `count`.
void appendFloats(std::string& out, const float* v, int count);
// An object key: the names this tool writes need no escaping, anything else
// goes through the JSON writer.
void appendKey(std::string& out, const std::string& key);
// What the JSON reader says of a line that is not JSON, without its own prefix.
std::string notJson(const nlohmann::json::exception& e);

}  // namespace shadeparts
}  // namespace cwtool

#endif
