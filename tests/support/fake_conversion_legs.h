// Stand-ins for the printer switch, the print hand-off and the PDF thread, for batches run by
// the conversion controller without printing: whole batches through the controller's host or
// through the program's window.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "convert/ConversionController.h"

namespace testing_support {

// The system's default printer, in memory; it can be made to refuse a switch.
class FakePrinter : public IPrinterControl {
  public:
    std::string GetDefaultPrinter() override {
        std::lock_guard<std::mutex> lock(mutex_);
        return current_;
    }
    bool SetDefaultPrinter(const std::string& name) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++setCalls_;
        if (fail_) {
            return false;
        }
        current_ = name;
        return true;
    }
    void SetCurrent(std::string name) { current_ = std::move(name); }
    void FailSwitch() { fail_ = true; }
    int SetCalls() const { return setCalls_; }

  private:
    std::mutex mutex_;
    std::string current_ = "Office Laser";
    bool fail_ = false;
    int setCalls_ = 0;
};

// The wait for a job's pages: runs onWait (while the job "prints") and says whether they came.
class FakeHandOff : public IPrintHandOff {
  public:
    bool WaitForPages() override {
        ++waits;
        if (onWait) {
            onWait();
        }
        return ready;
    }
    std::string ReadHandOffPath() override { return "/hand-off/config.ini"; }
    std::function<void()> onWait;
    bool ready = true;
    int waits = 0;
};

// The PDF thread: "writes" each job's PDF as the real one names it, or fails the job with the
// result scripted for its document, reporting the reason given for it as the real thread does.
class FakePdfBuilder : public IPdfBuilder {
  public:
    void RunPdfThread(CConversionController& controller) override {
        CWordRecord& job = *controller.m_jobs[controller.m_nCurrentJob];
        WPARAM result = JOB_SUCCEEDED;
        std::string reason;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            built.push_back(job.m_strFilePath);
            linkRecords.push_back(controller.m_links.size());
            renameDuringJob.push_back(controller.m_bRenameExisting);
            iniFiles.push_back(controller.m_strIniFile);
            if (auto it = results.find(job.m_strFilePath); it != results.end()) {
                result = it->second;
            }
            if (auto it = reasons.find(job.m_strFilePath); it != reasons.end()) {
                reason = it->second;
            }
        }
        if (result == JOB_SUCCEEDED) {
            job.m_strOutputName = std::filesystem::path(job.m_strFilePath).stem().string() + ".pdf";
            job.m_strOutputPath = controller.m_strOutputFolder + job.m_strOutputName;
            job.m_bDone = true;
        } else if (!reason.empty()) {
            controller.ReportJobFailure(reason);
        }
        controller.Host().PostMessageToUi(WM_JOB_FINISHED, result, 0);
    }
    // The document's job fails, and says why.
    void Fail(const std::string& path, const std::string& why) {
        std::lock_guard<std::mutex> lock(mutex_);
        results[path] = JOB_FAILED;
        reasons[path] = why;
    }

    std::mutex mutex_;
    std::map<std::string, WPARAM> results;
    std::map<std::string, std::string> reasons;
    std::vector<std::string> built;
    std::vector<std::size_t> linkRecords;  // harvest records each job's PDF thread found
    std::vector<INT> renameDuringJob;
    std::vector<std::string> iniFiles;
};

}  // namespace testing_support
