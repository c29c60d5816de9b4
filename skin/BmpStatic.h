// A picture panel: draws its picture over its whole area, repeating one column and one row, and
// passes on the commands of the controls placed in it to its own parent.
#pragma once

#include <QWidget>

#include "skin/BitmapEx.h"
#include "skin/ControlCommand.h"

class CBmpStatic : public QWidget, public ICommandTarget {
  public:
    explicit CBmpStatic(QWidget* parent = nullptr);
    ~CBmpStatic() override;

    void OnCommand(int nId, int nCode, QWidget* pControl) override;

    // Set by the skin loader.
    CBitmapEx m_bitmap;
    int m_nExtendX = 0;
    int m_nExtendY = 0;

  protected:
    void paintEvent(QPaintEvent* event) override;
};
