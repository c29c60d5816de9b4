// The conversion controller: carries a batch through its jobs, one at a time, in three legs.
// Leg 1 (the preparation thread) makes the virtual printer the default, opens the document in
// the word processor and harvests it; leg 2 (the UI thread) prints it and waits for the pages;
// leg 3 (the PDF thread) builds the PDF. Legs hand over by starting a thread or posting a
// message to the UI thread; a result message closes each job and starts the next checked one.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "convert/ControllerHost.h"
#include "convert/ConversionLegs.h"
#include "convert/HarvestResults.h"
#include "convert/SharedStateLock.h"
#include "convert/WordRecord.h"
#include "platform/user32.h"

constexpr UINT WM_JOB_FINISHED = WM_USER + 101;  // 1125, wParam: the job's result code
constexpr UINT WM_JOB_PREPARED = WM_USER + 102;  // 1126

constexpr WPARAM JOB_FAILED = 0;
constexpr WPARAM JOB_SUCCEEDED = 1;
constexpr WPARAM JOB_CANCELED = 2;

class CConversionController {
  public:
    CConversionController(IControllerHost& host, const ConversionLegs& legs);
    CConversionController(const CConversionController&) = delete;
    CConversionController& operator=(const CConversionController&) = delete;
    // Waits for the worker threads still running.
    ~CConversionController();

    // The Convert command (UI thread).
    void OnConvert();
    // Handlers of WM_JOB_PREPARED and WM_JOB_FINISHED (UI thread); return 0.
    LRESULT OnJobPrepared(WPARAM wParam, LPARAM lParam);
    LRESULT OnJobFinished(WPARAM wParam, LPARAM lParam);
    // Dispatches a message posted through the host; false for a message that is not ours.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr);

    // True while no batch runs and no worker of the controller is active.
    bool IsIdle() const;

    // Empties the harvest results, so that nothing of an earlier job reaches this one's PDF.
    void ClearHarvestResults();
    // The PDF thread has read the job's printed pages: the printer, the pipe and the page files
    // are free for another batch of the user.
    void PagesRead();
    // For a process that is being ended: puts the user's default printer back at once.
    void RestoreUserPrinter();
    // Why the current job failed, in the selected language: kept in the job for its row and
    // handed to the host. Called by the failing leg just before it posts JOB_FAILED.
    void ReportJobFailure(const std::string& reason);

    // Batch state. The job sequence and the fields below change hands between the UI thread
    // and one worker at a time, at the legs' hand-overs.
    std::vector<std::unique_ptr<CWordRecord>> m_jobs;
    unsigned m_nCurrentJob = 0;
    std::string m_strCurrentFile;
    std::string m_strOutputFolder;  // ends in a separator
    std::string m_strIniFile;
    std::thread m_hPdfThread;
    DWORD m_dwPdfThreadId = 0;
    std::atomic<INT> m_bRunning{0};
    INT m_bRenameExisting = 0;
    std::atomic<INT> m_bExitRequested{0};  // set by the close command while a batch runs
    // The job's harvest results, written in leg 1, read in leg 3; m_nLevel uses indices 1-9.
    std::vector<CHyperlinkRecord> m_links;
    int m_nLinkCount = 0;
    std::vector<CBookmarkEntry> m_bookmarks;
    int m_nBookmarkCount = 0;
    int m_nLevel[10] = {};
    // Levels whose counter was left by a heading that a higher-level one has since followed.
    bool m_bLevelStale[10] = {};

    IControllerHost& Host() { return host_; }

  private:
    // The batch ends on the user's exit request: no further job starts and the window closes.
    void EndCanceledBatch();
    // Leg 1, on the preparation thread.
    void PrepareJobThread();
    void StartPreparation();
    void StopBatch();
    bool MakeVirtualPrinterDefault();
    // A message box with the MsgBox section's caption.
    int ShowMessage(const char* key, UINT type);
    void JoinPreparationThread();

    IControllerHost& host_;
    ConversionLegs legs_;
    // Held from the printer switch of leg 1 until the job's pages are read (or the job ends).
    CSharedStateLock sharedState_;
    std::thread preparation_;
    std::atomic<bool> preparing_{false};
    // Results of this batch's jobs so far, for the message that closes it (UI thread only).
    unsigned batchJobs_ = 0;
    unsigned batchConverted_ = 0;
};

// The message that closes a batch: CF when every job was converted, else CFFailed with the
// counts filled in.
std::string BatchFinishedText(unsigned converted, unsigned jobs);
