// Internal to serve/: at most one render at a time.
#ifndef COOLWARM_TOOL_SERVE_RENDERGATE_H
#define COOLWARM_TOOL_SERVE_RENDERGATE_H

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace cwtool {
namespace lookdev {

// At most one render at a time. A new request supersedes every queued one and
// cancels the running one, so an interactive client is never behind.
class RenderGate {
public:
    enum Outcome { Done, SupersededQueued, SupersededRunning };

    template <class Work>
    Outcome run(Work work)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        const unsigned long ticket = ++latest_;
        if (running_)
            running_->store(true);
        changed_.notify_all();
        changed_.wait(lock, [&] { return !busy_ || latest_ != ticket; });
        if (latest_ != ticket || stopping_)
            return SupersededQueued;
        busy_ = true;
        std::atomic<bool> cancel{false};
        running_ = &cancel;
        lock.unlock();
        struct Release {
            RenderGate& gate;
            ~Release()
            {
                std::lock_guard<std::mutex> l(gate.mutex_);
                gate.busy_ = false;
                gate.running_ = nullptr;
                gate.changed_.notify_all();
            }
        } release{*this};
        work(cancel);
        return cancel.load() ? SupersededRunning : Done;
    }

    // Cancels everything, for shutting down.
    void stop()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        ++latest_;
        if (running_)
            running_->store(true);
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned long latest_ = 0;
    bool busy_ = false, stopping_ = false;
    std::atomic<bool>* running_ = nullptr;
};

}  // namespace lookdev
}  // namespace cwtool

#endif
