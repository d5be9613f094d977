// What the load generator reads about the server process from /proc: the CPU time it
// has used and its resident memory.
#pragma once

#include <optional>

// User plus system CPU time of every thread of the process so far, in microseconds
// (threads that have ended included); nothing when the process cannot be read.
std::optional<double> ProcessCpuMicroseconds(int pid);
// VmRSS of the process in KiB; nothing when the process cannot be read.
std::optional<long> ProcessResidentKiB(int pid);
