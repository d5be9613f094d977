// A name server on a loopback address for tests of reverse lookups: it answers PTR
// and A questions from its tables, or, when silent, never answers at all, like a
// name server that cannot be reached.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <thread>

class TFakeNameServer {
  public:
    struct TRecords {
        std::map<std::string, std::string> Ptr;  // "9.0.0.127.in-addr.arpa" -> name
        std::map<std::string, std::string> A;    // name -> dotted address
    };

    // Listens on `address` port 53; throws std::runtime_error when it cannot.
    TFakeNameServer(const std::string& address, TRecords records, bool silent = false);
    ~TFakeNameServer();
    TFakeNameServer(const TFakeNameServer&) = delete;
    TFakeNameServer& operator=(const TFakeNameServer&) = delete;

    // Questions received so far (answered or not).
    int Questions() const { return questions_; }

  private:
    void Serve();
    std::string Answer(const std::string& query) const;

    const TRecords records_;
    const bool silent_;
    int fd_ = -1;
    int stopFd_ = -1;
    std::atomic<int> questions_{0};
    std::thread thread_;
};
