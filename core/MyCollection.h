// Owning collections of items with a unique text key, kept in key order for binary search.
// Two keys are the same key when they are equal after removing blanks and upper-casing
// by the collection's key rule.
// The collections have no lock of their own; the registry's lock guards them.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

class TMyCollectionBase;

// How keys compare.
enum class TKeyRule {
    // Half-width blanks (0x20) and full-width blanks (0x81 0x40) removed, letters
    // upper-cased by the rules of code page 932 (a double-byte character stays whole).
    CodePage932,
    // Half-width blanks removed and the ASCII letters a to z upper-cased; every other
    // byte stays (for keys in UTF-8, where code page 932's lead bytes mean nothing).
    Ascii,
};

// Raised by SetKeyWord for an empty key or a key another item already has; what() is the
// code page 932 message for the operator.
class EKeyWordError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An item of a TMyCollection: a record with a unique key and a running identifier.
class TMyCollectionItem {
  public:
    TMyCollectionItem() = default;
    TMyCollectionItem(const TMyCollectionItem&) = delete;
    TMyCollectionItem& operator=(const TMyCollectionItem&) = delete;
    virtual ~TMyCollectionItem() = default;

    // The key as stored (trimmed); empty until the first SetKeyWord.
    const std::string& KeyWord() const { return KeyWord_; }
    // Stores the value trimmed of leading and trailing bytes 0x00..0x20 and moves the item
    // to its place in key order. Throws EKeyWordError when nothing remains after trimming
    // or when another item of the collection already has the same key; the item then keeps
    // its key and its place.
    void SetKeyWord(std::string_view value);
    // The identifier the collection gave the item when creating it (0, 1, 2, ...).
    int ID() const { return ID_; }
    // The item's position in its collection, or -1 outside a collection.
    int Index() const;

  private:
    friend class TMyCollectionBase;

    TMyCollectionBase* Collection_ = nullptr;
    int ID_ = -1;
    std::string KeyWord_;
    std::string NormalisedKey_;  // cached comparison form of KeyWord_
};

// The untyped collection. Named items stand first, in ascending order of normalised key;
// items that have not been given a key yet follow them and are never searched.
class TMyCollectionBase {
  public:
    explicit TMyCollectionBase(TKeyRule rule = TKeyRule::CodePage932) : Rule_(rule) {}
    TMyCollectionBase(const TMyCollectionBase&) = delete;
    TMyCollectionBase& operator=(const TMyCollectionBase&) = delete;
    virtual ~TMyCollectionBase() = default;

    int Count() const { return static_cast<int>(Items_.size()); }
    // Removes and frees the item at index; throws std::out_of_range for an invalid index.
    void Delete(int index);
    // Removes and frees the item when it belongs to this collection.
    void Delete(const TMyCollectionItem* item);
    // Binary search by key: true with the item's index on a hit, false with the insertion
    // position on a miss, false with -1 for an empty key.
    bool Search(std::string_view key, int& index) const;
    // True with the found item's ID, false with -1.
    bool FindID(std::string_view key, int& id) const;

  protected:
    TMyCollectionItem* AddItem();
    TMyCollectionItem* ItemAt(int index) const;
    TMyCollectionItem* FindItem(std::string_view key) const;

  private:
    friend class TMyCollectionItem;

    virtual std::unique_ptr<TMyCollectionItem> NewItem() const = 0;
    int IndexOf(const TMyCollectionItem* item) const;
    // Binary search among the named items: their index on a hit, else the insertion position.
    int SearchNamed(const std::string& normalisedKey, bool& found) const;
    // Moves a renamed item to its place in key order; throws EKeyWordError when another item
    // has the key already.
    void MoveToKeyPlace(TMyCollectionItem& item, const std::string& normalisedKey,
                        std::string_view valueAsGiven);
    void MoveItem(int from, int to);

    const TKeyRule Rule_;
    std::vector<std::unique_ptr<TMyCollectionItem>> Items_;
    int NamedCount_ = 0;  // items [0, NamedCount_) have a key and stand in key order
    int NextID_ = 0;
};

// A collection whose items are all of class T, with typed access.
template <class T>
class TMyCollection : public TMyCollectionBase {
    static_assert(std::is_base_of_v<TMyCollectionItem, T>);

  public:
    using TMyCollectionBase::TMyCollectionBase;
    // Appends a new item with an empty key; the caller then gives it its key.
    T* Add() { return static_cast<T*>(AddItem()); }
    // The item at index; throws std::out_of_range for an invalid index.
    T* At(int index) const { return static_cast<T*>(ItemAt(index)); }
    // The item with the same key, or nullptr.
    T* Find(std::string_view key) const { return static_cast<T*>(FindItem(key)); }

  private:
    std::unique_ptr<TMyCollectionItem> NewItem() const override { return std::make_unique<T>(); }
};
