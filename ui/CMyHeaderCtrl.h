// The batch list's column header: a flat grey band with centred column names, drawn with a face
// that has Chinese characters, and a thin line at every column's left.
#pragma once

#include <QHeaderView>

class CMyHeaderCtrl : public QHeaderView {
  public:
    explicit CMyHeaderCtrl(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};
