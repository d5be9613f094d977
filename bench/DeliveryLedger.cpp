// A receiver that misses a message and later gets it shows it as reordered; a receiver
// that gets a message twice shows it as reordered too, and as duplicated when that
// pushes the message past its due count. Either way a faulty relay is never invisible.
#include "bench/DeliveryLedger.h"

#include <stdexcept>

TDeliveryLedger::TDeliveryLedger(int receivers, int senders, int receiptsPerMessage,
                                 EInFlightUntil until)
    : Senders_(senders),
      Until_(until),
      ReceiptsPerMessage_(static_cast<uint16_t>(receiptsPerMessage)),
      SenderRecords_(static_cast<std::size_t>(senders)),
      NextExpected_(static_cast<std::size_t>(receivers) * static_cast<std::size_t>(senders)) {
    if (receiptsPerMessage < 1 || receiptsPerMessage > UINT16_MAX - 1)
        throw std::invalid_argument("receipts per message out of range");
}

uint32_t TDeliveryLedger::NoteSent(int sender) {
    auto& receipts = SenderRecords_[static_cast<std::size_t>(sender)].ReceiptsOf;
    receipts.push_back(0);
    return static_cast<uint32_t>(receipts.size() - 1);
}

TDeliveryLedger::EReceipt TDeliveryLedger::NoteReceived(int receiver, int sender,
                                                        uint32_t sequence) {
    ++Receipts_;
    auto& next = NextExpected_[static_cast<std::size_t>(receiver) * Senders_ + sender];
    if (sequence < next)
        ++Reordered_;
    else
        next = sequence + 1;

    auto& record = SenderRecords_[static_cast<std::size_t>(sender)];
    if (sequence >= record.ReceiptsOf.size() ||
        record.ReceiptsOf[sequence] >= ReceiptsPerMessage_) {
        ++Duplicated_;
        return EReceipt::Unexpected;
    }
    const uint16_t receipts = ++record.ReceiptsOf[sequence];
    const bool first = receipts == 1;
    const bool last = receipts == ReceiptsPerMessage_;
    record.FirstReceived += first;
    record.Completed += last;
    return (Until_ == EInFlightUntil::FirstReceipt ? first : last) ? EReceipt::Landed
                                                                   : EReceipt::Counted;
}

uint32_t TDeliveryLedger::InFlight(int sender) const {
    const auto& record = SenderRecords_[static_cast<std::size_t>(sender)];
    const uint32_t landed =
        Until_ == EInFlightUntil::FirstReceipt ? record.FirstReceived : record.Completed;
    return static_cast<uint32_t>(record.ReceiptsOf.size()) - landed;
}

uint32_t TDeliveryLedger::UnfinishedTotal() const {
    uint32_t total = 0;
    for (const auto& record : SenderRecords_)
        total += static_cast<uint32_t>(record.ReceiptsOf.size()) - record.Completed;
    return total;
}

uint64_t TDeliveryLedger::Lost() const {
    uint64_t lost = 0;
    for (const auto& record : SenderRecords_)
        for (const uint16_t receipts : record.ReceiptsOf)
            lost += ReceiptsPerMessage_ - receipts;
    return lost;
}
