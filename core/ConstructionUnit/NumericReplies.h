// The reply table: every reply the server makes of its own, numeric or not, with its
// form in each client profile (the addressee, the layout of its arguments and its
// text), and the one function that builds a complete reply line from a row. Handlers
// pass values; they never build a reply line themselves.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "core/Dialect.h"

// One value per row of the table.
enum class TReply {
    // Registration: the welcome burst and the message of the day.
    Welcome,        // 001
    YourHost,       // 002
    Created,        // 003, Modern only
    MyInfo,         // 004, Modern only
    ISupport,       // 005, Modern only
    LUserClient,    // 251
    LUserUnknown,   // 253
    LUserChannels,  // 254
    LUserMe,        // 255
    MotdStart,      // 375
    Motd,           // 372
    EndOfMotd,      // 376
    // Channels.
    NamesOnJoin,           // 353 = <channel> (Modern: @ or * for a secret or private one)
    NamesOfHiddenChannel,  // 353 of a private channel for a non-member, Exact only
    NamesOfNoChannel,      // 353 * *
    EndOfNamesOnJoin,      // 366 <channel>
    EndOfNames,            // 366 *
    EndOfNamesOfChannel,   // 366 <channel> after each channel asked for, Modern only
    TopicOnJoin,           // 332 on joining a channel with a topic, Modern only
    TopicWhoTime,          // 333 after it, Modern only
    NoTopic,               // 331
    Topic,                 // 332
    Inviting,              // 341
    ListEntryOfSecret,     // 322 of a secret channel for a member, Modern only
    ListEntry,             // 322
    ListEnd,               // 323
    // MODE.
    UserModeIs,      // MODE <nick> +<letters>
    ChannelModeIs,   // MODE <channel> +<letters><parameters>
    ChannelCreated,  // 329, Modern only
    BanList,         // 367
    EndOfBanList,    // 368
    // Messaging and queries.
    Away,                // 301
    WhoReply,            // 352
    EndOfWho,            // 315
    WhoisUser,           // 311
    WhoisServer,         // 312
    WhoisIdle,           // 317
    WhoisAway,           // 301 in WHOIS, Modern only
    WhoisChannels,       // 319
    EndOfWhois,          // 318
    EndOfWhoisOfNobody,  // 318 after 401, Modern only
    IsOn,                // 303
    UnAway,              // 305
    NowAway,             // 306
    Version,             // 351
    Pong,                // PONG <server>
    CapabilityList,      // CAP * LS, Modern only
    // Errors.
    NoSuchNick,              // 401
    NoSuchChannel,           // 403
    NoSuchChannelListed,     // 403 for a channel NAMES or LIST asked for, Exact only
    NoSuchChannelToKick,     // 401 in Exact, 403 in Modern
    CannotSendToChannel,     // 404
    TooManyChannels,         // 405
    NoTextToSend,            // 412
    UnknownCommand,          // 421
    NoNicknameGiven,         // 431
    ErroneousNickname,       // 432
    NicknameInUse,           // 433
    UserNotInChannel,        // 441
    NotOnChannel,            // 442
    UserOnChannel,           // 443
    SummonDisabled,          // 445
    UsersDisabled,           // 446
    NotRegistered,           // 451
    NeedMoreParams,          // 461
    AlreadyRegistered,       // 462
    ChannelIsFull,           // 471
    UnknownMode,             // 472
    InviteOnlyChannel,       // 473
    BannedFromChannel,       // 474
    BadChannelKey,           // 475
    ChanOpPrivilegesNeeded,  // 482
    UsersDontMatch,          // 502
};

// Builds ":<server> <form>\r\n" for `reply` in the dialect's client profile, its
// placeholders filled with `args` in order and the row's texts in the dialect's
// encoding; an empty line for a reply that the profile does not make. In Exact the
// addressee is `nick` as given (two blanks follow the command when it is empty), except
// where the row says otherwise: "*" for the nickname errors, "unknown" for 451 before a
// nickname, none for the replies that name nobody (303, 305, 306, MODE and PONG).
// A row takes the same arguments in both profiles, as many as the form that uses the
// most; passing another number is a programming error.
std::string BuildReplyLine(std::string_view serverName, std::string_view nick, TReply reply,
                           std::initializer_list<std::string_view> args,
                           const TDialect& dialect = {});
