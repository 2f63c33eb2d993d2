// Internal to scene/: loading's work split over threads.
#ifndef COOLWARM_TOOL_ONTHREADS_H
#define COOLWARM_TOOL_ONTHREADS_H

#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

namespace cwtool {

// Calls work(i) for i < count, 0 on this thread and the others each on a
// thread of its own (on this one, after 0, where no thread is to be had).
// What a call throws (memory running out) is thrown here once all are done.
template <class Work>
void onThreads(std::size_t count, Work work)
{
    std::vector<std::exception_ptr> failed(count);
    auto run = [&](std::size_t i) {
        try {
            work(i);
        } catch (...) {
            failed[i] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(count);
    std::size_t started = 1;
    try {
        for (; started < count; ++started)
            threads.emplace_back(run, started);
    } catch (const std::system_error&) {
        // No thread to be had: the calls left run here.
    }
    run(0);
    for (std::size_t i = started; i < count; ++i)
        run(i);
    for (std::thread& t : threads)
        t.join();
    for (const std::exception_ptr& e : failed)
        if (e)
            std::rethrow_exception(e);
}

// Calls work(part, begin, end) for `parts` consecutive ranges of [0, count)
// on threads as onThreads does; `cut(i)` gives where part i begins.
template <class Cut, class Work>
void inParts(std::size_t count, std::size_t parts, Cut cut, Work work)
{
    onThreads(parts, [&](std::size_t i) { work(i, cut(i), i + 1 == parts ? count : cut(i + 1)); });
}

// inParts with ranges of as near the same size as can be.
template <class Work>
void inEvenParts(std::size_t count, std::size_t parts, Work work)
{
    inParts(count, parts, [&](std::size_t i) { return count * i / parts; }, work);
}

}  // namespace cwtool

#endif
