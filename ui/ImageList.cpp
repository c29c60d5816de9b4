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
    return Add(QPixmap::fromImage(KeyColorToTransparent(picture)));
}
