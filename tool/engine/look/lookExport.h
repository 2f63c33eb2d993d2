// A look in the forms its hosts read: a MEL script that makes (or updates) a
// coolwarm node, an attribute preset for the node type's Presets menu, a
// shader instance in the renderer's scene language, and the look file itself.
// Every number is written as the shortest text that reads back as the same
// single-precision value, which is what the node and the shader hold.
#ifndef COOLWARM_TOOL_LOOKEXPORT_H
#define COOLWARM_TOOL_LOOKEXPORT_H

#include "look.h"

#include "declaration.h"
#include "mayaHost.h"

#include <string>

namespace cwtool {

enum class ExportFormat { Mel, MelPreset, Mi, Json };

// "mel", "mel-preset", "mi" or "json"; false for anything else.
bool parseExportFormat(const std::string& text, ExportFormat& format);
// The formats as the command line and the API name them.
inline constexpr char kExportFormats[] = "mel, mel-preset, mi or json";

// The file name's extension for a format ("mel", "mi", "json").
const char* exportExtension(ExportFormat format);

// The name given to the node, the preset or the shader instance when none is
// asked for.
inline constexpr char kDefaultExportName[] = "coolwarmLook";

// A node or shader name both hosts take: a letter or underscore, then
// letters, digits and underscores, at most 64 in all. Throws InputError
// starting with `what` otherwise.
void checkExportName(const std::string& name, const std::string& what);

// The look for the hosts. The node takes the look's values for the Maya side
// that are node attributes (in the node's attribute order), the shader those
// for the mental ray side that are its parameters (in the declaration's
// order); values one side lacks are left out of its form. `name`: with mel,
// the node to update (empty: a new node); with mi, the shader instance's name
// (empty: kDefaultExportName); otherwise unused.
std::string exportLook(const Look& look, ExportFormat format, const std::string& name,
                       const mayahost::NodeType& node, const mrhost::Declaration& shader);

}  // namespace cwtool

#endif
