// The receiving side of a connection: cuts the bytes read from the socket into
// lines at CR LF, with the limits that protect the server. A burst is the run of
// reads that ends with the first short read; more than 768 bytes in one burst, or
// more text without CR LF than the line buffer holds, ends the connection.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class TReceiveFraming {
  public:
    // Bytes are taken in steps of this size, each into a zero-filled buffer: a zero
    // byte ends the text of its step.
    static constexpr std::size_t kStepSize = 127;
    static constexpr std::size_t kBurstLimit = 768;
    // A read of this size takes as many steps as can pass the burst limit, so that
    // one read of it that comes back full is always a burst over the limit.
    static constexpr std::size_t kReadSize = (kBurstLimit / kStepSize + 1) * kStepSize;

    explicit TReceiveFraming(std::size_t lineBufferLimit) : lineBufferLimit_(lineBufferLimit) {}

    // Forgets everything received (a new connection).
    void Reset();
    void StartBurst() { burstBytes_ = 0; }
    // Takes the bytes of one read of the burst. Answers false, taking none of them,
    // when they carry the burst over its limit.
    bool TakeRead(std::string_view bytes);
    // The next complete line, CR LF included; valid until the next call of any
    // operation.
    std::optional<std::string_view> NextLine();
    // Drops the lines already handed out. Answers false when what is left (text
    // without CR LF) is over the line buffer's limit.
    bool KeepRemainder();

  private:
    const std::size_t lineBufferLimit_;
    std::string buffer_;
    std::size_t lineStart_ = 0;  // the first byte not yet handed out as a line
    std::size_t burstBytes_ = 0;
};
