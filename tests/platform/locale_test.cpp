#include "platform/locale.h"

#include <gtest/gtest.h>

#include "tests/support/scoped_environment.h"

using testing_support::ScopedEnvVar;

TEST(Locale, LocaleNamesMapToWindowsLanguageIds) {
    EXPECT_EQ(platform::LanguageIdFromLocaleName("zh_CN.UTF-8"), 0x0804);
    EXPECT_EQ(platform::LanguageIdFromLocaleName("zh_TW.UTF-8"), 0x0404);
    EXPECT_EQ(platform::LanguageIdFromLocaleName("zh_CN@pinyin"), 0x0804);
    EXPECT_EQ(platform::LanguageIdFromLocaleName("zh-CN"), 0x0804);
    EXPECT_EQ(platform::LanguageIdFromLocaleName("en_GB.UTF-8"), 0x0809);
    EXPECT_EQ(platform::LanguageIdFromLocaleName("de_AT"), 0x0C07);
    EXPECT_EQ(platform::LanguageIdFromLocaleName("de_BE.UTF-8"), 0x0407) << "territory unknown";
    EXPECT_EQ(platform::LanguageIdFromLocaleName("fr"), 0x040C);
    EXPECT_EQ(platform::LanguageIdFromLocaleName("xx_YY"), 0);
    EXPECT_EQ(platform::LanguageIdFromLocaleName("C"), 0);
}

TEST(Locale, UserLanguageFollowsLcAllThenLcMessagesThenLang) {
    ScopedEnvVar all("LC_ALL", std::nullopt);
    ScopedEnvVar messages("LC_MESSAGES", std::nullopt);
    ScopedEnvVar lang("LANG", "zh_CN.UTF-8");
    EXPECT_EQ(GetUserDefaultUILanguage(), 0x0804);
    {
        ScopedEnvVar override("LC_MESSAGES", "ja_JP.UTF-8");
        EXPECT_EQ(GetUserDefaultUILanguage(), 0x0411);
        ScopedEnvVar top("LC_ALL", "de_DE.UTF-8");
        EXPECT_EQ(GetUserDefaultUILanguage(), 0x0407);
    }
    ScopedEnvVar posix("LANG", "C.UTF-8");
    EXPECT_EQ(GetUserDefaultUILanguage(), 0x0409);
    ScopedEnvVar none("LANG", std::nullopt);
    EXPECT_EQ(GetUserDefaultUILanguage(), 0x0409);
}
