#include "ui/ImageList.h"

#include <QImage>

#include "skin/BitmapEx.h"

int CImageList::Add(const QPixmap& image) {
    m_images.push_back(image.size() == m_size
                           ? image
                           : image.scaled(m_size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return static_cast<int>(m_images.size()) - 1;
}

int CImageList::AddKeyed(const QImage& picture) {
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (IsKeyColor(line[x]))
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    return Add(QPixmap::fromImage(image));
}
