// An ordered list of byte strings with a lock of its own.
#include "core/ThreadStringList.h"

int TThreadStringList::Add(std::string text) {
    const std::lock_guard<std::mutex> guard(Mutex_);
    Lines_.push_back(std::move(text));
    return static_cast<int>(Lines_.size()) - 1;
}

std::string TThreadStringList::TakeFirst() {
    const std::lock_guard<std::mutex> guard(Mutex_);
    if (Lines_.empty()) {
        return {};
    }
    std::string first = std::move(Lines_.front());
    Lines_.pop_front();
    return first;
}

void TThreadStringList::Clear() {
    const std::lock_guard<std::mutex> guard(Mutex_);
    Lines_.clear();
}

int TThreadStringList::Count() const {
    const std::lock_guard<std::mutex> guard(Mutex_);
    return static_cast<int>(Lines_.size());
}
