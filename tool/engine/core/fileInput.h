// Reading a named input file safely: only a regular file is read, so that a
// folder, a FIFO or a device named by mistake is refused at once instead of
// hanging the tool or running it out of memory.
#ifndef COOLWARM_TOOL_FILEINPUT_H
#define COOLWARM_TOOL_FILEINPUT_H

#include <cstddef>
#include <functional>
#include <string>

namespace cwtool {

// The whole of the regular file at `path`. Throws InputError "WHAT: PROBLEM"
// when it cannot be opened (with the system's reason), is not a regular file
// (naming its kind), is longer than `maxBytes`, or cannot be read.
std::string readRegularFile(const std::string& path, std::size_t maxBytes, const std::string& what);

// The same file read in pieces of whole lines, for a file too large to hold
// twice: calls piece(begin, end) for each in turn, every piece but the last
// ending in '\n', none longer than `pieceBytes` unless it holds a line that
// is. Stops and returns false as soon as piece() does. `fileSize`, when
// given, receives the file's size as it was opened. Throws as
// readRegularFile, once the pieces before the fault are handed on.
bool readRegularFileLines(const std::string& path, std::size_t maxBytes, const std::string& what,
                          std::size_t pieceBytes, const std::function<bool(const char*, const char*)>& piece,
                          std::size_t* fileSize = nullptr);

// "a folder", "a FIFO", "a character device", "a block device", "a socket" or
// "a regular file", for a file's st_mode.
const char* fileKind(unsigned mode);

}  // namespace cwtool

#endif
