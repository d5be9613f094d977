#include "listener/SizedThread.h"

#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <system_error>

namespace listener {

namespace {

// An exception that escapes the body ends the program, as with std::thread.
void* RunBody(void* body) noexcept {
    const std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(body));
    (*owned)();
    return nullptr;
}

// The thread-local storage of the program and its libraries, which the C library
// places at the top of each thread's stack mapping, with its descriptor of the
// thread. Small for the program itself; sanitizers keep their state of each thread
// there (ThreadSanitizer close to 1 MiB).
std::size_t ThreadLocalStorageBytes() {
    static const std::size_t bytes = [] {
        std::size_t total = 0;
        dl_iterate_phdr(
            [](dl_phdr_info* info, std::size_t, void* sum) {
                for (int i = 0; i < info->dlpi_phnum; ++i) {
                    const auto& header = info->dlpi_phdr[i];
                    if (header.p_type == PT_TLS)
                        *static_cast<std::size_t*>(sum) += header.p_memsz + header.p_align;
                }
                return 0;
            },
            &total);
        return total;
    }();
    return bytes;
}

void ThrowIfFailed(int result, const char* what) {
    if (result != 0)
        throw std::system_error(result, std::generic_category(), what);
}

}  // namespace

TSizedThread::~TSizedThread() {
    Join();
}

void TSizedThread::Start(std::size_t stackBytes, std::function<void()> body) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    // The stack proper, the thread-local storage and the thread's descriptor, then
    // the guard page below them all.
    const std::size_t stackPages = (stackBytes + ThreadLocalStorageBytes() + page - 1) / page + 1;
    const std::size_t mappedBytes = (stackPages + 1) * page;
    void* mapping = mmap(nullptr, mappedBytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED)
        ThrowIfFailed(errno, "mmap");
    auto owned = std::make_unique<std::function<void()>>(std::move(body));
    pthread_attr_t attributes;
    int result = mprotect(mapping, page, PROT_NONE) == 0 ? 0 : errno;
    if (result == 0)
        result = pthread_attr_init(&attributes);
    if (result == 0) {
        result = pthread_attr_setstack(&attributes, static_cast<char*>(mapping) + page,
                                       mappedBytes - page);
        if (result == 0)
            result = pthread_create(&thread_, &attributes, RunBody, owned.get());
        pthread_attr_destroy(&attributes);
    }
    if (result != 0) {
        munmap(mapping, mappedBytes);
        ThrowIfFailed(result, "pthread_create");
    }
    owned.release();  // the thread owns it now
    stack_ = mapping;
    mappedBytes_ = mappedBytes;
}

void TSizedThread::Join() {
    if (stack_ == nullptr)
        return;
    pthread_join(thread_, nullptr);
    munmap(stack_, mappedBytes_);  // the thread has ended: nothing uses its stack now
    stack_ = nullptr;
}

}  // namespace listener
