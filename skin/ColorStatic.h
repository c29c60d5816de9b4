// A text label with its own font and colour, drawn over whatever lies beneath it.
#pragma once

#include <QWidget>
#include <string>

#include "skin/ControlText.h"

class CColorStatic : public QWidget {
  public:
    explicit CColorStatic(QWidget* parent = nullptr);
    ~CColorStatic() override;

    void SetText(const std::string& strText);
    void SetFont(int nSize, const std::string& strName, int bBold, int bItalic, int bUnderline);
    const std::string& Text() const { return m_strText; }

    // Set by the owner.
    COLORREF m_crText = 0;
    int m_nTextAlign = DT_LEFT;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::string m_strText;
    QFont m_font = ControlFont(9, "Verdana", 0, 0, 0);  // made when the font is set, not per paint
};
