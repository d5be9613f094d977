// The status line through the notify protocol.
#include "platform/ServiceStatus.h"

#include <systemd/sd-daemon.h>

#include <string>

namespace platform {

void NotifyServiceStatus(std::string_view status) {
    sd_notify(0, ("STATUS=" + std::string(status)).c_str());
}

}  // namespace platform
