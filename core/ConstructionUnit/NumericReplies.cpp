// The table of the numeric error replies and the builder of their lines. The texts are
// the code page 932 constants generated from the text table.
#include "core/ConstructionUnit/NumericReplies.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "JapaneseTexts.h"

namespace {

// What stands in the field after the code.
enum class TAddressee {
    ConnectionNick,    // the connection's nickname, even when it is still empty
    Star,              // always "*"
    UnknownWhenEmpty,  // the nickname, or "unknown" before one was accepted
};

// How the arguments are laid out around the text.
enum class TLayout {
    ArgumentsBeforeText,  // " <arg1> <arg2> :<text>"
    ModeInBrackets,       // arguments (mode, channel): " <channel> :< <mode> > <text>"
};

struct TErrorReplyFormat {
    TErrorReply Reply;
    TAddressee Addressee;
    std::size_t ArgumentCount;
    std::string_view Text;
    TLayout Layout = TLayout::ArgumentsBeforeText;
};

using enum TErrorReply;
using enum TAddressee;

constexpr std::array<TErrorReplyFormat, 24> ErrorReplies = {{
    {NoSuchNick, ConnectionNick, 1, Texts::Err401},
    {NoSuchChannel, ConnectionNick, 1, Texts::Err403},
    {CannotSendToChannel, ConnectionNick, 1, Texts::Err404},
    {TooManyChannels, ConnectionNick, 1, Texts::Err405},
    {NoTextToSend, ConnectionNick, 0, Texts::Err412},
    {UnknownCommand, ConnectionNick, 1, Texts::Err421},
    {NoNicknameGiven, Star, 0, Texts::Err431},
    {ErroneousNickname, Star, 1, Texts::Err432},
    {NicknameInUse, Star, 1, Texts::Err433},
    {UserNotInChannel, ConnectionNick, 2, Texts::Err441},
    {NotOnChannel, ConnectionNick, 2, Texts::Err442},
    {UserOnChannel, ConnectionNick, 2, Texts::Err443},
    {SummonDisabled, ConnectionNick, 0, Texts::Err445},
    {UsersDisabled, ConnectionNick, 0, Texts::Err446},
    {NotRegistered, UnknownWhenEmpty, 0, Texts::Err451},
    {NeedMoreParams, ConnectionNick, 1, Texts::Err461},
    {AlreadyRegistered, ConnectionNick, 0, Texts::Err462},
    {ChannelIsFull, ConnectionNick, 1, Texts::Err471},
    {UnknownMode, ConnectionNick, 2, Texts::Err472, TLayout::ModeInBrackets},
    {InviteOnlyChannel, ConnectionNick, 1, Texts::Err473},
    {BannedFromChannel, ConnectionNick, 1, Texts::Err474},
    {BadChannelKey, ConnectionNick, 1, Texts::Err475},
    {ChanOpPrivilegesNeeded, ConnectionNick, 1, Texts::Err482},
    {UsersDontMatch, ConnectionNick, 0, Texts::Err502},
}};

const TErrorReplyFormat& FormatOf(TErrorReply reply) {
    const auto format = std::ranges::find(ErrorReplies, reply, &TErrorReplyFormat::Reply);
    assert(format != ErrorReplies.end());
    return *format;
}

std::string_view AddresseeOf(const TErrorReplyFormat& format, std::string_view nick) {
    switch (format.Addressee) {
        case Star:
            return "*";
        case UnknownWhenEmpty:
            return nick.empty() ? "unknown" : nick;
        case ConnectionNick:
            break;
    }
    return nick;
}

// The argument at `index`, or empty when a caller passed too few.
std::string_view ArgumentAt(std::initializer_list<std::string_view> args, std::size_t index) {
    return index < args.size() ? args.begin()[index] : std::string_view{};
}

// Appends everything between the addressee and the reply text.
void AppendArguments(std::string& line, TLayout layout,
                     std::initializer_list<std::string_view> args) {
    if (layout == TLayout::ModeInBrackets) {
        line.append(" ").append(ArgumentAt(args, 1));
        line.append(" :< ").append(ArgumentAt(args, 0)).append(" > ");
        return;
    }
    for (const std::string_view arg : args) {
        line.append(" ").append(arg);
    }
    line.append(" :");
}

}  // namespace

std::string BuildErrorLine(std::string_view serverName, std::string_view nick, TErrorReply reply,
                           std::initializer_list<std::string_view> args) {
    const TErrorReplyFormat& format = FormatOf(reply);
    assert(args.size() == format.ArgumentCount && "wrong number of arguments for this reply");
    std::string line = ":";
    line.append(serverName).append(" ").append(std::to_string(static_cast<int>(reply)));
    line.append(" ").append(AddresseeOf(format, nick));
    AppendArguments(line, format.Layout, args);
    line.append(format.Text).append("\r\n");
    return line;
}
