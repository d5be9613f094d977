// PRIVMSG and NOTICE: relaying a text to nicks and channels. Both commands, in both
// client profiles, share one implementation; TMessageKind holds what sets them apart,
// and the handlers read the targets and the text as their profile writes them.
#include <algorithm>
#include <array>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/Connection.h"
#include "core/ConstructionUnit/FanOut.h"
#include "core/ConstructionUnit/HandlerSupport.h"
#include "core/ConstructionUnit/Handlers.h"
#include "core/ConstructionUnit/Membership.h"

namespace {

struct TMessageKind {
    std::string_view Command;  // the word of the relayed line
    bool RepliesAway;          // 301 after a message to an away user
    bool ObeysChannelModes;    // "+n" and "+m" may refuse it with 404
    bool RepliesErrors;        // an unknown target or an empty text draws an error reply
};

constexpr TMessageKind kPrivmsg{"PRIVMSG", true, true, true};
constexpr TMessageKind kNotice{"NOTICE", false, false, true};
// Today's servers never answer a NOTICE, so that two programs cannot answer each other
// without end.
constexpr TMessageKind kModernNotice{"NOTICE", false, false, false};

// The number of the text parameter: the first that begins with ":", else the last.
int TextParameterNumber(const TParsedMessage& message) {
    for (int k = 1; k < TParsedMessage::MaxParams; ++k) {
        if (message.Param(k).starts_with(':'))
            return k;
    }
    return TParsedMessage::MaxParams;
}

// A CTCP message starts with the byte 0x01 right after the colon.
bool IsCtcp(std::string_view text) {
    return text.size() > 1 && text[1] == '\x01';
}

// "+n" keeps out non-members; "+m" lets only voiced members and operators speak.
bool MaySpeakIn(const TChannelData& channel, const TUserData& sender) {
    const bool member = IsMember(channel, sender);
    if (channel.NoExternal && !member)
        return false;
    if (!channel.Moderated)
        return true;
    if (!member)
        return false;
    return IsChanOp(channel, sender) || channel.MemberFlags(sender.KeyWord())->Voice != 0;
}

void DeliverToNick(TConnection& connection, const TUserData& sender, const TUserData& recipient,
                   const std::string& text, const TMessageKind& kind) {
    SendToUser(recipient, sender,
               std::string(kind.Command) + " " + recipient.KeyWord() + " " + text);
    if (kind.RepliesAway && !recipient.AwayMessage.empty()) {
        SendReply(connection, TReply::Away, {recipient.KeyWord(), recipient.AwayMessage});
    }
}

void DeliverToChannel(TConnection& connection, const TUserData& sender, const TChannelData& channel,
                      const std::string& text, const TMessageKind& kind) {
    if (kind.ObeysChannelModes && !MaySpeakIn(channel, sender)) {
        if (kind.RepliesErrors)
            SendReply(connection, TReply::CannotSendToChannel, {channel.KeyWord()});
        return;
    }
    SendToChannel(channel, sender, std::string(kind.Command) + " " + channel.KeyWord() + " " + text,
                  true);
}

// Delivers `text` (as the line carries it, ":" first) to the targets in turn and stops at the first
// that does not exist. A target named again (the same record, whatever the spelling) is
// served once only, so that one line cannot multiply what a recipient receives.
void RelayMessage(TConnection& connection, std::span<const std::string_view> targets,
                  const std::string& text, const TMessageKind& kind) {
    if (!IsCtcp(text))
        connection.MarkActive();

    std::lock_guard lock(connection.Core.Registry.Lock);
    const TUserData* sender = OwnRecord(connection);
    if (sender == nullptr)
        return;
    std::vector<const void*> served;  // the records delivered to so far
    const auto firstTime = [&served](const void* record) {
        if (std::ranges::find(served, record) != served.end())
            return false;
        served.push_back(record);
        return true;
    };
    const TClientData& registry = connection.Core.Registry;
    for (const std::string_view target : targets) {
        if (BeginsLikeChannel(target)) {
            const TChannelData* channel = registry.Channels.Find(target);
            if (channel == nullptr) {
                if (kind.RepliesErrors)
                    SendReply(connection, TReply::NoSuchChannel, {target});
                return;
            }
            if (firstTime(channel))
                DeliverToChannel(connection, *sender, *channel, text, kind);
        } else {
            const TUserData* recipient = registry.Users.Find(target);
            if (recipient == nullptr) {
                if (kind.RepliesErrors)
                    SendReply(connection, TReply::NoSuchNick, {target});
                return;
            }
            if (firstTime(recipient))
                DeliverToNick(connection, *sender, *recipient, text, kind);
        }
    }
}

// The targets stand in separate parameters before the text, the first that begins with
// ":" (else the last a line can carry).
void RelayAsExact(TConnection& connection, const TParsedMessage& message,
                  const TMessageKind& kind) {
    const int textNumber = TextParameterNumber(message);
    std::array<std::string_view, TParsedMessage::MaxParams> targets;  // no allocation per line
    for (int k = 1; k < textNumber; ++k)
        targets[k - 1] = message.Param(k);
    const std::string& text = message.Param(textNumber);
    if (text.empty()) {  // no text at all, not even its ":"
        SendReply(connection, TReply::NoTextToSend);
        return;
    }
    RelayMessage(connection, std::span(targets).first(textNumber - 1), text, kind);
}

// A comma list of targets, then the text, with its ":" or without.
void RelayAsModern(TConnection& connection, const TParsedMessage& message,
                   const TMessageKind& kind) {
    const std::string_view text = WithoutLeadingColon(message.Param(2));
    if (text.empty()) {
        if (kind.RepliesErrors)
            SendReply(connection, TReply::NoTextToSend);
        return;
    }
    const std::vector<std::string> names = CommaListItems(message.Param(1));
    const std::vector<std::string_view> targets(names.begin(), names.end());
    RelayMessage(connection, targets, ":" + std::string(text), kind);
}

}  // namespace

void HandlePrivmsg(TConnection& connection, const TParsedMessage& message) {
    RelayAsExact(connection, message, kPrivmsg);
}

void HandleNotice(TConnection& connection, const TParsedMessage& message) {
    RelayAsExact(connection, message, kNotice);
}

void HandlePrivmsgList(TConnection& connection, const TParsedMessage& message) {
    RelayAsModern(connection, message, kPrivmsg);
}

void HandleNoticeList(TConnection& connection, const TParsedMessage& message) {
    RelayAsModern(connection, message, kModernNotice);
}
