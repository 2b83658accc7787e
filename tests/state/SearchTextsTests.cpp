#include <gtest/gtest.h>

#include "state/SearchTexts.h"

namespace nudgerly {
namespace {

TEST(SearchTextsTest, AQueryIsFoundOnlyWithinOneItemsText) {
    SearchTexts texts;
    for (const char* text : {"dana invoice", "", "ab", "cd", "x"}) {
        texts.add(text);
    }
    ASSERT_EQ(texts.size(), 5u);
    EXPECT_EQ(texts.at(0), "dana invoice");
    EXPECT_EQ(texts.at(1), "");
    EXPECT_EQ(texts.at(3), "cd");
    EXPECT_TRUE(texts.contains(0, "invoice"));
    EXPECT_TRUE(texts.contains(0, "dana invoice"));
    EXPECT_FALSE(texts.contains(0, "dana invoice "));
    EXPECT_FALSE(texts.contains(1, "a"));
    // The texts lie side by side in one buffer: a query spanning two of them matches neither.
    EXPECT_FALSE(texts.contains(2, "bc"));
    EXPECT_FALSE(texts.contains(3, "bc"));
    EXPECT_FALSE(texts.contains(0, "einvoice"));
    EXPECT_TRUE(texts.contains(4, "x"));
}

}  // namespace
}  // namespace nudgerly
