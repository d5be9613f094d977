#include "desktop/GuiThreadCalls.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <system_error>

TGuiThreadCalls::TGuiThreadCalls()
    : guiThread_(std::this_thread::get_id()), wakeCounter_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wakeCounter_ < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    wakeNotifier_ = std::make_unique<QSocketNotifier>(wakeCounter_, QSocketNotifier::Read);
    QObject::connect(wakeNotifier_.get(), &QSocketNotifier::activated, [this] {
        uint64_t count = 0;
        [[maybe_unused]] const auto ignored = ::read(wakeCounter_, &count, sizeof count);
        RunPending();
    });
}

TGuiThreadCalls::~TGuiThreadCalls() {
    wakeNotifier_.reset();
    ::close(wakeCounter_);
}

void TGuiThreadCalls::Wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const auto ignored = ::write(wakeCounter_, &one, sizeof one);
}

void TGuiThreadCalls::Invoke(const std::function<void()>& step) {
    if (std::this_thread::get_id() == guiThread_) {
        step();
        return;
    }
    bool done = false;
    std::exception_ptr error;
    std::unique_lock guard(mutex_);
    pending_.emplace_back([&] {
        try {
            step();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard doneGuard(mutex_);
        done = true;
        changed_.notify_all();
    });
    changed_.notify_all();
    Wake();
    changed_.wait(guard, [&] { return done; });
    if (error)
        std::rethrow_exception(error);
}

void TGuiThreadCalls::Post(std::function<void()> step) {
    std::lock_guard guard(mutex_);
    pending_.push_back(std::move(step));
    changed_.notify_all();
    Wake();
}

void TGuiThreadCalls::RunFirst(std::unique_lock<std::mutex>& guard) {
    auto step = std::move(pending_.front());
    pending_.pop_front();
    guard.unlock();
    step();
    guard.lock();
}

void TGuiThreadCalls::RunPending() {
    std::unique_lock guard(mutex_);
    while (!pending_.empty())
        RunFirst(guard);
}

void TGuiThreadCalls::ServeUntil(const std::function<bool()>& done) {
    std::unique_lock guard(mutex_);
    for (;;) {
        while (!pending_.empty())
            RunFirst(guard);
        if (done())
            return;
        changed_.wait_for(guard, std::chrono::milliseconds(5),
                          [this] { return !pending_.empty(); });
    }
}
