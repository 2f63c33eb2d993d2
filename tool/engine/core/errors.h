// The tool's error vocabulary: bad input from the user (exit 1) and failures of
// the tool or the deliverables themselves (exit 2).
#ifndef COOLWARM_TOOL_ERRORS_H
#define COOLWARM_TOOL_ERRORS_H

#include <stdexcept>
#include <string>

namespace cwtool {

enum ExitCode { kExitOk = 0, kExitBadInput = 1, kExitInternal = 2 };

// The message names the input and says what is wrong with it.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class InternalError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace cwtool

#endif
