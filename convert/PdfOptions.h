// A job's PDF options: document information, passwords, permission restrictions, and whether
// hyperlinks and bookmarks are carried into the PDF. They live in the job record; this is how the
// settings dialog edits them and how one job's options are copied to every other job.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "convert/WordRecord.h"

// The eleven values the settings dialog shows and hands back (everything of the option set but
// the "options set" mark).
struct CPdfOptions {
    std::string m_strTitle;
    std::string m_strSubject;
    std::string m_strAuthor;
    std::string m_strKeywords;
    std::string m_strOwnerPassword;
    std::string m_strUserPassword;
    INT m_bNoPrint = 0;
    INT m_bNoChange = 0;
    INT m_bNoCopy = 0;
    INT m_bKeepLinks = 0;
    INT m_bKeepBookmarks = 0;

    bool operator==(const CPdfOptions&) const = default;
};

CPdfOptions ReadPdfOptions(const CWordRecord& job);
// Writes the eleven values into the job; the "options set" mark is left alone.
void WritePdfOptions(const CPdfOptions& options, CWordRecord& job);

// The PDF settings dialog as the options code uses it: shown modally with the job's values and a
// cleared "apply to all files" box. On OK it returns true with `options` holding the confirmed
// values and `applyToAll` the box's state; on Cancel or close it returns false, and its outputs
// are not read.
class IPdfSettingsDialog {
  public:
    virtual ~IPdfSettingsDialog() = default;
    virtual bool Run(CPdfOptions& options, bool& applyToAll) = 0;
};

using JobList = std::vector<std::unique_ptr<CWordRecord>>;

// Shows the settings dialog for jobs[jobIndex] and applies the outcome: on OK the values go into
// the job, which is marked as having its options set, and with "apply to all" checked they go to
// every other job as well. Cancel changes nothing. An index outside the list does nothing.
void EditJobOptions(JobList& jobs, std::size_t jobIndex, IPdfSettingsDialog& dialog);

// Copies the eleven values of jobs[sourceIndex] to every other job, checked for conversion or
// not, and marks each as having its options set.
void ApplyOptionsToAll(JobList& jobs, std::size_t sourceIndex);
