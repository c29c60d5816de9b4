// The batch list as a person meets it: the rows it draws from its jobs, what a click or a tip
// reports, typing a row number, dropping files, and repaints asked for by worker threads.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QToolTip>
#include <QUrl>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "convert/WordRecord.h"
#include "tests/support/wait_until.h"
#include "ui/CMyCustomizeList.h"
#include "ui/ImageList.h"
#include "ui/JobCell.h"

namespace {

// The list's parent as the main window will be: rows answered from jobs, a click on a check box
// toggles it, clicks and drops are recorded.
class JobListParent : public QWidget, public IListParent {
  public:
    JobListParent() : images(QSize(32, 32)) {
        QPixmap icon(32, 32);
        icon.fill(Qt::transparent);
        QPainter painter(&icon);
        painter.setBrush(QColor(0, 160, 0));
        painter.drawEllipse(2, 2, 28, 28);
        painter.end();
        images.Add(icon);
        resize(700, 500);
        list = new CMyCustomizeList(*this, this);
        list->setGeometry(0, 0, 700, 500);
        list->SetImageList(&images);
        list->SetToolTipColumn(1);
        const int widths[] = {60, 190, 110, 80, 190};
        const char* const headings[] = {"Select", "File Name", "Size", "PDF Settings", "Status"};
        for (int column = 0; column < 5; ++column) {
            list->InsertColumn(column, headings[column], DT_CENTER, widths[column]);
        }
    }

    CWordRecord& AddJob(const std::string& name) {
        jobs.push_back(std::make_unique<CWordRecord>());
        CWordRecord& job = *jobs.back();
        job.m_strFileName = name;
        job.m_strFilePath = "/home/user/Documents/" + name;
        job.m_strSizeText = "12.5 KB";
        job.m_bChecked = true;
        list->SetItemCount(static_cast<int>(jobs.size()));
        return job;
    }

    void OnGetCellInfo(CMyCustomizeList&, CellInfo& info) override {
        FillJobCellInfo(*jobs[static_cast<std::size_t>(info.row)], info);
        if (info.column == kProgressColumn)
            ++statusCellsDescribed;
    }
    void OnCellClick(CMyCustomizeList& from, const ClickInfo& click) override {
        clicks.push_back(click);
        if (click.column == 0 && click.checkHit) {
            CWordRecord& job = *jobs[static_cast<std::size_t>(click.row)];
            job.m_bChecked = !job.m_bChecked;
            from.RedrawCells(click.row, click.row, 0, CMyCustomizeList::kCheckBox);
        }
    }
    void OnFileDropped(unsigned count, const std::string& path) override {
        drops.push_back({count, path});
    }

    QRect Cell(int row, int column) const {
        return list->visualRect(list->model()->index(row, column));
    }
    QImage Picture() {
        QApplication::processEvents();
        return list->viewport()->grab().toImage();
    }

    CImageList images;
    std::vector<std::unique_ptr<CWordRecord>> jobs;
    CMyCustomizeList* list;
    std::vector<ClickInfo> clicks;
    std::vector<std::pair<unsigned, std::string>> drops;
    std::atomic<int> statusCellsDescribed{0};
};

void Click(QWidget* viewport, QPoint at) {
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }
}

