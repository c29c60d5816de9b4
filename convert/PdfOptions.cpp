#include "convert/PdfOptions.h"

CPdfOptions ReadPdfOptions(const CWordRecord& job) {
    CPdfOptions o;
    o.m_strTitle = job.m_strTitle;
    o.m_strSubject = job.m_strSubject;
    o.m_strAuthor = job.m_strAuthor;
    o.m_strKeywords = job.m_strKeywords;
    o.m_strOwnerPassword = job.m_strOwnerPassword;
    o.m_strUserPassword = job.m_strUserPassword;
    o.m_bNoPrint = job.m_bNoPrint;
    o.m_bNoChange = job.m_bNoChange;
    o.m_bNoCopy = job.m_bNoCopy;
    o.m_bKeepLinks = job.m_bKeepLinks;
    o.m_bKeepBookmarks = job.m_bKeepBookmarks;
    return o;
}

void WritePdfOptions(const CPdfOptions& o, CWordRecord& job) {
    job.m_strTitle = o.m_strTitle;
    job.m_strSubject = o.m_strSubject;
    job.m_strAuthor = o.m_strAuthor;
    job.m_strKeywords = o.m_strKeywords;
    job.m_strOwnerPassword = o.m_strOwnerPassword;
    job.m_strUserPassword = o.m_strUserPassword;
    job.m_bNoPrint = o.m_bNoPrint;
    job.m_bNoChange = o.m_bNoChange;
    job.m_bNoCopy = o.m_bNoCopy;
    job.m_bKeepLinks = o.m_bKeepLinks;
    job.m_bKeepBookmarks = o.m_bKeepBookmarks;
}

void EditJobOptions(JobList& jobs, std::size_t jobIndex, IPdfSettingsDialog& dialog) {
    if (jobIndex >= jobs.size() || !jobs[jobIndex]) {
        return;
    }
    CWordRecord& job = *jobs[jobIndex];
    CPdfOptions options = ReadPdfOptions(job);
    bool applyToAll = false;  // the box starts cleared every time
    if (!dialog.Run(options, applyToAll)) {
        return;
    }
    WritePdfOptions(options, job);
    job.m_bOptionsSet = 1;
    if (applyToAll) {
        ApplyOptionsToAll(jobs, jobIndex);
    }
}

void ApplyOptionsToAll(JobList& jobs, std::size_t sourceIndex) {
    if (sourceIndex >= jobs.size() || !jobs[sourceIndex]) {
        return;
    }
    const CPdfOptions options = ReadPdfOptions(*jobs[sourceIndex]);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        if (i != sourceIndex && jobs[i]) {
            WritePdfOptions(options, *jobs[i]);
            jobs[i]->m_bOptionsSet = 1;
        }
    }
}
