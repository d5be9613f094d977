// Steps that other threads ask the window's (GUI) thread to run. Requests are handed
// over under a standard mutex and wake the GUI thread's event loop through an event
// counter that the loop watches, so no data crosses threads through Qt itself.
#pragma once

#include <QSocketNotifier>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TGuiThreadCalls {
  public:
    // Makes the calling thread the GUI thread; it must run a Qt event loop.
    TGuiThreadCalls();
    ~TGuiThreadCalls();
    TGuiThreadCalls(const TGuiThreadCalls&) = delete;
    TGuiThreadCalls& operator=(const TGuiThreadCalls&) = delete;

    // Runs `step` in the GUI thread and returns when it has run; in the GUI thread
    // itself it runs at once. An exception from `step` reaches the caller.
    void Invoke(const std::function<void()>& step);
    // Has `step` run in the GUI thread later and returns at once. `step` must not throw.
    void Post(std::function<void()> step);
    // GUI thread only: runs the steps asked for, and nothing else, until `done`
    // answers true; `done` is asked after every step and at least every 5 ms.
    void ServeUntil(const std::function<bool()>& done);

  private:
    void Wake();
    void RunPending();  // GUI thread: every step asked for so far
    void RunFirst(std::unique_lock<std::mutex>& guard);

    const std::thread::id guiThread_;
    int wakeCounter_;  // an eventfd the event loop watches
    std::unique_ptr<QSocketNotifier> wakeNotifier_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> pending_;
};
