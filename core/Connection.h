// A connection as the command handlers see it: who is connected from where, what
// registration has settled so far, and the few things a handler may do with it. The
// connection thread (ClientThread.h) is the one implementation.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/DateTime.h"

class TServerCore;

// What a connection knows of its client. A connection starts with a fresh value of
// it each time; handlers of this connection read and write it in its own thread.
struct TConnectionState {
    std::string Nick;
    std::string PeerHost;
    std::string PeerAddress;   // dotted decimal
    bool SameHost = false;     // the host had a user already when the connection started
    bool BadUserName = false;  // USER gave a user name that the welcome refuses
    std::string CloseReason;   // why the server ended the connection; empty for the client
};

class TConnection : public TConnectionState {
  public:
    explicit TConnection(TServerCore& core) : Core(core) {}
    TConnection(const TConnection&) = delete;
    TConnection& operator=(const TConnection&) = delete;

    TServerCore& Core;

    // Any thread may ask these.
    virtual bool Registered() const = 0;
    // The local date and time of registration or of the last plain message sent.
    virtual platform::LocalDateTime IdleSince() const = 0;

    // Queues one complete line ("\r\n" included). Any thread may call it; lines are
    // written in the order they were queued, at once or, while the calling thread
    // has a TOutputBatch open, when the batch closes.
    virtual void SendLine(std::string_view text) = 0;
    // Writes "ERROR :ClosingLink: " + text past the queue and closes the connection.
    virtual void SendClosingError(std::string_view text) = 0;
    // The welcome, or a plain message: registers the connection and holds off the
    // keep-alive.
    virtual void MarkActive() = 0;
    virtual void MarkPongReceived() = 0;
    // True while the unwritten output leaves room for more of a long listing: a
    // listing stops early rather than push its asker past the output bound.
    virtual bool HasRoomForListing() = 0;
    // Charges a line relayed on behalf of this connection's user; called in this
    // connection's own thread (the fan-outs run in the thread of the user who acts).
    virtual void SpendRelayBudget(std::size_t bytes) = 0;

  protected:
    ~TConnection() = default;
};
