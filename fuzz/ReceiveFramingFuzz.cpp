// Fuzz target of the receive framing: the input is cut into reads of sizes it
// chooses itself, grouped into bursts as the connection reads them, and the framing
// must refuse exactly the bursts over its limit and the remainders over the line
// buffer, and hand out exactly the text received, cut at CR LF, with the zero-byte
// rule applied to each step of each read.
//
// Input: one byte for the line buffer's limit, then reads, each two header bytes (bit 7
// of the first: the read ends its burst; bits 0 and 1 of the first and the second byte:
// the read's size, up to 1023) and the read's bytes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/ReceiveFraming.h"
#include "fuzz/FuzzTargets.h"

namespace fuzz {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

class TInputReader {
  public:
    explicit TInputReader(std::string_view input) : rest_(input) {}
    bool Empty() const { return rest_.empty(); }
    uint8_t Byte() {
        if (rest_.empty())
            return 0;
        const auto byte = static_cast<uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return byte;
    }
    std::string_view Take(std::size_t size) {
        const std::string_view taken = rest_.substr(0, size);
        rest_.remove_prefix(taken.size());
        return taken;
    }

  private:
    std::string_view rest_;
};

// What the framing must do, byte by byte: the text kept from the reads and not yet
// cut into lines, and the bytes of the burst so far.
class TFramingModel {
  public:
    explicit TFramingModel(std::size_t lineBufferLimit) : lineBufferLimit_(lineBufferLimit) {}

    void StartBurst() { burstBytes_ = 0; }

    bool TakeRead(std::string_view read) {
        if (burstBytes_ + read.size() > TReceiveFraming::kBurstLimit)
            return false;
        burstBytes_ += read.size();
        bool stepEnded = false;  // a zero byte came in this step of the read
        for (std::size_t i = 0; i < read.size(); ++i) {
            if (i % TReceiveFraming::kStepSize == 0)
                stepEnded = false;
            stepEnded = stepEnded || read[i] == '\0';
            if (!stepEnded)
                text_ += read[i];
        }
        return true;
    }

    std::vector<std::string> TakeLines() {
        std::vector<std::string> lines;
        for (auto end = text_.find(kLineEnd); end != std::string::npos;
             end = text_.find(kLineEnd)) {
            lines.push_back(text_.substr(0, end + kLineEnd.size()));
            text_.erase(0, end + kLineEnd.size());
        }
        return lines;
    }

    bool RemainderFits() const { return text_.size() <= lineBufferLimit_; }

  private:
    const std::size_t lineBufferLimit_;
    std::string text_;
    std::size_t burstBytes_ = 0;
};

std::vector<std::string> TakeLines(TReceiveFraming& framing) {
    std::vector<std::string> lines;
    while (const auto line = framing.NextLine())
        lines.emplace_back(*line);
    return lines;
}

}  // namespace

void FuzzReceiveFraming(std::string_view input) {
    TInputReader reader(input);
    const std::size_t lineBufferLimit = 4 * std::size_t{reader.Byte()};
    TReceiveFraming framing(lineBufferLimit);
    TFramingModel model(lineBufferLimit);
    framing.StartBurst();
    while (!reader.Empty()) {
        const uint8_t head = reader.Byte();
        const std::size_t size = std::size_t{head & 0x03u} << 8 | reader.Byte();
        const std::string_view read = reader.Take(size);
        const bool taken = framing.TakeRead(read);
        Require(taken == model.TakeRead(read), taken ? "a burst over the limit was taken"
                                                     : "a burst within the limit was refused");
        if (!taken)
            return;  // the connection ends
        if ((head & 0x80) == 0)
            continue;
        Require(TakeLines(framing) == model.TakeLines(),
                "the lines differ from the text received, cut at CR LF");
        const bool kept = framing.KeepRemainder();
        Require(kept == model.RemainderFits(),
                kept ? "a remainder over the line buffer was kept"
                     : "a remainder within the line buffer was refused");
        if (!kept)
            return;
        framing.StartBurst();
        model.StartBurst();
    }
}

}  // namespace fuzz
