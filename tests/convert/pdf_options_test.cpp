// The option rules: what the settings dialog is shown, what OK and Cancel do, and copying one
// job's options to every other job.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "convert/PdfOptions.h"

namespace {

// Stands in for the settings dialog: records what it was shown, then answers as told.
class ScriptedDialog : public IPdfSettingsDialog {
  public:
    bool Run(CPdfOptions& options, bool& applyToAll) override {
        ++runs;
        shown = options;
        shownApplyToAll = applyToAll;
        if (!ok) {
            options = CPdfOptions{};  // whatever the dialog did to its fields is not read
            options.m_strTitle = "edited then cancelled";
            applyToAll = true;
            return false;
        }
        if (answer) {
            options = *answer;
        }
        applyToAll = tickApplyToAll;
        return true;
    }

    bool ok = true;
    std::optional<CPdfOptions> answer;  // none: OK without a change
    bool tickApplyToAll = false;
    int runs = 0;
    CPdfOptions shown;
    bool shownApplyToAll = true;
};

CPdfOptions Sample(const std::string& tag) {
    CPdfOptions o;
    o.m_strTitle = tag + " title";
    o.m_strSubject = tag + " subject";
    o.m_strAuthor = tag + " author";
    o.m_strKeywords = tag + " keywords";
    o.m_strOwnerPassword = tag + " owner";
    o.m_strUserPassword = tag + " user";
    o.m_bNoPrint = 1;
    o.m_bNoChange = 0;
    o.m_bNoCopy = 1;
    o.m_bKeepLinks = 1;
    o.m_bKeepBookmarks = 1;
    return o;
}

JobList ThreeJobs() {
    JobList jobs;
    for (int i = 0; i < 3; ++i) {
        jobs.push_back(std::make_unique<CWordRecord>());
        jobs.back()->m_strFilePath = "/docs/" + std::to_string(i) + ".docx";
        jobs.back()->m_bChecked = true;
    }
    return jobs;
}

}  // namespace

TEST(PdfOptionsTest, OkWithoutAChangeMarksTheOptionsSetAndCancelChangesNothing) {
    JobList jobs = ThreeJobs();
    ScriptedDialog dialog;
    dialog.ok = false;
    EditJobOptions(jobs, 1, dialog);
    EXPECT_EQ(dialog.runs, 1);
    EXPECT_EQ(ReadPdfOptions(*jobs[1]), CPdfOptions{});
    EXPECT_EQ(jobs[1]->m_bOptionsSet, 0);

    dialog.ok = true;
    EditJobOptions(jobs, 1, dialog);
    EXPECT_EQ(ReadPdfOptions(*jobs[1]), CPdfOptions{});
    EXPECT_EQ(jobs[1]->m_bOptionsSet, 1);
    EXPECT_EQ(jobs[0]->m_bOptionsSet, 0);
    EXPECT_EQ(jobs[2]->m_bOptionsSet, 0);

    EditJobOptions(jobs, 3, dialog);  // no such job: no dialog
    EXPECT_EQ(dialog.runs, 2);
}

TEST(PdfOptionsTest, TheDialogShowsTheJobsValuesWithApplyToAllCleared) {
    JobList jobs = ThreeJobs();
    ScriptedDialog dialog;
    dialog.answer = Sample("first");
    dialog.tickApplyToAll = true;
    EditJobOptions(jobs, 0, dialog);
    EXPECT_FALSE(dialog.shownApplyToAll);

    dialog.answer.reset();
    dialog.tickApplyToAll = false;
    dialog.shownApplyToAll = true;
    EditJobOptions(jobs, 2, dialog);  // its values came from job 0's apply-to-all
    EXPECT_EQ(dialog.shown, Sample("first"));
    EXPECT_FALSE(dialog.shownApplyToAll) << "the box starts cleared every time";
}

TEST(PdfOptionsTest, ApplyToAllFromTheSecondOfThreeReachesUncheckedJobsToo) {
    JobList jobs = ThreeJobs();
    jobs[2]->m_bChecked = false;
    WritePdfOptions(Sample("old"), *jobs[0]);
    ScriptedDialog dialog;
    dialog.answer = Sample("second");
    dialog.answer->m_bNoChange = 1;
    dialog.answer->m_bKeepLinks = 0;
    dialog.tickApplyToAll = true;
    EditJobOptions(jobs, 1, dialog);

    for (const auto& job : jobs) {
        SCOPED_TRACE(job->m_strFilePath);
        EXPECT_EQ(ReadPdfOptions(*job), *dialog.answer);
        EXPECT_EQ(job->m_bOptionsSet, 1);
    }
    // Only the options travel.
    EXPECT_EQ(jobs[0]->m_strFilePath, "/docs/0.docx");
    EXPECT_TRUE(jobs[0]->m_bChecked);
    EXPECT_FALSE(jobs[2]->m_bChecked);
}

TEST(PdfOptionsTest, TheSetMarkStaysWhenDefaultsAreConfirmedOrCopied) {
    JobList jobs = ThreeJobs();
    ScriptedDialog dialog;
    dialog.answer = Sample("x");
    EditJobOptions(jobs, 0, dialog);
    ASSERT_EQ(jobs[0]->m_bOptionsSet, 1);

    dialog.answer = CPdfOptions{};  // back to every default
    EditJobOptions(jobs, 0, dialog);
    EXPECT_EQ(ReadPdfOptions(*jobs[0]), CPdfOptions{});
    EXPECT_EQ(jobs[0]->m_bOptionsSet, 1);

    // Applying a never-set job's options to all still marks every other job as set, and the
    // source keeps its own mark.
    ApplyOptionsToAll(jobs, 2);
    EXPECT_EQ(jobs[0]->m_bOptionsSet, 1);
    EXPECT_EQ(jobs[1]->m_bOptionsSet, 1);
    EXPECT_EQ(jobs[2]->m_bOptionsSet, 0);
}
