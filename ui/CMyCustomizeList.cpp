#include "ui/CMyCustomizeList.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QUrl>
#include <algorithm>

#include "ui/CMyHeaderCtrl.h"
#include "ui/ImageList.h"

// Rows exist only as a count; the columns are headings with an alignment. Cell contents come
// from the list's parent when they are drawn, so the model answers only what item views and
// accessibility ask of it.
class CVirtualRowModel : public QAbstractTableModel {
  public:
    explicit CVirtualRowModel(CMyCustomizeList& list) : QAbstractTableModel(&list), m_list(list) {}

    struct Column {
        QString heading;
        int format;
    };

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : m_rows;
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid())
            return {};
        const CellInfo& info = m_list.GetCellInfo(index.row(), index.column());
        if (role == Qt::DisplayRole)
            return QString::fromStdString(info.text);
        if (role == Qt::CheckStateRole && info.hasCheckBox) {
            return (info.checkState & DFCS_CHECKED) ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
            return {};
        if (role == Qt::DisplayRole)
            return m_columns[static_cast<std::size_t>(section)].heading;
        return {};
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

    void SetRows(int rows) {
        beginResetModel();
        m_rows = std::max(0, rows);
        endResetModel();
    }
    int Rows() const { return m_rows; }

    void InsertColumn(int at, const Column& column) {
        at = std::clamp(at, 0, columnCount());
        beginInsertColumns({}, at, at);
        m_columns.insert(m_columns.begin() + at, column);
        endInsertColumns();
    }
    void RemoveColumn(int at) {
        if (at < 0 || at >= columnCount())
            return;
        beginRemoveColumns({}, at, at);
        m_columns.erase(m_columns.begin() + at);
        endRemoveColumns();
    }
    int Format(int column) const {
        return column >= 0 && column < columnCount()
                   ? m_columns[static_cast<std::size_t>(column)].format
                   : DT_LEFT;
    }

  private:
    CMyCustomizeList& m_list;
    int m_rows = 0;
    std::vector<Column> m_columns;
};

// Hands every cell to the list, which draws it whole; nothing of the style's own item drawing
// shows.
class CCellDelegate : public QStyledItemDelegate {
  public:
    explicit CCellDelegate(CMyCustomizeList& list) : QStyledItemDelegate(&list), m_list(list) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        m_list.PaintCell(*painter, option.rect, index.row(), index.column());
    }

  private:
    CMyCustomizeList& m_list;
};

namespace {

void AppendOnce(std::vector<QRect>& rects, const QRect& rect) {
    if (rect.isEmpty())
        return;
    if (std::find(rects.begin(), rects.end(), rect) == rects.end())
        rects.push_back(rect);
}

bool AnyContains(const std::vector<QRect>& rects, const QPoint& at) {
    return std::any_of(rects.begin(), rects.end(), [&](const QRect& r) { return r.contains(at); });
}

std::vector<std::string> LocalFiles(const QMimeData* mime) {
    std::vector<std::string> files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            files.push_back(url.toLocalFile().toStdString());
    }
    return files;
}

// A tip as the list's tooltips carry it: at most 79 characters.
QString CutTip(const std::string& tip) {
    return QString::fromStdString(tip).left(79);
}

}  // namespace

