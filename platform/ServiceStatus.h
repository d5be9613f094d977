// The running service's status line for the service manager (systemd's STATUS=, which
// `systemctl status` shows), changed while the service runs: beside the readiness and
// stopping of ServiceManager.h, which carry a status of their own.
#pragma once

#include <string_view>

namespace platform {

// The service now is as `status` says, in a few words. Nothing happens where no
// service manager listens.
void NotifyServiceStatus(std::string_view status);

}  // namespace platform
