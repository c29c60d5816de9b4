// Numbered places in a translated text, filled as plain text.
#include <gtest/gtest.h>

#include "lang/LanguageProvider.h"

TEST(FillPlaceholders, FillsEachPlaceWhereverTheTranslationPutsIt) {
    EXPECT_EQ(FillPlaceholders("{1} 个文档中已转换 {0} 个", {"3", "5"}), "5 个文档中已转换 3 个");
    EXPECT_EQ(FillPlaceholders("{0} of {1}: {0}", {"1", "2"}), "1 of 2: 1");
}

TEST(FillPlaceholders, ReadsNothingElseAsAPlace) {
    // A value is not filled in again; a place without a value, a brace that opens no place and
    // printf's marks stay as they are.
    EXPECT_EQ(FillPlaceholders("{0} {1} {2} {x} {} %s {", {"{1}", "%d"}), "{1} %d {2} {x} {} %s {");
}
