#include "convert/ConversionController.h"

#include <sys/stat.h>

#include <algorithm>
#include <utility>

#include "contracts/Installation.h"
#include "convert/JobFailure.h"
#include "convert/PdfThread.h"
#include "convert/WordAutomation.h"
#include "lang/LanguageProvider.h"
#include "platform/com.h"

namespace {

constexpr char kMsgBox[] = "MsgBox";
constexpr char kCanceledTitle[] = "Conversion Canceled!";

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// The word processor's document collection and the job's document opened in it, released in
// that order before the application quits.
struct OpenedDocument {
    int majorVersion = 0;
    ComPtr<IDispatch> documents;
    ComPtr<IDispatch> document;

    void Release() {
        document.Reset();
        documents.Reset();
    }
};

// Reads the version and the collection and opens the document in the form that version takes;
// a failure at any of these steps raises _com_error.
void OpenInWord(IDispatch* application, const std::string& path, OpenedDocument* opened) {
    opened->majorVersion = word::GetMajorVersion(application);
    opened->documents = word::GetDocuments(application);
    opened->document = word::OpenDocument(opened->documents.Get(), path, opened->majorVersion);
}

}  // namespace

CConversionController::CConversionController(IControllerHost& host, const ConversionLegs& legs)
    : host_(host), legs_(legs), sharedState_(legs.printer) {}

CConversionController::~CConversionController() {
    JoinPreparationThread();
    if (m_hPdfThread.joinable()) {
        m_hPdfThread.join();
    }
}

bool CConversionController::IsIdle() const {
    return !m_bRunning && !preparing_;
}

void CConversionController::ClearHarvestResults() {
    m_links.clear();
    m_nLinkCount = 0;
    m_bookmarks.clear();
    m_nBookmarkCount = 0;
    std::fill(std::begin(m_nLevel), std::end(m_nLevel), 0);
    std::fill(std::begin(m_bLevelStale), std::end(m_bLevelStale), false);
}

void CConversionController::PagesRead() {
    sharedState_.Release();
}

void CConversionController::RestoreUserPrinter() {
    sharedState_.RestoreUserPrinter();
}

void CConversionController::ReportJobFailure(const std::string& reason) {
    if (m_nCurrentJob < m_jobs.size()) {
        m_jobs[m_nCurrentJob]->m_strFailure = reason;
    }
    host_.NoteJobFailure(m_nCurrentJob, reason);
}

std::string BatchFinishedText(unsigned converted, unsigned jobs) {
    if (converted >= jobs) {
        return LangText(kMsgBox, "CF");
    }
    return FillPlaceholders(LangText(kMsgBox, "CFFailed"),
                            {std::to_string(converted), std::to_string(jobs)});
}

int CConversionController::ShowMessage(const char* key, UINT type) {
    return host_.ShowMessageBox(LangText(kMsgBox, key), LangText(kMsgBox, "MsgBoxTitle"), type);
}

void CConversionController::OnConvert() {
    host_.UpdateData(true);
    if (m_jobs.empty()) {
        ShowMessage("CHECKONE", MB_OK | MB_ICONEXCLAMATION);
        return;
    }

    m_strOutputFolder = host_.DestinationDir();
    // An empty box names no folder; the separator alone would make it the root folder.
    const bool named = !m_strOutputFolder.empty();
    if (named && m_strOutputFolder.back() != '/') {
        m_strOutputFolder += '/';
    }
    // A file of that name is no output folder either: every job would fail to save its PDF.
    if (!named || !IsFolder(m_strOutputFolder)) {
        ShowMessage("Folder", MB_OK | MB_ICONEXCLAMATION);
        return;
    }

    for (auto& job : m_jobs) {
        if (job->m_bChecked) {
            job->m_strOutputName.clear();
            job->m_strOutputPath.clear();
            job->m_bFailed = false;
            job->m_strFailure.clear();
        }
    }

    // One question per Convert, at the first existing PDF of any job, checked or not.
    for (const auto& job : m_jobs) {
        // The PDF the document would get, named as the PDF thread names it.
        if (Exists(MakePdfOutputPath(job->m_strFilePath, m_strOutputFolder, false))) {
            if (ShowMessage("Rename", MB_YESNO) == IDNO) {
                m_bRenameExisting = 1;
            }
            break;
        }
    }

    m_nCurrentJob = 0;
    while (m_nCurrentJob < m_jobs.size() && !m_jobs[m_nCurrentJob]->m_bChecked) {
        ++m_nCurrentJob;
    }
    if (m_nCurrentJob >= m_jobs.size()) {
        ShowMessage("CHECKONE", MB_OK | MB_ICONEXCLAMATION);
        return;
    }

    m_strCurrentFile = m_jobs[m_nCurrentJob]->m_strFilePath;
    host_.UpdateData(false);
    // Marked running before Convert returns, so a second Convert cannot start a second
    // preparation of the same job.
    m_bRunning = 1;
    host_.EnableBatchButtons(false);
    batchJobs_ = 0;
    batchConverted_ = 0;
    StartPreparation();
}

