// PRIVMSG and NOTICE: relaying a text to nicks and channels. Both commands share one
// implementation; TMessageKind holds what sets them apart.
#include <algorithm>
#include <mutex>
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
};

constexpr TMessageKind kPrivmsg{"PRIVMSG", true, true};
constexpr TMessageKind kNotice{"NOTICE", false, false};

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
        SendReply(connection, TReply::CannotSendToChannel, {channel.KeyWord()});
        return;
    }
    SendToChannel(channel, sender, std::string(kind.Command) + " " + channel.KeyWord() + " " + text,
                  true);
}

// Delivers to the targets in turn and stops at the first that does not exist. A
// target named again (the same record, whatever the spelling) is served once only,
// so that one line cannot multiply what a recipient receives.
void RelayMessage(TConnection& connection, const TParsedMessage& message,
                  const TMessageKind& kind) {
    const int textNumber = TextParameterNumber(message);
    const std::string& text = message.Param(textNumber);
    if (text.empty()) {
        SendReply(connection, TReply::NoTextToSend);
        return;
    }
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
    for (int k = 1; k < textNumber; ++k) {
        const std::string& target = message.Param(k);
        if (BeginsLikeChannel(target)) {
            const TChannelData* channel = registry.Channels.Find(target);
            if (channel == nullptr) {
                SendReply(connection, TReply::NoSuchChannel, {target});
                return;
            }
            if (firstTime(channel))
                DeliverToChannel(connection, *sender, *channel, text, kind);
        } else {
            const TUserData* recipient = registry.Users.Find(target);
            if (recipient == nullptr) {
                SendReply(connection, TReply::NoSuchNick, {target});
                return;
            }
            if (firstTime(recipient))
                DeliverToNick(connection, *sender, *recipient, text, kind);
        }
    }
}

}  // namespace

void HandlePrivmsg(TConnection& connection, const TParsedMessage& message) {
    RelayMessage(connection, message, kPrivmsg);
}

void HandleNotice(TConnection& connection, const TParsedMessage& message) {
    RelayMessage(connection, message, kNotice);
}
