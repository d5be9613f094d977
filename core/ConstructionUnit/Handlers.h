// The command handlers, named by the command table (Dispatch.cpp). The dispatcher
// calls each in the connection's own thread with the parsed line, once the
// connection may use the command and the line has the parameters it needs. Files by area: Registration.cpp (NICK, USER, QUIT),
// ChannelCommands.cpp (JOIN, PART, TOPIC, NAMES, LIST, INVITE, KICK), Mode.cpp
// (MODE), Messaging.cpp (PRIVMSG, NOTICE), Queries.cpp (WHO, WHOIS, ISON, AWAY,
// VERSION, PING, PONG).
#pragma once

#include "core/ChatParser.h"

class TClientThread;

void HandleNick(TClientThread& connection, const TParsedMessage& message);
void HandleUser(TClientThread& connection, const TParsedMessage& message);
void HandleQuit(TClientThread& connection, const TParsedMessage& message);

void HandleJoin(TClientThread& connection, const TParsedMessage& message);
void HandlePart(TClientThread& connection, const TParsedMessage& message);
void HandleTopic(TClientThread& connection, const TParsedMessage& message);
void HandleNames(TClientThread& connection, const TParsedMessage& message);
void HandleList(TClientThread& connection, const TParsedMessage& message);
void HandleInvite(TClientThread& connection, const TParsedMessage& message);
void HandleKick(TClientThread& connection, const TParsedMessage& message);

void HandleMode(TClientThread& connection, const TParsedMessage& message);

void HandlePrivmsg(TClientThread& connection, const TParsedMessage& message);
void HandleNotice(TClientThread& connection, const TParsedMessage& message);

void HandleWho(TClientThread& connection, const TParsedMessage& message);
void HandleWhois(TClientThread& connection, const TParsedMessage& message);
void HandleIson(TClientThread& connection, const TParsedMessage& message);
void HandleAway(TClientThread& connection, const TParsedMessage& message);
void HandleVersion(TClientThread& connection, const TParsedMessage& message);
void HandlePing(TClientThread& connection, const TParsedMessage& message);
void HandlePong(TClientThread& connection, const TParsedMessage& message);
