// What the OBJ reader lets through unnoticed: a folder for a file, and vertex
// data that is not a finite single-precision number ("nan", "inf", "1e39" and
// words are read as 0 or infinity by the reader).
#ifndef COOLWARM_TOOL_OBJCHECK_H
#define COOLWARM_TOOL_OBJCHECK_H

#include <string>

namespace cwtool {

// Throws InputError "--scene 'PATH': line N: ..." (or `what` in place of
// "--scene 'PATH'") for the first bad number of a v, vn or vt line, and for a
// path that cannot be read as a file.
void checkObjFile(const std::string& path, const std::string& what = "");

}  // namespace cwtool

#endif
