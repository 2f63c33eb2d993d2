// look/: the material as one thing. It owns the Look (look.h): node attribute
// and shader parameter values by name, with the maya: and mentalray: prefixes
// for a value that one side takes differently, the built-in look, look files
// and their JSON; and the look's forms for the hosts (lookExport.h): a MEL
// script, an attribute preset, a shader instance for the scene language, the
// look file; and what each attribute is for (reference.h). All three headers
// are public. It may include core/, the host
// stand-ins' headers and nlohmann-json; no other part of the engine.
#ifndef COOLWARM_TOOL_LOOK_H
#define COOLWARM_TOOL_LOOK_H

#include "core/values.h"

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

namespace cwtool {

// Which deliverable a value reaches, and its bare name: "maya:NAME" the node
// only, "mentalray:NAME" the shader only, a bare name both.
struct SettingTarget {
    bool maya = true, mentalRay = true;
    std::string name;
};
SettingTarget targetOf(const std::string& name);

// Named values for the node and the shader. Values apply in order, a later one
// over an earlier one on the sides it reaches; set() keeps that order short:
// a bare name replaces every value of that name, a prefixed one the value for
// its side, so a prefixed value always follows the bare one of its name.
struct Look {
    std::vector<Setting> values;

    void set(const Setting& value);
    // Every value of `other` over this look's, as if applied after them.
    void set(const Look& other);
    // The value of exactly this name (prefix included), or null.
    const Setting* find(const std::string& name) const;
    bool empty() const { return values.empty(); }
    // What one side takes, bare names, each once, in the order first set.
    std::vector<Setting> side(bool maya) const;
};

bool operator==(const Look& a, const Look& b);

// The tool's own look: a warm orange whose cool and warm tones read clearly in
// both renderers, a dark outline, a small highlight.
Look builtinLook();

// A look from a JSON object of NAME: number, [one to three numbers] or
// true/false, in the object's order; a prefixed value wins over the bare one of
// its name on its side wherever the two stand. Throws InputError
// starting with `what`, naming the field (`field`.NAME) and the problem.
Look lookFromJson(const nlohmann::json& object, const std::string& what, const std::string& field);
Look lookFromJson(const nlohmann::ordered_json& object, const std::string& what, const std::string& field);
// The same from text (a look file's); the text must be JSON.
Look parseLook(const std::string& text, const std::string& what);
// The look file's text: one JSON object, a colour as [r, g, b], numbers as
// the shortest text that reads back as the same value, and true/false for the
// values whose bare names are in `booleans`.
std::string lookJson(const Look& look, bool pretty = true, const std::vector<std::string>& booleans = {});

// A look file; throws InputError naming the file.
Look loadLookFile(const std::string& path);
// --look: "builtin" (builtinLook), "node" (nothing: the node's and the
// shader's own defaults) or a look file.
Look loadLook(const std::string& look);

}  // namespace cwtool

#endif