void Type(QWidget* list, Qt::Key key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(list, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(list, &release);
}

int CurrentRow(const CMyCustomizeList& list) {
    return list.currentIndex().row();
}

class BatchList : public ::testing::Test {
  protected:
    void SetUp() override {
        parent.show();
        QApplication::processEvents();
    }
    JobListParent parent;
};

TEST_F(BatchList, DrawsEachRowFromItsJob) {
    parent.AddJob("waiting.docx");
    CWordRecord& starting = parent.AddJob("starting.docx");
    starting.m_bShowProgress = true;
    CWordRecord& half = parent.AddJob("half.docx");
    half.m_bShowProgress = true;
    half.m_nProgress = 50;
    CWordRecord& over = parent.AddJob("over.docx");
    over.m_bShowProgress = true;
    over.m_nProgress = 120;
    CWordRecord& done = parent.AddJob("R&D report.doc");
    done.m_bChecked = false;
    done.m_bDone = true;
    done.m_strOutputName = "R&D report.pdf";
    done.m_strOutputPath = "/home/user/Documents/Tessaline/R&D report.pdf";

    const QImage picture = parent.Picture();
    const QRgb highlight = parent.list->palette().color(QPalette::Highlight).rgb();
    auto pixelAt = [&](int row, double across) {
        const QRect cell = parent.Cell(row, kProgressColumn);
        return picture.pixel(cell.x() + static_cast<int>(cell.width() * across), cell.center().y());
    };
    EXPECT_NE(pixelAt(1, 0.1), highlight) << "progress 0 leaves the bar empty";
    EXPECT_EQ(pixelAt(2, 0.25), highlight);
    EXPECT_NE(pixelAt(2, 0.75), highlight);
    EXPECT_EQ(pixelAt(3, 0.98), highlight) << "beyond the maximum the bar is full";

    // The finished row's PDF name is blue link text.
    const QRect status = parent.Cell(4, kProgressColumn);
    bool blue = false;
    for (int x = status.left(); x <= status.right() && !blue; ++x) {
        for (int y = status.top(); y <= status.bottom() && !blue; ++y) {
            blue = picture.pixel(x, y) == qRgb(0, 0, 255);
        }
    }
    EXPECT_TRUE(blue);
    EXPECT_EQ(parent.list->model()->index(4, 4).data().toString(), "R&D report.pdf");

    // A ticked and a cleared check box look different; the settings icon is drawn in every row.
    const QRect square0 = parent.Cell(0, 0);
    const QRect square4 = parent.Cell(4, 0);
    const int side = square0.height();
    EXPECT_NE(picture.copy(square0.x(), square0.y(), side, side),
              picture.copy(square4.x(), square4.y(), side, side));
    EXPECT_EQ(picture.pixel(parent.Cell(2, kSettingsColumn).center()), qRgb(0, 160, 0));
}

TEST_F(BatchList, ClicksReportThePartTheyHitAndTheHandShowsOverLinks) {
    parent.AddJob("a.docx");
    CWordRecord& done = parent.AddJob("b.docx");
    done.m_bChecked = false;
    done.m_bDone = true;
    done.m_strOutputName = "b.pdf";
    parent.Picture();
    QWidget* viewport = parent.list->viewport();

    const QRect number = parent.Cell(0, 0);
    Click(viewport, QPoint(number.x() + number.height() / 2, number.center().y()));
    Click(viewport, QPoint(number.right() - 3, number.center().y()));
    const QRect icon = parent.Cell(0, kSettingsColumn);
    Click(viewport, icon.center());
    Click(viewport, QPoint(icon.x() + 3, icon.center().y()));
    const QRect status = parent.Cell(1, kProgressColumn);
    Click(viewport, status.center());
    Click(viewport, QPoint(10, parent.Cell(1, 0).bottom() + 40));  // below the last row

    ASSERT_EQ(parent.clicks.size(), 5u);
    EXPECT_TRUE(parent.clicks[0].checkHit);
    EXPECT_FALSE(parent.jobs[0]->m_bChecked) << "a click on the check box toggles it";
    EXPECT_FALSE(parent.clicks[1].checkHit) << "elsewhere in column 0 it does not";
    EXPECT_TRUE(parent.clicks[2].imageHit);
    EXPECT_FALSE(parent.clicks[3].imageHit) << "beside the icon";
    EXPECT_EQ(parent.clicks[4].row, 1);
    EXPECT_TRUE(parent.clicks[4].linkHit && parent.clicks[4].textHit);
    EXPECT_FALSE(parent.clicks[2].linkHit || parent.clicks[0].imageHit);

    QMouseEvent move(QEvent::MouseMove, status.center(), viewport->mapToGlobal(status.center()),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    EXPECT_EQ(viewport->cursor().shape(), Qt::PointingHandCursor);

    // Rows removed: the parent forgets the drawn rectangles, and nothing is a link any more.
    parent.list->OnClearHitRects(1);
    Click(viewport, status.center());
    EXPECT_FALSE(parent.clicks.back().linkHit);
}

TEST_F(BatchList, TipsShowThePathInTheNameColumnCutTo79Characters) {
    CWordRecord& job = parent.AddJob("long.docx");
    job.m_strFilePath = "/" + std::string(120, 'p') + ".docx";
    parent.Picture();
    auto tipAt = [&](int column) {
        QToolTip::hideText();  // the tip goes after a moment
        testing_support::WaitUntil(
            [] {
                QApplication::processEvents();
                return !QToolTip::isVisible();
            },
            std::chrono::seconds(10));
        const QPoint at = parent.Cell(0, column).center();
        QHelpEvent help(QEvent::ToolTip, at, parent.list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(parent.list->viewport(), &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tipAt(1), QString::fromStdString(job.m_strFilePath.substr(0, 79)));
    EXPECT_EQ(tipAt(2), QString()) << "the size column has no tips";
    EXPECT_EQ(tipAt(4), QString()) << "a job still checked shows no PDF path";
}

TEST_F(BatchList, TypingANumberMovesToThatRowAndEnterStaysInTheList) {
    for (int k = 0; k < 12; ++k)
        parent.AddJob("doc" + std::to_string(k) + ".docx");
    parent.list->setFocus();
    const int interval = QApplication::keyboardInputInterval();

    QApplication::setKeyboardInputInterval(60000);
    Type(parent.list, Qt::Key_1, "1");
    Type(parent.list, Qt::Key_2, "2");
    EXPECT_EQ(CurrentRow(*parent.list), 11) << "\"12\" typed as one search";
    QApplication::setKeyboardInputInterval(0);
    Type(parent.list, Qt::Key_1, "1");
    EXPECT_EQ(CurrentRow(*parent.list), 0) << "a new search starts after row 12 and wraps";
    Type(parent.list, Qt::Key_3, "3");
    EXPECT_EQ(CurrentRow(*parent.list), 2);
    Type(parent.list, Qt::Key_9, "9");
    Type(parent.list, Qt::Key_X, "x");
    EXPECT_EQ(CurrentRow(*parent.list), 8) << "no match leaves the selection";
    QApplication::setKeyboardInputInterval(interval);

    // In a dialog, Enter in the list does not press the default button.
    QDialog dialog;
    auto* ok = new QPushButton("OK", &dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    parent.list->setParent(&dialog);
    dialog.show();
    parent.list->setFocus();
    Type(parent.list, Qt::Key_Return, "\r");
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_TRUE(dialog.isVisible());
    parent.list->setParent(&parent);
}

TEST_F(BatchList, ADropReportsEveryFileWithTheDropsCount) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/data/one.docx"), QUrl::fromLocalFile("/data/two.doc"),
                  QUrl::fromLocalFile("/data/three.txt")});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(parent.list->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(parent.list->viewport(), &drop);
    ASSERT_EQ(parent.drops.size(), 3u);
    EXPECT_EQ(parent.drops[0], std::make_pair(3u, std::string("/data/one.docx")));
    EXPECT_EQ(parent.drops[2], std::make_pair(3u, std::string("/data/three.txt")));
}

class BatchListRedraw : public BatchList {};

TEST_F(BatchListRedraw, AWorkerRepaintsOnlyTheRowsItNamesWhileTheWindowPaints) {
    for (int k = 0; k < 6; ++k)
        parent.AddJob("doc" + std::to_string(k) + ".docx");
    CWordRecord& job = *parent.jobs[2];
    job.m_bShowProgress = true;
    for (int k = 0; k < 3; ++k)
        QApplication::processEvents();  // layout and first paint done
    parent.list->viewport()->repaint();

    // One repaint of row 2's status: only that cell is described again when it is painted.
    std::thread([&] { parent.list->RedrawCells(2, 2, kProgressColumn, 2); }).join();
    QCoreApplication::sendPostedEvents(parent.list, QEvent::MetaCall);
    parent.statusCellsDescribed = 0;
    QApplication::processEvents();
    EXPECT_EQ(parent.statusCellsDescribed, 1);

    // A worker reporting progress while the window keeps painting.
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        for (int percent = 1; percent <= 100; ++percent) {
            job.m_nProgress = percent;
            parent.list->RedrawCells(2, 2, kProgressColumn, 2);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        finished = true;
    });
    while (!finished) {
        QApplication::processEvents();
        parent.list->viewport()->repaint();
    }
    worker.join();
    const QImage picture = parent.Picture();
    const QRect bar = parent.Cell(2, kProgressColumn);
    EXPECT_EQ(picture.pixel(bar.right() - 4, bar.center().y()),
              parent.list->palette().color(QPalette::Highlight).rgb());
}

}  // namespace
