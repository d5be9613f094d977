// Ledger of the messages of one load run: which messages each sender has sent, how
// many receivers have got each one, and in which order each receiver saw each sender's
// messages. The load generator is one process that plays every client, so it sees both
// ends of every delivery and can tell exactly what is in flight, lost, duplicated or
// out of order.
#pragma once

#include <cstdint>
#include <vector>

class TDeliveryLedger {
  public:
    // When a message stops being in flight for the closed loop: once the first of its
    // receivers has it (a sender in a real channel never waits for the slowest member),
    // or once the last has it (the loop's window is a window of complete fan-outs).
    enum class EInFlightUntil { FirstReceipt, LastReceipt };

    // Every message is due at `receiptsPerMessage` receivers (all other channel members,
    // or the one nick it is sent to).
    TDeliveryLedger(int receivers, int senders, int receiptsPerMessage,
                    EInFlightUntil until = EInFlightUntil::LastReceipt);

    // Notes the next message of `sender` as sent; answers its sequence number (0, 1, ...).
    uint32_t NoteSent(int sender);

    enum class EReceipt { Counted, Landed, Unexpected };
    // Notes that `receiver` got message `sequence` of `sender`. Landed: with this receipt
    // the message stopped being in flight (its first receipt or its last, as the ledger
    // counts), so the sender's window has room for one more. Unexpected: a message that
    // was never sent, or one more receipt than it was due (a duplicate).
    EReceipt NoteReceived(int receiver, int sender, uint32_t sequence);

    // Messages of `sender` in flight: sent and not yet received by their first, or by
    // all, of their receivers.
    uint32_t InFlight(int sender) const;
    // Messages of all senders that some due receiver has not got yet, whatever counts as
    // in flight: the drain waits for these.
    uint32_t UnfinishedTotal() const;
    uint64_t Receipts() const { return Receipts_; }
    // Due receipts that have not arrived.
    uint64_t Lost() const;
    // Receipts beyond a message's due count, and receipts of messages never sent.
    uint64_t Duplicated() const { return Duplicated_; }
    // Receipts that arrived at a receiver after a later message of the same sender.
    uint64_t Reordered() const { return Reordered_; }

  private:
    struct TSenderRecord {
        std::vector<uint16_t> ReceiptsOf;  // by sequence number
        uint32_t FirstReceived = 0;        // messages that one receiver at least has got
        uint32_t Completed = 0;            // messages that every receiver has got
    };

    int Senders_;
    EInFlightUntil Until_;
    uint16_t ReceiptsPerMessage_;
    std::vector<TSenderRecord> SenderRecords_;
    // The next sequence number each receiver expects from each sender, at
    // [receiver * senders + sender].
    std::vector<uint32_t> NextExpected_;
    uint64_t Receipts_ = 0;
    uint64_t Duplicated_ = 0;
    uint64_t Reordered_ = 0;
};
