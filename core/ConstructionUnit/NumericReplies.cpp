// The reply table and the builder of reply lines. The Japanese texts are the code
// page 932 constants generated from the text table.
#include "core/ConstructionUnit/NumericReplies.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "JapaneseTexts.h"

namespace {

// What stands in the field after the command.
enum class TAddressee {
    Nick,              // the connection's nickname, even when it is still empty
    Star,              // always "*"
    UnknownWhenEmpty,  // the nickname, or "unknown" before one was accepted
    None,              // nothing: the layout follows the command
};

// A row. The layout is everything after the addressee; in it "{1}" to "{9}" stand for
// the arguments and "{a}" and "{b}" for the row's texts.
struct TReplyFormat {
    TReply Reply;
    std::string_view Command;
    TAddressee Addressee;
    std::string_view Layout;
    std::string_view TextA = {};
    std::string_view TextB = {};
};

using enum TReply;
using enum TAddressee;

constexpr std::array kReplies = std::to_array<TReplyFormat>({
    {Welcome, "001", Nick, " :{a}{1}!~{2}@{3}", Texts::Welcome001},
    {YourHost, "002", Nick, " :{a}{1}{b}{2}", Texts::Welcome002Head, Texts::Welcome002Tail},
    {LUserClient, "251", Nick, " :There are {1} users and 0 services on 1 servers"},
    {LUserUnknown, "253", Nick, " 1 :unknown connections"},
    {LUserChannels, "254", Nick, " {1} :Channels formed"},
    {LUserMe, "255", Nick, " :I have {1} clients, 0 services on 0 servers"},
    {MotdStart, "375", Nick, " :- {1} Message of the Day"},
    {Motd, "372", Nick, " :- {1}"},
    {EndOfMotd, "376", Nick, " :End of MOTD command"},

    {NamesOnJoin, "353", Nick, " = {1} :{2}"},
    {NamesOfNoChannel, "353", Nick, " * * :{1}"},
    {EndOfNamesOnJoin, "366", Nick, " {1} :End of /NAMES list."},
    {EndOfNames, "366", Nick, " * :End of /Names list"},
    {NoTopic, "331", Nick, " {1} :No Topic is Set"},
    {Topic, "332", Nick, " {1} :{2}"},
    {Inviting, "341", Nick, " {1} {2}"},
    {ListEntry, "322", Nick, " {1} {2} :{3}"},
    {ListEnd, "323", Nick, " :End of /List"},

    {UserModeIs, "MODE", None, " {1} +{2}"},
    {ChannelModeIs, "MODE", None, " {1} +{2}{3}"},
    {BanList, "367", Nick, " {1} {2}"},
    {EndOfBanList, "368", Nick, " {1}  :End Of Channel Ban List"},

    {Away, "301", Nick, " {1} :{2}"},
    {WhoReply, "352", Nick, " {1} ~{2} {3} {4} {5} H{6} :0 {7}"},
    {EndOfWho, "315", Nick, " {1} :End of /WHO list."},
    {WhoisUser, "311", Nick, " {1} ~{2} {3} * :{4}"},
    {WhoisServer, "312", Nick, " {1} {2} :{3}"},
    {WhoisIdle, "317", Nick, " {1} {2} :{a}", Texts::Whois317},
    {WhoisChannels, "319", Nick, " {1} {2}"},
    {EndOfWhois, "318", Nick, " {1} :End of Whois list"},
    {IsOn, "303", None, " :{1}"},
    {UnAway, "305", None, " :{a}", Texts::Away305},
    {NowAway, "306", None, " :{a}", Texts::Away306},
    {Version, "351", Nick, " {1}-{2} {3} :{1}"},
    {Pong, "PONG", None, " {1}"},

    {NoSuchNick, "401", Nick, " {1} :{a}", Texts::Err401},
    {NoSuchChannel, "403", Nick, " {1} :{a}", Texts::Err403},
    {CannotSendToChannel, "404", Nick, " {1} :{a}", Texts::Err404},
    {TooManyChannels, "405", Nick, " {1} :{a}", Texts::Err405},
    {NoTextToSend, "412", Nick, " :{a}", Texts::Err412},
    {UnknownCommand, "421", Nick, " {1} :{a}", Texts::Err421},
    {NoNicknameGiven, "431", Star, " :{a}", Texts::Err431},
    {ErroneousNickname, "432", Star, " {1} :{a}", Texts::Err432},
    {NicknameInUse, "433", Star, " {1} :{a}", Texts::Err433},
    {UserNotInChannel, "441", Nick, " {1} {2} :{a}", Texts::Err441},
    {NotOnChannel, "442", Nick, " {1} {2} :{a}", Texts::Err442},
    {UserOnChannel, "443", Nick, " {1} {2} :{a}", Texts::Err443},
    {SummonDisabled, "445", Nick, " :{a}", Texts::Err445},
    {UsersDisabled, "446", Nick, " :{a}", Texts::Err446},
    {NotRegistered, "451", UnknownWhenEmpty, " :{a}", Texts::Err451},
    {NeedMoreParams, "461", Nick, " {1} :{a}", Texts::Err461},
    {AlreadyRegistered, "462", Nick, " :{a}", Texts::Err462},
    {ChannelIsFull, "471", Nick, " {1} :{a}", Texts::Err471},
    {UnknownMode, "472", Nick, " {2} :< {1} > {a}", Texts::Err472},  // (mode letter, channel)
    {InviteOnlyChannel, "473", Nick, " {1} :{a}", Texts::Err473},
    {BannedFromChannel, "474", Nick, " {1} :{a}", Texts::Err474},
    {BadChannelKey, "475", Nick, " {1} :{a}", Texts::Err475},
    {ChanOpPrivilegesNeeded, "482", Nick, " {1} :{a}", Texts::Err482},
    {UsersDontMatch, "502", Nick, " :{a}", Texts::Err502},
});

// Each reply has its row at the index of its value.
constexpr bool RowsFollowTheEnum() {
    for (std::size_t i = 0; i < kReplies.size(); ++i) {
        if (static_cast<std::size_t>(kReplies[i].Reply) != i)
            return false;
    }
    return true;
}
static_assert(RowsFollowTheEnum(), "the reply table's rows follow TReply's order");

std::string_view AddresseeOf(const TReplyFormat& format, std::string_view nick) {
    switch (format.Addressee) {
        case Star:
            return "*";
        case UnknownWhenEmpty:
            return nick.empty() ? "unknown" : nick;
        case Nick:
        case None:
            break;
    }
    return nick;
}

// The number of arguments a layout takes: its highest argument placeholder.
[[maybe_unused]] std::size_t ArgumentCount(std::string_view layout) {
    std::size_t count = 0;
    for (std::size_t at = layout.find('{'); at != std::string_view::npos;
         at = layout.find('{', at + 1)) {
        const char slot = layout[at + 1];
        if (slot >= '1' && slot <= '9')
            count = std::max<std::size_t>(count, slot - '0');
    }
    return count;
}

// Appends the layout with its placeholders filled in.
void AppendLayout(std::string& line, const TReplyFormat& format,
                  std::initializer_list<std::string_view> args) {
    const std::string_view layout = format.Layout;
    std::size_t done = 0;
    for (std::size_t at = layout.find('{'); at != std::string_view::npos;
         at = layout.find('{', done)) {
        line.append(layout.substr(done, at - done));
        const char slot = layout[at + 1];
        if (slot == 'a')
            line.append(format.TextA);
        else if (slot == 'b')
            line.append(format.TextB);
        else if (static_cast<std::size_t>(slot - '1') < args.size())
            line.append(args.begin()[slot - '1']);
        done = at + 3;
    }
    line.append(layout.substr(done));
}

}  // namespace

std::string BuildReplyLine(std::string_view serverName, std::string_view nick, TReply reply,
                           std::initializer_list<std::string_view> args) {
    const TReplyFormat& format = kReplies[static_cast<std::size_t>(reply)];
    assert(args.size() == ArgumentCount(format.Layout) && "wrong number of arguments");
    std::string line = ":";
    line.append(serverName).append(" ").append(format.Command);
    if (format.Addressee != None)
        line.append(" ").append(AddresseeOf(format, nick));
    AppendLayout(line, format, args);
    line.append("\r\n");
    return line;
}
