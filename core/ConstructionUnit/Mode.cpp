// The MODE command: a user's own modes, the mode and ban-list queries of a channel,
// and channel mode changes, applied letter by letter and announced to the channel. The
// Modern profile also takes "MODE #channel b", as today's clients ask for a ban list,
// and a last parameter written with ":", writes a sign once for the letters after it,
// and takes only limits of 1 or more.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/Connection.h"
#include "core/ConstructionUnit/BanMask.h"
#include "core/ConstructionUnit/FanOut.h"
#include "core/ConstructionUnit/HandlerSupport.h"
#include "core/ConstructionUnit/Handlers.h"
#include "core/ConstructionUnit/Membership.h"
#include "core/HashTable.h"
#include "core/TextUtil.h"

namespace {

// ---- User modes ----

struct TUserModeFlag {
    char Letter;
    bool TUserData::*Field;
    bool SetByPlus;  // false for "o": nothing in the system grants Operator
};

// In the order the reply lists the modes that are on.
constexpr std::array<TUserModeFlag, 4> UserModeFlags = {{
    {'i', &TUserData::Invisible, true},
    {'w', &TUserData::Wallops, true},
    {'s', &TUserData::ServerNotices, true},
    {'o', &TUserData::Operator, false},
}};

// Applies one mode parameter such as "+iw" or "-o": its first character is the sign of
// all its letters, and letters without a meaning are passed over.
void ApplyUserModeParameter(TUserData& user, std::string_view parameter) {
    if (parameter.size() < 2)
        return;
    const char sign = parameter.front();
    if (sign != '+' && sign != '-')
        return;
    const bool plus = sign == '+';
    for (const char letter : parameter.substr(1)) {
        const auto flag = std::ranges::find(UserModeFlags, letter, &TUserModeFlag::Letter);
        if (flag == UserModeFlags.end() || (plus && !flag->SetByPlus))
            continue;
        user.*(flag->Field) = plus;
    }
}

std::string UserModeLetters(const TUserData& user) {
    std::string letters;
    for (const auto& flag : UserModeFlags) {
        if (user.*(flag.Field))
            letters += flag.Letter;
    }
    return letters;
}

// Changes and reports the user's own modes; any other user's are out of reach (502).
void HandleUserMode(TConnection& connection, const TParsedMessage& message, TUserData& user) {
    const std::string& target = message.Param(1);
    if (user.KeyWord() != target) {
        SendReply(connection, TReply::UsersDontMatch);
        return;
    }
    for (int k = 2; k <= TParsedMessage::MaxParams && !message.Param(k).empty(); ++k) {
        ApplyUserModeParameter(user, message.Param(k));
    }
    SendReply(connection, TReply::UserModeIs, {target, UserModeLetters(user)});
}

// ---- Channel modes ----

// A channel mode that is simply on or off.
struct TChannelFlagMode {
    char Letter;
    bool TChannelData::*Field;
    bool TChannelData::*ClearedByPlus;  // the mode that "+" of this letter turns off, or null
};

// In the order a mode query lists them.
constexpr std::array<TChannelFlagMode, 6> ChannelFlagModes = {{
    {'p', &TChannelData::Private, &TChannelData::Secret},
    {'s', &TChannelData::Secret, &TChannelData::Private},
    {'i', &TChannelData::InviteOnly, nullptr},
    {'t', &TChannelData::TopicLocked, nullptr},
    {'n', &TChannelData::NoExternal, nullptr},
    {'m', &TChannelData::Moderated, nullptr},
}};

// The flags of the first member for whom isWanted(user) holds, or null.
template <class TPredicate>
TMemberFlags* FlagsOfMember(const TChannelData& channel, TPredicate isWanted) {
    for (int i = 0; i < channel.MemberCount(); ++i) {
        if (isWanted(*channel.MemberAt(i)))
            return channel.Members.FlagsAt(i);
    }
    return nullptr;
}

// The mode line of a channel: its letters, then the limit, then the key, which only
// members see.
void SendChannelModes(TConnection& connection, std::string_view target,
                      const TChannelData& channel) {
    std::string letters;
    std::string parameters;
    for (const auto& mode : ChannelFlagModes) {
        if (channel.*(mode.Field))
            letters += mode.Letter;
    }
    if (channel.Limit > 0) {
        letters += 'l';
        parameters += " " + std::to_string(channel.Limit);
    }
    if (!channel.Key.empty()) {
        letters += 'k';
        const bool askedByMember = channel.FindMember(connection.Nick) != nullptr;
        if (askedByMember)
            parameters += " " + channel.Key;
    }
    SendReply(connection, TReply::ChannelModeIs, {target, letters, parameters});
    SendReply(connection, TReply::ChannelCreated, {target, std::to_string(channel.CreatedAt)});
}

// One 367 line per mask in list order, then the 368 line.
void SendBanList(TConnection& connection, std::string_view target, const TChannelData& channel) {
    for (const std::string& mask : channel.Bans)
        SendReply(connection, TReply::BanList, {target, mask});
    SendReply(connection, TReply::EndOfBanList, {target});
}

// A limit parameter in decimal, or nothing when it is not a 32-bit number.
std::optional<int32_t> ParseLimit(std::string_view text) {
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// A mode parameter that "o", "v", "l" and "k" may take.
bool IsUsable(std::string_view parameter) {
    return !parameter.empty() && parameter.front() != '+' && parameter.front() != '-';
}

// How a client profile writes and reads channel mode changes.
struct TModeRules {
    bool CompactSigns;        // "+nt-k" rather than "+n+t-k" in the announced line
    bool PositiveLimitsOnly;  // "+l" with a limit below 1, or none, changes nothing
};
constexpr TModeRules kExactModes{false, false};
constexpr TModeRules kModernModes{true, true};

// One change of a channel's modes by one of its operators. The letters of the mode
// string take effect one by one as they are read; "o" and "v" are announced at once,
// everything else in one summary line at the end.
class TChannelModeChange {
  public:
    TChannelModeChange(TConnection& connection, const TParsedMessage& message,
                       const TUserData& sender, TChannelData& channel, TModeRules rules)
        : connection_(connection),
          message_(message),
          sender_(sender),
          channel_(channel),
          rules_(rules) {}

    void Run() {
        for (const char letter : message_.Param(2)) {
            if (ApplyLetter(letter) == TOutcome::EndCommand)
                return;
        }
        AnnounceSummary();
    }

  private:
    enum class TOutcome { Continue, EndCommand };

    TOutcome ApplyLetter(char letter) {
        switch (letter) {
            case '+':
            case '-':
                plus_ = letter == '+';
                return TOutcome::Continue;
            case 'o':
                return ChangeOperator();
            case 'v':
                return ChangeVoice();
            case 'l':
                ChangeLimit();
                return TOutcome::Continue;
            case 'b':
                ChangeBan();
                return TOutcome::Continue;
            case 'k':
                ChangeKey();
                return TOutcome::Continue;
            default:
                break;
        }
        const auto mode = std::ranges::find(ChannelFlagModes, letter, &TChannelFlagMode::Letter);
        if (mode != ChannelFlagModes.end()) {
            ChangeFlag(*mode);
        } else {
            SendReply(connection_, TReply::UnknownMode,
                      {std::string_view(&letter, 1), channel_.KeyWord()});
        }
        return TOutcome::Continue;
    }

    // "o": the member is named exactly, letter case included.
    TOutcome ChangeOperator() {
        const auto nick = TakeUsableParameter();
        if (!nick)
            return TOutcome::Continue;
        TMemberFlags* flags = FlagsOfMember(
            channel_, [&](const TUserData& member) { return member.KeyWord() == *nick; });
        if (flags == nullptr)
            return RefuseNonMember(*nick);
        flags->ChanOp = plus_;
        AnnounceMemberChange('o', *nick);
        return TOutcome::Continue;
    }

    // "v": the member is a registered user found by nickname like any other.
    TOutcome ChangeVoice() {
        const auto nick = TakeUsableParameter();
        if (!nick)
            return TOutcome::Continue;
        const TUserData* user = connection_.Core.Registry.Users.Find(*nick);
        TMemberFlags* flags =
            user == nullptr
                ? nullptr
                : FlagsOfMember(channel_, [&](const TUserData& member) { return &member == user; });
        if (flags == nullptr)
            return RefuseNonMember(*nick);
        flags->Voice = plus_;
        AnnounceMemberChange('v', *nick);
        return TOutcome::Continue;
    }

    TOutcome RefuseNonMember(std::string_view nick) {
        SendReply(connection_, TReply::UserNotInChannel, {nick, message_.Param(1)});
        return TOutcome::EndCommand;
    }

    void ChangeFlag(const TChannelFlagMode& mode) {
        channel_.*(mode.Field) = plus_;
        if (plus_ && mode.ClearedByPlus != nullptr)
            channel_.*(mode.ClearedByPlus) = false;
        AppendChange(plus_, mode.Letter);
    }

    // "+l" with a number sets the limit; "-l" and "+l" without a usable parameter clear
    // it. A parameter that is no number is used up and changes nothing.
    void ChangeLimit() {
        const auto parameter = plus_ ? TakeUsableParameter() : std::nullopt;
        if (plus_ && rules_.PositiveLimitsOnly &&
            ParseLimit(parameter.value_or("")).value_or(0) < 1)
            return;
        if (!parameter) {
            limitText_.clear();
            channel_.Limit = 0;
            AppendChange(false, 'l');
            return;
        }
        const auto limit = ParseLimit(*parameter);
        if (!limit)
            return;
        limitText_ = *parameter;
        channel_.Limit = *limit;
        AppendChange(true, 'l');
    }

    // "b" takes the next parameter whatever it begins with; without one it does nothing.
    // A "-b" mask that is not on the list removes nothing and is not announced, nor is
    // a "+b" mask beyond the list's limit or longer than a mask may be.
    void ChangeBan() {
        const auto parameter = TakeParameter();
        if (!parameter)
            return;
        const std::string mask = NormaliseBanMask(*parameter);
        if (plus_) {
            if (channel_.Bans.size() >= TChannelData::kMaxBans ||
                mask.size() > TChannelData::kMaxBanMaskBytes)
                return;  // the list is full, or the mask too long: ignored, not announced
            channel_.Bans.push_back(mask);
        } else if (!RemoveBan(mask)) {
            return;
        }
        AppendChange(plus_, 'b');
        if (!banText_.empty())
            banText_ += ' ';
        banText_ += mask;
    }

    bool RemoveBan(std::string_view mask) {
        const auto ban = std::ranges::find_if(channel_.Bans, [&](const std::string& entry) {
            return SameTextIgnoringCase(entry, mask);
        });
        if (ban == channel_.Bans.end())
            return false;
        channel_.Bans.erase(ban);
        return true;
    }

    // "-k" clears the key only when given the key itself; "+k" takes a key up to the
    // channel's bound.
    void ChangeKey() {
        const auto key = TakeUsableParameter();
        if (!key)
            return;
        if (plus_) {
            if (key->size() > TChannelData::kMaxKeyBytes)
                return;  // too long a key is used up and changes nothing
            channel_.Key = *key;
        } else if (channel_.Key == *key) {
            channel_.Key.clear();
        } else {
            return;
        }
        keyText_ = *key;
        AppendChange(plus_, 'k');
    }

    std::string_view PeekParameter() const {
        if (nextParameter_ > TParsedMessage::MaxParams)
            return {};
        return message_.Param(nextParameter_);
    }

    // The next mode parameter, used up; nothing when none is left.
    std::optional<std::string_view> TakeParameter() {
        const std::string_view parameter = PeekParameter();
        if (parameter.empty())
            return std::nullopt;
        ++nextParameter_;
        return parameter;
    }

    // The next mode parameter when it is usable, used up; otherwise nothing is used.
    std::optional<std::string_view> TakeUsableParameter() {
        if (!IsUsable(PeekParameter()))
            return std::nullopt;
        return TakeParameter();
    }

    void AppendChange(bool plus, char letter) {
        const char sign = plus ? '+' : '-';
        if (!rules_.CompactSigns || sign != lastSign_)
            changes_ += sign;
        lastSign_ = sign;
        changes_ += letter;
    }

    void Announce(std::string_view change) const {
        SendToChannel(channel_, sender_, "MODE " + channel_.KeyWord() + " " + std::string(change),
                      false);
    }

    void AnnounceMemberChange(char letter, std::string_view nick) const {
        Announce(std::string(plus_ ? "+" : "-") + letter + " " + std::string(nick));
    }

    // The letters with their signs, then the limit, the masks and the key.
    void AnnounceSummary() const {
        if (changes_.empty())
            return;
        std::string summary = changes_;
        for (const std::string* text : {&limitText_, &banText_, &keyText_}) {
            if (!text->empty())
                summary += " " + *text;
        }
        Announce(summary);
    }

    TConnection& connection_;
    const TParsedMessage& message_;
    const TUserData& sender_;
    TChannelData& channel_;
    const TModeRules rules_;
    char lastSign_ = 0;  // of the last change appended
    bool plus_ = true;
    int nextParameter_ = 3;  // the mode parameters are Params[3] and later
    std::string changes_;
    std::string limitText_;
    std::string banText_;
    std::string keyText_;
};

// Only a member who is a channel operator may change a channel's modes.
void ChangeChannelModes(TConnection& connection, const TParsedMessage& message,
                        const TUserData& user, TChannelData& channel, TModeRules rules) {
    if (!IsMember(channel, user)) {
        SendReply(connection, TReply::NotOnChannel, {user.KeyWord(), channel.KeyWord()});
        return;
    }
    if (!IsChanOp(channel, user)) {
        SendReply(connection, TReply::ChanOpPrivilegesNeeded, {message.Param(1)});
        return;
    }
    TChannelModeChange(connection, message, user, channel, rules).Run();
}

// The two queries answer anybody; everything else is a change.
void HandleChannelMode(TConnection& connection, const TParsedMessage& message,
                       const TUserData& user, TModeRules rules) {
    const std::string& target = message.Param(1);
    TChannelData* channel = connection.Core.Registry.Channels.Find(target);
    if (channel == nullptr) {
        SendReply(connection, TReply::NoSuchChannel, {target});
        return;
    }
    const std::string& modes = message.Param(2);
    if (modes.empty()) {
        SendChannelModes(connection, target, *channel);
    } else if (modes == "+b" && message.Param(3).empty()) {
        SendBanList(connection, target, *channel);
    } else {
        ChangeChannelModes(connection, message, user, *channel, rules);
    }
}

void RunMode(TConnection& connection, const TParsedMessage& message, TModeRules rules) {
    const std::string& target = message.Param(1);
    std::lock_guard lock(connection.Core.Registry.Lock);
    TUserData* user = OwnRecord(connection);
    if (user == nullptr)
        return;  // a registered connection always has its record
    if (BeginsLikeChannel(target)) {
        HandleChannelMode(connection, message, *user, rules);
    } else {
        HandleUserMode(connection, message, *user);
    }
}

}  // namespace

void HandleMode(TConnection& connection, const TParsedMessage& message) {
    RunMode(connection, message, kExactModes);
}

void HandleModeModern(TConnection& connection, const TParsedMessage& message) {
    TParsedMessage asked = message;
    for (std::string& param : asked.Params) {
        if (param.starts_with(':'))  // the last parameter: up to its first blank
            param = param.substr(1, param.find(' ') - 1);
    }
    if (BeginsLikeChannel(asked.Param(1)) && asked.Param(2) == "b" && asked.Param(3).empty())
        asked.Params[1] = "+b";
    RunMode(connection, asked, kModernModes);
}
