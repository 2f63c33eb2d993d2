// Internal to cli/: the progress of a render on standard error.
#ifndef COOLWARM_TOOL_CLI_PROGRESS_H
#define COOLWARM_TOOL_CLI_PROGRESS_H

#include <chrono>

namespace cwtool {
namespace cli {

// A bar redrawn in place on a terminal; elsewhere (a log, a pipe) a line each
// time another tenth is done, at most one per `every` seconds, and a last one.
class ProgressReport {
public:
    ProgressReport(const char* what, bool terminal, double every)
        : what_(what), terminal_(terminal), every_(every), start_(std::chrono::steady_clock::now())
    {
    }
    void operator()(int done, int total);

private:
    const char* what_;
    bool terminal_;
    double every_;
    std::chrono::steady_clock::time_point start_;
    int lastTenth_ = -1;
    bool finished_ = false;
    double lastTime_ = 0.0;
};

}  // namespace cli
}  // namespace cwtool

#endif
