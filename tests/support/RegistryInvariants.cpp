// Consistency checks of the registry: key order and lookups of both collections, the
// two directions of membership, and the connections the user records refer to.
#include "tests/support/RegistryInvariants.h"

#include <algorithm>
#include <mutex>

#include "platform/TextEncoding.h"

namespace {

using TFaults = std::vector<std::string>;

std::string Quoted(std::string_view name) {
    return "\"" + platform::Cp932ToUtf8(name) + "\"";
}

// An item of the scratch collection in which KeyOrderFaults sorts keys afresh.
class TKeyProbe : public TMyCollectionItem {};

template <class T>
bool Holds(const TMyCollection<T>& collection, const T* item) {
    for (int i = 0; i < collection.Count(); ++i) {
        if (collection.At(i) == item)
            return true;
    }
    return false;
}

template <class T>
std::vector<std::string> KeysInOrder(const TMyCollection<T>& collection) {
    std::vector<std::string> keys;
    for (int i = 0; i < collection.Count(); ++i)
        keys.push_back(collection.At(i)->KeyWord());
    return keys;
}

template <class T>
void CheckCollection(const TMyCollection<T>& collection, std::string_view what, TFaults& faults) {
    for (auto& fault : KeyOrderFaults(KeysInOrder(collection), what))
        faults.push_back(std::move(fault));
    for (int i = 0; i < collection.Count(); ++i) {
        const T* item = collection.At(i);
        if (!item->KeyWord().empty() && collection.Find(item->KeyWord()) != item)
            faults.push_back(std::string(what) + " " + Quoted(item->KeyWord()) +
                             " is not found by its own key");
    }
}

int TimesMember(const TChannelData& channel, const TUserData* user) {
    int times = 0;
    for (int i = 0; i < channel.MemberCount(); ++i)
        times += channel.MemberAt(i) == user ? 1 : 0;
    return times;
}

bool FirstTimeMember(const TChannelData& channel, int index) {
    for (int i = 0; i < index; ++i) {
        if (channel.MemberAt(i) == channel.MemberAt(index))
            return false;
    }
    return true;
}

void CheckMember(const TChannelData& channel, int index, const std::string& channelName,
                 TFaults& faults) {
    const TUserData* member = channel.MemberAt(index);
    const std::string name = channelName + ", member " + Quoted(member->KeyWord());
    if (member->KeyWord().empty()) {
        faults.push_back(channelName + " has a member without a nickname");
        return;
    }
    if (!FirstTimeMember(channel, index))
        return;  // reported at its first place
    if (const int times = TimesMember(channel, member); times != 1)
        faults.push_back(name + " stands " + std::to_string(times) + " times in the member list");
    if (channel.FindMember(member->KeyWord()) != member)
        faults.push_back(name + " is not found by its nickname");
    const auto listed = std::count(member->Channels.begin(), member->Channels.end(), &channel);
    if (listed != 1)
        faults.push_back(name + " lists the channel " + std::to_string(listed) + " times");
}

void CheckChannel(const TClientData& registry, const TChannelData& channel, TFaults& faults) {
    const std::string name = "channel " + Quoted(channel.KeyWord());
    if (channel.KeyWord().empty())
        faults.push_back("a channel has no name");
    if (channel.MemberCount() < 1)
        faults.push_back(name + " has no members");
    if (channel.Bans.size() > TChannelData::kMaxBans)
        faults.push_back(name + " holds " + std::to_string(channel.Bans.size()) + " ban masks");
    if (channel.Topic.size() > TChannelData::kMaxTopicBytes)
        faults.push_back(name + " has a topic of " + std::to_string(channel.Topic.size()) +
                         " bytes");
    for (int i = 0; i < channel.MemberCount(); ++i) {
        if (!Holds(registry.Users, channel.MemberAt(i))) {
            // Never read through it: the record may have been freed.
            faults.push_back(name + " has a member that is no user record");
            continue;
        }
        CheckMember(channel, i, name, faults);
    }
}

void CheckUser(const TClientData& registry, const TUserData& user,
               const std::set<const TConnection*>& liveConnections,
               std::set<const TConnection*>& seenConnections, TFaults& faults) {
    const std::string name = user.KeyWord().empty() ? "user record without a nickname"
                                                    : "user " + Quoted(user.KeyWord());
    if (user.Connection == nullptr)
        faults.push_back(name + " has no connection");
    else if (!liveConnections.contains(user.Connection))
        faults.push_back(name + " refers to a connection that has ended");
    else if (!seenConnections.insert(user.Connection).second)
        faults.push_back(name + " shares its connection with another record");
    if (user.Channels.size() > TUserData::kMaxChannels)
        faults.push_back(name + " is in " + std::to_string(user.Channels.size()) + " channels");
    if (user.Invitations.size() > TUserData::kMaxInvitations)
        faults.push_back(name + " keeps " + std::to_string(user.Invitations.size()) +
                         " invitations");
    for (const TChannelData* channel : user.Channels) {
        if (!Holds(registry.Channels, channel)) {
            faults.push_back(name + " lists a channel that does not exist");
            continue;
        }
        if (const int times = TimesMember(*channel, &user); times != 1)
            faults.push_back(name + " lists channel " + Quoted(channel->KeyWord()) + " but is " +
                             std::to_string(times) + " times among its members");
    }
}

}  // namespace

std::vector<std::string> KeyOrderFaults(const std::vector<std::string>& keys,
                                        std::string_view what) {
    TFaults faults;
    // Given one by one in their present order to a fresh collection, which places each
    // by the key rules, the keys must come out in the same order: the fresh collection
    // refuses a key it holds already and sorts by the rules alone.
    TMyCollection<TKeyProbe> sorted;
    bool keylessSeen = false;
    for (const std::string& key : keys) {
        if (key.empty()) {
            keylessSeen = true;
            continue;
        }
        const std::string name = std::string(what) + " " + Quoted(key);
        if (keylessSeen)
            faults.push_back(name + " stands behind an item without a key");
        try {
            sorted.Add()->SetKeyWord(key);
        } catch (const EKeyWordError&) {
            faults.push_back(name + " has the same key as another one");
        }
    }
    // The probes were numbered in the present order; refused ones stay keyless at the end.
    for (int i = 0; i + 1 < sorted.Count() && !sorted.At(i + 1)->KeyWord().empty(); ++i) {
        if (sorted.At(i)->ID() > sorted.At(i + 1)->ID())
            faults.push_back(std::string(what) + " " + Quoted(sorted.At(i + 1)->KeyWord()) +
                             " stands before " + Quoted(sorted.At(i)->KeyWord()) +
                             ", out of key order");
    }
    return faults;
}

std::vector<std::string> RegistryFaults(TClientData& registry,
                                        const std::set<const TConnection*>& liveConnections) {
    std::lock_guard lock(registry.Lock);
    TFaults faults;
    CheckCollection(registry.Users, "user", faults);
    CheckCollection(registry.Channels, "channel", faults);
    for (int i = 0; i < registry.Channels.Count(); ++i)
        CheckChannel(registry, *registry.Channels.At(i), faults);
    std::set<const TConnection*> seenConnections;
    for (int i = 0; i < registry.Users.Count(); ++i)
        CheckUser(registry, *registry.Users.At(i), liveConnections, seenConnections, faults);
    return faults;
}
