#include "skin/BitmapEx.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

namespace {

constexpr QRgb kKey = qRgb(255, 0, 255);

QImage Filled(int width, int height, QRgb color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// Each column a colour of its own, so that a pixel tells which column it came from.
QImage ColumnCoded(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            image.setPixel(x, y, qRgb(x, 0, 100));
    return image;
}

// Each pixel codes its column and row.
QImage PixelCoded(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int x = 0; x < width; ++x)
        for (int y = 0; y < height; ++y)
            image.setPixel(x, y, qRgb(x, y, 100));
    return image;
}

// Regions compared by the pixels they cover, not by how they are cut into rectangles.
bool SameArea(const QRegion& a, const QRegion& b) {
    return a.xored(b).isEmpty();
}

QImage DrawnExtended(const QImage& picture, int x, int y, int width, int height) {
    QImage target(width, height, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    DrawExtended(CBitmapEx(picture), painter, x, y, QRect(0, 0, width, height));
    return target;
}

TEST(ClassifyPicture, JudgesByTheFirstPatternFoundPastTheFirstCharacter) {
    EXPECT_EQ(ClassifyPicture("skins/a.bmp"), PictureKind::Bmp);
    EXPECT_EQ(ClassifyPicture("b.ICO"), PictureKind::Icon);
    EXPECT_EQ(ClassifyPicture("c.jpeg"), PictureKind::Jpeg);
    EXPECT_EQ(ClassifyPicture("c.JPG"), PictureKind::Jpeg);
    EXPECT_EQ(ClassifyPicture("d.Gif"), PictureKind::Gif);
    // ".BMP" is tried first, wherever in the path it stands.
    EXPECT_EQ(ClassifyPicture("a.bmp.gif"), PictureKind::Bmp);
    EXPECT_EQ(ClassifyPicture("x.gif/a.ico"), PictureKind::Icon);
    // A match at the first character does not count, and the search goes on.
    EXPECT_EQ(ClassifyPicture(".bmp"), PictureKind::Unknown);
    EXPECT_EQ(ClassifyPicture(".bmp.gif"), PictureKind::Gif);
    EXPECT_EQ(ClassifyPicture("picture.png"), PictureKind::Unknown);
    EXPECT_EQ(ClassifyPicture(""), PictureKind::Unknown);
}

class LoadPictureTest : public ::testing::Test {
  protected:
    std::string PathOf(const char* name) const { return dir_.filePath(name).toStdString(); }
    QTemporaryDir dir_;
};

TEST_F(LoadPictureTest, LoadsEachKindAtItsOwnSize) {
    ASSERT_TRUE(
        Filled(7, 5, qRgb(10, 20, 30)).save(QString::fromStdString(PathOf("a.bmp")), "BMP"));
    ASSERT_TRUE(
        Filled(9, 4, qRgb(0, 0, 255)).save(QString::fromStdString(PathOf("b.jpg")), "JPEG"));
    const CBitmapEx bmp = LoadPicture(PathOf("a.bmp"));
    ASSERT_FALSE(bmp.IsNull());
    EXPECT_EQ(bmp.Width(), 7);
    EXPECT_EQ(bmp.Height(), 5);
    EXPECT_EQ(bmp.Image().pixel(3, 2), qRgb(10, 20, 30));
    const CBitmapEx jpeg = LoadPicture(PathOf("b.jpg"));
    ASSERT_FALSE(jpeg.IsNull());
    EXPECT_EQ(jpeg.Width(), 9);
    EXPECT_EQ(jpeg.Height(), 4);
}

TEST_F(LoadPictureTest, TransparentPartsOfIconsAndGifsComeOutBlack) {
    QImage icon(4, 4, QImage::Format_ARGB32);
    icon.fill(qRgba(255, 0, 0, 0));
    icon.setPixel(1, 1, qRgba(255, 255, 255, 255));
    ASSERT_TRUE(icon.save(QString::fromStdString(PathOf("i.ico")), "ICO"));
    const CBitmapEx loadedIcon = LoadPicture(PathOf("i.ico"));
    ASSERT_FALSE(loadedIcon.IsNull());
    EXPECT_EQ(loadedIcon.Image().pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(loadedIcon.Image().pixel(1, 1), qRgb(255, 255, 255));

    // Qt writes no GIF: a 2 x 1 GIF, red (index 0, transparent) then white, by hand.
    const char gif[] =
        "GIF89a\x02\x00\x01\x00\x80\x00\x00"
        "\xff\x00\x00\xff\xff\xff"
        "\x21\xf9\x04\x01\x00\x00\x00\x00"
        "\x2c\x00\x00\x00\x00\x02\x00\x01\x00\x00"
        "\x02\x02\x44\x0a\x00\x3b";
    QFile file(QString::fromStdString(PathOf("g.gif")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(gif, sizeof gif - 1);
    file.close();
    const CBitmapEx loadedGif = LoadPicture(PathOf("g.gif"));
    ASSERT_FALSE(loadedGif.IsNull());
    ASSERT_EQ(loadedGif.Width(), 2);
    EXPECT_EQ(loadedGif.Image().pixel(0, 0), qRgb(0, 0, 0));
    EXPECT_EQ(loadedGif.Image().pixel(1, 0), qRgb(255, 255, 255));
}

TEST_F(LoadPictureTest, BrokenMissingOrUnknownFilesGiveNoPicture) {
    QFile broken(QString::fromStdString(PathOf("broken.bmp")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("BM this is not a bitmap");
    broken.close();
    EXPECT_TRUE(LoadPicture(PathOf("broken.bmp")).IsNull());
    EXPECT_TRUE(LoadPicture(PathOf("missing.gif")).IsNull());
    // A JPEG named .bmp is no BMP file.
    ASSERT_TRUE(Filled(3, 3, qRgb(1, 2, 3)).save(QString::fromStdString(PathOf("j.bmp")), "JPEG"));
    EXPECT_TRUE(LoadPicture(PathOf("j.bmp")).IsNull());
    ASSERT_TRUE(Filled(3, 3, qRgb(1, 2, 3)).save(QString::fromStdString(PathOf("p.png")), "PNG"));
    EXPECT_TRUE(LoadPicture(PathOf("p.png")).IsNull());
}

TEST(ExtractFrame, CutsQuarterWidthFramesAtTheirColumns) {
    const CBitmapEx strip(ColumnCoded(203, 3));
    CBitmapEx frame;
    ExtractFrame(strip, 3, frame);
    ASSERT_FALSE(frame.IsNull());
    EXPECT_EQ(frame.Width(), 50);
    EXPECT_EQ(frame.Height(), 3);
    EXPECT_EQ(qRed(frame.Image().pixel(0, 0)), 101);  // (2 x 203) / 4
    EXPECT_EQ(qRed(frame.Image().pixel(49, 2)), 150);
    ExtractFrame(strip, 4, frame);
    EXPECT_EQ(qRed(frame.Image().pixel(0, 0)), 152);
    ExtractFrame(CBitmapEx(), 1, frame);
    EXPECT_TRUE(frame.IsNull());
}

TEST(BitmapToRegion, KeyColourHasASmallGreenToleranceOnly) {
    EXPECT_TRUE(IsKeyColor(qRgb(255, 0, 255)));
    EXPECT_TRUE(IsKeyColor(qRgb(255, 16, 255)));
    EXPECT_FALSE(IsKeyColor(qRgb(255, 17, 255)));
    EXPECT_FALSE(IsKeyColor(qRgb(254, 0, 255)));
    EXPECT_FALSE(IsKeyColor(qRgb(255, 0, 254)));

    QImage picture = Filled(5, 2, kKey);
    picture.setPixel(0, 0, qRgb(255, 16, 255));  // cut
    picture.setPixel(1, 0, qRgb(255, 17, 255));  // kept
    picture.setPixel(2, 0, qRgb(254, 0, 255));   // kept
    picture.setPixel(4, 1, qRgb(255, 0, 254));   // kept
    const QRegion region = BitmapToRegion(CBitmapEx(picture));
    EXPECT_TRUE(SameArea(region, QRegion(1, 0, 2, 1).united(QRegion(4, 1, 1, 1))));
}

TEST(BitmapToRegion, CoversTheShapeAndNothingOfAnAllKeyFrame) {
    QImage picture = Filled(30, 20, qRgb(0, 0, 0));
    QPainter(&picture).fillRect(QRect(10, 5, 20, 15), kKey);
    const QRegion region = BitmapToRegion(CBitmapEx(picture));
    EXPECT_TRUE(SameArea(region, QRegion(0, 0, 30, 20).subtracted(QRegion(10, 5, 20, 15))));

    EXPECT_TRUE(BitmapToRegion(CBitmapEx(Filled(12, 9, kKey))).isEmpty());
    EXPECT_TRUE(BitmapToRegion(CBitmapEx()).isEmpty());
}

TEST(BitmapToRegion, ShapesWithManyRunsComeThroughWhole) {
    // A checkerboard gives one run per dark pixel: several batches of rectangles.
    QImage picture = Filled(100, 100, kKey);
    QRegion expected;
    for (int y = 0; y < 100; ++y)
        for (int x = (y % 2); x < 100; x += 2) {
            picture.setPixel(x, y, qRgb(0, 0, 0));
            expected += QRect(x, y, 1, 1);
        }
    EXPECT_TRUE(SameArea(BitmapToRegion(CBitmapEx(picture)), expected));
}

TEST(DrawExtended, RepeatsTheColumnAndKeepsTheEndsUnscaled) {
    const QImage drawn = DrawnExtended(ColumnCoded(20, 10), 5, 0, 100, 10);
    for (int y : {0, 9}) {
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(qRed(drawn.pixel(x, y)), x) << x;
        for (int x = 5; x < 85; ++x)
            EXPECT_EQ(qRed(drawn.pixel(x, y)), 5) << x;
        for (int x = 85; x < 100; ++x)
            EXPECT_EQ(qRed(drawn.pixel(x, y)), x - 80) << x;
    }
}

TEST(DrawExtended, RepeatsTheRowAndKeepsTheEndsUnscaled) {
    const QImage drawn = DrawnExtended(PixelCoded(10, 20), 0, 4, 10, 60);
    for (int y = 0; y < 60; ++y) {
        const int row = y < 4 ? y : (y < 44 ? 4 : y - 40);
        EXPECT_EQ(drawn.pixel(7, y), qRgb(7, row, 100)) << y;
    }
}

TEST(DrawExtended, NinePiecesKeepTheCornersAndRepeatTheMiddle) {
    const QImage drawn = DrawnExtended(PixelCoded(10, 8), 3, 2, 40, 30);
    auto source = [](int x, int y) {
        const int column = x < 3 ? x : (x < 33 ? 3 : x - 30);
        const int row = y < 2 ? y : (y < 24 ? 2 : y - 22);
        return qRgb(column, row, 100);
    };
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(drawn.pixel(x, y), source(x, y)) << x << "," << y;
}

TEST(DrawExtended, WithoutRepeatsStretchesAndNoneDrawsNothing) {
    const QImage drawn = DrawnExtended(ColumnCoded(2, 2), 0, 0, 8, 4);
    EXPECT_EQ(qRed(drawn.pixel(0, 0)), 0);
    EXPECT_EQ(qRed(drawn.pixel(7, 3)), 1);

    QImage target = Filled(8, 8, qRgb(1, 2, 3));
    QPainter painter(&target);
    DrawExtended(CBitmapEx(), painter, 1, 1, target.rect());
    Blit(CBitmapEx(), painter, target.rect());
    painter.end();
    EXPECT_EQ(target, Filled(8, 8, qRgb(1, 2, 3)));
}

TEST(Blit, CopiesOneToOneAtTheCornerWithinTheRectangle) {
    QImage target = Filled(10, 10, qRgb(0, 0, 0));
    QPainter painter(&target);
    Blit(CBitmapEx(PixelCoded(6, 6)), painter, QRect(2, 3, 4, 2));
    painter.end();
    EXPECT_EQ(target.pixel(2, 3), qRgb(0, 0, 100));
    EXPECT_EQ(target.pixel(5, 4), qRgb(3, 1, 100));
    EXPECT_EQ(target.pixel(6, 4), qRgb(0, 0, 0));
    EXPECT_EQ(target.pixel(2, 5), qRgb(0, 0, 0));
}

}  // namespace
