// The one way JSON enters the tool: scene and look files, shade's request
// lines and the lookdev server's request bodies are all checked here before
// any value is built, with the same limits, so that no input can overflow the
// stack, exhaust memory or reach a number shading cannot hold.
#ifndef COOLWARM_TOOL_JSONINPUT_H
#define COOLWARM_TOOL_JSONINPUT_H

#include "errors.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>

namespace cwtool {

// Arrays and objects inside one another, at most. No valid scene, look or
// request comes near it.
constexpr int kMaxJsonDepth = 16;
// A scene or look file's size, at most.
constexpr std::size_t kMaxJsonFileBytes = 4 << 20;

// Refuses, with InputError "WHAT: PROBLEM" (the byte offset included), text
// longer than `maxBytes`, text that is not valid UTF-8, nesting deeper than
// kMaxJsonDepth, and numbers too large for any reader to hold (1e400; each
// field's reader refuses those beyond single precision, naming the field).
// Text that passes may still be malformed JSON; the parser says so.
void checkJsonText(const std::string& text, std::size_t maxBytes, const std::string& what);

// The reader's complaint about text that checkJsonText passed, without the
// library's own error id.
std::string jsonErrorText(const nlohmann::json::exception& e);

// checkJsonText, then the parse; any JSON type of the library (shade keeps its
// values in memory of its own).
template <class Json = nlohmann::json>
Json parseJsonText(const std::string& text, std::size_t maxBytes, const std::string& what)
{
    checkJsonText(text, maxBytes, what);
    try {
        return Json::parse(text);
    } catch (const nlohmann::json::exception& e) {
        throw InputError(what + ": not JSON: " + jsonErrorText(e));
    }
}

}  // namespace cwtool

#endif
