// The command line's host for the controller: the headless message loop, with each job's
// progress drawn as a bar while standard output is a terminal, one line per finished job, and
// the program's questions answered from the command line.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "app/HeadlessHost.h"
#include "app/cli/ReadAhead.h"

class CWordRecord;

class CCliHost : public CHeadlessHost {
  public:
    enum class Outcome { NotRun, Succeeded, Failed };

    // `keepExisting` answers No to the question whether existing PDFs are overwritten.
    CCliHost(std::FILE* out, std::FILE* err, bool progressBars, bool keepExisting);

    void Attach(CConversionController* controller);

    // Each job's outcome, in job order; jobs the batch never reached stay NotRun.
    std::vector<Outcome> Outcomes() const;
    // Prints a failure line for every job the batch never reached, with the last message the
    // program showed as the reason.
    void ReportJobsNotRun();

    void RedrawJob(unsigned index) override;
    void NoteJobFailure(unsigned job, const std::string& reason) override;
    void NoteWaitingForAnotherBatch() override;
    void PostMessageToUi(UINT message, WPARAM wParam, LPARAM lParam) override;

  protected:
    // Once the word processor is done with a job's document, the next jobs' documents are read
    // ahead, up to kReadAheadDocuments of them, while this job's PDF is made; before the next
    // job starts, the reading is paused (or held, see ReadAhead.h).
    void BeforeDispatch(UINT message) override;
    void AfterDispatch(UINT message) override;

  private:
    // Enough to keep the offices busy through long documents' PDFs, few enough that the word
    // processor still keeps the first when its job comes (RecentDocuments::kMostKept).
    static constexpr std::size_t kReadAheadDocuments = 20;
    // One reader per core, two at the most: the word processor loads documents read at the same
    // time in offices of their own, so a second reader keeps the second core busy.
    static unsigned ReadAheadReaders();

    // Up to `most` of the jobs the controller takes after the current one, in order.
    std::vector<const CWordRecord*> NextJobs(std::size_t most) const;
    bool CurrentJobRead() const;
    // The next job keeps links or bookmarks and its document has been read ahead.
    bool NextJobRead() const;
    void ReadNextJobsAhead();
    int Answer(const ShownMessage& message);
    // Jobs with that outcome so far; the caller holds mutex_.
    unsigned CountOutcomes(Outcome outcome) const;
    void PrintResultLine(unsigned job, bool succeeded, const std::string& detail);
    void ClearProgressLine();

    std::FILE* out_;
    std::FILE* err_;
    const bool progressBars_;
    const bool keepExisting_;
    CConversionController* controller_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<Outcome> outcomes_;
    std::vector<std::string> failures_;
    std::string lastMessage_;
    bool progressShown_ = false;
    CReadAhead readAhead_{ReadAheadReaders()};
};
