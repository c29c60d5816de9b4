// Draws the batch list with rows in every state, the PDF settings and language dialogs, the about
// box and the help menu, in English and in Chinese, into PNG files, for looking at them without
// a display:
//   ui-preview OUTPUT-FOLDER
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPixmap>
#include <cstdio>
#include <memory>
#include <vector>

#include "components/vernello/Vernello.h"
#include "convert/WordRecord.h"
#include "lang/LanguageProvider.h"
#include "ui/CAboutDlg.h"
#include "ui/CMainSettingDlg.h"
#include "ui/CMyCustomizeList.h"
#include "ui/CSettingDialog.h"
#include "ui/HelpMenu.h"
#include "ui/ImageList.h"
#include "ui/JobCell.h"

namespace {

class PreviewWindow : public QWidget, public IListParent {
  public:
    explicit PreviewWindow(const QImage& settingsIcon) : m_images(QSize(32, 32)) {
        m_images.AddKeyed(settingsIcon);
        resize(634, 294);
        m_list = new CMyCustomizeList(*this, this);
        m_list->setGeometry(rect());
        m_list->SetImageList(&m_images);
        m_list->SetToolTipColumn(1);
        const char* const keys[] = {"CHECK", "FN", "SIZE", "SP", "Status"};
        const int widths[] = {60, 190, 110, 80, 190};
        for (int column = 0; column < 5; ++column) {
            m_list->InsertColumn(column, LangText("CListCtrlUI", keys[column]), DT_CENTER,
                                 widths[column]);
        }
        Add("Quarterly report.docx", "48.2 KB", true, -1);
        Add("Minutes & actions.doc", "120.0 KB", true, 0);
        Add("年度总结.docx", "1.3 MB", true, 45);
        Add("Specification.docx", "310.7 KB", true, 100);
        CWordRecord& done = Add("Letter.docx", "15.1 KB", false, -1);
        done.m_bDone = true;
        done.m_strOutputName = "Letter.pdf";
        done.m_strOutputPath = "/home/user/Documents/Tessaline/Letter.pdf";
        Add("Draft (not chosen).docx", "9.8 KB", false, -1);
        m_list->SetItemCount(static_cast<int>(m_jobs.size()));
        m_list->selectRow(3);
    }

    void OnGetCellInfo(CMyCustomizeList&, CellInfo& info) override {
        FillJobCellInfo(*m_jobs[static_cast<std::size_t>(info.row)], info);
    }
    void OnCellClick(CMyCustomizeList&, const ClickInfo&) override {}
    void OnFileDropped(unsigned, const std::string&) override {}

  private:
    CWordRecord& Add(const std::string& name, const std::string& size, bool checked, int progress) {
        m_jobs.push_back(std::make_unique<CWordRecord>());
        CWordRecord& job = *m_jobs.back();
        job.m_strFileName = name;
        job.m_strFilePath = "/home/user/Documents/" + name;
        job.m_strSizeText = size;
        job.m_bChecked = checked;
        job.m_bShowProgress = progress >= 0;
        job.m_nProgress = std::max(progress, 0);
        return job;
    }

    CImageList m_images;
    CMyCustomizeList* m_list;
    std::vector<std::unique_ptr<CWordRecord>> m_jobs;
};

bool Save(QWidget& widget, const QString& path) {
    widget.show();
    QApplication::processEvents();
    const bool saved = widget.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", path.toLocal8Bit().constData());
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ui-preview OUTPUT-FOLDER\n");
        return 2;
    }
    QApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);
    // A build tool: the program folder it draws from is the build's.
    const std::string programFolder = TESSALINE_PROGRAM_DIR "/";
    LoadLanguages((programFolder + "Languages/*.xml").c_str());
    const QImage icon(QString::fromStdString(programFolder + "skins/Default/SettingsIcon.bmp"));

    bool saved = true;
    for (const char* language : {kLanguageEnglish, kLanguageChinese}) {
        SelectLanguage(language);
        const QString suffix = language == kLanguageEnglish ? "en" : "zh";
        PreviewWindow window(icon);
        window.findChild<CMyCustomizeList*>()->setFocus();
        saved &= Save(window, folder + "/batch_list_" + suffix + ".png");
        CSettingDialog dialog;
        dialog.m_options.m_strTitle = "Quarterly report";
        dialog.m_options.m_strOwnerPassword = "secret";
        dialog.m_options.m_bNoCopy = 1;
        dialog.m_options.m_bKeepLinks = 1;
        saved &= Save(dialog, folder + "/setting_dialog_" + suffix + ".png");
        CMainSettingDlg languages;
        languages.m_arrLanguageNames = LanguageNames();
        languages.m_nLanguageCount = static_cast<int>(languages.m_arrLanguageNames.size());
        languages.m_nSelIndex = languages.m_nLanguageCount - 1;
        saved &= Save(languages, folder + "/language_dialog_" + suffix + ".png");
        CAboutDlg about(nullptr, programFolder);
        saved &= Save(about, folder + "/about_box_" + suffix + ".png");
        saved &= Save(*MakeHelpMenu(nullptr), folder + "/help_menu_" + suffix + ".png");
    }
    return saved ? 0 : 1;
}
