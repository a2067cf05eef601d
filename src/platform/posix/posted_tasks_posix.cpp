#include "platform/posix/posted_tasks.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <utility>

namespace {

struct TaskQueue {
    std::mutex lock;
    std::deque<std::pair<PostedTask, void*>> tasks;
    // Counts posts; read back to zero when the queue runs empty, so it is
    // readable exactly while tasks wait.
    int signal = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
};

TaskQueue& Queue() {
    static TaskQueue queue;
    return queue;
}

}  // namespace

void PostTask(PostedTask task, void* context) {
    TaskQueue& queue = Queue();
    const std::lock_guard<std::mutex> held(queue.lock);
    queue.tasks.emplace_back(task, context);
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(queue.signal, &one, sizeof one);
}

int PostedTaskSignal() {
    return Queue().signal;
}

bool RunOnePostedTask() {
    TaskQueue& queue = Queue();
    std::pair<PostedTask, void*> next;
    {
        const std::lock_guard<std::mutex> held(queue.lock);
        if (queue.tasks.empty()) {
            return false;
        }
        next = queue.tasks.front();
        queue.tasks.pop_front();
        if (queue.tasks.empty()) {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t drained = read(queue.signal, &count, sizeof count);
        }
    }
    // Outside the lock: a task may post another, or wait in a receive itself.
    next.first(next.second);
    return true;
}
