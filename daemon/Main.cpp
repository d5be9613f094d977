// Entry of the service program TavoServerDaemon: runs the server until SIGTERM
// or SIGINT, then stops it and exits.
#include <csignal>
#include <thread>

#include "daemon/MainDaemon.h"
#include "platform/ExecutablePath.h"
#include "platform/MainThreadQueue.h"

namespace {

sigset_t StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    return signals;
}

}  // namespace

int main() {
    // Every thread inherits the blocked stop signals; the service thread takes them.
    const sigset_t stopSignals = StopSignals();
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    platform::TMainThreadQueue mainThread;
    TService1 service(mainThread, platform::RunningExecutablePath());
    int exitCode = 0;
    std::thread serviceThread([&] {
        if (service.ServiceStart()) {
            int signal = 0;
            sigwait(&stopSignals, &signal);
            service.ServiceStop();
        } else {
            exitCode = 1;
        }
        mainThread.Stop();
    });
    mainThread.Serve();
    serviceThread.join();
    return exitCode;
}
