// Owning collections of items with a unique text key, kept in key order for binary search.
#include "core/MyCollection.h"

#include <algorithm>

#include "JapaneseTexts.h"
#include "core/TextUtil.h"
#include "platform/CodePage.h"

namespace {

constexpr char kHalfWidthBlank = 0x20;
constexpr unsigned char kFullWidthBlankLead = 0x81;
constexpr unsigned char kFullWidthBlankTrail = 0x40;

// The comparison form of a key in UTF-8: half-width blanks removed, ASCII letters
// upper-cased.
std::string NormaliseAsciiKey(std::string_view key) {
    std::string normalised;
    normalised.reserve(key.size());
    for (const char byte : key) {
        if (byte != kHalfWidthBlank)
            normalised += AsciiUpper(byte);
    }
    return normalised;
}

// The comparison form of a key: every half-width and full-width blank removed, then
// upper-cased. The text is walked character by character, so a 0x81 0x40 pair that is
// really the trail byte of one character and the next character is left alone.
std::string NormaliseKey(std::string_view key, TKeyRule rule) {
    if (rule == TKeyRule::Ascii)
        return NormaliseAsciiKey(key);
    std::string withoutBlanks;
    withoutBlanks.reserve(key.size());
    for (std::size_t i = 0; i < key.size(); ++i) {
        const auto byte = static_cast<unsigned char>(key[i]);
        if (!platform::IsLeadByte(byte)) {
            if (key[i] != kHalfWidthBlank) {
                withoutBlanks += key[i];
            }
            continue;
        }
        const bool hasTrail = i + 1 < key.size();
        const bool isFullWidthBlank =
            byte == kFullWidthBlankLead && hasTrail &&
            static_cast<unsigned char>(key[i + 1]) == kFullWidthBlankTrail;
        if (!isFullWidthBlank) {
            withoutBlanks.append(key.substr(i, hasTrail ? 2 : 1));
        }
        ++i;
    }
    return platform::UpperCase(withoutBlanks);
}

}  // namespace

void TMyCollectionItem::SetKeyWord(std::string_view value) {
    std::string trimmed = TrimControls(value);
    if (trimmed.empty()) {
        throw EKeyWordError(std::string(Texts::EmptyKeyWord));
    }
    if (trimmed == KeyWord_) {
        return;
    }
    std::string normalised =
        NormaliseKey(trimmed, Collection_ != nullptr ? Collection_->Rule_ : TKeyRule::CodePage932);
    if (Collection_ != nullptr) {
        Collection_->MoveToKeyPlace(*this, normalised, value);
    }
    KeyWord_ = std::move(trimmed);
    NormalisedKey_ = std::move(normalised);
}

int TMyCollectionItem::Index() const {
    return Collection_ != nullptr ? Collection_->IndexOf(this) : -1;
}

void TMyCollectionBase::Delete(int index) {
    if (index < 0 || index >= Count()) {
        throw std::out_of_range("TMyCollection::Delete: index out of range");
    }
    if (index < NamedCount_) {
        --NamedCount_;
    }
    Items_.erase(Items_.begin() + index);
}

void TMyCollectionBase::Delete(const TMyCollectionItem* item) {
    const int index = IndexOf(item);
    if (index >= 0) {
        Delete(index);
    }
}

bool TMyCollectionBase::Search(std::string_view key, int& index) const {
    if (key.empty()) {
        index = -1;
        return false;
    }
    bool found = false;
    index = SearchNamed(NormaliseKey(key, Rule_), found);
    return found;
}

bool TMyCollectionBase::FindID(std::string_view key, int& id) const {
    const TMyCollectionItem* item = FindItem(key);
    id = item != nullptr ? item->ID() : -1;
    return item != nullptr;
}

TMyCollectionItem* TMyCollectionBase::AddItem() {
    std::unique_ptr<TMyCollectionItem> item = NewItem();
    item->Collection_ = this;
    item->ID_ = NextID_++;
    Items_.push_back(std::move(item));
    return Items_.back().get();
}

TMyCollectionItem* TMyCollectionBase::ItemAt(int index) const {
    if (index < 0 || index >= Count()) {
        throw std::out_of_range("TMyCollection::At: index out of range");
    }
    return Items_[static_cast<std::size_t>(index)].get();
}

TMyCollectionItem* TMyCollectionBase::FindItem(std::string_view key) const {
    int index = -1;
    return Search(key, index) ? Items_[static_cast<std::size_t>(index)].get() : nullptr;
}

int TMyCollectionBase::IndexOf(const TMyCollectionItem* item) const {
    const auto found = std::find_if(Items_.begin(), Items_.end(),
                                    [item](const auto& owned) { return owned.get() == item; });
    return found != Items_.end() ? static_cast<int>(found - Items_.begin()) : -1;
}

int TMyCollectionBase::SearchNamed(const std::string& normalisedKey, bool& found) const {
    int low = 0;
    int high = NamedCount_ - 1;
    while (high >= low) {
        const int middle = low + (high - low) / 2;
        const int order =
            Items_[static_cast<std::size_t>(middle)]->NormalisedKey_.compare(normalisedKey);
        if (order < 0) {
            low = middle + 1;
        } else if (order > 0) {
            high = middle - 1;
        } else {
            found = true;
            return middle;
        }
    }
    found = false;
    return low;
}

void TMyCollectionBase::MoveToKeyPlace(TMyCollectionItem& item, const std::string& normalisedKey,
                                       std::string_view valueAsGiven) {
    const int from = IndexOf(&item);
    bool found = false;
    int to = SearchNamed(normalisedKey, found);
    if (found) {
        // Only the item itself may already have this key (differing in case or blanks).
        if (to != from) {
            throw EKeyWordError(std::string(valueAsGiven) +
                                std::string(Texts::DuplicateKeyWordTail));
        }
        return;
    }
    const bool wasNamed = from < NamedCount_;
    if (wasNamed && to > from) {
        --to;  // the position was counted with the item still in front of it
    } else if (!wasNamed) {
        ++NamedCount_;
    }
    MoveItem(from, to);
}

void TMyCollectionBase::MoveItem(int from, int to) {
    const auto first = Items_.begin();
    if (from < to) {
        std::rotate(first + from, first + from + 1, first + to + 1);
    } else if (to < from) {
        std::rotate(first + to, first + from, first + from + 1);
    }
}
