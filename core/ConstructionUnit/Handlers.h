// The command handlers, named by the command table (Dispatch.cpp). The dispatcher
// calls each in the connection's own thread with the parsed line, once the
// connection may use the command and the line has the parameters it needs. Files by area:
// Registration.cpp (NICK, USER, QUIT, CAP), ChannelCommands.cpp (JOIN, PART, TOPIC, NAMES, LIST,
// INVITE, KICK), Mode.cpp (MODE), Messaging.cpp (PRIVMSG, NOTICE), Queries.cpp (WHO, WHOIS, ISON,
// AWAY, VERSION, PING, PONG). The Modern profile's own handlers stand beside the Exact ones they
// differ from: comma lists of channels and a part message (...List), a WHO mask, the ban list
// asked as "b", and the capability negotiation (CAP).
#pragma once

#include "core/ChatParser.h"

class TConnection;

void HandleNick(TConnection& connection, const TParsedMessage& message);
void HandleNickModern(TConnection& connection, const TParsedMessage& message);
void HandleUser(TConnection& connection, const TParsedMessage& message);
void HandleQuit(TConnection& connection, const TParsedMessage& message);
void HandleCap(TConnection& connection, const TParsedMessage& message);

void HandleJoin(TConnection& connection, const TParsedMessage& message);
void HandlePart(TConnection& connection, const TParsedMessage& message);
void HandleTopic(TConnection& connection, const TParsedMessage& message);
void HandleNames(TConnection& connection, const TParsedMessage& message);
void HandleList(TConnection& connection, const TParsedMessage& message);
void HandleInvite(TConnection& connection, const TParsedMessage& message);
void HandleKick(TConnection& connection, const TParsedMessage& message);
void HandleKickModern(TConnection& connection, const TParsedMessage& message);
void HandleJoinList(TConnection& connection, const TParsedMessage& message);
void HandlePartList(TConnection& connection, const TParsedMessage& message);
void HandleNamesList(TConnection& connection, const TParsedMessage& message);
void HandleListList(TConnection& connection, const TParsedMessage& message);

void HandleMode(TConnection& connection, const TParsedMessage& message);
void HandleModeModern(TConnection& connection, const TParsedMessage& message);

void HandlePrivmsg(TConnection& connection, const TParsedMessage& message);
void HandleNotice(TConnection& connection, const TParsedMessage& message);
void HandlePrivmsgList(TConnection& connection, const TParsedMessage& message);
void HandleNoticeList(TConnection& connection, const TParsedMessage& message);

void HandleWho(TConnection& connection, const TParsedMessage& message);
void HandleWhois(TConnection& connection, const TParsedMessage& message);
void HandleWhoMask(TConnection& connection, const TParsedMessage& message);
void HandleIson(TConnection& connection, const TParsedMessage& message);
void HandleAway(TConnection& connection, const TParsedMessage& message);
void HandleVersion(TConnection& connection, const TParsedMessage& message);
void HandlePing(TConnection& connection, const TParsedMessage& message);
void HandlePong(TConnection& connection, const TParsedMessage& message);
