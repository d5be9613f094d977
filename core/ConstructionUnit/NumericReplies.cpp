// The reply table and the builder of reply lines. The Japanese texts are the constants
// generated from the text table, in both encodings.
#include "core/ConstructionUnit/NumericReplies.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace {

// The Modern form of a row whose reply is the same in both profiles.
constexpr std::string_view kAsExact = "=";

// A row: the reply's line after ":<server> " in each client profile; an empty form is a
// reply the profile does not make. In a
// form "{1}" to "{9}" stand for the arguments, "{a}" and "{b}" for the row's texts in
// the server's encoding, and for the addressee "{n}" the nickname as it is (even
// empty), "{u}" the nickname or "unknown" before there is one, "{s}" the nickname or
// "*".
struct TReplyFormat {
    TReply Reply;
    std::string_view Exact;
    std::string_view Modern = kAsExact;
    std::string_view TJapaneseTexts::*TextA = nullptr;
    std::string_view TJapaneseTexts::*TextB = nullptr;
};

using enum TReply;
using T = TJapaneseTexts;

// clang-format off
constexpr std::array kReplies = std::to_array<TReplyFormat>({
    {Welcome, "001 {n} :{a}{1}!~{2}@{3}", kAsExact, &T::Welcome001},
    {YourHost, "002 {n} :{a}{1}{b}{2}", "002 {n} :Your host is {1}, running version {2}-{3}",
     &T::Welcome002Head, &T::Welcome002Tail},
    {Created, {}, "003 {n} :This server was created {1}"},
    {MyInfo, {}, "004 {n} {1} {2}-{3} {4} {5} {6}"},
    {ISupport, {}, "005 {n} {1} :are supported by this server"},
    {LUserClient, "251 {n} :There are {1} users and 0 services on 1 servers"},
    {LUserUnknown, "253 {n} 1 :unknown connections"},
    {LUserChannels, "254 {n} {1} :Channels formed"},
    {LUserMe, "255 {n} :I have {1} clients, 0 services on 0 servers"},
    {MotdStart, "375 {n} :- {1} Message of the Day"},
    {Motd, "372 {n} :- {1}"},
    {EndOfMotd, "376 {n} :End of MOTD command"},

    {NamesOnJoin, "353 {n} = {1} :{2}", "353 {n} {3} {1} :{2}"},
    {NamesOfHiddenChannel, "353 {n} = {1} :{2}", ""},
    {NamesOfNoChannel, "353 {n} * * :{1}"},
    {EndOfNamesOnJoin, "366 {n} {1} :End of /NAMES list."},
    {EndOfNames, "366 {n} * :End of /Names list", "366 {n} {1} :End of /NAMES list."},
    {EndOfNamesOfChannel, {}, "366 {n} {1} :End of /NAMES list."},
    {TopicOnJoin, {}, "332 {n} {1} :{2}"},
    {TopicWhoTime, {}, "333 {n} {1} {2} {3}"},
    {NoTopic, "331 {n} {1} :No Topic is Set"},
    {Topic, "332 {n} {1} :{2}"},
    {Inviting, "341 {n} {1} {2}", "341 {n} {2} {1}"},
    {ListEntryOfSecret, {}, "322 {n} {1} {2} :{3}"},
    {ListEntry, "322 {n} {1} {2} :{3}"},
    {ListEnd, "323 {n} :End of /List"},

    {UserModeIs, "MODE {1} +{2}", "221 {n} +{2}"},
    {ChannelModeIs, "MODE {1} +{2}{3}", "324 {n} {1} +{2}{3}"},
    {ChannelCreated, {}, "329 {n} {1} {2}"},
    {BanList, "367 {n} {1} {2}"},
    {EndOfBanList, "368 {n} {1}  :End Of Channel Ban List", "368 {n} {1} :End of channel ban list"},

    {Away, "301 {n} {1} :{2}"},
    {WhoReply, "352 {n} {1} ~{2} {3} {4} {5} H{6} :0 {7}", "352 {n} {1} ~{2} {3} {4} {5} {8}{6} :0 {7}"},
    {EndOfWho, "315 {n} {1} :End of /WHO list.", "315 {n} {2} :End of /WHO list."},
    {WhoisUser, "311 {n} {1} ~{2} {3} * :{4}"},
    {WhoisServer, "312 {n} {1} {2} :{3}"},
    {WhoisIdle, "317 {n} {1} {2} :{a}", "317 {n} {1} {2} {3} :{a}", &T::Whois317},
    {WhoisAway, {}, "301 {n} {1} :{2}"},
    {WhoisChannels, "319 {n} {1} {2}", "319 {n} {1} :{2}"},
    {EndOfWhois, "318 {n} {1} :End of Whois list"},
    {EndOfWhoisOfNobody, {}, "318 {n} {1} :End of Whois list"},
    {IsOn, "303 :{1}", "303 {n} :{1}"},
    {UnAway, "305 :{a}", "305 {n} :{a}", &T::Away305},
    {NowAway, "306 :{a}", "306 {n} :{a}", &T::Away306},
    {Version, "351 {n} {1}-{2} {3} :{1}"},
    {Pong, "PONG {1}", "PONG {1} :{2}"},
    {CapabilityList, {}, "CAP {s} LS :"},

    {NoSuchNick, "401 {n} {1} :{a}", kAsExact, &T::Err401},
    {NoSuchChannel, "403 {n} {1} :{a}", kAsExact, &T::Err403},
    {NoSuchChannelListed, "403 {n} {1} :{a}", "", &T::Err403},
    {NoSuchChannelToKick, "401 {n} {1} :{a}", "403 {n} {1} :{b}", &T::Err401, &T::Err403},
    {CannotSendToChannel, "404 {n} {1} :{a}", kAsExact, &T::Err404},
    {TooManyChannels, "405 {n} {1} :{a}", kAsExact, &T::Err405},
    {NoTextToSend, "412 {n} :{a}", kAsExact, &T::Err412},
    {UnknownCommand, "421 {n} {1} :{a}", "421 {s} {1} :{a}", &T::Err421},
    {NoNicknameGiven, "431 * :{a}", "431 {s} :{a}", &T::Err431},
    {ErroneousNickname, "432 * {1} :{a}", "432 {s} {1} :{a}", &T::Err432},
    {NicknameInUse, "433 * {1} :{a}", "433 {s} {1} :{a}", &T::Err433},
    {UserNotInChannel, "441 {n} {1} {2} :{a}", kAsExact, &T::Err441},
    {NotOnChannel, "442 {n} {1} {2} :{a}", "442 {n} {2} :{a}", &T::Err442},
    {UserOnChannel, "443 {n} {1} {2} :{a}", kAsExact, &T::Err443},
    {SummonDisabled, "445 {n} :{a}", kAsExact, &T::Err445},
    {UsersDisabled, "446 {n} :{a}", kAsExact, &T::Err446},
    {NotRegistered, "451 {u} :{a}", "451 {s} :{a}", &T::Err451},
    {NeedMoreParams, "461 {n} {1} :{a}", "461 {s} {1} :{a}", &T::Err461},
    {AlreadyRegistered, "462 {n} :{a}", kAsExact, &T::Err462},
    {ChannelIsFull, "471 {n} {1} :{a}", kAsExact, &T::Err471},
    {UnknownMode, "472 {n} {2} :< {1} > {a}", "472 {n} {1} :{a}", &T::Err472},  // (mode letter, channel)
    {InviteOnlyChannel, "473 {n} {1} :{a}", kAsExact, &T::Err473},
    {BannedFromChannel, "474 {n} {1} :{a}", kAsExact, &T::Err474},
    {BadChannelKey, "475 {n} {1} :{a}", kAsExact, &T::Err475},
    {ChanOpPrivilegesNeeded, "482 {n} {1} :{a}", kAsExact, &T::Err482},
    {UsersDontMatch, "502 {n} :{a}", kAsExact, &T::Err502},
});
// clang-format on

