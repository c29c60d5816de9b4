// How LibreOffice's link targets become Word's Address, SubAddress and Name.
#include <gtest/gtest.h>

#include "components/word/model/LinkTarget.h"

namespace word_model {
namespace {

TEST(WordModelLinkTarget, PlacesInTheDocumentHaveOnlyASubAddress) {
    LinkTarget bookmark = SplitLinkTarget("#_Toc123456");
    EXPECT_EQ(bookmark.address, "");
    EXPECT_EQ(bookmark.subAddress, "_Toc123456");
    EXPECT_EQ(bookmark.name, "");
    // LibreOffice's own heading and object targets carry a "|kind" ending Word does not have.
    EXPECT_EQ(SplitLinkTarget("#Chapter%20One|outline").subAddress, "Chapter One");
    EXPECT_EQ(SplitLinkTarget("#Table1|table").subAddress, "Table1");
    // The office's own names for Word's table-of-contents bookmarks read from a .doc.
    EXPECT_EQ(SplitLinkTarget("#__RefHeading___Toc1001").subAddress, "_Toc1001");
    EXPECT_EQ(WordBookmarkName("__RefHeading___Toc42"), "_Toc42");
    EXPECT_EQ(WordBookmarkName("__RefHeading__12345_678"), "__RefHeading__12345_678");
    // A bar that is part of the name stays.
    EXPECT_EQ(SplitLinkTarget("#left|right").subAddress, "left|right");
}

TEST(WordModelLinkTarget, FileLinksGiveTheirPathInAddressAndName) {
    LinkTarget local = SplitLinkTarget("file:///home/user/My%20Docs/report.docx");
    EXPECT_EQ(local.address, "/home/user/My Docs/report.docx");
    EXPECT_EQ(local.name, local.address);
    EXPECT_EQ(local.subAddress, "");

    LinkTarget withPlace = SplitLinkTarget("file:///tmp/a.docx#Intro");
    EXPECT_EQ(withPlace.address, "/tmp/a.docx");
    EXPECT_EQ(withPlace.subAddress, "Intro");

    LinkTarget network = SplitLinkTarget("file://server/share/x.pdf");
    EXPECT_EQ(network.address, "//server/share/x.pdf");

    LinkTarget relative = SplitLinkTarget("sub/notes%201.txt");
    EXPECT_EQ(relative.address, "sub/notes 1.txt");
    EXPECT_EQ(relative.name, relative.address);
}

TEST(WordModelLinkTarget, WebLinksKeepTheirUrlAndSplitTheFragment) {
    LinkTarget web = SplitLinkTarget("https://www.example.com/a%20b?q=1#part");
    EXPECT_EQ(web.address, "https://www.example.com/a%20b?q=1");
    EXPECT_EQ(web.subAddress, "part");
    EXPECT_EQ(web.name, "");
    // Escapes in a web fragment stay: decoded, "%23" would end the fragment.
    EXPECT_EQ(SplitLinkTarget("https://example.com/#a%20b%23c").subAddress, "a%20b%23c");
    EXPECT_EQ(SplitLinkTarget("mailto:someone@example.com").address, "mailto:someone@example.com");
    // A drive letter is no scheme.
    EXPECT_EQ(SplitLinkTarget("c:/files/x.txt").name, "c:/files/x.txt");
}

TEST(WordModelLinkTarget, MalformedEscapesStayAsWritten) {
    EXPECT_EQ(PercentDecode("100%"), "100%");
    EXPECT_EQ(PercentDecode("%zz%4"), "%zz%4");
    EXPECT_EQ(PercentDecode("%E4%B8%AD"), "\xE4\xB8\xAD");
}

}  // namespace
}  // namespace word_model
