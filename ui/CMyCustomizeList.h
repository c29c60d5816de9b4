// The batch list: a list of rows that stores nothing but their number. Every cell is described
// by the parent (IListParent) when it is drawn, and the list draws it itself: check box, image,
// progress bar and text. Clicks, dropped files and tooltips go back to the parent.
#pragma once

#include <QElapsedTimer>
#include <QTableView>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/CellDrawing.h"
#include "ui/CellInfo.h"
#include "ui/ListParent.h"

class CImageList;
class CMyHeaderCtrl;
class CVirtualRowModel;

class CMyCustomizeList : public QTableView {
    Q_OBJECT

  public:
    // Which part of a cell RedrawCells repaints.
    enum RedrawPart { kWholeCell = 0, kCheckBox = 1, kTextArea = 2 };

    CMyCustomizeList(IListParent& parent, QWidget* parentWidget);
    ~CMyCustomizeList() override;

    // The cell's record, filled by the parent. It stays valid until the next call. UI thread only.
    const CellInfo& GetCellInfo(int row, int column);

    // Repaints one part of one column for rows first..last (the visible ones among them). Safe
    // from any thread: a call off the UI thread is carried out there, later.
    void RedrawCells(int first, int last, int column, int part);

    // With 1, forgets every recorded click rectangle; the parent does so when it removes rows.
    void OnClearHitRects(int wParam);

    // Columns: a heading, its alignment (DT_LEFT, DT_CENTER, DT_RIGHT) and width in pixels.
    void InsertColumn(int column, const std::string& heading, int format, int width);
    void DeleteColumn(int column);
    int GetColumnCount() const;

    void SetItemCount(int count);
    int GetItemCount() const;

    // The images the cells name by index; the list does not own them. Their height sets the
    // row height.
    void SetImageList(const CImageList* images);

    // Only this column and column 4 show tooltips (-1: only column 4).
    void SetToolTipColumn(int column) { m_nToolTipColumn = column; }

    // The first row at or after `start` (0 when start lies past the last row), wrapping around
    // once, whose text in the search column begins with `typed`, ignoring case; -1 when none.
    int FindItem(const std::string& typed, int start);

    // The parent's notes of which column holds the settings icon and which the progress bar.
    int m_nSettingsColumn = -1;
    int m_nProgressColumn = -1;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyboardSearch(const QString& search) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private slots:
    void DrainRedraws();

  private:
    friend class CCellDelegate;
    struct RedrawRequest {
        int first, last, column, part;
    };

    void PaintCell(QPainter& painter, const QRect& cell, int row, int column);
    CellSurface Surface() const;
    void RedrawCellsNow(const RedrawRequest& request);
    QRect PartRect(int row, int column, int part);
    void SendClick(const QPoint& at);
    bool ShowTip(const QPoint& at, const QPoint& globalAt);
    bool OnHitRect(const QPoint& at) const;

    IListParent& m_parent;
    CVirtualRowModel* m_model;
    const CImageList* m_images = nullptr;
    int m_nSearchColumn = 0;
    // Where clickable images and link texts were drawn, in viewport coordinates. The link and
    // text lists get the same rectangles. Scrolling or resizing a column clears them (the
    // rectangles moved) and repaints, so they always describe what is on screen.
    std::vector<QRect> m_imageHitRects;
    std::vector<QRect> m_linkHitRects;
    std::vector<QRect> m_textHitRects;
    int m_nToolTipColumn = -1;
    CMyHeaderCtrl* m_header;
    CellInfo m_cellInfo;

    bool m_bDoubleClick = false;  // the release that ends a double click is no second click
    QString m_typed;
    QElapsedTimer m_sinceTyped;

    // Repaints asked for by other threads, carried out by DrainRedraws on the UI thread.
    const std::thread::id m_uiThread;
    std::mutex m_redrawMutex;
    std::vector<RedrawRequest> m_pendingRedraws;
    bool m_bDrainPosted = false;
};
