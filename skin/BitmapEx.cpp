#include "skin/BitmapEx.h"

#include <QImageReader>
#include <QPainter>
#include <QRect>
#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>
#include <vector>

namespace {

// Pictures are kept as screen bitmaps are: 32 bits a pixel, no alpha.
constexpr QImage::Format kScreenFormat = QImage::Format_RGB32;

// Rectangles handed to the region at once.
constexpr std::size_t kRegionBatch = 2000;

QImage ReadImage(const std::string& path, const char* format) {
    QImageReader reader(QString::fromStdString(path), format);
    // A named format is the only one tried: a BMP loader reads BMP files, whatever else loads.
    reader.setAutoDetectImageFormat(format == nullptr);
    return reader.read();
}

// Draws source over the target rectangle, stretched by repeating pixels; nothing when the
// target is empty (a target smaller than the picture leaves no room for the repeated part).
void Stretch(QPainter& painter, const QRect& target, const QImage& source, const QRect& from) {
    if (target.width() <= 0 || target.height() <= 0 || from.width() <= 0 || from.height() <= 0)
        return;
    painter.drawImage(target, source, from);
}

// Copies the part of from that lies in the picture, unscaled, its top-left corner at (left, top).
void Copy(QPainter& painter, int left, int top, const QImage& source, const QRect& from) {
    const QRect inside = from.intersected(source.rect());
    if (inside.isEmpty())
        return;
    painter.drawImage(QPoint(left + inside.left() - from.left(), top + inside.top() - from.top()),
                      source, inside);
}

}  // namespace

PictureKind ClassifyPicture(const std::string& path) {
    std::string upper = path;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    struct Pattern {
        std::string_view text;
        PictureKind kind;
    };
    static constexpr std::array<Pattern, 5> kPatterns = {{{".BMP", PictureKind::Bmp},
                                                          {".ICO", PictureKind::Icon},
                                                          {".JPG", PictureKind::Jpeg},
                                                          {".JPEG", PictureKind::Jpeg},
                                                          {".GIF", PictureKind::Gif}}};
    for (const Pattern& pattern : kPatterns) {
        const std::size_t at = upper.find(pattern.text);
        if (at != std::string::npos && at != 0)
            return pattern.kind;
    }
    return PictureKind::Unknown;
}

CBitmapEx LoadPicture(const std::string& path) {
    switch (ClassifyPicture(path)) {
        case PictureKind::Bmp: {
            const QImage image = ReadImage(path, "bmp");
            if (image.isNull())
                return {};
            return CBitmapEx(image.convertToFormat(kScreenFormat));
        }
        case PictureKind::Unknown:
            return {};
        case PictureKind::Icon:
        case PictureKind::Jpeg:
        case PictureKind::Gif:
            // The picture loader judges these by their content, as a general picture loader does.
            return PictureToBitmap(ReadImage(path, nullptr));
    }
    return {};
}

CBitmapEx PictureToBitmap(const QImage& picture) {
    if (picture.isNull())
        return {};
    QImage bitmap(picture.size(), kScreenFormat);
    bitmap.fill(Qt::black);
    QPainter painter(&bitmap);
    painter.drawImage(QPoint(0, 0), picture);
    painter.end();
    return CBitmapEx(std::move(bitmap));
}

void ExtractFrame(const CBitmapEx& picture, int frame, CBitmapEx& target) {
    if (picture.IsNull()) {
        target.DeleteObject();
        return;
    }
    const int width = picture.Width();
    const int frameWidth = width / 4;
    const int left = ((frame - 1) * width) / 4;
    target.Attach(picture.Image().copy(left, 0, frameWidth, picture.Height()));
}

bool IsKeyColor(QRgb pixel) {
    return qRed(pixel) == 255 && qBlue(pixel) == 255 && qGreen(pixel) <= 16;
}

QImage KeyColorToTransparent(const QImage& picture) {
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (IsKeyColor(line[x]))
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    return image;
}

QRegion BitmapToRegion(const CBitmapEx& bitmap) {
    QRegion result;
    if (bitmap.IsNull())
        return result;
    const QImage pixels = bitmap.Image().convertToFormat(kScreenFormat);
    const int width = pixels.width();
    std::vector<QRect> runs;
    runs.reserve(kRegionBatch);
    // The runs come row by row, left to right, and never overlap: the order a region's
    // rectangles must have.
    auto flush = [&] {
        QRegion part;
        part.setRects(runs.data(), static_cast<int>(runs.size()));
        result = result.united(part);
        runs.clear();
    };
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        int x = 0;
        while (x < width) {
            while (x < width && IsKeyColor(row[x]))
                ++x;
            const int start = x;
            while (x < width && !IsKeyColor(row[x]))
                ++x;
            if (x > start) {
                runs.emplace_back(start, y, x - start, 1);
                if (runs.size() == kRegionBatch)
                    flush();
            }
        }
    }
    if (!runs.empty())
        flush();
    return result;
}

void DrawExtended(const CBitmapEx& picture, QPainter& painter, int x, int y, const QRect& target) {
    if (picture.IsNull() || target.width() <= 0 || target.height() <= 0)
        return;
    const QImage& source = picture.Image();
    const int w = picture.Width();
    const int h = picture.Height();
    const int tw = target.width();
    const int th = target.height();
    const int right = tw - w + x;   // where the columns from x land
    const int bottom = th - h + y;  // where the rows from y land

    QImage canvas(tw, th, kScreenFormat);
    canvas.fill(Qt::black);
    QPainter fill(&canvas);
    if (x == 0 && y == 0) {
        Stretch(fill, QRect(0, 0, tw, th), source, source.rect());
    } else if (y == 0) {
        // Meant for a target as high as the picture.
        Copy(fill, 0, 0, source, QRect(0, 0, x, th));
        Stretch(fill, QRect(x, 0, tw - w, th), source, QRect(x, 0, 1, h));
        Copy(fill, right, 0, source, QRect(x, 0, w - x, th));
    } else if (x == 0) {
        // Meant for a target as wide as the picture.
        Copy(fill, 0, 0, source, QRect(0, 0, tw, y));
        Stretch(fill, QRect(0, y, w, th - h), source, QRect(0, y, w, 1));
        Copy(fill, 0, bottom, source, QRect(0, y, w, h - y));
    } else {
        Copy(fill, 0, 0, source, QRect(0, 0, x, y));
        Copy(fill, right, 0, source, QRect(x, 0, w - x, y));
        Copy(fill, 0, bottom, source, QRect(0, y, x, h - y));
        Copy(fill, right, bottom, source, QRect(x, y, w - x, h - y));
        Stretch(fill, QRect(x, 0, tw - w, y), source, QRect(x, 0, 1, y));
        Stretch(fill, QRect(x, bottom, tw - w, h - y), source, QRect(x, y, 1, h - y));
        Stretch(fill, QRect(0, y, x, th - h), source, QRect(0, y, x, 1));
        Stretch(fill, QRect(right, y, w - x, th - h), source, QRect(x, y, w - x, 1));
        Stretch(fill, QRect(x, y, tw - w, th - h), source, QRect(x, y, 1, 1));
    }
    fill.end();
    painter.drawImage(target.topLeft(), canvas);
}

void Blit(const CBitmapEx& bitmap, QPainter& painter, const QRect& target) {
    if (bitmap.IsNull() || target.width() <= 0 || target.height() <= 0)
        return;
    Copy(painter, target.left(), target.top(), bitmap.Image(),
         QRect(0, 0, target.width(), target.height()));
}
