// Files that are whole or absent: the bytes go to a temporary file beside the
// target, every write is checked, the file is synced and closed, and only then
// renamed into place. A failure, or SIGINT/SIGTERM while writing, removes the
// temporary file and leaves any earlier file at the path as it was.
#ifndef COOLWARM_TOOL_OUTPUT_H
#define COOLWARM_TOOL_OUTPUT_H

#include <string>

namespace cwtool {

// The folder part of a path: "." when it has none.
std::string folderOf(const std::string& path);

// Throws InputError "WHAT: ... REASON" (WHAT names the path for the user, such
// as "--out 'x.png'") with the system's reason when any step fails.
void writeFileWhole(const std::string& path, const std::string& bytes, const std::string& what);

}  // namespace cwtool

#endif
