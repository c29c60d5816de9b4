// The skin's pictures: a picture owner (CBitmapEx) and the operations that load, cut, shape and
// draw them. A picture is a screen-like image without alpha; "none" is a null image, and every
// operation on none does nothing.
#pragma once

#include <QImage>
#include <QRegion>
#include <string>
#include <utility>

class QPainter;
class QRect;

class CBitmapEx {
  public:
    CBitmapEx() = default;
    explicit CBitmapEx(QImage image) : image_(std::move(image)) {}

    // Replaces the picture (none when the image is null).
    void Attach(QImage image) { image_ = std::move(image); }
    void DeleteObject() { image_ = QImage(); }

    bool IsNull() const { return image_.isNull(); }
    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    const QImage& Image() const { return image_; }

  private:
    QImage image_;
};

// What a picture file is, judged by its name alone.
enum class PictureKind { Bmp = 0, Icon = 1, Jpeg = 2, Gif = 3, Unknown = 4 };

// The first of ".BMP", ".ICO", ".JPG", ".JPEG", ".GIF" (in that order, any case) whose first
// occurrence anywhere in the path is not at its first character decides.
PictureKind ClassifyPicture(const std::string& path);

// A BMP, icon, JPEG or GIF file as a picture; none when the file is of no known kind or does not
// load. Transparent parts of icons and GIFs come out black.
CBitmapEx LoadPicture(const std::string& path);

// A loaded picture rendered over black into a picture of its own size; none for a null image.
CBitmapEx PictureToBitmap(const QImage& picture);

// Fills target with frame 1 to 4 of a strip of four equal frames side by side.
void ExtractFrame(const CBitmapEx& picture, int frame, CBitmapEx& target);

// The key colour marks a pixel transparent: red and blue 255, green at most 16.
bool IsKeyColor(QRgb pixel);

// The picture with its key-coloured pixels transparent, to be shown on any background.
QImage KeyColorToTransparent(const QImage& picture);

// The non-transparent pixels as a region, one rectangle per run within a row; empty for none.
QRegion BitmapToRegion(const CBitmapEx& bitmap);

// Paints the picture over target, repeating column x and row y (0 = none) so that the parts
// before and after them keep their size; with neither, the picture is stretched.
void DrawExtended(const CBitmapEx& picture, QPainter& painter, int x, int y, const QRect& target);

// Copies the picture 1:1 to target's top-left corner, at most target's size.
void Blit(const CBitmapEx& bitmap, QPainter& painter, const QRect& target);
