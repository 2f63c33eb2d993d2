// Internal to serve/: at most one render at a time, in the order asked.
#ifndef COOLWARM_TOOL_SERVE_RENDERGATE_H
#define COOLWARM_TOOL_SERVE_RENDERGATE_H

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

namespace cwtool {
namespace lookdev {

// At most one render at a time, taken in the order they came. A new request
// from a client supersedes that client's queued ones and cancels its running
// one, so an interactive page is never behind itself; other clients' requests
// wait their turn. A request that waits too long, or finds the queue full,
// gives up as Busy.
class RenderGate {
public:
    enum Outcome { Done, SupersededQueued, SupersededRunning, Busy };

    explicit RenderGate(std::size_t maxQueued = 8, std::chrono::milliseconds maxWait = std::chrono::seconds(30))
        : maxQueued_(maxQueued), maxWait_(maxWait)
    {
    }

    template <class Work>
    Outcome run(const std::string& client, Work work)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (Waiter* w : queue_)
            if (w->client == client)
                w->superseded = true;
        if (running_ && runningClient_ == client)
            running_->store(true);
        changed_.notify_all();
        // The client's own superseded requests leave the queue as they wake.
        const std::size_t others =
            std::count_if(queue_.begin(), queue_.end(), [&](const Waiter* w) { return w->client != client; });
        if (others >= maxQueued_)
            return Busy;
        Waiter me{client};
        queue_.push_back(&me);
        const bool turn = changed_.wait_for(lock, maxWait_, [&] {
            return me.superseded || stopping_ || (!busy_ && firstWaiting() == &me);
        });
        queue_.erase(std::find(queue_.begin(), queue_.end(), &me));
        changed_.notify_all();
        if (me.superseded || stopping_)
            return SupersededQueued;
        if (!turn)
            return Busy;
        busy_ = true;
        std::atomic<bool> cancel{false};
        running_ = &cancel;
        runningClient_ = client;
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
        if (running_)
            running_->store(true);
        changed_.notify_all();
    }

private:
    struct Waiter {
        std::string client;
        bool superseded = false;
    };

    // The oldest request still wanted.
    const Waiter* firstWaiting() const
    {
        for (const Waiter* w : queue_)
            if (!w->superseded)
                return w;
        return nullptr;
    }

    const std::size_t maxQueued_;
    const std::chrono::milliseconds maxWait_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Waiter*> queue_;
    bool busy_ = false, stopping_ = false;
    std::atomic<bool>* running_ = nullptr;
    std::string runningClient_;
};

}  // namespace lookdev
}  // namespace cwtool

#endif
