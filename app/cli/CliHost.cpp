#include "app/cli/CliHost.h"

#include <algorithm>
#include <thread>

#include "convert/ConversionController.h"
#include "lang/LanguageProvider.h"

namespace {

constexpr char kMsgBox[] = "MsgBox";
constexpr char kCli[] = "Cli";
constexpr int kBarWidth = 30;

}  // namespace

CCliHost::CCliHost(std::FILE* out, std::FILE* err, bool progressBars, bool keepExisting)
    : CHeadlessHost(LangText(kMsgBox, "MsgBoxTitle")),
      out_(out),
      err_(err),
      progressBars_(progressBars),
      keepExisting_(keepExisting) {
    SetAnswerer([this](const ShownMessage& message) { return Answer(message); });
}

void CCliHost::Attach(CConversionController* controller) {
    controller_ = controller;
    SetController(controller);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        outcomes_.assign(controller->m_jobs.size(), Outcome::NotRun);
        failures_.assign(controller->m_jobs.size(), std::string());
    }
    if (controller->m_jobs.size() > 1) {
        readAhead_.Start();  // its offices start alongside the first job's
    }
}

std::vector<CCliHost::Outcome> CCliHost::Outcomes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return outcomes_;
}

int CCliHost::Answer(const ShownMessage& message) {
    if (message.text == LangText(kMsgBox, "Rename")) {
        return keepExisting_ ? IDNO : IDYES;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    // The batch's closing message: the job lines and the summary say it.
    const unsigned converted = CountOutcomes(Outcome::Succeeded);
    if (message.text == BatchFinishedText(converted, converted + CountOutcomes(Outcome::Failed))) {
        return IDOK;
    }
    ClearProgressLine();
    std::fprintf(err_, "%s\n", message.text.c_str());
    std::fflush(err_);
    lastMessage_ = message.text;
    return (message.type & MB_YESNO) == MB_YESNO ? IDYES : IDOK;
}

unsigned CCliHost::CountOutcomes(Outcome outcome) const {
    return static_cast<unsigned>(std::count(outcomes_.begin(), outcomes_.end(), outcome));
}

void CCliHost::ClearProgressLine() {
    if (progressShown_) {
        std::fprintf(out_, "\r\033[K");
        progressShown_ = false;
    }
}

void CCliHost::RedrawJob(unsigned index) {
    CHeadlessHost::RedrawJob(index);
    if (!progressBars_ || controller_ == nullptr || index >= controller_->m_jobs.size()) {
        return;
    }
    const CWordRecord& job = *controller_->m_jobs[index];
    if (!job.m_bShowProgress) {
        return;
    }
    const int percent = std::clamp<int>(job.m_nProgress, 0, 100);
    const int filled = percent * kBarWidth / 100;
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(out_, "\r[%s%s] %3d%%  %s", std::string(filled, '#').c_str(),
                 std::string(kBarWidth - filled, ' ').c_str(), percent, job.m_strFileName.c_str());
    std::fflush(out_);
    progressShown_ = true;
}

void CCliHost::NoteJobFailure(unsigned job, const std::string& reason) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (job < failures_.size()) {
        failures_[job] = reason;
    }
}

void CCliHost::NoteWaitingForAnotherBatch() {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearProgressLine();
    std::fprintf(err_, "%s\n", LangText(kCli, "Waiting").c_str());
    std::fflush(err_);
}

void CCliHost::PrintResultLine(unsigned job, bool succeeded, const std::string& detail) {
    ClearProgressLine();
    const std::string& document = controller_->m_jobs[job]->m_strFilePath;
    if (succeeded) {
        std::fprintf(out_, "%s: %s -> %s\n", document.c_str(), LangText(kCli, "Succeeded").c_str(),
                     detail.c_str());
    } else {
        std::fprintf(out_, "%s: %s: %s\n", document.c_str(), LangText(kCli, "Failed").c_str(),
                     detail.c_str());
    }
    std::fflush(out_);
}

void CCliHost::PostMessageToUi(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_JOB_FINISHED && wParam != JOB_CANCELED && controller_ != nullptr) {
        // The job in progress stays current until the UI thread handles this message.
        const unsigned job = controller_->m_nCurrentJob;
        std::lock_guard<std::mutex> lock(mutex_);
        if (job < outcomes_.size()) {
            const bool succeeded = wParam == JOB_SUCCEEDED;
            outcomes_[job] = succeeded ? Outcome::Succeeded : Outcome::Failed;
            PrintResultLine(job, succeeded,
                            succeeded ? controller_->m_jobs[job]->m_strOutputPath : failures_[job]);
        }
    }
    CHeadlessHost::PostMessageToUi(message, wParam, lParam);
}

void CCliHost::BeforeDispatch(UINT message) {
    if (message == WM_JOB_FINISHED) {
        // The next job starts with this. One whose document was read asks next to nothing of
        // the office, so the documents being read need not be waited for; any other job has
        // the office to itself.
        if (NextJobRead()) {
            readAhead_.Hold();
        } else {
            readAhead_.Pause();
        }
    } else if (message == WM_JOB_PREPARED && CurrentJobRead()) {
        ReadNextJobsAhead();
    }
}

void CCliHost::AfterDispatch(UINT message) {
    if (message == WM_JOB_PREPARED && !CurrentJobRead()) {
        ReadNextJobsAhead();
    }
}

bool CCliHost::CurrentJobRead() const {
    // A job that kept links or bookmarks had its document read, and rendered along with it:
    // printing it asks nothing more of the office, so the next documents may go ahead at once.
    // Otherwise the office renders it while printing, which they wait for.
    if (controller_ == nullptr || controller_->m_nCurrentJob >= controller_->m_jobs.size()) {
        return false;
    }
    return KeepsLinksOrBookmarks(*controller_->m_jobs[controller_->m_nCurrentJob]);
}

std::vector<const CWordRecord*> CCliHost::NextJobs(std::size_t most) const {
    // The jobs the controller takes next: those still checked, as OnJobFinished finds them.
    std::vector<const CWordRecord*> next;
    if (controller_ == nullptr) {
        return next;
    }
    const auto& jobs = controller_->m_jobs;
    for (std::size_t job = controller_->m_nCurrentJob + 1; job < jobs.size() && next.size() < most;
         ++job) {
        if (jobs[job]->m_bChecked) {
            next.push_back(jobs[job].get());
        }
    }
    return next;
}

bool CCliHost::NextJobRead() const {
    const std::vector<const CWordRecord*> next = NextJobs(1);
    return !next.empty() && KeepsLinksOrBookmarks(*next.front()) &&
           readAhead_.WasRead(next.front()->m_strFilePath);
}

unsigned CCliHost::ReadAheadReaders() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 2u);
}

void CCliHost::ReadNextJobsAhead() {
    if (controller_ == nullptr) {
        return;
    }
    std::vector<CReadAhead::Document> next;
    for (const CWordRecord* job : NextJobs(kReadAheadDocuments)) {
        next.push_back({job->m_strFilePath, KeepsLinksOrBookmarks(*job)});
    }
    readAhead_.Resume(std::move(next));
}

void CCliHost::ReportJobsNotRun() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (unsigned job = 0; job < outcomes_.size(); ++job) {
        if (outcomes_[job] == Outcome::NotRun) {
            outcomes_[job] = Outcome::Failed;
            PrintResultLine(job, false, lastMessage_);
        }
    }
}
