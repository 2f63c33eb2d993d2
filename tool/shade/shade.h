// shade/: the front end where the deliverables answer questions. It owns
// `shade` requests (shade.h) and `describe` (describe.h), both public, for the
// command line and the lookdev server; requestJson.h, reply.h and shading.h
// are its own. It may include the engine's core/ and nlohmann-json; the engine
// never includes it.
//
// `coolwarm shade`: one JSON request per line in, one JSON reply per line out.
#ifndef COOLWARM_TOOL_SHADE_H
#define COOLWARM_TOOL_SHADE_H

#include <iosfwd>
#include <string>

namespace cwtool {

class MayaPlugin;
class MentalRayShader;

// Answers every line of `in`; returns the exit status: 1 when any line was a
// bad request, 2 when the deliverables failed on any. Throws InputError when
// `out` fails (a full disk), naming the system's reason.
int runShade(std::istream& in, std::ostream& out, const MayaPlugin& plugin, const MentalRayShader& shader);

// The reply to one request line (numbered from 1), always one line of valid
// JSON; never throws. `failed` tells an error reply; `internal`, when given,
// tells that the fault was the deliverables' and not the request's.
std::string shadeLine(const std::string& line, int number, const MayaPlugin& plugin, const MentalRayShader& shader,
                      bool* failed, bool* internal = nullptr);

}  // namespace cwtool

#endif