// Each reply has its row at the index of its value.
constexpr bool RowsFollowTheEnum() {
    for (std::size_t i = 0; i < kReplies.size(); ++i) {
        if (static_cast<std::size_t>(kReplies[i].Reply) != i)
            return false;
    }
    return true;
}
static_assert(RowsFollowTheEnum(), "the reply table's rows follow TReply's order");

// The number of arguments a form takes: its highest argument placeholder.
[[maybe_unused]] std::size_t ArgumentCount(std::string_view form) {
    std::size_t count = 0;
    if (form == kAsExact)
        return 0;
    for (std::size_t at = form.find('{'); at != std::string_view::npos;
         at = form.find('{', at + 1)) {
        const char slot = form[at + 1];
        if (slot >= '1' && slot <= '9')
            count = std::max<std::size_t>(count, slot - '0');
    }
    return count;
}

std::string_view FormOf(const TReplyFormat& format, TClientProfile profile) {
    return profile == TClientProfile::Modern && format.Modern != kAsExact ? format.Modern
                                                                          : format.Exact;
}

// Appends the form with its placeholders filled in.
void AppendForm(std::string& line, const TReplyFormat& format, std::string_view form,
                const TJapaneseTexts& texts, std::string_view nick,
                std::initializer_list<std::string_view> args) {
    std::size_t done = 0;
    for (std::size_t at = form.find('{'); at != std::string_view::npos; at = form.find('{', done)) {
        line.append(form.substr(done, at - done));
        const char slot = form[at + 1];
        if (slot == 'a')
            line.append(texts.*format.TextA);
        else if (slot == 'b')
            line.append(texts.*format.TextB);
        else if (slot == 'n')
            line.append(nick);
        else if (slot == 'u')
            line.append(nick.empty() ? "unknown" : nick);
        else if (slot == 's')
            line.append(nick.empty() ? "*" : nick);
        else if (static_cast<std::size_t>(slot - '1') < args.size())
            line.append(args.begin()[slot - '1']);
        done = at + 3;
    }
    line.append(form.substr(done));
}

}  // namespace

std::string BuildReplyLine(std::string_view serverName, std::string_view nick, TReply reply,
                           std::initializer_list<std::string_view> args, const TDialect& dialect) {
    const TReplyFormat& format = kReplies[static_cast<std::size_t>(reply)];
    assert(args.size() == std::max(ArgumentCount(format.Exact), ArgumentCount(format.Modern)) &&
           "wrong number of arguments");
    const std::string_view form = FormOf(format, dialect.Profile);
    if (form.empty())
        return {};
    std::string line = ":";
    line.append(serverName).append(" ");
    AppendForm(line, format, form, dialect.Texts(), nick, args);
    line.append("\r\n");
    return line;
}
