#include <gtest/gtest.h>

#include <QImage>
#include <QTemporaryDir>
#include <QWidget>
#include <fstream>
#include <string>

#include "skin/BmpButton.h"
#include "skin/BmpStatic.h"
#include "skin/ControlCommand.h"
#include "skin/SkinApply.h"

namespace {

// A dialog with three skinned buttons, two skinned statics and a plain control, and a skin
// folder the test writes its file and pictures into.
class SkinApplyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        folder_ = dir_.path().toStdString() + "/";
        for (int id : {101, 102, 103}) {
            auto* button = new CBmpButton(&dialog_);
            SetDlgCtrlID(button, id);
            buttons_.push_back(button);
        }
        panel_ = new CBmpStatic(&dialog_);
        SetDlgCtrlID(panel_, 201);
        inner_ = new CBmpStatic(&dialog_);
        SetDlgCtrlID(inner_, 202);
        plain_ = new QWidget(&dialog_);
        SetDlgCtrlID(plain_, 301);
        plain_->setGeometry(1, 2, 3, 4);
        Picture("strip.bmp", 80, 10);
        Picture("panel.bmp", 30, 30);
    }

    void Picture(const char* name, int width, int height) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(qRgb(20, 120, 200));
        ASSERT_TRUE(image.save(QString::fromStdString(folder_ + name), "BMP"));
    }

    void Skin(const std::string& text) { std::ofstream(folder_ + "SkinSetting.xml") << text; }

    QTemporaryDir dir_;
    std::string folder_;
    QWidget dialog_;
    std::vector<CBmpButton*> buttons_;
    CBmpStatic* panel_ = nullptr;
    CBmpStatic* inner_ = nullptr;
    QWidget* plain_ = nullptr;
};

constexpr char kSkin[] = R"(<AppSetting><MainDlgSetting>
  <BackGround><szFilePath>panel.bmp</szFilePath></BackGround>
  <BmpButtons>
    <BmpButton><BmpButtonID>101</BmpButtonID><szFilePath>strip.bmp</szFilePath>
      <left>10</left><top>11</top><length>20</length><height>10</height></BmpButton>
    <BmpButton><BmpButtonID>102</BmpButtonID><szFilePath>strip.bmp</szFilePath>
      <left>40</left><top>11</top><length>20</length><height>10</height>
      <ButtonType>1</ButtonType><ButtonShowHide>1</ButtonShowHide></BmpButton>
    <BmpButton><BmpButtonID>103</BmpButtonID><szFilePath>missing.bmp</szFilePath>
      <left>70</left><top>11</top><length>20</length><height>10</height></BmpButton>
    <BmpButton><BmpButtonID>999</BmpButtonID><szFilePath>strip.bmp</szFilePath></BmpButton>
    <BmpButton><BmpButtonID>201</BmpButtonID><szFilePath>strip.bmp</szFilePath>
      <left>1</left><top>1</top><length>1</length><height>1</height></BmpButton>
  </BmpButtons>
  <BmpStatics>
    <BmpStatic><BmpStaticID>201</BmpStaticID><szFilePath>panel.bmp</szFilePath>
      <left>100</left><top>50</top><length>200</length><height>100</height>
      <extendnx>5</extendnx><extendny>-1</extendny></BmpStatic>
    <BmpStatic><BmpStaticID>202</BmpStaticID><szFilePath>panel.bmp</szFilePath>
      <left>7</left><top>8</top><length>30</length><height>30</height>
      <parentid>201</parentid></BmpStatic>
  </BmpStatics>
  <WindowsPos><WindowPos><ControlID>301</ControlID>
    <left>5</left><top>6</top><length>70</length><height>20</height></WindowPos></WindowsPos>
</MainDlgSetting></AppSetting>)";

TEST_F(SkinApplyTest, EveryEntryDressesAndPlacesItsOwnControl) {
    Skin(kSkin);
    ASSERT_TRUE(ApplySkinLayout(folder_, &dialog_, "MainDlgSetting"));

    // Each entry once, in order: the second entry is the second button, not the first again.
    EXPECT_EQ(buttons_[0]->geometry(), QRect(10, 11, 20, 10));
    EXPECT_EQ(buttons_[1]->geometry(), QRect(40, 11, 20, 10));
    EXPECT_EQ(buttons_[0]->m_bitmap.Width(), 80);
    EXPECT_EQ(buttons_[0]->m_nKind, CBmpButton::kPush);
    // Hidden, and still dressed as a check button.
    EXPECT_TRUE(buttons_[1]->isHidden());
    EXPECT_EQ(buttons_[1]->m_bitmap.Width(), 80);
    EXPECT_EQ(buttons_[1]->m_nKind, CBmpButton::kCheck);
    EXPECT_FALSE(buttons_[0]->isHidden());
    // A picture that does not load leaves the button without one, placed all the same.
    EXPECT_TRUE(buttons_[2]->m_bitmap.IsNull());
    EXPECT_EQ(buttons_[2]->geometry(), QRect(70, 11, 20, 10));

    // An id of another kind (201 listed as a button) changed nothing; as a static it is dressed,
    // and -1 for either repeated line means plain stretching.
    EXPECT_EQ(panel_->geometry(), QRect(100, 50, 200, 100));
    EXPECT_EQ(panel_->m_nExtendX, 0);
    EXPECT_EQ(panel_->m_nExtendY, 0);
    // parentid: placed in the panel's own coordinates.
    EXPECT_EQ(inner_->parentWidget(), panel_);
    EXPECT_EQ(inner_->geometry(), QRect(7, 8, 30, 30));
    EXPECT_EQ(inner_->mapTo(&dialog_, QPoint(0, 0)), QPoint(107, 58));

    EXPECT_EQ(plain_->geometry(), QRect(5, 6, 70, 20));

    CBitmapEx background;
    ASSERT_TRUE(LoadSkinBackground(folder_, background, "MainDlgSetting"));
    EXPECT_EQ(background.Width(), 30);
}

TEST_F(SkinApplyTest, AMissingOrMalformedFileChangesNothing) {
    buttons_[0]->setGeometry(3, 3, 9, 9);
    CBitmapEx background(QImage(5, 5, QImage::Format_RGB32));
    for (const char* text : {"", "<AppSetting><MainDlgSetting><BmpButtons>"}) {
        if (*text != '\0') {
            Skin(text);
        }
        EXPECT_FALSE(ApplySkinLayout(folder_, &dialog_, "MainDlgSetting")) << text;
        EXPECT_FALSE(LoadSkinBackground(folder_, background, "MainDlgSetting")) << text;
        EXPECT_EQ(buttons_[0]->geometry(), QRect(3, 3, 9, 9));
        EXPECT_TRUE(buttons_[0]->m_bitmap.IsNull());
        EXPECT_EQ(plain_->geometry(), QRect(1, 2, 3, 4));
        EXPECT_EQ(background.Width(), 5);
    }
}

}  // namespace
