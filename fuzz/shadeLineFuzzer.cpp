// One `shade` request line end to end: parsed, handed to the Maya plug-in or
// the mental ray shader through their stand-in hosts, and answered. The reply
// must be one line of JSON that reads back.
#include "core/deliverables.h"
#include "shade/shade.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const cwtool::InstallLayout layout = cwtool::findLayout();
    static const cwtool::MayaPlugin plugin(layout);
    static const cwtool::MentalRayShader shader(layout);
    const std::string line(reinterpret_cast<const char*>(data), size);
    if (line.find('\n') != std::string::npos)
        return 0;  // one line at a time, as runShade hands them over
    bool failed = false, internal = false;
    const std::string reply = cwtool::shadeLine(line, 1, plugin, shader, &failed, &internal);
    if (reply.find('\n') != std::string::npos || !nlohmann::json::accept(reply) || internal)
        std::abort();
    return 0;
}
