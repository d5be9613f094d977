// A thread whose stack has a chosen size and is given back to the system when the
// thread is joined. std::thread always takes the process default (8 MiB here), and
// the C library keeps up to 40 MiB of the stacks of ended threads for reuse, with
// pages still resident; many short-lived connection threads want neither.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <functional>

namespace listener {

class TSizedThread {
  public:
    TSizedThread() = default;
    ~TSizedThread();  // joins a thread still running
    TSizedThread(const TSizedThread&) = delete;
    TSizedThread& operator=(const TSizedThread&) = delete;

    // Runs `body` on a new thread with a stack of at least `stackBytes` (besides the
    // thread-local storage that shares its mapping) above a guard page; for an object
    // that holds no thread. Throws std::system_error when no thread can be had.
    void Start(std::size_t stackBytes, std::function<void()> body);
    bool Joinable() const { return stack_ != nullptr; }
    // Waits for the thread to end and unmaps its stack.
    void Join();

  private:
    pthread_t thread_{};
    void* stack_ = nullptr;  // the mapping: guard page, then the stack
    std::size_t mappedBytes_ = 0;
};

}  // namespace listener
