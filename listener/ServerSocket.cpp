#include "listener/ServerSocket.h"

#include <arpa/inet.h>
#include <malloc.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace listener {

namespace {
// Connections the kernel holds until the accept thread takes them. A short queue
// makes a crowd that arrives at once (clients coming back after a restart) lose
// connection attempts, which their systems retry only after one second or more.
constexpr int kListenBacklog = SOMAXCONN;
// A connection thread reads into a small buffer and runs the command handlers; the
// resolver's deep stack runs on a thread of its own (platform/HostLookup). This
// leaves room many times over what the handlers use, sanitizer builds included.
constexpr std::size_t kConnectionStackBytes = 256 * 1024;
// Out of descriptors or memory: how long the accept thread lets connections end
// before it tries again.
constexpr int kAcceptRetryMs = 100;
// After threads have ended, the accept thread hands the memory they freed back to
// the system once nothing has happened for this long; the allocator would keep it.
constexpr int kTrimAfterQuietMs = 1000;
}  // namespace

// ---- TServerClientThread ------------------------------------------------------

TServerClientThread::~TServerClientThread() {
    thread_.Join();
}

void TServerClientThread::Start(TServerSocket& owner) {
    owner_ = &owner;
    thread_.Start(kConnectionStackBytes, [this] { Run(); });
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

void TServerClientThread::CloseAndWake() {
    std::lock_guard guard(mutex_);
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
                             ErrorDisplay showError, ThreadWaiter waitForThread,
                             int maxUnregistered)
    : threadCacheSize_(threadCacheSize),
      maxUnregistered_(maxUnregistered),
      onGetThread_(std::move(onGetThread)),
      showError_(std::move(showError)),
      waitForThread_(std::move(waitForThread)),
      wakeFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (wakeFd_ < 0)
        throw std::runtime_error(TClientSocket::ErrorText(errno));
}

TServerSocket::~TServerSocket() {
    Deactivate();
    ::close(wakeFd_);
}

void TServerSocket::Activate(uint16_t port) {
    if (Active())
        return;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::system_error(errno, std::system_category());
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
        throw std::system_error(error, std::system_category());
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
    eventfd_write(wakeFd_, 1);
    acceptThread_.join();
    ::close(listenFd_);
    listenFd_ = -1;

    std::vector<std::unique_ptr<TServerClientThread>> ending;
    {
        std::lock_guard guard(listLock_);
        ending.swap(threads_);
    }
    // Every connection learns that the listener stops before any socket closes: a
    // connection that ends then sends nothing to the others, which all close
    // without a message.
    for (auto& thread : ending)
        thread->MarkTerminated();
    for (auto& thread : ending)
        thread->CloseAndWake();
    for (auto thread = ending.rbegin(); thread != ending.rend(); ++thread)
        Join(**thread);
    JoinFinishedThreads();
    eventfd_t discarded;
    eventfd_read(wakeFd_, &discarded);  // wake-ups of this activation are all served
}

int TServerSocket::ActiveConnections() const {
    std::lock_guard guard(acceptedLock_);
    return static_cast<int>(accepted_.size());
}

int TServerSocket::ExistingThreads() const {
    std::lock_guard guard(listLock_);
    return static_cast<int>(threads_.size() + finished_.size());
}

void TServerSocket::AcceptLoop() {
    bool joinedSinceTrim = false;
    while (!stopAccepting_) {
        if (!WaitForWork(joinedSinceTrim ? kTrimAfterQuietMs : -1)) {
            malloc_trim(0);
            joinedSinceTrim = false;
            continue;
        }
        joinedSinceTrim = JoinFinishedThreads() > 0 || joinedSinceTrim;
        if (!stopAccepting_)
            AcceptOne();
    }
}

bool TServerSocket::WaitForWork(int timeoutMs) {
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeoutMs);
    if (ready > 0 && (fds[0].revents & POLLIN)) {
        eventfd_t discarded;
        eventfd_read(wakeFd_, &discarded);
    }
    return ready != 0;
}

void TServerSocket::AcceptOne() {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
            // Out of descriptors or memory: give the connections time to end.
            pollfd wake{wakeFd_, POLLIN, 0};
            ::poll(&wake, 1, kAcceptRetryMs);
        }
        return;
    }
    if (TooManyUnregistered(peer.sin_addr.s_addr)) {
        ::close(fd);
        return;
    }
    MakeRoomForUnregistered();
    try {
        auto socket = std::make_shared<TClientSocket>(fd, peer, ++lastAcceptNumber_);
        {
            std::lock_guard guard(acceptedLock_);
            accepted_.emplace(socket->AcceptNumber(), socket);
        }
        try {
            GetThread(socket);
        } catch (...) {
            ForgetSocket(socket->AcceptNumber());
            throw;
        }
    } catch (const std::exception& error) {
        ReportError(error.what());
    }
}

bool TServerSocket::TooManyUnregistered(in_addr_t peer) const {
    std::lock_guard guard(acceptedLock_);
    int unregistered = 0;
    for (const auto& [number, socket] : accepted_) {
        if (socket->Peer().sin_addr.s_addr == peer && socket->Connected() && !socket->Registered())
            ++unregistered;
    }
    return unregistered >= kMaxUnregisteredPerHost;
}

void TServerSocket::MakeRoomForUnregistered() {
    std::lock_guard guard(acceptedLock_);
    TClientSocket* oldest = nullptr;
    int unregistered = 0;
    for (const auto& [number, socket] : accepted_) {  // in the order of accepting
        if (!socket->Connected() || socket->Registered())
            continue;
        if (oldest == nullptr)
            oldest = socket.get();
        ++unregistered;
    }
    if (unregistered >= maxUnregistered_)
        oldest->Close();
}

void TServerSocket::ForgetSocket(uint64_t acceptNumber) {
    std::lock_guard guard(acceptedLock_);
    accepted_.erase(acceptNumber);
}

void TServerSocket::GetThread(std::shared_ptr<TClientSocket> socket) {
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
            ForgetSocket(thread.socket_->AcceptNumber());
            thread.socket_.reset();
            activeThreads_.fetch_sub(1, std::memory_order_acq_rel);
        }
    }
    if (!thread.Terminated() && thread.keepInCache_)
        return true;
    // Leaving: hand the thread object to the accept thread, which joins it as soon as
    // it has returned. During deactivation it has already been taken out of the list
    // and is joined there.
    const auto found = std::find_if(threads_.begin(), threads_.end(),
                                    [&](const auto& entry) { return entry.get() == &thread; });
    if (found != threads_.end()) {
        finished_.push_back(std::move(*found));
        threads_.erase(found);
        eventfd_write(wakeFd_, 1);
    }
    return false;
}

std::size_t TServerSocket::JoinFinishedThreads() {
    std::vector<std::unique_ptr<TServerClientThread>> finished;
    {
        std::lock_guard guard(listLock_);
        finished.swap(finished_);
    }
    // These have passed their last step that could need the main thread.
    for (auto& thread : finished)
        thread->thread_.Join();
    return finished.size();
}

void TServerSocket::Join(TServerClientThread& thread) {
    if (waitForThread_)
        waitForThread_([&thread] { return thread.finished_.load(std::memory_order_acquire); });
    thread.thread_.Join();
}

}  // namespace listener
