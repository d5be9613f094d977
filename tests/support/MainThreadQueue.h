// A program's main thread as a test plays it: steps that other threads ask it to
// run, waiting until they have run. The main thread serves them in Serve until Stop
// is called.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class TMainThreadQueue {
  public:
    // Makes the calling thread the main thread.
    TMainThreadQueue();

    // Runs `step` in the main thread and returns when it has run; in the main
    // thread itself it runs at once. After Stop, steps run in the calling thread.
    void Invoke(const std::function<void()>& step);
    // Runs the steps asked for until Stop is called. Main thread only.
    void Serve();
    // Runs the steps asked for until `done` answers true, which it asks after every
    // step and at least every 10 ms. Main thread only.
    void ServeUntil(const std::function<bool()>& done);
    // Ends Serve. Any thread.
    void Stop();

  private:
    struct Request {
        const std::function<void()>* Step;
        bool Done = false;
    };

    void RunFirst(std::unique_lock<std::mutex>& guard);  // runs the oldest pending step

    const std::thread::id mainThread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Request*> pending_;
    bool stopped_ = false;
};
