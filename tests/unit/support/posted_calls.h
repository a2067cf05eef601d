#pragma once

#include <chrono>
#include <functional>
#include <list>
#include <thread>
#include <vector>

#include "support/wait_tasks.h"

// Runs a function on the thread that made this object, after a delay, the way
// a click on a button reaches a window procedure: posted from another thread
// and run when this thread dispatches its messages, which the receive wait
// does while it waits (and WaitTasks::RunOneWaiting does between waits).
class PostedCalls {
  public:
    PostedCalls() = default;

    ~PostedCalls() { ExpireAll(); }
    PostedCalls(const PostedCalls&) = delete;
    PostedCalls& operator=(const PostedCalls&) = delete;

    bool ok() const { return tasks_.ok(); }

    void PostAfter(std::chrono::milliseconds delay, std::function<void()> function) {
        calls_.push_back(Call{std::move(function)});
        Call* call = &calls_.back();
        posters_.emplace_back([this, call, delay] {
            std::this_thread::sleep_for(delay);
            Post(call);
        });
    }

    // Waits for every call posted so far to arrive, and drops those that
    // have not run yet: what they were meant for is over.
    void ExpireAll() {
        for (std::thread& poster : posters_) {
            poster.join();
        }
        posters_.clear();
        for (Call& call : calls_) {
            call.expired = true;
        }
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!AllDelivered() && std::chrono::steady_clock::now() < giveUp) {
            if (!WaitTasks::RunOneWaiting()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        if (AllDelivered()) {
            calls_.clear();
        } else {
            // Still queued somewhere: keep them where a late delivery finds them.
            static std::list<Call> undelivered;
            undelivered.splice(undelivered.end(), calls_);
        }
    }

  private:
    struct Call {
        std::function<void()> function;
        bool delivered = false;  // both flags are touched on the owner's thread only
        bool expired = false;
    };

    static void Deliver(void* context) {
        Call& call = *static_cast<Call*>(context);
        call.delivered = true;
        if (!call.expired) {
            call.function();
        }
    }

    bool AllDelivered() const {
        for (const Call& call : calls_) {
            if (!call.delivered) {
                return false;
            }
        }
        return true;
    }

    void Post(Call* call) {
        tasks_.Post([call] { Deliver(call); });
    }

    std::list<Call> calls_;  // a list, so that a call stays where its poster points
    std::vector<std::thread> posters_;
    WaitTasks tasks_;  // made on this thread: what it posts runs here
};
