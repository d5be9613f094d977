// The sending side of one connection. Any thread may queue lines; they go into one
// byte buffer and are written with as few system calls as the socket allows: the
// thread that queues the first line of a batch writes the batch, together with
// whatever other threads queued meanwhile. Nobody ever waits for a slow peer: what
// the socket does not take is left to the connection's own thread, which writes it
// as the peer reads. Lines are written whole and in the order they were queued.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "listener/ClientSocket.h"

class TConnectionOutput {
  public:
    // Output beyond `limitBytes` not yet written ends the connection.
    TConnectionOutput(std::shared_ptr<listener::TClientSocket> socket, std::size_t limitBytes);
    TConnectionOutput(const TConnectionOutput&) = delete;
    TConnectionOutput& operator=(const TConnectionOutput&) = delete;

    // Queues one complete line; never writes. Answers true when the caller has to
    // see that Flush runs soon (and outside any lock it holds); false when the line
    // is already in someone else's hands, or was dropped because the connection is
    // closed or has just been ended for output over the limit.
    bool Append(std::string_view line);
    // Writes what is queued while the socket takes it, unless another thread is
    // writing already (it then writes this too). What the socket does not take is
    // left for the connection's own thread, which is woken to wait for room.
    void Flush();
    // True while queued output waits for the socket to take it; the connection's
    // own thread then waits for room and calls Flush.
    bool WaitsForRoom();
    // Ends the connection when queued output has not moved for `timeoutMs`.
    void EndIfStalled(uint32_t timeoutMs);
    // Writes "line" past the queued output, whose lines the peer has not begun to
    // receive are dropped, and closes the socket. Lines queued but not yet due to
    // the socket go out first; a line the peer has begun to receive is finished when
    // the socket takes it, so the peer never sees a torn line.
    void WriteClosingError(std::string_view line);
    // The error that ended the connection on the output side (a failed write, the
    // limit, a stall); 0 while none has.
    int Failure();
    // Bytes queued and not yet written.
    std::size_t Unwritten();

  private:
    // Each with mutex_ held.
    std::size_t QueuedBytes() const { return pending_.size() + (writing_.size() - written_); }
    void Fail(int error);
    bool WriteOnce(std::unique_lock<std::mutex>& lock);
    // Gives back the buffers of a drained output that grew past what a busy channel's
    // rounds need (a backlog that has been written).
    void ReleaseSpareCapacity();
    void WriteNow(std::string_view bytes);

    const std::shared_ptr<listener::TClientSocket> socket_;
    const std::size_t limitBytes_;

    std::mutex mutex_;
    std::condition_variable writerDone_;
    std::string pending_;         // queued, not yet taken by a writer
    std::string writing_;         // taken by the writer; only the writer touches it
    std::size_t written_ = 0;     // bytes of writing_ already on the wire
    bool writerActive_ = false;   // a thread is writing (outside the mutex)
    bool flushPromised_ = false;  // a thread will call Flush soon
    bool waitsForRoom_ = false;   // the socket is full; the own thread writes on
    bool closingWaits_ = false;   // WriteClosingError waits for writerDone_
    uint32_t lastProgress_ = 0;   // counter value of the last write progress
    int failure_ = 0;
};

// Writes, in a thread of its own, the outputs that connections hand over once they
// have queued lines for them. While it writes one round, lines for the next queue
// up, so the busier the server, the more lines go out in one system call; and the
// connections' own threads go back to reading at once.
class TOutputWriter {
  public:
    TOutputWriter();
    // Writes what was handed over, then stops.
    ~TOutputWriter();
    TOutputWriter(const TOutputWriter&) = delete;
    TOutputWriter& operator=(const TOutputWriter&) = delete;

    // A connection's thread begins handling a burst; the writer lets the lines of
    // bursts being handled join the round it is about to write (waiting a moment).
    void BurstBegins() { burstsInHand_.fetch_add(1); }
    // Ends a burst whose outputs its own thread wrote.
    void BurstEnds();
    // Ends the burst: takes the outputs it queued lines for (leaving `outputs` empty)
    // and writes each soon.
    void HandOver(std::vector<std::shared_ptr<TConnectionOutput>>& outputs);
    // Returns once everything handed over so far has been written.
    void WaitUntilIdle();

  private:
    void Run();

    std::mutex mutex_;
    std::condition_variable work_;  // outputs are due, or the writer stops
    std::condition_variable idle_;  // a round has been written
    std::vector<std::shared_ptr<TConnectionOutput>> due_;
    std::atomic<int> burstsInHand_{0};
    std::atomic<bool> lingering_{false};  // the writer waits for bursts in hand
    bool writing_ = false;
    bool stopping_ = false;
    std::thread thread_;  // last: it starts once everything else is ready
};

// Collects, while a connection handles what it received, the outputs that lines
// were queued for; when the outermost batch of the thread closes, they are written:
// one write per peer for a whole burst, made outside the registry lock. A burst that
// reached few outputs (a small channel, a private message) writes them in its own
// thread at once, which costs no second wake-up; a larger fan-out goes to the writer,
// so that the connection's thread goes back to reading. Either way a write never
// waits: what a full socket does not take is left to its connection's own thread.
class TOutputBatch {
  public:
    explicit TOutputBatch(TOutputWriter& writer);
    ~TOutputBatch();
    TOutputBatch(const TOutputBatch&) = delete;
    TOutputBatch& operator=(const TOutputBatch&) = delete;

    // Takes the output into the open batch of this thread; answers false when no
    // batch is open, and the caller flushes at once.
    static bool Defer(const std::shared_ptr<TConnectionOutput>& output);

    // What a burst writes in its own thread at most: so many outputs, so many bytes in
    // all (each send can hand the thread's core to the receiver it wakes, and the
    // connection's own input waits meanwhile). Beyond either, the writer takes them.
    static constexpr std::size_t kOwnWritesPerBurst = 16;
    static constexpr std::size_t kOwnWriteBytesPerBurst = 4096;
    // Counts bytes queued while this thread has a batch open.
    static void NoteQueued(std::size_t bytes);

  private:
    TOutputWriter& writer_;
};
