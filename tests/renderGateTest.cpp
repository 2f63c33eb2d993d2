// The lookdev server's render gate, on its own: one render at a time, each
// client superseding only its own requests, and a wait that ends as busy.
#include "renderGate.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

using cwtool::lookdev::RenderGate;
using namespace std::chrono_literals;

namespace {

// Work that runs until cancelled or released, saying when it has started.
struct Blocker {
    std::promise<void> started;
    std::shared_future<void> release;
    void operator()(const std::atomic<bool>& cancel)
    {
        started.set_value();
        while (!cancel.load() && release.wait_for(1ms) != std::future_status::ready) {
        }
    }
};

}  // namespace

TEST(RenderGate, AClientsNewRequestCancelsItsRunningAndQueuedOnes)
{
    RenderGate gate;
    std::promise<void> release;
    Blocker blocker{{}, release.get_future().share()};
    auto started = blocker.started.get_future();
    auto running = std::async(std::launch::async, [&] { return gate.run("a", std::ref(blocker)); });
    started.wait();
    // Queued behind another client's running render, then superseded by "a".
    std::promise<void> release2;
    Blocker other{{}, release2.get_future().share()};
    auto otherStarted = other.started.get_future();
    auto queuedOther = std::async(std::launch::async, [&] { return gate.run("b", std::ref(other)); });
    std::this_thread::sleep_for(50ms);
    auto queued = std::async(std::launch::async, [&] { return gate.run("a", [](const std::atomic<bool>&) {}); });
    std::this_thread::sleep_for(50ms);
    auto newest = std::async(std::launch::async, [&] { return gate.run("a", [](const std::atomic<bool>&) {}); });
    EXPECT_EQ(running.get(), RenderGate::SupersededRunning);
    EXPECT_EQ(queued.get(), RenderGate::SupersededQueued);
    // "b" came before the newest "a" and goes first; "a" then waits for it.
    otherStarted.wait();
    release2.set_value();
    EXPECT_EQ(queuedOther.get(), RenderGate::Done);
    EXPECT_EQ(newest.get(), RenderGate::Done);
    release.set_value();
}

TEST(RenderGate, AnotherClientWaitsItsTurnOrGivesUpAsBusy)
{
    RenderGate gate(2, 200ms);
    std::promise<void> release;
    Blocker blocker{{}, release.get_future().share()};
    auto started = blocker.started.get_future();
    auto running = std::async(std::launch::async, [&] { return gate.run("a", std::ref(blocker)); });
    started.wait();
    // Waiting longer than the gate allows: busy, and the running render goes on.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(gate.run("b", [](const std::atomic<bool>&) {}), RenderGate::Busy);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
    // Two others waiting fill the queue: a third is busy at once.
    auto b = std::async(std::launch::async, [&] { return gate.run("b", [](const std::atomic<bool>&) {}); });
    auto c = std::async(std::launch::async, [&] { return gate.run("c", [](const std::atomic<bool>&) {}); });
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(gate.run("d", [](const std::atomic<bool>&) {}), RenderGate::Busy);
    release.set_value();
    EXPECT_EQ(running.get(), RenderGate::Done);
    EXPECT_EQ(b.get(), RenderGate::Done);
    EXPECT_EQ(c.get(), RenderGate::Done);
}

TEST(RenderGate, StoppingCancelsTheRunningAndTheQueued)
{
    RenderGate gate;
    std::promise<void> never;
    Blocker blocker{{}, never.get_future().share()};
    auto started = blocker.started.get_future();
    auto running = std::async(std::launch::async, [&] { return gate.run("a", std::ref(blocker)); });
    started.wait();
    auto queued = std::async(std::launch::async, [&] { return gate.run("b", [](const std::atomic<bool>&) {}); });
    std::this_thread::sleep_for(50ms);
    gate.stop();
    EXPECT_EQ(running.get(), RenderGate::SupersededRunning);
    EXPECT_EQ(queued.get(), RenderGate::SupersededQueued);
    EXPECT_EQ(gate.run("c", [](const std::atomic<bool>&) {}), RenderGate::SupersededQueued);
}
