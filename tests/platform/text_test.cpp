#include "platform/text.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/last_error.h"

TEST(Text, Utf8AndUtf16RoundTripEveryPlane) {
    const std::string samples[] = {"", "plain", "Grüße, Ελλάδα", "中文文档.docx", "emoji 😀 𝄞"};
    for (const std::string& text : samples) {
        std::u16string wide = platform::Utf8ToUtf16(text);
        EXPECT_EQ(platform::Utf16ToUtf8(wide), text);
    }
    EXPECT_EQ(platform::Utf8ToUtf16("😀"), std::u16string(u"\xD83D\xDE00"));
    EXPECT_EQ(GetACP(), CP_UTF8);
}

TEST(Text, MultiByteToWideCharCountsConvertsAndRefusesSmallBuffers) {
    const char* text = "Zoë";  // 4 bytes, 3 UTF-16 units
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0), 4) << "terminator counted";
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 4, nullptr, 0), 3);
    WCHAR wide[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 8), 4);
    EXPECT_EQ(std::u16string(wide), u"Zoë");
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 3), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, text, -1, wide, 8), 0) << "only UTF-8 is ANSI here";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Text, InvalidInputIsReplacedOrRefusedOnRequest) {
    const char broken[] = "a\xC3(b\xED\xA0\x80z\xF0\x9F";  // bad continuation, surrogate, cut end
    WCHAR wide[32];
    int n = MultiByteToWideChar(CP_UTF8, 0, broken, -1, wide, 32);
    ASSERT_GT(n, 0);
    std::u16string converted(wide, static_cast<size_t>(n) - 1);
    EXPECT_EQ(converted.substr(0, 4), u"a\xFFFD(b");
    EXPECT_EQ(converted.find(u'z'), converted.size() - 3) << "each bad byte becomes U+FFFD";
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, broken, -1, wide, 32), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xC0\xAF", 2, wide, 32), 0)
        << "overlong forms are invalid";

    const WCHAR lone[] = {u'x', 0xD800, u'y', 0};
    char narrow[16];
    n = WideCharToMultiByte(CP_UTF8, 0, lone, -1, narrow, 16, nullptr, nullptr);
    EXPECT_EQ(std::string(narrow, static_cast<size_t>(n)), std::string("x\xEF\xBF\xBDy\0", 6));
    EXPECT_EQ(
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, lone, -1, narrow, 16, nullptr, nullptr),
        0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, lone, -1, narrow, 2, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(Text, CaseInsensitiveComparisonFoldsBeyondAscii) {
    EXPECT_EQ(lstrcmpiA("Setting", "SETTING"), 0);
    EXPECT_EQ(lstrcmpiA("ÉTÉ", "été"), 0);
    EXPECT_EQ(lstrcmpiA("ΑΒΓ", "αβγ"), 0);
    EXPECT_EQ(lstrcmpiA("ПРИВЕТ", "привет"), 0);
    EXPECT_LT(lstrcmpiA("abc", "ABD"), 0);
    EXPECT_GT(lstrcmpiA("abcd", "ABC"), 0);
    EXPECT_NE(lstrcmpiA("a\xFF", "a\xFE"), 0) << "invalid bytes compare as themselves";
    EXPECT_TRUE(platform::EqualsNoCase("EMF1", "emf1"));
    EXPECT_FALSE(platform::EqualsNoCase("EMF1", "EMF10"));
}
