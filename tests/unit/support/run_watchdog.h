#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

// Ends the process when one run of a long test outlives `limit`, saying which
// run to replay: a run that hangs inside a receive never comes back to fail.
class RunWatchdog {
  public:
    using Clock = std::chrono::steady_clock;

    RunWatchdog(std::chrono::seconds limit, std::string replayHint)
        : limit_(limit), replayHint_(std::move(replayHint)), thread_([this] { Watch(); }) {}
    ~RunWatchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        finished_.notify_all();
        thread_.join();
    }
    RunWatchdog(const RunWatchdog&) = delete;
    RunWatchdog& operator=(const RunWatchdog&) = delete;

    void Starting(int run, const std::string& description) {
        std::lock_guard<std::mutex> lock(mutex_);
        run_ = run;
        description_ = description;
        since_ = Clock::now();
    }

  private:
    void Watch() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!finished_.wait_for(lock, std::chrono::seconds(1), [this] { return done_; })) {
            if (run_ >= 0 && Clock::now() - since_ > limit_) {
                std::fprintf(stderr, "run %d hangs (%s); replay with %s%d\n", run_,
                             description_.c_str(), replayHint_.c_str(), run_);
                std::abort();
            }
        }
    }

    const std::chrono::seconds limit_;
    const std::string replayHint_;  // followed by the run's number
    std::mutex mutex_;
    std::condition_variable finished_;
    bool done_ = false;
    int run_ = -1;
    std::string description_;
    Clock::time_point since_ = Clock::now();
    std::thread thread_;  // last: it starts watching at once
};
