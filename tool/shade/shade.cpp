#include "shade.h"

#include "reply.h"
#include "shading.h"

#include "core/deliverables.h"
#include "core/errors.h"
#include "core/jsonInput.h"
#include "core/workLimits.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <istream>
#include <limits>
#include <memory>
#include <ostream>

namespace cwtool {

namespace shadeparts {

Shading::Shading(const MayaPlugin& plugin, const MentalRayShader& shader)
    : plugin_(plugin), shader_(shader), block_(shader.declaration()), connection_(shader.declaration())
{
    const mayahost::NodeType& type = plugin.type();
    auto def = [&type](const char* name, int i) { return type.find(name)->defaultValue[i]; };
    for (int i = 0; i < 3; ++i) {
        lightDefaults_.direction[i] = def("lightDirection", i);
        lightDefaults_.intensity[i] = def("lightIntensity", i);
    }
    lightDefaults_.ambient = def("lightAmbient", 0) != 0.0f;
    lightDefaults_.diffuse = def("lightDiffuse", 0) != 0.0f;
    lightDefaults_.specular = def("lightSpecular", 0) != 0.0f;
    lightDefaults_.shadowFraction = def("lightShadowFraction", 0);
    lightDefaults_.preShadowIntensity = def("preShadowIntensity", 0);
}

const std::string& Shading::answer(const std::string& line, int number, bool* failed, bool* internal)
{
    reply_.clear();
    *failed = false;
    if (internal)
        *internal = false;
    auto fail = [&](const std::string& message, bool ours) {
        *failed = true;
        if (internal)
            *internal = ours;
        reply_ = "{\"error\": " +
                 nlohmann::json("line " + std::to_string(number) + ": " + message)
                     .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
                 "}";
    };
    try {
        if (line.size() > kMaxLineBytes)
            throw InputError("the request is longer than the limit of " + std::to_string(kMaxLineBytes) + " bytes");
        checkJsonText(line, kMaxLineBytes, "the request");
        Json request;
        try {
            request = Json::parse(line);
        } catch (const Json::exception& e) {
            throw InputError(notJson(e));
        }
        if (!request.is_object())
            throw InputError("a request is a JSON object with \"node\" or \"shader\"");
        const bool node = request.contains("node"), shaderCall = request.contains("shader");
        if (node == shaderCall)
            throw InputError(node ? "a request has \"node\" or \"shader\", not both"
                                  : "a request needs \"node\" or \"shader\"");
        if (node) {
            for (auto it = request.begin(); it != request.end(); ++it)
                if (std::string_view(it.key()) != "node" && std::string_view(it.key()) != "get")
                    throw InputError("unknown field '" + it.key() + "' in a node request");
            answerNode(request);
        } else {
            answerShader(request);
        }
    } catch (const InputError& e) {
        fail(e.what(), false);
    } catch (const Json::exception& e) {
        fail(e.what(), false);  // a value of the wrong JSON kind
    } catch (const std::exception& e) {
        fail(std::string("internal failure: ") + e.what(), true);
    }
    return reply_;
}

}  // namespace shadeparts

namespace {

using shadeparts::Shading;

// Reads one line without its newline into `line`, keeping at most
// kMaxLineBytes + 1 bytes of it (the rest of a longer line is skipped); false
// at the end of the input. The stream's own line reader scans its buffer
// whole, rather than a character at a time.
const std::size_t kLineBuffer = kMaxLineBytes + 2;

bool readLine(std::istream& in, char* buffer, std::string& line)
{
    in.getline(buffer, static_cast<std::streamsize>(kLineBuffer));
    const std::streamsize read = in.gcount();
    if (in.fail() && !in.eof() && !in.bad()) {
        // Longer than the buffer: keep what was read, drop the rest of the line.
        in.clear();
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        line.assign(buffer, static_cast<std::size_t>(read));
        return true;
    }
    if (in.bad() || (read == 0 && in.eof()))
        return false;  // a read error is the caller's to report
    // A newline that was read counts in gcount but is not stored.
    const bool newline = !in.eof();
    line.assign(buffer, static_cast<std::size_t>(read) - (newline ? 1 : 0));
    in.clear(in.rdstate() & ~std::ios::failbit);
    return true;
}

}  // namespace

std::string shadeLine(const std::string& line, int number, const MayaPlugin& plugin, const MentalRayShader& shader,
                      bool* failed, bool* internal)
{
    return Shading(plugin, shader).answer(line, number, failed, internal);
}

int runShade(std::istream& in, std::ostream& out, const MayaPlugin& plugin, const MentalRayShader& shader)
{
    Shading shading(plugin, shader);
    std::string line;
    const std::unique_ptr<char[]> buffer(new char[kLineBuffer]);
    int number = 0;
    bool anyFailed = false, anyInternal = false;
    while (readLine(in, buffer.get(), line)) {
        ++number;
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;  // blank lines are not requests
        bool failed = false, internal = false;
        out << shading.answer(line, number, &failed, &internal) << '\n';
        if (!out)  // the replies have nowhere to go: stop, with the system's reason
            throw InputError(std::string("shade: writing a reply failed: ") + std::strerror(errno));
        anyFailed = anyFailed || failed;
        anyInternal = anyInternal || internal;
    }
    out.flush();
    if (!out)
        throw InputError(std::string("shade: writing a reply failed: ") + std::strerror(errno));
    return anyInternal ? kExitInternal : anyFailed ? kExitBadInput : kExitOk;
}

}  // namespace cwtool
