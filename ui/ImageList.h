// A list of same-sized small images, addressed by index, as the batch list draws them in its
// cells. The size of its images sets the list's row height.
#pragma once

#include <QPixmap>
#include <QSize>
#include <vector>

class CImageList {
  public:
    explicit CImageList(QSize imageSize) : m_size(imageSize) {}

    // Adds an image, scaled to the list's size when it differs; returns its index.
    int Add(const QPixmap& image);
    // Adds a picture whose key-coloured pixels (the skin's magenta) are transparent.
    int AddKeyed(const QImage& picture);
    QSize ImageSize() const { return m_size; }
    int Count() const { return static_cast<int>(m_images.size()); }
    // The image at index; a null pixmap outside the list.
    QPixmap Image(int index) const {
        return index >= 0 && index < Count() ? m_images[static_cast<std::size_t>(index)]
                                             : QPixmap();
    }

  private:
    QSize m_size;
    std::vector<QPixmap> m_images;
};
