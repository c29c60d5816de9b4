#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "skin/xml/SkinLayout.h"
#include "skin/xml/XMLParse.h"
#include "tests/support/scoped_environment.h"

namespace {

using testing_support::ScopedPlatform;

class XMLParseTest : public testing::Test {
  protected:
    // Writes a skin file into the test's skin folder.
    void WriteSkin(const std::string& content) {
        std::ofstream(platform_.Work() / kSkinSettingFile) << content;
    }
    std::string SkinFolder() const { return platform_.Work().string() + "/"; }

    ScopedPlatform platform_;
};

TEST_F(XMLParseTest, LooksUpChildrenByNameAndIndexInDocumentOrder) {
    WriteSkin(
        "<AppSetting><List>"
        "<Item><v>first</v></Item><Other/><Item><v> second </v></Item>"
        "<Item><v>7 px</v><w>-3</w><x>abc</x></Item>"
        "</List></AppSetting>");
    XMLParse xml;
    ASSERT_TRUE(xml.Load(SkinFolder() + kSkinSettingFile));
    XMLNode root = xml.Node(nullptr, "AppSetting", 0);
    XMLNode list = xml.Node(root, "List", 0);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(xml.Count("Item", list), 3);
    EXPECT_EQ(xml.Count("", list), 4);
    EXPECT_EQ(xml.String("v", xml.Node(list, "Item", 0)), "first");
    EXPECT_EQ(xml.String("v", xml.Node(list, "Item", 1)), "second");  // not the first again
    XMLNode third = xml.Node(list, "Item", 2);
    EXPECT_EQ(xml.Int("v", third), 7);
    EXPECT_EQ(xml.Int("w", third), -3);
    EXPECT_EQ(xml.Int("x", third), 0);
    EXPECT_EQ(xml.Node(list, "Item", 3), nullptr);

    // Missing values read as 0 or empty; Text leaves its output alone.
    EXPECT_EQ(xml.Int("missing", third), 0);
    EXPECT_EQ(xml.String("missing", third), "");
    std::string kept = "kept";
    EXPECT_FALSE(xml.Text("missing", third, kept));
    EXPECT_EQ(kept, "kept");
    EXPECT_EQ(xml.Count("Item", nullptr), 0);
}

TEST_F(XMLParseTest, MissingOrMalformedFileLeavesNoDocument) {
    XMLParse xml;
    EXPECT_FALSE(xml.Load(SkinFolder() + kSkinSettingFile));
    EXPECT_FALSE(ReadSkinLayout(SkinFolder(), kMainDlgSetting).has_value());

    WriteSkin("<AppSetting><MainDlgSetting><BackGround><szFilePath>a.bmp</szFilePath>");
    EXPECT_FALSE(xml.Load(SkinFolder() + kSkinSettingFile));
    EXPECT_EQ(xml.Node(nullptr, "AppSetting", 0), nullptr);
    EXPECT_FALSE(ReadSkinLayout(SkinFolder(), kMainDlgSetting).has_value());

    // A failed load drops the document an earlier load held.
    WriteSkin("<AppSetting/>");
    ASSERT_TRUE(xml.Load(SkinFolder() + kSkinSettingFile));
    EXPECT_FALSE(xml.Load(SkinFolder() + "other.xml"));
    EXPECT_EQ(xml.Node(nullptr, "AppSetting", 0), nullptr);
}

TEST_F(XMLParseTest, ReadsASectionInDocumentOrder) {
    WriteSkin(
        "<AppSetting><Other><BackGround><szFilePath>no.bmp</szFilePath></BackGround></Other>"
        "<MainDlgSetting>"
        "<BackGround><szFilePath>bg.bmp</szFilePath></BackGround>"
        "<BmpButtons>"
        "<BmpButton><BmpButtonID>1001</BmpButtonID><szFilePath>a.bmp</szFilePath>"
        "<left>1</left><top>2</top><length>3</length><height>4</height>"
        "<ButtonType>1</ButtonType><ButtonShowHide>1</ButtonShowHide></BmpButton>"
        "<BmpButton><BmpButtonID>1002</BmpButtonID></BmpButton>"
        "<BmpButton><BmpButtonID>4242</BmpButtonID></BmpButton>"
        "</BmpButtons>"
        "<BmpStatics><BmpStatic><BmpStaticID>1012</BmpStaticID><extendnx>5</extendnx>"
        "<extendny>-1</extendny><parentid>1006</parentid></BmpStatic></BmpStatics>"
        "</MainDlgSetting></AppSetting>");
    auto layout = ReadSkinLayout(SkinFolder(), kMainDlgSetting);
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(layout->background, SkinFolder() + "bg.bmp");
    ASSERT_EQ(layout->buttons.size(), 3u);
    const SkinButton& add = layout->buttons[0];
    EXPECT_EQ(add.id, 1001);
    EXPECT_EQ(add.picture, SkinFolder() + "a.bmp");
    EXPECT_EQ(add.rect.left, 1);
    EXPECT_EQ(add.rect.top, 2);
    EXPECT_EQ(add.rect.length, 3);
    EXPECT_EQ(add.rect.height, 4);
    EXPECT_EQ(add.buttonType, 1);
    EXPECT_EQ(add.buttonShowHide, 1);
    // A button without a path gets the skin folder itself, which loads no picture; an id that
    // names no control is kept for the window to pass over.
    EXPECT_EQ(layout->buttons[1].id, 1002);
    EXPECT_EQ(layout->buttons[1].picture, SkinFolder());
    EXPECT_EQ(layout->buttons[2].id, 4242);
    ASSERT_EQ(layout->statics.size(), 1u);
    EXPECT_EQ(layout->statics[0].parentId, 1006);
    // -1 in either direction stretches the picture plainly.
    EXPECT_EQ(layout->statics[0].extendX, 0);
    EXPECT_EQ(layout->statics[0].extendY, 0);
    EXPECT_TRUE(layout->placements.empty());

    // A section that is not there changes nothing.
    auto absent = ReadSkinLayout(SkinFolder(), "PdfSettingDlg");
    ASSERT_TRUE(absent.has_value());
    EXPECT_TRUE(absent->background.empty());
    EXPECT_TRUE(absent->buttons.empty());
}

TEST_F(XMLParseTest, ListsStopAtTheirTableSize) {
    std::string placements;
    for (int i = 0; i < kMaxSkinEntries + 5; ++i) {
        placements += "<WindowPos><ControlID>" + std::to_string(i) + "</ControlID></WindowPos>";
    }
    WriteSkin("<AppSetting><MainDlgSetting><WindowsPos>" + placements +
              "</WindowsPos></MainDlgSetting></AppSetting>");
    auto layout = ReadSkinLayout(SkinFolder(), kMainDlgSetting);
    ASSERT_TRUE(layout.has_value());
    ASSERT_EQ(layout->placements.size(), static_cast<size_t>(kMaxSkinEntries));
    EXPECT_EQ(layout->placements.back().id, kMaxSkinEntries - 1);
}

}  // namespace
