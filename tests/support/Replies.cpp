#include "tests/support/Replies.h"

#include <gtest/gtest.h>

std::string ErrorLine(std::string_view nick, TErrorReply reply,
                      std::initializer_list<std::string_view> args) {
    return BuildErrorLine("TavoServer", nick, reply, args);
}

void ExpectNothingMore(TTestClient& client) {
    client.Send("PING sync");
    EXPECT_EQ(client.ReadLine(), kPong);
}
