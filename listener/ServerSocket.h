// The listener: accepts TCP connections on all local IPv4 addresses and gives each
// one to a connection thread, keeping a small cache of idle threads for reuse and
// joining every other thread as soon as it has finished.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "listener/ClientSocket.h"
#include "listener/SizedThread.h"

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

    // Makes `socket` the one being served, for a caller that drives the connection
    // from its own thread instead of through a listener (the dispatcher's fuzz
    // target does); null lets it go again.
    void AdoptSocket(std::shared_ptr<TClientSocket> socket) {
        std::lock_guard guard(mutex_);
        socket_ = std::move(socket);
    }

  protected:
    // Serves ClientSocket() until the connection ends; runs in this thread.
    virtual void ClientExecute() = 0;

  private:
    friend class TServerSocket;
    void Start(TServerSocket& owner);
    // Both called with the listener's list lock held.
    bool IsIdle();
    void GiveSocket(std::shared_ptr<TClientSocket> socket);
    // Ending in two steps, so that every connection knows the listener stops before
    // any of them ends: one that ends then sends nothing to the others.
    void MarkTerminated() { terminated_.store(true, std::memory_order_release); }
    void CloseAndWake();
    void Run();
    void ServeOneSocket();
    bool WaitForSocket();

    TServerSocket* owner_ = nullptr;
    TSizedThread thread_;
    mutable std::mutex mutex_;  // guards socket_ hand-over and the wake-up
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

    // A host with more live connections that have not registered is refused its next
    // connection at once, without a thread. A person's client needs one connection
    // to register, and the server takes one user per host anyway; three leave room
    // for a reconnection while an old connection is still being noticed as dead,
    // yet no single host can hold many threads or the connection limit's places
    // with idle connections.
    static constexpr int kMaxUnregisteredPerHost = 3;
    // Connections that have not registered, from all hosts together. When a new one
    // finds them all taken, the oldest of them is closed to make room: a client
    // registers within moments of connecting, so only connections that sit idle
    // are ever closed this way, and no number of idle connections keeps a new
    // client out.
    static constexpr int kMaxUnregistered = 1024;

    TServerSocket(int threadCacheSize, GetThreadHandler onGetThread, ErrorDisplay showError,
                  ThreadWaiter waitForThread = {}, int maxUnregistered = kMaxUnregistered);
    ~TServerSocket();  // deactivates
    TServerSocket(const TServerSocket&) = delete;
    TServerSocket& operator=(const TServerSocket&) = delete;

    // Binds all local addresses on `port` (0: any free port), listens with the largest
    // backlog the system allows and starts accepting. Throws std::system_error with
    // the socket error's errno (its text as what()) when the port cannot be bound.
    void Activate(uint16_t port);
    // Stops accepting, tells every connection thread to end, closes every client
    // socket, wakes and joins every connection thread, and only then returns.
    void Deactivate();
    bool Active() const { return listenFd_ >= 0; }
    uint16_t LocalPort() const { return localPort_; }

    // Connection threads that currently hold a socket.
    int ActiveThreads() const { return activeThreads_.load(std::memory_order_acquire); }
    // Accepted sockets that still exist.
    int ActiveConnections() const;
    // Connection threads that exist: those holding a socket, the idle cached ones and
    // those that have finished but are not joined yet.
    int ExistingThreads() const;

  private:
    friend class TServerClientThread;
    void AcceptLoop();
    void AcceptOne();
    // Waits until a connection arrives, a thread finishes or the listener stops;
    // false when `timeoutMs` (-1: no limit) passed first.
    bool WaitForWork(int timeoutMs);
    void GetThread(std::shared_ptr<TClientSocket> socket);
    bool TooManyUnregistered(in_addr_t peer) const;
    // Closes the oldest unregistered connection when the unregistered ones fill
    // their share, so that the one being accepted finds room.
    void MakeRoomForUnregistered();
    void ForgetSocket(uint64_t acceptNumber);
    // Frees the thread's socket after a connection; answers whether the thread stays
    // in the cache for the next one. A leaving thread is moved to finished_ and the
    // accept thread is woken to join it.
    bool ReleaseSocket(TServerClientThread& thread);
    std::size_t JoinFinishedThreads();  // answers how many it joined
    void Join(TServerClientThread& thread);
    void ReportError(const std::string& text) { showError_(text); }

    const int threadCacheSize_;
    const int maxUnregistered_;
    GetThreadHandler onGetThread_;
    ErrorDisplay showError_;
    ThreadWaiter waitForThread_;

    int listenFd_ = -1;
    int wakeFd_ = -1;  // eventfd: a thread has finished, or the accept thread is to stop
    uint16_t localPort_ = 0;
    std::thread acceptThread_;
    std::atomic<bool> stopAccepting_{false};
    uint64_t lastAcceptNumber_ = 0;  // accept thread only

    mutable std::mutex listLock_;                                 // guards threads_ and finished_
    std::vector<std::unique_ptr<TServerClientThread>> threads_;   // in order of creation
    std::vector<std::unique_ptr<TServerClientThread>> finished_;  // left, not yet joined
    std::atomic<int> activeThreads_{0};

    // Taken last: never held while asking for the list lock or a thread's lock.
    mutable std::mutex acceptedLock_;  // guards accepted_
    // Accepted sockets that still exist, by accept number.
    std::map<uint64_t, std::shared_ptr<TClientSocket>> accepted_;
};

}  // namespace listener
