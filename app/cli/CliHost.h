// The command line's host for the controller: the headless message loop, with each job's
// progress drawn as a bar while standard output is a terminal, one line per finished job, and
// the program's questions answered from the command line.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "HeadlessHost.h"
#include "ReadAhead.h"

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
    void PostMessageToUi(UINT message, WPARAM wParam, LPARAM lParam) override;

  protected:
    // Once the word processor is done with a job's document, the next jobs' documents are read
    // ahead, up to kReadAheadDocuments of them, while this job's PDF is made; the next job
    // starts once the document being read is done.
    void BeforeDispatch(UINT message) override;
    void AfterDispatch(UINT message) override;

  private:
    // Enough to keep the office busy through a long document's PDF, few enough that the
    // word processor still keeps the first when its job comes.
    static constexpr std::size_t kReadAheadDocuments = 4;

    bool CurrentJobRead() const;
    void ReadNextJobsAhead();
    int Answer(const ShownMessage& message);
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
    CReadAhead readAhead_;
};