void CConversionController::StartPreparation() {
    JoinPreparationThread();
    preparing_ = true;
    preparation_ = std::thread([this] {
        PrepareJobThread();
        preparing_ = false;
    });
}

void CConversionController::JoinPreparationThread() {
    if (preparation_.joinable()) {
        preparation_.join();
    }
}

void CConversionController::StopBatch() {
    sharedState_.Release();
    m_bRunning = 0;
    m_bRenameExisting = 0;
    host_.EnableBatchButtons(true);
    host_.Repaint();
}

bool CConversionController::MakeVirtualPrinterDefault() {
    return sharedState_.MakeDefaultPrinter(tessaline::contracts::kVirtualPrinter);
}

void CConversionController::PrepareJobThread() {
    m_bRunning = 1;
    host_.EnableBatchButtons(false);
    host_.Repaint();
    ClearHarvestResults();

    // Another batch of the user may be printing: it holds the printer and the hand-off until
    // its pages are read. The user may leave meanwhile.
    const bool stateHeld = sharedState_.Acquire([this] { return m_bExitRequested == 0; },
                                                [this] { host_.NoteWaitingForAnotherBatch(); });
    if (!stateHeld && m_bExitRequested) {
        host_.PostMessageToUi(WM_JOB_FINISHED, JOB_CANCELED, 0);
        return;
    }
    if (!stateHeld || !MakeVirtualPrinterDefault()) {
        ShowMessage("SetPrinter", MB_OK | MB_ICONSTOP);
        StopBatch();
        return;
    }
    HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (apartment != S_OK) {
        // Only a fresh apartment of our own will do; a mere S_FALSE still needs balancing.
        if (SUCCEEDED(apartment)) {
            CoUninitialize();
        }
        StopBatch();
        return;
    }

    ComPtr<IDispatch> application = word::CreateWordApplication();
    if (!application) {
        host_.ShowMessageBox(LangText(kMsgBox, "PInstall"), host_.DefaultCaption(), MB_OK);
        CoUninitialize();
        StopBatch();
        return;
    }

    WPARAM outcome = JOB_FAILED;
    UINT message = WM_JOB_FINISHED;
    OpenedDocument opened;
    try {
        // A failure reading the version or the collection counts as a failure to open.
        OpenInWord(application.Get(), m_strCurrentFile, &opened);
        const CWordRecord& job = *m_jobs[m_nCurrentJob];
        bool harvested = true;
        if (KeepsLinksOrBookmarks(job) && legs_.harvester != nullptr) {
            harvested = legs_.harvester->HarvestDocument(*this, m_strCurrentFile,
                                                         opened.document.Get()) != 0;
        }
        opened.Release();
        word::QuitWord(application.Get());
        message = harvested ? WM_JOB_PREPARED : WM_JOB_FINISHED;
        outcome = harvested ? 0 : JOB_CANCELED;
    } catch (const _com_error& error) {
        opened.Release();
        word::QuitWordQuietly(application.Get());
        message = WM_JOB_FINISHED;
        outcome = JOB_FAILED;
        ReportJobFailure(JobFailureText(LangText(kJobFailure, "Open"), DescribeComError(error)));
    }
    application.Reset();
    CoUninitialize();
    if (message != WM_JOB_PREPARED) {
        sharedState_.Release();
    }
    host_.PostMessageToUi(message, outcome, 0);
}

