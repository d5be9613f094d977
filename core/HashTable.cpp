// The registry all connections share: user records, channels and their member lists.
#include "core/HashTable.h"

#include "platform/CodePage.h"

void TUserData::AddChannel(TChannelData* channel) {
    Channels.push_back(channel);
}

void TUserData::DeleteChannel(int index) {
    if (index >= 0 && index < ChannelCount()) {
        Channels.erase(Channels.begin() + index);
    }
}

int TUserData::ChannelCount() const {
    return static_cast<int>(Channels.size());
}

TChannelData* TUserData::ChannelAt(int index) const {
    return Channels.at(static_cast<std::size_t>(index));
}

void TUserList::Add(TUserData* user, uint16_t flags) {
    auto cell = std::make_unique<TMemberFlags>();
    cell->ChanOp = static_cast<uint8_t>(flags & 0xFF);
    cell->Voice = static_cast<uint8_t>(flags >> 8);
    Members_.push_back({user, std::move(cell)});
}

void TUserList::Delete(int index) {
    if (IsValidIndex(index)) {
        Members_.erase(Members_.begin() + index);
    }
}

int TUserList::Count() const {
    return static_cast<int>(Members_.size());
}

int TUserList::IndexOf(std::string_view nick) const {
    const std::string wanted = platform::UpperCase(nick);
    for (int index = 0; index < Count(); ++index) {
        if (platform::UpperCase(UserAt(index)->KeyWord()) == wanted) {
            return index;
        }
    }
    return -1;
}

TUserData* TUserList::UserAt(int index) const {
    return IsValidIndex(index) ? Members_[static_cast<std::size_t>(index)].User : nullptr;
}

TMemberFlags* TUserList::FlagsAt(int index) const {
    return IsValidIndex(index) ? Members_[static_cast<std::size_t>(index)].Flags.get() : nullptr;
}

TUserData* TUserList::FindUser(std::string_view nick) const {
    return UserAt(IndexOf(nick));
}

TMemberFlags* TUserList::FindFlags(std::string_view nick) const {
    return FlagsAt(IndexOf(nick));
}

void TUserList::Remove(std::string_view nick) {
    Delete(IndexOf(nick));
}

bool TUserList::IsValidIndex(int index) const {
    return index >= 0 && index < Count();
}

TUserData* TClientData::UserOfConnection(const TConnection* connection) const {
    if (connection == nullptr) {
        return nullptr;
    }
    for (int index = 0; index < Users.Count(); ++index) {
        TUserData* user = Users.At(index);
        if (user->Connection == connection) {
            return user;
        }
    }
    return nullptr;
}
