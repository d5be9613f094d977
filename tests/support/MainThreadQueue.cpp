#include "tests/support/MainThreadQueue.h"

#include <chrono>

TMainThreadQueue::TMainThreadQueue() : mainThread_(std::this_thread::get_id()) {}

void TMainThreadQueue::Invoke(const std::function<void()>& step) {
    if (std::this_thread::get_id() == mainThread_) {
        step();
        return;
    }
    Request request{&step};
    std::unique_lock guard(mutex_);
    if (stopped_) {
        guard.unlock();
        step();
        return;
    }
    pending_.push_back(&request);
    changed_.notify_all();
    changed_.wait(guard, [&] { return request.Done; });
}

void TMainThreadQueue::Serve() {
    std::unique_lock guard(mutex_);
    for (;;) {
        changed_.wait(guard, [this] { return stopped_ || !pending_.empty(); });
        if (pending_.empty())
            return;  // stopped and nothing left to run
        RunFirst(guard);
    }
}

void TMainThreadQueue::RunFirst(std::unique_lock<std::mutex>& guard) {
    Request* request = pending_.front();
    pending_.pop_front();
    guard.unlock();
    (*request->Step)();
    guard.lock();
    request->Done = true;
    changed_.notify_all();
}

void TMainThreadQueue::ServeUntil(const std::function<bool()>& done) {
    std::unique_lock guard(mutex_);
    while (!done()) {
        changed_.wait_for(guard, std::chrono::milliseconds(10),
                          [this] { return !pending_.empty(); });
        if (!pending_.empty())
            RunFirst(guard);
    }
}

void TMainThreadQueue::Stop() {
    std::lock_guard guard(mutex_);
    stopped_ = true;
    changed_.notify_all();
}