LRESULT CConversionController::OnJobPrepared(WPARAM, LPARAM) {
    JoinPreparationThread();
    ComPtr<IDispatch> application = word::CreateWordApplication();
    if (!application) {
        sharedState_.Release();
        host_.ShowMessageBox(LangText(kMsgBox, "PInstall"), host_.DefaultCaption(), MB_OK);
        host_.CloseMainWindow();
        return 0;
    }

    OpenedDocument opened;
    try {
        OpenInWord(application.Get(), m_strCurrentFile, &opened);
        word::PrintOutDocument(opened.document.Get(), opened.majorVersion);
    } catch (const _com_error& error) {
        opened.Release();
        word::QuitWordQuietly(application.Get());
        sharedState_.Release();
        ReportJobFailure(JobFailureText(LangText(kJobFailure, "Print"), DescribeComError(error)));
        host_.PostMessageToUi(WM_JOB_FINISHED, JOB_FAILED, 0);
        return 0;
    }
    // The pipe is created only once the print request returned; the extractor's connection
    // means the pages and the hand-off file are complete.
    const bool pagesReady = legs_.handOff->WaitForPages();
    opened.Release();
    word::QuitWordQuietly(application.Get());
    application.Reset();
    if (!pagesReady) {
        sharedState_.Release();
        ReportJobFailure(LangText(kJobFailure, "Pages"));
        host_.PostMessageToUi(WM_JOB_FINISHED, JOB_FAILED, 0);
        return 0;
    }

    m_strIniFile = legs_.handOff->ReadHandOffPath();
    m_hPdfThread = std::thread([this] { legs_.pdfBuilder->RunPdfThread(*this); });
    m_dwPdfThreadId = static_cast<DWORD>(std::hash<std::thread::id>{}(m_hPdfThread.get_id()));
    return 0;
}

LRESULT CConversionController::OnJobFinished(WPARAM wParam, LPARAM) {
    JoinPreparationThread();
    if (m_hPdfThread.joinable()) {
        // The PDF thread's last act was to post this result.
        m_hPdfThread.join();
        m_dwPdfThreadId = 0;
    }
    sharedState_.Release();  // whichever leg ended the job

    if (wParam == JOB_CANCELED) {
        EndCanceledBatch();
        return 0;
    }

    if (m_nCurrentJob < m_jobs.size()) {
        CWordRecord& job = *m_jobs[m_nCurrentJob];
        job.m_bShowProgress = false;
        job.m_nProgress = 0;
        job.m_bDone = true;
        job.m_bChecked = false;
        if (wParam == JOB_FAILED) {
            if (job.m_strFailure.empty()) {
                // The row's reason is never blank, whichever leg gave up without saying why.
                job.m_strFailure = LangText(kJobFailure, "Unknown");
            }
            job.m_bFailed = true;
        }
        host_.RedrawJob(m_nCurrentJob);
    }
    ++batchJobs_;
    if (wParam == JOB_SUCCEEDED) {
        ++batchConverted_;
    }
    // The user asked to leave: within a job only the harvest hears it, so every job's end does.
    if (m_bExitRequested) {
        EndCanceledBatch();
        return 0;
    }

    ++m_nCurrentJob;
    while (m_nCurrentJob < m_jobs.size() && !m_jobs[m_nCurrentJob]->m_bChecked) {
        ++m_nCurrentJob;
    }
    if (m_nCurrentJob < m_jobs.size()) {
        m_strCurrentFile = m_jobs[m_nCurrentJob]->m_strFilePath;
        host_.UpdateData(false);
        StartPreparation();
        return 0;
    }

    m_bRenameExisting = 0;
    m_bRunning = 0;
    host_.EnableBatchButtons(true);
    host_.Repaint();
    host_.ShowMessageBox(BatchFinishedText(batchConverted_, batchJobs_),
                         LangText(kMsgBox, "MsgBoxTitle"), MB_OK);
    return 0;
}

void CConversionController::EndCanceledBatch() {
    host_.SetTitle(kCanceledTitle);
    m_bRunning = 0;
    m_bRenameExisting = 0;
    host_.EnableBatchButtons(true);
    host_.UpdateData(false);
    host_.Repaint();
    host_.CloseMainWindow();
}

bool CConversionController::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    LRESULT value = 0;
    if (message == WM_JOB_PREPARED) {
        value = OnJobPrepared(wParam, lParam);
    } else if (message == WM_JOB_FINISHED) {
        value = OnJobFinished(wParam, lParam);
    } else {
        return false;
    }
    if (result != nullptr) {
        *result = value;
    }
    return true;
}
