#include "progress.h"

#include "cli.h"

#include <cstdio>

namespace cwtool {
namespace cli {

void ProgressReport::operator()(int done, int total)
{
    if (finished_)
        return;
    finished_ = done == total;
    const int percent = total ? 100 * done / total : 100;
    const double elapsed = since(start_);
    if (terminal_) {
        const int width = 30, filled = total ? done * width / total : width;
        std::fprintf(stderr, "\rcoolwarm: %s [%.*s%*s] %3d%%  %.1f s", what_, filled,
                     "##############################", width - filled, "", percent, elapsed);
        if (done == total)
            std::fprintf(stderr, "\n");
        std::fflush(stderr);
        return;
    }
    const bool last = done == total;
    const int tenth = percent / 10;
    if (last ? (lastTenth_ < 0 && every_ > 0) || lastTenth_ == 10 : tenth <= lastTenth_ || elapsed - lastTime_ < every_)
        return;
    std::fprintf(stderr, "coolwarm: %s %3d%% (%d of %d) after %.1f s\n", what_, percent, done, total, elapsed);
    std::fflush(stderr);
    lastTenth_ = tenth;
    lastTime_ = elapsed;
}

}  // namespace cli
}  // namespace cwtool
