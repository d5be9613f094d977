// The listener: accepts TCP connections on all local IPv4 addresses and gives each
// one to a connection thread, keeping a small cache of idle threads for reuse.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "listener/ClientSocket.h"

namespace listener {

class TServerSocket;

// A thread that serves one accepted socket after another. A derived class says
// what serving one socket means (ClientExecute).
class TServerClientThread {
  public:
    TServerClientThread() = default;
    virtual ~TServerClientThread();
    TServerClientThread(const TServerClientThread&) = delete;
    TServerClientThread& operator=(const TServerClientThread&) = delete;

    // The socket being served; null while the thread is idle in the cache.
    TClientSocket* ClientSocket() const { return socket_.get(); }
    // The same socket, shared: whoever holds it keeps the descriptor open (though
    // perhaps closed for traffic) after this connection has ended.
    std::shared_ptr<TClientSocket> SharedClientSocket() const { return socket_; }
    // The listener is being deactivated: finish the connection and leave.
    bool Terminated() const { return terminated_.load(std::memory_order_acquire); }

  protected:
    // Serves ClientSocket() until the connection ends; runs in this thread.
    virtual void ClientExecute() = 0;

  private:
    friend class TServerSocket;
    void Start(TServerSocket& owner);
    // Both called with the listener's list lock held.
    bool IsIdle();
    void GiveSocket(std::shared_ptr<TClientSocket> socket);
    void Terminate();
    void Run();
    void ServeOneSocket();
    bool WaitForSocket();

    TServerSocket* owner_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;  // guards socket_ hand-over and the wake-up
    std::condition_variable wake_;
    std::shared_ptr<TClientSocket> socket_;
    bool hasNewSocket_ = false;
    std::atomic<bool> terminated_{false};
    std::atomic<bool> keepInCache_{false};
    std::atomic<bool> finished_{false};  // Run has returned
};

class TServerSocket {
  public:
    using GetThreadHandler = std::function<std::unique_ptr<TServerClientThread>()>;
    using ErrorDisplay = std::function<void(const std::string&)>;
    // Waits until `finished` answers true. A host that deactivates the listener from
    // its main thread passes one that keeps serving the main-thread requests of the
    // connections meanwhile, so that a connection ending cannot wait for it forever.
    using ThreadWaiter = std::function<void(const std::function<bool()>& finished)>;

    TServerSocket(int threadCacheSize, GetThreadHandler onGetThread, ErrorDisplay showError,
                  ThreadWaiter waitForThread = {});
    ~TServerSocket();  // deactivates
    TServerSocket(const TServerSocket&) = delete;
    TServerSocket& operator=(const TServerSocket&) = delete;

    // Binds all local addresses on `port` (0: any free port), listens with a backlog
    // of 5 and starts accepting. Throws std::runtime_error with the socket error's
    // text when the port cannot be bound.
    void Activate(uint16_t port);
    // Stops accepting, closes every client socket, wakes and joins every connection
    // thread, and only then returns.
    void Deactivate();
    bool Active() const { return listenFd_ >= 0; }
    uint16_t LocalPort() const { return localPort_; }

    // Connection threads that currently hold a socket.
    int ActiveThreads() const { return activeThreads_.load(std::memory_order_acquire); }
    // Accepted sockets that still exist.
    int ActiveConnections() const { return activeConnections_.load(std::memory_order_acquire); }

  private:
    friend class TServerClientThread;
    void AcceptLoop();
    void GetThread(std::unique_ptr<TClientSocket> socket);
    // Frees the thread's socket after a connection; answers whether the thread stays
    // in the cache for the next one. A leaving thread is moved to finished_.
    bool ReleaseSocket(TServerClientThread& thread);
    void JoinFinishedThreads();
    void Join(TServerClientThread& thread);
    void ReportError(const std::string& text) { showError_(text); }

    const int threadCacheSize_;
    GetThreadHandler onGetThread_;
    ErrorDisplay showError_;
    ThreadWaiter waitForThread_;

    int listenFd_ = -1;
    uint16_t localPort_ = 0;
    std::thread acceptThread_;
    std::atomic<bool> stopAccepting_{false};

    std::mutex listLock_;                                         // guards threads_ and finished_
    std::vector<std::unique_ptr<TServerClientThread>> threads_;   // in order of creation
    std::vector<std::unique_ptr<TServerClientThread>> finished_;  // left, not yet joined
    std::atomic<int> activeThreads_{0};
    std::atomic<int> activeConnections_{0};
};

}  // namespace listener
