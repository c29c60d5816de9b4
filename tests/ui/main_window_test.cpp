// The program's window, offscreen, as a person uses it: first start, languages, adding and
// removing documents, a batch with the scripted word processor, closing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common/ini/Ini.h"
#include "components/vernello/Vernello.h"
#include "convert/ConversionController.h"
#include "lang/LanguageProvider.h"
#include "platform/com.h"
#include "platform/paths.h"
#include "platform/program_folder.h"
#include "skin/BmpButton.h"
#include "tests/support/fake_conversion_legs.h"
#include "tests/support/fake_word.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/wait_until.h"
#include "tests/ui/window_fixture.h"
#include "ui/CMyCustomizeList.h"
#include "ui/JobCell.h"

namespace fs = std::filesystem;
using testing_support::AnsweredWindow;

namespace {

void Press(QWidget* widget, Qt::Key key, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
}

class MainWindow : public ::testing::Test {
  protected:
    MainWindow() {
        testing_support::PrepareWindowProgramFolder(TESSALINE_PROGRAM_DIR);
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        word_ = testing_support::FakeWord::Install();
        LoadLanguages((GetProgramFolder() + "Languages/*.xml").c_str());
        legs_ = {&printer_, nullptr, &handOff_, &pdf_};
    }
    ~MainWindow() override {
        window_.reset();
        word_.reset();
        CoUninitialize();
    }

    AnsweredWindow& Open() {
        window_ = std::make_unique<AnsweredWindow>(&legs_);
        window_->show();
        QApplication::processEvents();
        return *window_;
    }

    std::string Document(const std::string& name) {
        const fs::path path = platform_.Home() / name;
        std::ofstream(path) << "pages: 2\nparagraph: 1 Title\n";
        return path.string();
    }

    const CellInfo& Cell(int row, int column) { return window_->List().GetCellInfo(row, column); }

    // Runs the window's events until the batch is over.
    bool WaitForBatch() {
        return testing_support::WaitUntil(
            [&] {
                QApplication::processEvents();
                return window_->Controller().IsIdle();
            },
            std::chrono::seconds(60), std::chrono::milliseconds(1));
    }

