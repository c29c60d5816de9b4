// One job of a batch: the Word document, how its row shows it, the PDF options the user set for
// it, and its progress and result.
#pragma once

#include <atomic>
#include <string>

#include "platform/win_types.h"

class CWordRecord {
  public:
    CWordRecord() = default;
    CWordRecord(const CWordRecord&) = delete;
    CWordRecord& operator=(const CWordRecord&) = delete;
    virtual ~CWordRecord() = default;

    std::string m_strFilePath;  // full path of the document
    std::string m_strUserPassword;
    std::string m_strOwnerPassword;
    std::string m_strTitle;
    std::string m_strSubject;
    std::string m_strAuthor;
    std::string m_strKeywords;
    INT m_bNoPrint = 0;
    INT m_bNoChange = 0;
    INT m_bNoCopy = 0;
    INT m_bKeepLinks = 0;         // carry the document's hyperlinks into the PDF
    INT m_bKeepBookmarks = 0;     // make PDF bookmarks from the document's outline
    INT m_bOptionsSet = 0;        // the user confirmed PDF options for this job
    std::string m_strFileName;    // the part of the path after its last separator
    std::string m_strSizeText;    // the size as the list shows it
    std::string m_strOutputName;  // the PDF's file name; empty until one is produced
    std::string m_strOutputPath;  // the PDF's full path
    // Written by the worker threads while the list draws the row on the UI thread, hence
    // atomic; everything else of a job changes hands only with the batch's leg hand-overs.
    std::atomic<INT> m_nProgress{0};           // percent shown in the row
    bool m_bChecked = false;                   // selected for conversion
    std::atomic<bool> m_bDone{false};          // has been through a conversion
    std::atomic<bool> m_bShowProgress{false};  // a progress bar is drawn in the row
    // The job's last conversion failed. Set on the UI thread when the result arrives; the reason
    // is written by the failing leg before it posts that result, so a row that shows the mark
    // reads a complete reason.
    std::atomic<bool> m_bFailed{false};
    std::string m_strFailure;  // why it failed, in the selected language
};

// Whether the job reads its document's hyperlinks or headings before printing it.
inline bool KeepsLinksOrBookmarks(const CWordRecord& job) {
    return job.m_bKeepLinks != 0 || job.m_bKeepBookmarks != 0;
}
