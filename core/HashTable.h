// The registry all connections share: the user records keyed by nickname, the channels
// keyed by channel name, and the one lock that guards them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/MyCollection.h"

class TConnection;  // a connection; the registry only refers to it, never uses it
class TChannelData;

// One connected client that has sent NICK or USER; keyed by nickname.
class TUserData : public TMyCollectionItem {
  public:
    // Bounds on what one client can make the server keep, far beyond what people use:
    // channels joined at once (a JOIN beyond gets 405), and invitations kept (the
    // oldest goes when a new one comes).
    static constexpr std::size_t kMaxChannels = 100;
    static constexpr std::size_t kMaxInvitations = 100;
    // Bytes kept of the names a user gives: longer ones are cut (at a character
    // boundary), so that nothing one user says makes another's replies grow.
    static constexpr std::size_t kMaxUserNameBytes = 16;
    static constexpr std::size_t kMaxRealNameBytes = 100;
    static constexpr std::size_t kMaxAwayMessageBytes = 300;

    std::string Host, UserName, RealName;
    std::string Address;  // the connection's peer address, dotted decimal
    bool Invisible = false, ServerNotices = false, Wallops = false, Operator = false;
    TConnection* Connection = nullptr;    // not owned
    std::vector<TChannelData*> Channels;  // not owned, in the order of joining
    bool NickGiven = false, UserGiven = false;
    std::string AwayMessage;
    int64_t SignedOnAt = 0;                // the welcome, in seconds since 1970
    std::vector<std::string> Invitations;  // names of channels the user was invited to

    void AddChannel(TChannelData* channel);
    // Removes the entry at index; an index outside the list is ignored.
    void DeleteChannel(int index);
    int ChannelCount() const;
    // The entry at index; throws std::out_of_range for an invalid index.
    TChannelData* ChannelAt(int index) const;
};

// A member's rights in one channel; nonzero means yes.
struct TMemberFlags {
    uint8_t ChanOp = 0;
    uint8_t Voice = 0;
};

// The members of a channel in the order of joining, each with its own flag cell. A flag
// cell stays where it is while other members come and go, so a reference to it stays good
// until its member leaves.
class TUserList {
  public:
    // Appends the user; flags is the two-byte value of TMemberFlags (1 = ChanOp).
    void Add(TUserData* user, uint16_t flags);
    // Removes the member at index; an index outside the list is ignored.
    void Delete(int index);
    int Count() const;
    // The index of the first member whose nickname equals nick ignoring case, or -1.
    int IndexOf(std::string_view nick) const;
    // nullptr outside the list.
    TUserData* UserAt(int index) const;
    TMemberFlags* FlagsAt(int index) const;
    // nullptr when nick is not a member.
    TUserData* FindUser(std::string_view nick) const;
    TMemberFlags* FindFlags(std::string_view nick) const;
    // Removes the member with this nickname; nothing when absent.
    void Remove(std::string_view nick);

  private:
    struct TMember {
        TUserData* User;                      // not owned
        std::unique_ptr<TMemberFlags> Flags;  // owned
    };
    bool IsValidIndex(int index) const;

    std::vector<TMember> Members_;
};

// One existing channel; keyed by its name, "#" or "&" included.
class TChannelData : public TMyCollectionItem {
  public:
    // Ban masks a channel holds (further "+b" letters are ignored), and the bytes of
    // a topic kept (a longer one is cut at a character boundary).
    static constexpr std::size_t kMaxBans = 100;
    static constexpr std::size_t kMaxTopicBytes = 300;
    // Longest channel name a JOIN may create (a longer one gets 403), key that "+k"
    // sets and ban mask that "+b" adds (longer ones are passed over like a full list).
    static constexpr std::size_t kMaxNameBytes = 50;
    static constexpr std::size_t kMaxKeyBytes = 32;
    static constexpr std::size_t kMaxBanMaskBytes = 100;

    TUserList Members;
    bool Private = false, Secret = false, InviteOnly = false, TopicLocked = false,
         NoExternal = false, Moderated = false;
    int32_t Limit = 0;  // 0 means no limit
    std::vector<std::string> Bans;
    std::string Key, Topic;   // empty means none
    int64_t CreatedAt = 0;    // in seconds since 1970
    std::string TopicSetter;  // the nick that set the topic, and when (seconds since 1970)
    int64_t TopicSetAt = 0;

    void AddMember(TUserData* user, uint16_t flags) { Members.Add(user, flags); }
    void RemoveMember(std::string_view nick) { Members.Remove(nick); }
    TUserData* FindMember(std::string_view nick) const { return Members.FindUser(nick); }
    TMemberFlags* MemberFlags(std::string_view nick) const { return Members.FindFlags(nick); }
    int MemberCount() const { return Members.Count(); }
    TUserData* MemberAt(int index) const { return Members.UserAt(index); }
};

// The registry. Whoever reads or changes anything reachable from Users or Channels holds
// Lock for the whole command.
class TClientData {
  public:
    explicit TClientData(TKeyRule rule = TKeyRule::CodePage932) : Channels(rule), Users(rule) {}

    std::recursive_mutex Lock;  // declared first so that it outlives both collections
    TMyCollection<TChannelData> Channels;
    TMyCollection<TUserData> Users;

    // The first user record, in collection order, whose Connection is this connection;
    // nullptr when there is none.
    TUserData* UserOfConnection(const TConnection* connection) const;
    // Remove the record from its collection and free it.
    void DeleteUser(const TUserData* user) { Users.Delete(user); }
    void DeleteChannel(const TChannelData* channel) { Channels.Delete(channel); }
};