    testing_support::ScopedPlatform platform_;
    testing_support::ScopedEnvVar locale_{"LC_ALL", std::nullopt};
    std::shared_ptr<testing_support::FakeWord> word_;
    testing_support::FakePrinter printer_;
    testing_support::FakeHandOff handOff_;
    testing_support::FakePdfBuilder pdf_;
    ConversionLegs legs_;
    std::unique_ptr<AnsweredWindow> window_;
};

TEST_F(MainWindow, FirstStartOnAChineseSystemSpeaksChineseAndIsRememberedAtClose) {
    testing_support::ScopedEnvVar chinese("LANG", "zh_CN.UTF-8");
    AnsweredWindow& window = Open();
    const std::string expectedFolder =
        (platform_.Home() / "Documents" / "Tessaline").string() + "/";
    EXPECT_EQ(window.m_strLanguage, kLanguageChinese);
    EXPECT_EQ(window.findChild<QLineEdit*>()->text().toStdString(), expectedFolder);
    EXPECT_TRUE(fs::is_directory(expectedFolder));
    EXPECT_EQ(window.List().model()->headerData(1, Qt::Horizontal).toString().toStdString(),
              LangText("CListCtrlUI", "FN"));
    EXPECT_EQ(window.findChild<QLabel*>()->text().toStdString(), LangText("MainDlgUI", "OUTPUT"));

    // Another language: the column names and captions follow at once.
    window.m_strLanguage = kLanguageEnglish;
    SelectLanguage(kLanguageEnglish);
    window.RefreshTexts();
    EXPECT_EQ(window.List().model()->headerData(4, Qt::Horizontal).toString(), "Status");
    EXPECT_EQ(window.findChild<QLabel*>()->text(), "Output:");

    // Escape and Enter do not close it; the close button does, writing Config.ini.
    Press(&window.List(), Qt::Key_Escape);
    Press(window.findChild<QLineEdit*>(), Qt::Key_Return, "\r");
    EXPECT_TRUE(window.isVisible());
    window.findChild<QLineEdit*>()->setText(QString::fromStdString(expectedFolder + "new/"));
    EXPECT_FALSE(fs::exists(expectedFolder + "new")) << "typing makes no folder";
    window.OnCommand(IDC_CLOSE, BN_CLICKED, nullptr);
    EXPECT_FALSE(window.isVisible());
    CIni config((GetProgramFolder() + "Config.ini").c_str());
    EXPECT_EQ(config.GetString("AppLanguage", "Language", ""), kLanguageEnglish);
    EXPECT_EQ(config.GetString("Setting", "DestinationDir", ""), expectedFolder + "new/");
    EXPECT_TRUE(fs::is_directory(expectedFolder + "new")) << "made when the path is used";
}

TEST_F(MainWindow, AddingRefusesOtherFilesAndDuplicatesAndRowsGoByRemoveDeleteAndClear) {
    AnsweredWindow& window = Open();
    const std::string a = Document("a.docx");
    const std::string text = Document("notes.txt");
    window.chosen = {a, text, a};
    window.OnAdd();
    ASSERT_EQ(window.messages.size(), 2u);
    EXPECT_EQ(window.messages[0], LangText("MsgBox", "NOTPDF"));
    EXPECT_EQ(window.messages[1], LangText("MsgBox", "Added"));
    EXPECT_EQ(window.List().GetItemCount(), 1);

    // A full path typed into the file dialog's name box adds that document.
    const std::string typed = Document("Typed Report.doc");
    window.realFileDialog = true;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(typed));
        static_cast<QDialog*>(dialog)->accept();  // Open
    });
    window.OnAdd();
    window.realFileDialog = false;
    ASSERT_EQ(window.List().GetItemCount(), 2);
    EXPECT_EQ(Cell(1, 1).text, "Typed Report.doc");

    window.chosen = {Document("c.docx"), Document("d.docx")};
    window.OnAdd();
    ASSERT_EQ(window.List().GetItemCount(), 4);

    // Rows 2 and 4 selected; Delete in the output box removes them and edits the box too.
    window.List().selectionModel()->select(window.List().model()->index(1, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window.List().selectionModel()->select(window.List().model()->index(3, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QLineEdit* output = window.findChild<QLineEdit*>();
    output->setFocus();
    output->setCursorPosition(0);
    const QString before = output->text();
    Press(output, Qt::Key_Delete);
    ASSERT_EQ(window.List().GetItemCount(), 2);
    EXPECT_EQ(Cell(0, 1).text, "a.docx");
    EXPECT_EQ(Cell(1, 1).text, "c.docx");
    EXPECT_EQ(Cell(1, 0).text, "2") << "renumbered by position";
    EXPECT_EQ(output->text(), before.mid(1));

    window.ClearJobs();
    EXPECT_EQ(window.List().GetItemCount(), 0);
}

TEST_F(MainWindow, ABatchShowsItsRowsEndAsLinksOrFailuresAndGivesTheButtonsBack) {
    AnsweredWindow& window = Open();
    const std::string second = Document("second.docx");
    window.chosen = {Document("first.docx"), second, Document("third.docx")};
    window.OnAdd();
    pdf_.Fail(second, "The PDF file could not be saved");
    bool disabledWhilePrinting = false;
    handOff_.onWait = [&] {
        disabledWhilePrinting = !GetDlgItem(&window, IDC_CONVERT)->isEnabled() &&
                                !GetDlgItem(&window, IDC_ADD)->isEnabled();
        // While the first document prints: its own check box is left alone (the worker
        // threads share that job), another row's still works.
        if (window.Controller().m_nCurrentJob == 0) {
            auto& jobs = window.Controller().m_jobs;
            window.OnCellClick(window.List(), ClickInfo{0, 0, false, true, false, false});
            EXPECT_TRUE(jobs[0]->m_bChecked);
            window.OnCellClick(window.List(), ClickInfo{2, 0, false, true, false, false});
            EXPECT_FALSE(jobs[2]->m_bChecked);
            window.OnCellClick(window.List(), ClickInfo{2, 0, false, true, false, false});
        }
    };
    window.OnCommand(IDC_CONVERT, BN_CLICKED, nullptr);
    ASSERT_TRUE(WaitForBatch());

    EXPECT_TRUE(disabledWhilePrinting);
    EXPECT_TRUE(GetDlgItem(&window, IDC_CONVERT)->isEnabled());
    EXPECT_EQ(Cell(0, kProgressColumn).text, "first.pdf");
    EXPECT_TRUE(Cell(0, kProgressColumn).link);
    EXPECT_EQ(Cell(1, kProgressColumn).text, LangText("JobFailure", "Failed"));
    EXPECT_FALSE(Cell(1, kProgressColumn).link);
    EXPECT_EQ(Cell(1, kProgressColumn).tip, "The PDF file could not be saved");
    EXPECT_EQ(Cell(2, kProgressColumn).text, "third.pdf");
    ASSERT_FALSE(window.messages.empty());
    EXPECT_NE(window.messages.back(), LangText("MsgBox", "CF")) << "failures are not hidden";
    EXPECT_NE(window.messages.back().find("2"), std::string::npos);
    EXPECT_NE(window.messages.back().find("3"), std::string::npos);
}

TEST_F(MainWindow, ClosingDuringABatchLeavesItRunningOnNoAndEndsAfterTheDocumentOnYes) {
    AnsweredWindow& window = Open();
    window.chosen = {Document("one.docx"), Document("two.docx")};
    window.OnAdd();
    const fs::path pageFolder = platform::TempPath() + "DravelleOutput";
    fs::create_directories(pageFolder);
    int waits = 0;
    handOff_.onWait = [&] {
        if (++waits > 1)
            return;
        // Asked while the first document prints: No leaves everything as it is.
        window.answer = IDNO;
        window.OnClose();
        EXPECT_TRUE(window.isVisible());
        EXPECT_TRUE(fs::exists(pageFolder)) << "the batch's page folder stays";
        EXPECT_EQ(printer_.GetDefaultPrinter(), "Tessaline");
        window.answer = IDYES;
        window.OnClose();
    };
    window.OnCommand(IDC_CONVERT, BN_CLICKED, nullptr);
    ASSERT_TRUE(WaitForBatch());
    EXPECT_EQ(waits, 1) << "the second document is not started";
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(Cell(0, kProgressColumn).text, "one.pdf");
    EXPECT_EQ(printer_.GetDefaultPrinter(), "Office Laser");
    EXPECT_FALSE(fs::exists(pageFolder));
}

TEST_F(MainWindow, KeepsAnsweringWhileItWaitsForPrintedPages) {
    AnsweredWindow& window = Open();
    std::atomic<bool> answered{false};
    QTimer::singleShot(0, [&] { answered = true; });
    const bool waited = window.WaitResponsively([&] {
        return testing_support::WaitUntil([&] { return answered.load(); },
                                          std::chrono::seconds(20));
    });
    EXPECT_TRUE(waited) << "the window's events ran during the wait";
}

}  // namespace
