// Tests of the keyed collections: key equality, key errors, ordering with keyless items.
#include "core/MyCollection.h"

#include <gtest/gtest.h>

#include <random>

#include "JapaneseTexts.h"
#include "platform/CodePage.h"

namespace {

using TItems = TMyCollection<TMyCollectionItem>;

TMyCollectionItem* AddNamed(TItems& items, std::string_view key) {
    TMyCollectionItem* item = items.Add();
    item->SetKeyWord(key);
    return item;
}

std::string KeyWordError(TMyCollectionItem& item, std::string_view value) {
    try {
        item.SetKeyWord(value);
    } catch (const EKeyWordError& error) {
        return error.what();
    }
    return "(no error)";
}

TEST(MyCollection, BlanksAndCaseDoNotMakeADifferentKey) {
    TItems items;
    TMyCollectionItem* bob = AddNamed(items, "bob");
    TMyCollectionItem* other = items.Add();
    for (std::string_view same : {"BOB", "b o b", "b\x81\x40ob", "\x81\x40 Bo b"}) {
        EXPECT_EQ(items.Find(same), bob) << same;
        EXPECT_NE(KeyWordError(*other, same), "(no error)") << same;
        EXPECT_EQ(other->KeyWord(), "");
        EXPECT_EQ(other->Index(), 1);
    }
    // 0x81 0x40 is a full-width blank only where 0x81 starts a character: in "\x81\x81@x"
    // the first pair is one character and "@" a character of its own.
    TMyCollectionItem* withAt = AddNamed(items, "\x81\x81@x");
    TMyCollectionItem* shorter = AddNamed(items, "\x81x");
    EXPECT_EQ(items.Find("\x81\x81@X"), withAt);
    EXPECT_EQ(items.Find("\x81x"), shorter);
}

TEST(MyCollection, UnderTheAsciiRuleLeadBytesOfTheCodePageMeanNothing) {
    // "#" and U+3042 in UTF-8, then a letter; by code page 932's rules 0x82 would start a
    // double-byte character that takes the letter with it.
    const std::string head = "#\xe3\x81\x82";
    TItems ascii(TKeyRule::Ascii);
    TMyCollectionItem* channel = AddNamed(ascii, head + "a");
    EXPECT_EQ(ascii.Find(head + "A"), channel);
    TItems codePage;
    AddNamed(codePage, head + "a");
    EXPECT_EQ(codePage.Find(head + "A"), nullptr);
}

TEST(MyCollection, KeyErrorsCarryTheirMessagesAndChangeNothing) {
    TItems items;
    AddNamed(items, "alice");
    TMyCollectionItem* bob = AddNamed(items, "  bob\t");
    EXPECT_EQ(bob->KeyWord(), "bob");

    EXPECT_EQ(KeyWordError(*bob, " \t\r\n"), Texts::EmptyKeyWord);
    EXPECT_EQ(KeyWordError(*bob, " AL ice "),
              std::string(" AL ice ") + std::string(Texts::DuplicateKeyWordTail));
    EXPECT_EQ(bob->KeyWord(), "bob");
    EXPECT_EQ(items.Find("bob"), bob);
    EXPECT_EQ(bob->Index(), 1);
}

TEST(MyCollection, RenamingToAnotherSpellingOfItsOwnKeySucceeds) {
    TItems items;
    AddNamed(items, "alice");
    TMyCollectionItem* bob = AddNamed(items, "bob");
    AddNamed(items, "carol");
    bob->SetKeyWord("Bob");
    EXPECT_EQ(bob->KeyWord(), "Bob");
    EXPECT_EQ(items.Find("bob"), bob);
    EXPECT_EQ(items.Find("Bob"), bob);
    EXPECT_EQ(items.Count(), 3);
}

TEST(MyCollection, SearchAnswersHitsInsertionPositionsAndEmptyKeys) {
    TItems items;
    AddNamed(items, "d");
    const int idOfB = AddNamed(items, "b")->ID();
    int index = 0;
    EXPECT_FALSE(items.Search("", index));
    EXPECT_EQ(index, -1);
    int id = 0;
    EXPECT_FALSE(items.FindID("", id));
    EXPECT_EQ(id, -1);
    EXPECT_EQ(items.Find(""), nullptr);

    EXPECT_TRUE(items.Search("B", index));
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(items.FindID("b", id));
    EXPECT_EQ(id, idOfB);
    for (auto [key, position] : {std::pair{"a", 0}, {"c", 1}, {"e", 2}}) {
        EXPECT_FALSE(items.Search(key, index));
        EXPECT_EQ(index, position) << key;
    }
    EXPECT_FALSE(items.FindID("c", id));
    EXPECT_EQ(id, -1);
}

TEST(MyCollection, IdsRunFromZeroAndAreNotReused) {
    TItems items;
    for (int expected = 0; expected < 3; ++expected) {
        EXPECT_EQ(items.Add()->ID(), expected);
    }
    items.Delete(0);
    EXPECT_EQ(items.Add()->ID(), 3);
    EXPECT_THROW(items.Delete(3), std::out_of_range);
}

TEST(MyCollection, KeylessItemsStayBehindNamedOnes) {
    TItems items;
    TMyCollectionItem* keyless = items.Add();
    for (std::string_view key : {"m", "a", "z", "b"}) {
        AddNamed(items, key);
    }
    EXPECT_EQ(keyless->Index(), 4);
    EXPECT_EQ(items.At(0)->KeyWord(), "a");
    EXPECT_EQ(items.At(3)->KeyWord(), "z");
    keyless->SetKeyWord("c");
    EXPECT_EQ(keyless->Index(), 2);
    EXPECT_EQ(items.Find("Z"), items.At(4));
}

// Builds a random spelling of a key: random letter case and blanks of both widths between
// characters; with surround, also bytes around it that trimming removes.
std::string RandomSpelling(std::string_view base, std::mt19937& random, bool surround) {
    std::uniform_int_distribution<int> pick(0, 3);
    std::string spelling = surround && pick(random) == 0 ? " \t" : "";
    for (std::size_t i = 0; i < base.size(); ++i) {
        const int blank = pick(random);
        spelling += blank == 0 ? " " : blank == 1 ? "\x81\x40" : "";
        if (platform::IsLeadByte(static_cast<unsigned char>(base[i]))) {
            spelling.append(base.substr(i++, 2));
        } else {
            const std::string_view letter = base.substr(i, 1);
            spelling += pick(random) < 2 ? platform::UpperCase(letter) : std::string(letter);
        }
    }
    return spelling + (surround && pick(random) == 0 ? "\r\n" : "");
}

// Adds, renames and deletes at random, with keyless items among the named ones, and checks
// every lookup against a model that only knows which base name each item holds.
TEST(MyCollection, RandomChangesAgreeWithASimpleModel) {
    const std::vector<std::string> bases = {"alpha",      "bob",   "carol", "dave",
                                            "\x81\x81@x", "\x81x", "eve",   "Zed"};
    struct TModelEntry {
        TMyCollectionItem* Item;
        int Base;  // index into bases, -1 while keyless
    };
    std::vector<TModelEntry> model;
    std::mt19937 random(20240601);
    auto pick = [&random](int count) {
        return std::uniform_int_distribution<int>(0, count - 1)(random);
    };
    auto holderOf = [&model](int base) -> TMyCollectionItem* {
        for (const TModelEntry& entry : model) {
            if (entry.Base == base) {
                return entry.Item;
            }
        }
        return nullptr;
    };
    TItems items;
    for (int step = 0; step < 3000; ++step) {
        const int operation = pick(10);
        if (model.empty() || operation < 3) {
            model.push_back({items.Add(), -1});
        } else if (operation < 8) {
            TModelEntry& entry =
                model[static_cast<std::size_t>(pick(static_cast<int>(model.size())))];
            const int base = pick(static_cast<int>(bases.size()));
            const TMyCollectionItem* holder = holderOf(base);
            const std::string spelling = RandomSpelling(bases[base], random, true);
            if (holder != nullptr && holder != entry.Item) {
                EXPECT_THROW(entry.Item->SetKeyWord(spelling), EKeyWordError);
            } else {
                entry.Item->SetKeyWord(spelling);
                entry.Base = base;
            }
        } else {
            const auto victim = model.begin() + pick(static_cast<int>(model.size()));
            items.Delete(victim->Item);
            model.erase(victim);
        }
        ASSERT_EQ(items.Count(), static_cast<int>(model.size()));
        for (int base = 0; base < static_cast<int>(bases.size()); ++base) {
            ASSERT_EQ(items.Find(RandomSpelling(bases[base], random, false)), holderOf(base))
                << "step " << step << " base " << bases[base];
        }
        for (int index = 0; index + 1 < items.Count(); ++index) {
            ASSERT_FALSE(items.At(index)->KeyWord().empty() &&
                         !items.At(index + 1)->KeyWord().empty())
                << "a keyless item stands before a named one at step " << step;
        }
    }
}

}  // namespace
