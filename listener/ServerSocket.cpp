#include "listener/ServerSocket.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace listener {

namespace {
constexpr int kListenBacklog = 5;
}

// ---- TServerClientThread ------------------------------------------------------

TServerClientThread::~TServerClientThread() {
    if (thread_.joinable())
        thread_.join();
}

void TServerClientThread::Start(TServerSocket& owner) {
    owner_ = &owner;
    thread_ = std::thread(&TServerClientThread::Run, this);
}

bool TServerClientThread::IsIdle() {
    std::lock_guard guard(mutex_);
    return !socket_ && !Terminated();
}

void TServerClientThread::GiveSocket(std::shared_ptr<TClientSocket> socket) {
    std::lock_guard guard(mutex_);
    socket_ = std::move(socket);
    hasNewSocket_ = true;
    owner_->activeThreads_.fetch_add(1, std::memory_order_acq_rel);
    wake_.notify_one();
}

void TServerClientThread::Terminate() {
    std::lock_guard guard(mutex_);
    terminated_.store(true, std::memory_order_release);
    if (socket_)
        socket_->Close();
    wake_.notify_one();
}

bool TServerClientThread::WaitForSocket() {
    std::unique_lock guard(mutex_);
    wake_.wait(guard, [this] { return hasNewSocket_ || Terminated(); });
    const bool serve = hasNewSocket_ && !Terminated();
    hasNewSocket_ = false;
    return serve;
}

void TServerClientThread::ServeOneSocket() {
    try {
        ClientExecute();
    } catch (const std::exception& error) {
        owner_->ReportError(error.what());
        keepInCache_ = false;
    } catch (...) {
        owner_->ReportError("unknown error in a connection thread");
        keepInCache_ = false;
    }
}

void TServerClientThread::Run() {
    bool stay = true;
    while (stay) {
        if (WaitForSocket())
            ServeOneSocket();
        stay = owner_->ReleaseSocket(*this);
    }
    finished_.store(true, std::memory_order_release);
}

// ---- TServerSocket --------------------------------------------------------------

TServerSocket::TServerSocket(int threadCacheSize, GetThreadHandler onGetThread,
                             ErrorDisplay showError, ThreadWaiter waitForThread)
    : threadCacheSize_(threadCacheSize),
      onGetThread_(std::move(onGetThread)),
      showError_(std::move(showError)),
      waitForThread_(std::move(waitForThread)) {}

TServerSocket::~TServerSocket() {
    Deactivate();
}

void TServerSocket::Activate(uint16_t port) {
    if (Active())
        return;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error(TClientSocket::ErrorText(errno));
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
        ::listen(fd, kListenBacklog) < 0) {
        const int error = errno;
        ::close(fd);
        throw std::runtime_error(TClientSocket::ErrorText(error));
    }
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    localPort_ = ntohs(address.sin_port);
    listenFd_ = fd;
    stopAccepting_ = false;
    acceptThread_ = std::thread(&TServerSocket::AcceptLoop, this);
}

void TServerSocket::Deactivate() {
    if (!Active())
        return;
    // Accept no more connections first, so that no thread joins while we end them.
    stopAccepting_ = true;
    ::shutdown(listenFd_, SHUT_RDWR);
    acceptThread_.join();
    ::close(listenFd_);
    listenFd_ = -1;

    std::vector<std::unique_ptr<TServerClientThread>> ending;
    {
        std::lock_guard guard(listLock_);
        ending.swap(threads_);
    }
    // Every connection is told to end before any is waited for: a connection that
    // ends first then sends nothing to the others, which all close without a message.
    for (auto& thread : ending)
        thread->Terminate();
    for (auto thread = ending.rbegin(); thread != ending.rend(); ++thread)
        Join(**thread);
    JoinFinishedThreads();
}

void TServerSocket::AcceptLoop() {
    while (!stopAccepting_) {
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int fd =
            ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0) {
            if (stopAccepting_)
                break;
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                // Out of descriptors or memory: give the connections time to end.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            continue;
        }
        activeConnections_.fetch_add(1, std::memory_order_acq_rel);
        try {
            GetThread(std::make_unique<TClientSocket>(fd, peer));
        } catch (const std::exception& error) {
            activeConnections_.fetch_sub(1, std::memory_order_acq_rel);
            ReportError(error.what());
        }
    }
}

void TServerSocket::GetThread(std::unique_ptr<TClientSocket> socket) {
    JoinFinishedThreads();
    std::lock_guard guard(listLock_);
    for (auto& thread : threads_) {
        if (thread->IsIdle()) {
            thread->GiveSocket(std::move(socket));
            return;
        }
    }
    auto created = onGetThread_();
    created->keepInCache_ = threads_.size() < static_cast<std::size_t>(threadCacheSize_);
    // Listed before it runs, so that no running thread is ever destroyed unjoined.
    threads_.push_back(std::move(created));
    TServerClientThread& thread = *threads_.back();
    try {
        thread.Start(*this);
    } catch (...) {
        threads_.pop_back();
        throw;
    }
    thread.GiveSocket(std::move(socket));
}

bool TServerSocket::ReleaseSocket(TServerClientThread& thread) {
    std::lock_guard guard(listLock_);
    {
        std::lock_guard threadGuard(thread.mutex_);
        if (thread.socket_) {
            thread.socket_.reset();
            activeThreads_.fetch_sub(1, std::memory_order_acq_rel);
            activeConnections_.fetch_sub(1, std::memory_order_acq_rel);
        }
    }
    if (!thread.Terminated() && thread.keepInCache_)
        return true;
    // Leaving: hand the thread object to whoever joins finished threads. During
    // deactivation it has already been taken out of the list and is joined there.
    const auto found = std::find_if(threads_.begin(), threads_.end(),
                                    [&](const auto& entry) { return entry.get() == &thread; });
    if (found != threads_.end()) {
        finished_.push_back(std::move(*found));
        threads_.erase(found);
    }
    return false;
}

void TServerSocket::JoinFinishedThreads() {
    std::vector<std::unique_ptr<TServerClientThread>> finished;
    {
        std::lock_guard guard(listLock_);
        finished.swap(finished_);
    }
    // These have passed their last step that could need the main thread.
    for (auto& thread : finished)
        thread->thread_.join();
}

void TServerSocket::Join(TServerClientThread& thread) {
    if (waitForThread_)
        waitForThread_([&thread] { return thread.finished_.load(std::memory_order_acquire); });
    thread.thread_.join();
}

}  // namespace listener
