// An ordered list of byte strings with a lock of its own: any thread may add to it and
// take from it. Each connection's outgoing queue is one.
#pragma once

#include <deque>
#include <mutex>
#include <string>

class TThreadStringList {
  public:
    TThreadStringList() = default;
    TThreadStringList(const TThreadStringList&) = delete;
    TThreadStringList& operator=(const TThreadStringList&) = delete;

    // Appends the text at the end; answers its 0-based position.
    int Add(std::string text);
    // Removes and answers the first string, or answers "" when the list is empty.
    std::string TakeFirst();
    void Clear();
    // The number of strings; by the time the caller looks, other threads may have changed it.
    int Count() const;

  private:
    mutable std::mutex Mutex_;
    std::deque<std::string> Lines_;
};
