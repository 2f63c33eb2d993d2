// What each user-facing node attribute and shader parameter is for: its group
// in the Attribute Editor and a one-line meaning, for the attribute reference
// (`coolwarm describe --markdown`) and the lookdev page's grouping.
#ifndef COOLWARM_TOOL_REFERENCE_H
#define COOLWARM_TOOL_REFERENCE_H

#include "declaration.h"
#include "mayaHost.h"

#include <string>
#include <vector>

namespace cwtool {

struct AttributeNote {
    const char* name;
    const char* group;
    const char* meaning;
};

// The groups in the Attribute Editor's order.
const std::vector<std::string>& attributeGroups();
// The group of anything no group holds.
inline constexpr char kExtraGroup[] = "Extra Attributes";

// The note for a bare name, or null.
const AttributeNote* attributeNote(const std::string& name);
// Its group, or kExtraGroup.
std::string groupOf(const std::string& name);

// What a user sets: a node input that is neither hidden (the renderer fills it
// per sample) nor a compound's child, of a float, a boolean or a colour; a
// shader parameter that is a scalar, a boolean or a colour.
bool isUserAttribute(const mayahost::NodeType& node, const mayahost::Attribute& attribute);
bool isUserParameter(const mrhost::Parameter& parameter);

// "specularRollOff" -> "Specular Roll Off", as the Attribute Editor names them.
std::string niceName(const std::string& name);

}  // namespace cwtool

#endif
