#include "tests/support/Replies.h"

#include <gtest/gtest.h>

std::string ErrorLine(std::string_view nick, TReply reply,
                      std::initializer_list<std::string_view> args) {
    return BuildReplyLine("TavoServer", nick, reply, args);
}

void ExpectNothingMore(TTestClient& client) {
    client.Send("PING sync");
    EXPECT_EQ(client.ReadLine(), kPong);
}

void JoinInTurn(std::initializer_list<TTestClient*> clients, std::string_view channel) {
    const std::string joined = " JOIN :" + std::string(channel) + "\r\n";
    for (auto joiner = clients.begin(); joiner != clients.end(); ++joiner) {
        (*joiner)->Send("JOIN " + std::string(channel));
        (*joiner)->ReadUntil(" 366 ");
        for (auto member = clients.begin(); member != joiner; ++member)
            (*member)->ReadUntil(joined);
    }
}
