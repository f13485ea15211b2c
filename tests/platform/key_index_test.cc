// The key index against a plain map: every key findable after any mix of
// inserts and erases (the backward shift of erase keeps probe runs whole),
// short keys held in their slot and long ones referred to.
#include "platform/key_index.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <utility>

namespace {

using Index = platform::CKeyIndex<wchar_t, int>;

TEST(KeyIndex, FindsByTextAndTagAlike) {
    Index index;
    int a = 1, b = 2, c = 3;
    const std::wstring longKey(Index::kInlineChars + 5, L'X');
    index.Insert(L"SYM", 0, &a);
    index.Insert(L"SYM", 7, &b);  // the same text with another tag
    index.Insert(longKey, 0, &c);
    EXPECT_EQ(index.Find(L"SYM"), &a);
    EXPECT_EQ(index.Find(L"SYM", 7), &b);
    EXPECT_EQ(index.Find(longKey), &c);
    EXPECT_EQ(index.Find(L"SY"), nullptr);
    EXPECT_EQ(index.Find(L"SYMB"), nullptr);
    EXPECT_EQ(index.Find(longKey.substr(1)), nullptr);
    EXPECT_EQ(index.Find(L""), nullptr);
    EXPECT_TRUE(index.Erase(L"SYM"));
    EXPECT_FALSE(index.Erase(L"SYM"));
    EXPECT_EQ(index.Find(L"SYM"), nullptr);
    EXPECT_EQ(index.Find(L"SYM", 7), &b);
    index.Clear();
    EXPECT_EQ(index.Find(L"SYM", 7), nullptr);
    EXPECT_EQ(index.Count(), 0u);
}

TEST(KeyIndex, AgreesWithAMapThroughRandomInsertsAndErases) {
    // Keys live in the map's nodes, which stay in place, as the index's
    // users keep them.
    std::map<std::wstring, int> reference;
    Index index;
    std::mt19937 random(25);
    for (int step = 0; step < 60000; ++step) {
        // Few distinct keys, so that inserts, erases and probe runs collide.
        const int n = static_cast<int>(random() % 3000);
        const std::wstring key =
            (n % 5 == 0 ? std::wstring(Index::kInlineChars, L'L') : L"S") + std::to_wstring(n);
        const auto found = reference.find(key);
        if (random() % 3 != 0) {
            if (found == reference.end()) {
                const auto placed = reference.emplace(key, n).first;
                index.Insert(placed->first, 0, &placed->second);
            }
        } else {
            EXPECT_EQ(index.Erase(key), found != reference.end());
            if (found != reference.end()) {
                reference.erase(found);
            }
        }
        if (step % 997 == 0) {
            ASSERT_EQ(index.Count(), reference.size());
            for (auto& [text, value] : reference) {
                ASSERT_EQ(index.Find(text), &value) << step;
            }
        }
    }
}

}  // namespace
