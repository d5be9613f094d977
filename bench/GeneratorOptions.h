// Command-line options of the load generator and their limits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct TGeneratorOptions {
    std::string ServerLabel = "server";  // the name the result line gives the server
    uint16_t Port = 0;
    int ServerPid = 0;  // 0: no CPU or memory figures
    int Clients = 10;
    int Senders = 1;
    int Window = 4;  // closed loop: messages in flight per sender
    // Closed loop: a message stops being in flight as soon as its first receiver has it
    // (point "fW"), instead of once every receiver has it (point "wW").
    bool UntilFirstReceipt = false;
    double Rate = 0;         // paced: messages per second of all senders together; 0 = closed loop
    std::size_t Size = 100;  // bytes of message text
    double DurationS = 5;    // send phase; 0 = register and join only
    bool ToNick = false;     // each sender writes to one nick instead of the channel
    std::string Channel = "#bench";
    // Connections being set up at once; kept to the listen backlogs of the servers, so
    // that the kernel does not drop connects before a server has had a chance to accept.
    int ConnectWindow = 10;
    double SetupTimeoutS = 300;
    double DrainTimeoutS = 10;

    // The point of the matrix this run measures, e.g. "50/5/w4", "10/5/f4",
    // "200/1/r1000/nick" or, with no send phase, "200/reg".
    std::string Point() const;
    // The most messages one sender may have in flight: what it writes before the server
    // has read it must stay below the server's burst limit.
    int BurstSafeWindow() const;
};

// Parses the command line; on a fault prints it and the usage to stderr and answers
// nothing.
std::optional<TGeneratorOptions> ParseGeneratorOptions(int argc, char** argv);
