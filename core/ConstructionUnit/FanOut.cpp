// Fan-out: relaying a user's action to one user, a channel or the user's neighbours,
// charged to the relay budget of the user's connection.
#include "core/ConstructionUnit/FanOut.h"

#include <algorithm>
#include <vector>

#include "core/Connection.h"

namespace {

// The line relayed for `user`, charged to the user's relay budget.
std::string RelayedLine(const TUserData& user, std::string_view text) {
    std::string line = UserPrefix(user) + " " + std::string(text) + "\r\n";
    if (user.Connection != nullptr)
        user.Connection->SpendRelayBudget(line.size());
    return line;
}

}  // namespace

std::string UserPrefix(const TUserData& user) {
    return ":" + user.KeyWord() + "!~" + user.UserName + "@" + user.Host;
}

void SendToUser(const TUserData& recipient, const TUserData& sender, std::string_view text) {
    const std::string line = RelayedLine(sender, text);
    if (recipient.Connection != nullptr)
        recipient.Connection->SendLine(line);
}

void SendToChannel(const TChannelData& channel, const TUserData& sender, std::string_view text,
                   bool skipSender) {
    const std::string line = RelayedLine(sender, text);
    for (int i = 0; i < channel.MemberCount(); ++i) {
        const TUserData* member = channel.MemberAt(i);
        if (member->Connection == nullptr)
            continue;
        if (skipSender && member->Connection == sender.Connection)
            continue;
        member->Connection->SendLine(line);
    }
}

void SendToNeighbours(const TUserData& user, std::string_view text, bool skipUser) {
    const std::string line = RelayedLine(user, text);
    std::vector<const TUserData*> visited;
    for (auto channel = user.Channels.rbegin(); channel != user.Channels.rend(); ++channel) {
        for (int i = 0; i < (*channel)->MemberCount(); ++i) {
            const TUserData* member = (*channel)->MemberAt(i);
            if (std::find(visited.begin(), visited.end(), member) != visited.end())
                continue;
            visited.push_back(member);
            if (skipUser && member == &user)
                continue;
            if (member->Connection != nullptr)
                member->Connection->SendLine(line);
        }
    }
}
