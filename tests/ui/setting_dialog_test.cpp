// The PDF settings dialog with a person's answers: OK without changes, Cancel after changes, the
// apply-to-all box, and the job options it edits.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "components/vernello/Vernello.h"
#include "lang/LanguageProvider.h"
#include "tests/ui/modal_dialog.h"
#include "ui/CSettingDialog.h"
#include "ui/SettingDialogRunner.h"

namespace {

CPdfOptions FilledOptions() {
    CPdfOptions options;
    options.m_strTitle = "Annual report";
    options.m_strSubject = "Finance & figures";
    options.m_strAuthor = "Li Wei";
    options.m_strKeywords = "report, 2026";
    options.m_strOwnerPassword = "owner";
    options.m_strUserPassword = "user";
    options.m_bNoPrint = 1;
    options.m_bNoCopy = 1;
    options.m_bKeepBookmarks = 1;
    return options;
}

class SettingDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        LoadLanguages(TESSALINE_PROGRAM_DIR "/Languages/*.xml");
        SelectLanguage(kLanguageEnglish);
    }
    CSettingDialogRunner runner{nullptr};
};

TEST_F(SettingDialog, OkWithoutChangesGivesBackWhatItWasGivenAndCancelGivesNothing) {
    CPdfOptions options = FilledOptions();
    bool applyToAll = true;
    WhenShown<CSettingDialog>([](CSettingDialog& dialog) {
        EXPECT_EQ(Item<QLineEdit>(dialog, 1036)->echoMode(), QLineEdit::Password);
        EXPECT_EQ(Item<QLineEdit>(dialog, 1037)->echoMode(), QLineEdit::Password);
        EXPECT_EQ(Item<QLineEdit>(dialog, 1033)->text(), "Finance & figures");
        Press(dialog, 1);
    });
    ASSERT_TRUE(runner.Run(options, applyToAll));
    EXPECT_EQ(options, FilledOptions());
    EXPECT_FALSE(applyToAll);

    WhenShown<CSettingDialog>([](CSettingDialog& dialog) {
        Item<QLineEdit>(dialog, 1032)->setText("changed");
        Item<QCheckBox>(dialog, 1040)->click();
        Item<QCheckBox>(dialog, 1052)->click();
        Press(dialog, 2);
    });
    EXPECT_FALSE(runner.Run(options, applyToAll));
    EXPECT_EQ(options, FilledOptions());
}

TEST_F(SettingDialog, ApplyToAllCountsOnlyWhenTickedAtOkAndReachesEveryJob) {
    JobList jobs;
    for (int k = 0; k < 3; ++k)
        jobs.push_back(std::make_unique<CWordRecord>());
    jobs[0]->m_bChecked = true;

    // Ticked and cleared again: only this job.
    WhenShown<CSettingDialog>([](CSettingDialog& dialog) {
        Item<QCheckBox>(dialog, 1052)->click();
        Item<QCheckBox>(dialog, 1052)->click();
        Item<QLineEdit>(dialog, 1034)->setText("Only me");
        Press(dialog, 1);
    });
    EditJobOptions(jobs, 1, runner);
    EXPECT_EQ(jobs[1]->m_strAuthor, "Only me");
    EXPECT_TRUE(jobs[1]->m_bOptionsSet);
    EXPECT_FALSE(jobs[0]->m_bOptionsSet || jobs[2]->m_bOptionsSet);

    // Opened again: the job's values, the box cleared; ticked now, the values go everywhere.
    WhenShown<CSettingDialog>([](CSettingDialog& dialog) {
        EXPECT_EQ(Item<QLineEdit>(dialog, 1034)->text(), "Only me");
        EXPECT_FALSE(Item<QCheckBox>(dialog, 1052)->isChecked());
        Item<QCheckBox>(dialog, 1054)->click();
        Item<QCheckBox>(dialog, 1052)->click();
        Press(dialog, 1);
    });
    EditJobOptions(jobs, 1, runner);
    for (const auto& job : jobs) {
        EXPECT_EQ(job->m_strAuthor, "Only me");
        EXPECT_TRUE(job->m_bKeepLinks);
        EXPECT_TRUE(job->m_bOptionsSet);
    }
}

TEST_F(SettingDialog, SpeaksTheSelectedLanguage) {
    SelectLanguage(kLanguageChinese);
    CPdfOptions options;
    bool applyToAll = false;
    WhenShown<CSettingDialog>([](CSettingDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle().toStdString(),
                  LangText("PDFSettingDlgUI", "PDFSettingDlgUITitle"));
        EXPECT_EQ(Item<QCheckBox>(dialog, 1055)->text().toStdString(),
                  LangText("PDFSettingDlgUI", "Bookmark"));
        EXPECT_EQ(Item<QPushButton>(dialog, 2)->text().toStdString(),
                  LangText("SettingDlgUI", "Cancel"));
        EXPECT_FALSE(Item<QCheckBox>(dialog, 1038)->toolTip().isEmpty());
        Press(dialog, 2);
    });
    runner.Run(options, applyToAll);
    EXPECT_NE(LangText("PDFSettingDlgUI", "PDFSettingDlgUITitle"), "PDF Settings");
}

}  // namespace