CMyCustomizeList::CMyCustomizeList(IListParent& parent, QWidget* parentWidget)
    : QTableView(parentWidget),
      m_parent(parent),
      m_model(new CVirtualRowModel(*this)),
      m_header(new CMyHeaderCtrl(this)),
      m_uiThread(std::this_thread::get_id()) {
    setHorizontalHeader(m_header);
    setModel(m_model);
    setItemDelegate(new CCellDelegate(*this));
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_header->setSectionsClickable(false);
    m_header->setHighlightSections(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    // Resized or moved columns move every drawn rectangle.
    auto forgetAndRepaint = [this] {
        OnClearHitRects(1);
        viewport()->update();
    };
    connect(m_header, &QHeaderView::sectionResized, this, forgetAndRepaint);
    connect(m_header, &QHeaderView::sectionMoved, this, forgetAndRepaint);
}

CMyCustomizeList::~CMyCustomizeList() = default;

const CellInfo& CMyCustomizeList::GetCellInfo(int row, int column) {
    m_cellInfo = CellInfo{};
    m_cellInfo.row = row;
    m_cellInfo.column = column;
    const bool fullRowSelect = selectionBehavior() == QAbstractItemView::SelectRows;
    m_cellInfo.rowSelected = selectionModel() &&
                             selectionModel()->isRowSelected(row, QModelIndex()) &&
                             (column == 0 || fullRowSelect) && hasFocus();
    m_cellInfo.imageList = m_images;
    m_cellInfo.textFormat = static_cast<unsigned>(m_model->Format(column)) | DT_VCENTER |
                            DT_SINGLELINE | DT_END_ELLIPSIS;
    m_parent.OnGetCellInfo(*this, m_cellInfo);
    return m_cellInfo;
}

CellSurface CMyCustomizeList::Surface() const {
    CellSurface surface;
    surface.palette = palette();
    surface.hasFocus = hasFocus();
    surface.fullRowSelect = selectionBehavior() == QAbstractItemView::SelectRows;
    surface.font = font();
    surface.widget = this;
    return surface;
}

void CMyCustomizeList::PaintCell(QPainter& painter, const QRect& cell, int row, int column) {
    const CellInfo& info = GetCellInfo(row, column);
    const CellHitRects hits = DrawCell(painter, info, LayoutCell(info, cell), Surface());
    AppendOnce(m_imageHitRects, hits.image);
    AppendOnce(m_linkHitRects, hits.link);
    AppendOnce(m_textHitRects, hits.link);
}

void CMyCustomizeList::OnClearHitRects(int wParam) {
    if (wParam != 1)
        return;
    m_imageHitRects.clear();
    m_linkHitRects.clear();
    m_textHitRects.clear();
}

void CMyCustomizeList::InsertColumn(int column, const std::string& heading, int format, int width) {
    m_model->InsertColumn(column, {QString::fromStdString(heading), format});
    m_header->resizeSection(std::clamp(column, 0, GetColumnCount() - 1), width);
}

void CMyCustomizeList::DeleteColumn(int column) {
    m_model->RemoveColumn(column);
}

int CMyCustomizeList::GetColumnCount() const {
    return m_model->columnCount();
}

void CMyCustomizeList::SetItemCount(int count) {
    m_model->SetRows(count);
    viewport()->update();
}

int CMyCustomizeList::GetItemCount() const {
    return m_model->Rows();
}

void CMyCustomizeList::SetImageList(const CImageList* images) {
    m_images = images;
    const int imageHeight = images ? images->ImageSize().height() : 0;
    verticalHeader()->setDefaultSectionSize(
        std::max(imageHeight + 2, QFontMetrics(font()).height() + 4));
    viewport()->update();
}

void CMyCustomizeList::RedrawCells(int first, int last, int column, int part) {
    if (std::this_thread::get_id() == m_uiThread) {
        RedrawCellsNow({first, last, column, part});
        return;
    }
    std::lock_guard<std::mutex> lock(m_redrawMutex);
    m_pendingRedraws.push_back({first, last, column, part});
    if (m_bDrainPosted)
        return;
    m_bDrainPosted = true;
    // Only the wake-up travels through Qt's queue; the requests stay behind the mutex. It is
    // posted under the mutex, which the drain takes too, so the wake-up is made before the UI
    // thread is done with it in an order this thread's own lock shows (Qt's queue lock is
    // invisible to race checkers).
    QMetaObject::invokeMethod(this, "DrainRedraws", Qt::QueuedConnection);
}

void CMyCustomizeList::DrainRedraws() {
    std::vector<RedrawRequest> requests;
    {
        std::lock_guard<std::mutex> lock(m_redrawMutex);
        requests.swap(m_pendingRedraws);
        m_bDrainPosted = false;
    }
    for (const RedrawRequest& request : requests)
        RedrawCellsNow(request);
}

void CMyCustomizeList::RedrawCellsNow(const RedrawRequest& request) {
    const int count = GetItemCount();
    if (count == 0 || request.column < 0 || request.column >= GetColumnCount())
        return;
    const int rowHeight = std::max(1, verticalHeader()->defaultSectionSize());
    const int bandFirst = std::max(0, rowAt(0));
    const int bandLast = std::min(bandFirst + viewport()->height() / rowHeight, count - 1);
    int first = request.first;
    int last = request.last;
    if ((first < bandFirst && last < bandFirst) || (first > bandLast && last > bandLast))
        return;
    first = std::clamp(first, bandFirst, bandLast);
    last = std::clamp(last, bandFirst, bandLast);
    viewport()->update(PartRect(first, request.column, request.part) |
                       PartRect(last, request.column, request.part));
}

QRect CMyCustomizeList::PartRect(int row, int column, int part) {
    const QRect cell = visualRect(m_model->index(row, column));
    if (part == kWholeCell)
        return cell;
    const CellLayout layout = LayoutCell(GetCellInfo(row, column), cell);
    return part == kCheckBox ? layout.checkArea : layout.textArea;
}

void CMyCustomizeList::keyPressEvent(QKeyEvent* event) {
    // Enter belongs to the list: it never reaches the dialog's default button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (currentIndex().isValid())
            emit activated(currentIndex());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CMyCustomizeList::keyboardSearch(const QString& search) {
    // Keys typed within the input interval extend the search; a new search starts after the
    // current row, a longer one at it.
    const bool extending =
        m_sinceTyped.isValid() && m_sinceTyped.elapsed() < QApplication::keyboardInputInterval();
    m_typed = extending ? m_typed + search : search;
    m_sinceTyped.start();
    const int current = currentIndex().isValid() ? currentIndex().row() : -1;
    const int found =
        FindItem(m_typed.toStdString(), extending ? std::max(current, 0) : current + 1);
    if (found < 0)
        return;
    const QModelIndex index = m_model->index(found, m_nSearchColumn);
    selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

int CMyCustomizeList::FindItem(const std::string& typed, int start) {
    const int count = GetItemCount();
    if (count == 0 || typed.empty())
        return -1;
    if (start < 0 || start >= count)
        start = 0;
    const QString wanted = QString::fromStdString(typed);
    for (int k = 0; k < count; ++k) {
        const int row = (start + k) % count;
        const QString text = QString::fromStdString(GetCellInfo(row, m_nSearchColumn).text);
        if (text.startsWith(wanted, Qt::CaseInsensitive))
            return row;
    }
    return -1;
}

bool CMyCustomizeList::OnHitRect(const QPoint& at) const {
    return AnyContains(m_imageHitRects, at) || AnyContains(m_linkHitRects, at) ||
           AnyContains(m_textHitRects, at);
}

void CMyCustomizeList::mouseMoveEvent(QMouseEvent* event) {
    // A plain move only sets the cursor; the list tracks no hover row. A drag selects as usual.
    if (event->buttons() != Qt::NoButton) {
        QTableView::mouseMoveEvent(event);
        return;
    }
    if (OnHitRect(event->position().toPoint())) {
        viewport()->setCursor(Qt::PointingHandCursor);
    } else {
        viewport()->unsetCursor();
    }
    event->accept();
}

void CMyCustomizeList::mouseDoubleClickEvent(QMouseEvent* event) {
    m_bDoubleClick = true;
    QTableView::mouseDoubleClickEvent(event);
}

void CMyCustomizeList::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    const bool endsDoubleClick = m_bDoubleClick;
    m_bDoubleClick = false;
    if (event->button() == Qt::LeftButton && !endsDoubleClick) {
        SendClick(event->position().toPoint());
    }
}

void CMyCustomizeList::SendClick(const QPoint& at) {
    const QModelIndex index = indexAt(at);
    if (!index.isValid())
        return;
    const CellInfo& info = GetCellInfo(index.row(), index.column());
    const CellLayout layout = LayoutCell(info, visualRect(index));
    ClickInfo click{};
    click.row = index.row();
    click.column = index.column();
    click.checkHit = info.hasCheckBox && layout.checkSquare.contains(at);
    click.imageHit = info.image != -1 && AnyContains(m_imageHitRects, at);
    click.linkHit = AnyContains(m_linkHitRects, at);
    click.textHit = AnyContains(m_textHitRects, at);
    m_parent.OnCellClick(*this, click);
}

bool CMyCustomizeList::ShowTip(const QPoint& at, const QPoint& globalAt) {
    const QModelIndex index = indexAt(at);
    const bool tipColumn =
        index.isValid() && (index.column() == m_nToolTipColumn || index.column() == 4);
    const QString tip =
        tipColumn ? CutTip(GetCellInfo(index.row(), index.column()).tip) : QString();
    if (tip.isEmpty()) {
        QToolTip::hideText();
        return false;
    }
    // The tip belongs to its cell: moving into another cell brings that cell's tip.
    QToolTip::showText(globalAt, tip, viewport(), visualRect(index));
    return true;
}

bool CMyCustomizeList::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        ShowTip(help->pos(), help->globalPos());
        return true;
    }
    return QTableView::viewportEvent(event);
}

void CMyCustomizeList::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    viewport()->update();  // selected rows show their colours only while the list has the focus
}

void CMyCustomizeList::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    viewport()->update();
}

void CMyCustomizeList::scrollContentsBy(int dx, int dy) {
    QTableView::scrollContentsBy(dx, dy);
    OnClearHitRects(1);
    viewport()->update();
}

void CMyCustomizeList::dragEnterEvent(QDragEnterEvent* event) {
    if (LocalFiles(event->mimeData()).empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void CMyCustomizeList::dragMoveEvent(QDragMoveEvent* event) {
    if (LocalFiles(event->mimeData()).empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void CMyCustomizeList::dropEvent(QDropEvent* event) {
    const std::vector<std::string> files = LocalFiles(event->mimeData());
    if (files.empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    for (const std::string& file : files) {
        m_parent.OnFileDropped(static_cast<unsigned>(files.size()), file);
    }
}
