// The text an operator reads when the server cannot listen on its port: for the
// errors an operator meets at a start (the port in use, a port below 1024 without
// the right to it, an address that is not this machine's) a Japanese sentence, and
// after it, in parentheses, the system's own text. UTF-8: both hosts show it to a
// person (the window as it is, the service's log converts it for its entry).
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// `error` is the errno value of the listener's failed socket, bind or listen; `port`
// the port it was asked to listen on.
std::string ListenErrorText(int error, uint16_t port);
// A port setting that is no port at all (outside 0 to 65535).
std::string PortOutOfRangeText(int32_t port);

}  // namespace platform
