// `coolwarm shade`: one JSON request per line in, one JSON reply per line out.
#ifndef COOLWARM_TOOL_SHADE_H
#define COOLWARM_TOOL_SHADE_H

#include <iosfwd>
#include <string>

namespace cwtool {

class MayaPlugin;
class MentalRayShader;

// Answers every line of `in`; returns the exit status (1 when any line failed).
int runShade(std::istream& in, std::ostream& out, const MayaPlugin& plugin, const MentalRayShader& shader);

// The reply to one request line (numbered from 1); never throws.
std::string shadeLine(const std::string& line, int number, const MayaPlugin& plugin, const MentalRayShader& shader,
                      bool* failed);

}  // namespace cwtool

#endif
