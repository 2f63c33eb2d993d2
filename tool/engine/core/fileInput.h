// Reading a named input file safely: only a regular file is read, so that a
// folder, a FIFO or a device named by mistake is refused at once instead of
// hanging the tool or running it out of memory.
#ifndef COOLWARM_TOOL_FILEINPUT_H
#define COOLWARM_TOOL_FILEINPUT_H

#include <cstddef>
#include <string>

namespace cwtool {

// The whole of the regular file at `path`. Throws InputError "WHAT: PROBLEM"
// when it cannot be opened (with the system's reason), is not a regular file
// (naming its kind), is longer than `maxBytes`, or cannot be read.
std::string readRegularFile(const std::string& path, std::size_t maxBytes, const std::string& what);

// "a folder", "a FIFO", "a character device", "a block device", "a socket" or
// "a regular file", for a file's st_mode.
const char* fileKind(unsigned mode);

}  // namespace cwtool

#endif
