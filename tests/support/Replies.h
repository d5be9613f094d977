// Expected server lines for integration tests against TTestServer (server name
// "TavoServer").
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "core/ConstructionUnit/NumericReplies.h"
#include "tests/support/TestClient.h"

// The numeric error line the test server sends to `nick`.
std::string ErrorLine(std::string_view nick, TReply reply,
                      std::initializer_list<std::string_view> args = {});

// The server's answer to any PING.
inline const std::string kPong = ":TavoServer PONG TavoServer\r\n";

// PING answers after everything sent before it: a PONG as the very next line shows
// that nothing else reached the client.
void ExpectNothingMore(TTestClient& client);

// The clients join `channel` one after another. When it returns, each has read every
// line the joins sent it: its own end of names, and the later joiners' JOIN lines.
// Waiting for these lines, rather than for a quiet moment, holds however slowly a
// loaded machine runs.
void JoinInTurn(std::initializer_list<TTestClient*> clients, std::string_view channel);
