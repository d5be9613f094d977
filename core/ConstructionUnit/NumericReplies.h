// The numeric error replies: which addressee and arguments each code carries and its
// text, and the one function that builds a complete reply line from them.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// The error replies; each value is the reply's numeric code.
enum class TErrorReply {
    NoSuchNick = 401,
    NoSuchChannel = 403,
    CannotSendToChannel = 404,
    TooManyChannels = 405,
    NoTextToSend = 412,
    UnknownCommand = 421,
    NoNicknameGiven = 431,
    ErroneousNickname = 432,
    NicknameInUse = 433,
    UserNotInChannel = 441,
    NotOnChannel = 442,
    UserOnChannel = 443,
    SummonDisabled = 445,
    UsersDisabled = 446,
    NotRegistered = 451,
    NeedMoreParams = 461,
    AlreadyRegistered = 462,
    ChannelIsFull = 471,
    UnknownMode = 472,
    InviteOnlyChannel = 473,
    BannedFromChannel = 474,
    BadChannelKey = 475,
    ChanOpPrivilegesNeeded = 482,
    UsersDontMatch = 502
};

// Builds ":<server> <code> <addressee> <args...> :<text>\r\n" for `reply`.
// The addressee is `nick` as given (two blanks follow the code when it is empty), except
// that 431, 432 and 433 always show "*" and 451 shows "unknown" for an empty `nick`.
// UnknownMode takes (mode letter, channel) and ends in " <channel> :< <mode> > <text>".
// Every reply has a fixed number of arguments; passing another number is a programming error.
std::string BuildErrorLine(std::string_view serverName, std::string_view nick, TErrorReply reply,
                           std::initializer_list<std::string_view> args);
