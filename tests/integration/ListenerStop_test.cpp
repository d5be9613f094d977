// Stopping the listener under the real core: every connection closes without a
// single line, not even the QUIT of a neighbour that happened to end first.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/TestClient.h"
#include "tests/support/TestServer.h"

namespace {

TEST(ListenerStop, AStopWithManyClientsInOneChannelDeliversNoLineToAnyOfThem) {
    constexpr int kClients = 40;
    TSettings settings;
    settings.MaxConnection = kClients;
    TTestServer server(settings);
    std::vector<std::unique_ptr<TTestClient>> clients;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(
            std::make_unique<TTestClient>(server.Port(), "127.0.0." + std::to_string(2 + i)));
        clients.back()->Register("u" + std::to_string(i));
        clients.back()->Send("JOIN #busy");
        clients.back()->ReadUntil(" 366 ");
    }
    // Everyone has seen the last one join, so nothing is left to arrive.
    const std::string lastJoin = ":u" + std::to_string(kClients - 1) + "!";
    for (int i = 0; i < kClients - 1; ++i)
        clients[i]->ReadUntil(lastJoin);

    server.Stop();
    int closed = 0;
    std::vector<std::string> delivered;
    for (auto& client : clients) {
        closed += client->WaitClosed(2000) ? 1 : 0;
        while (auto line = client->ReadLine(0))
            delivered.push_back(*line);
    }
    EXPECT_EQ(closed, kClients);
    EXPECT_TRUE(delivered.empty()) << delivered.size() << " lines, the first: " << delivered[0];
}

}  // namespace
