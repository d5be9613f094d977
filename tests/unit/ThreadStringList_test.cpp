// Tests of the thread-safe string list: order, empty list, and concurrent use.
#include "core/ThreadStringList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(ThreadStringList, TakesStringsOutInTheOrderTheyWereAdded) {
    TThreadStringList list;
    EXPECT_EQ(list.TakeFirst(), "");
    EXPECT_EQ(list.Count(), 0);

    EXPECT_EQ(list.Add("one\r\n"), 0);
    EXPECT_EQ(list.Add(""), 1);
    EXPECT_EQ(list.Add("three\r\n"), 2);
    EXPECT_EQ(list.TakeFirst(), "one\r\n");
    EXPECT_EQ(list.Add("four\r\n"), 2);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.TakeFirst(), "");
    EXPECT_EQ(list.TakeFirst(), "three\r\n");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.TakeFirst(), "");
}

// Producers add numbered lines while consumers take them; every line must come out exactly
// once, and each consumer must see each producer's lines in increasing order.
TEST(ThreadStringList, ConcurrentAddAndTakeLoseAndDuplicateNothing) {
    constexpr int kProducers = 4;
    constexpr int kConsumers = 4;
    constexpr int kLinesEach = 10000;
    TThreadStringList list;
    std::atomic<int> producersDone{0};
    std::vector<std::vector<std::string>> taken(kConsumers);

    std::vector<std::thread> threads;
    for (int producer = 0; producer < kProducers; ++producer) {
        threads.emplace_back([&, producer] {
            for (int line = 0; line < kLinesEach; ++line) {
                list.Add(std::to_string(producer) + ":" + std::to_string(line));
            }
            ++producersDone;
        });
    }
    for (int consumer = 0; consumer < kConsumers; ++consumer) {
        threads.emplace_back([&, consumer] {
            while (true) {
                const bool allAdded = producersDone == kProducers;
                std::string line = list.TakeFirst();
                if (!line.empty()) {
                    taken[consumer].push_back(std::move(line));
                } else if (allAdded) {
                    return;  // everything was added before the list was seen empty
                } else {
                    std::this_thread::yield();
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    std::set<std::string> distinct;
    std::size_t total = 0;
    for (const std::vector<std::string>& lines : taken) {
        std::vector<int> lastLineOf(kProducers, -1);
        for (const std::string& text : lines) {
            const int producer = std::stoi(text.substr(0, text.find(':')));
            const int line = std::stoi(text.substr(text.find(':') + 1));
            EXPECT_GT(line, lastLineOf[producer]) << text;
            lastLineOf[producer] = line;
            distinct.insert(text);
        }
        total += lines.size();
    }
    EXPECT_EQ(total, std::size_t{kProducers * kLinesEach});
    EXPECT_EQ(distinct.size(), std::size_t{kProducers * kLinesEach});
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace
