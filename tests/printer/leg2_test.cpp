// Leg 2 end to end: the scripted word processor prints generated pages through the real
// "Tessaline" driver, the spooler's service process and Ravelin; the program waits on its pipe
// and reads the hand-off file, which must list the printed pages in order.
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/HeadlessHost.h"
#include "common/ini/Ini.h"
#include "contracts/Installation.h"
#include "contracts/PagePayload.h"
#include "contracts/PrintJob.h"
#include "convert/ConversionController.h"
#include "convert/PrintHandOff.h"
#include "lang/LanguageProvider.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "tests/platform/forked_child.h"
#include "tests/support/fake_word.h"
#include "tests/support/process_resources.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/wait_until.h"

namespace {

namespace fs = std::filesystem;
using testing_support::FakeWord;

const std::string kService = TESSALINE_PROGRAM_DIR "/tessaline-spoold";

// The page payload a printed page carries: what the job's page said.
std::string PayloadOf(const std::string& emfPath) {
    std::string emf = testing_support::ReadFile(emfPath);
    const char id[4] = {'T', 'S', 'P', 'G'};
    static_assert(tessaline::contracts::kPagePayloadId == 0x47505354);
    size_t at = emf.find(std::string(id, 4));
    if (at == std::string::npos || at < 8) {
        return "(no payload)";
    }
    // EMR_COMMENT: type, size, cbData, then the identifier and the data.
    uint32_t cbData = 0;
    std::memcpy(&cbData, emf.data() + at - 4, 4);
    return emf.substr(at + 4, cbData - 4);
}

// Processes whose command line mentions the text (the spooler's workers name the job file,
// which lies under the test's own platform root).
int ProcessesMentioning(const std::string& text) {
    int count = 0;
    DIR* proc = opendir("/proc");
    while (dirent* entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') {
            continue;
        }
        std::ifstream in(std::string("/proc/") + entry->d_name + "/cmdline", std::ios::binary);
        std::string cmdline((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (cmdline.find(text) != std::string::npos) {
            ++count;
        }
    }
    closedir(proc);
    return count;
}

// The PDF thread's stand-in: reads the hand-off file as the real one does and records the
// pages' payloads.
class HandOffReader : public IPdfBuilder {
  public:
    void RunPdfThread(CConversionController& controller) override {
        std::vector<std::string> payloads;
        bool ok = !controller.m_strIniFile.empty();
        if (ok) {
            CIni handOff(controller.m_strIniFile.c_str());
            ok = handOff.GetUInt("Setting", "EMFCount", 0) > 0;
            for (int n = 1; ok; ++n) {
                std::string key = "EMF" + std::to_string(n);
                if (!handOff.HasKey("EMFFiles", key.c_str())) {
                    break;
                }
                char path[513] = {};
                handOff.GetString("EMFFiles", key.c_str(), path, 512);
                payloads.push_back(PayloadOf(path));
            }
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            jobs.push_back(payloads);
            resident.push_back(testing_support::CurrentResidentKb());
        }
        controller.Host().PostMessageToUi(WM_JOB_FINISHED, ok ? JOB_SUCCEEDED : JOB_FAILED, 0);
    }
    std::mutex mutex;
    std::vector<std::vector<std::string>> jobs;
    std::vector<long> resident;
};

class Leg2 : public ::testing::Test {
  protected:
    Leg2() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        LoadLanguages(TESSALINE_PROGRAM_DIR "/Languages/*.xml");
        SelectLanguage(kLanguageEnglish);
        platform::AddPrinter("Office Laser", "Generic Text");
        platform::AddPrinter(tessaline::contracts::kVirtualPrinter,
                             tessaline::contracts::kVirtualPrinterDriver);
        platform::MakeDefaultPrinter("Office Laser");
        platform::SetDriverService(tessaline::contracts::kVirtualPrinterDriver, kService);
        SetTempDir(platform_.Temp().string() + "/DravelleOutput/");

        word_ = FakeWord::Install();
        // PrintOut: the document's pages go to the default printer as a print job.
        word_->SetPrintHandler([this](const testing_support::PrintJob& job) -> HRESULT {
            std::string jobFile = (platform_.Work() / "print.job").string();
            tessaline::contracts::PrintJobWriter writer;
            if (!writer.Create(jobFile, fs::path(job.path).filename().string())) {
                return E_FAIL;
            }
            std::vector<std::string> pages;
            for (int page = 1; page <= job.pages; ++page) {
                pages.push_back(fs::path(job.path).stem().string() + " page " +
                                std::to_string(page));
                writer.AddPage(job.pageWidth, job.pageHeight, pages.back());
            }
            if (!writer.Finish()) {
                return E_FAIL;
            }
            {
                std::lock_guard<std::mutex> lock(printedMutex_);
                printed_.push_back(pages);
            }
            return platform::SubmitPrintJob(platform::DefaultPrinterName(), jobFile) ==
                           ERROR_SUCCESS
                       ? S_OK
                       : E_FAIL;
        });
        fs::create_directories(platform_.Work() / "out");
        host_.SetDestinationDir((platform_.Work() / "out").string());
    }
    ~Leg2() override {
        controller_.reset();
        word_.reset();
        CoUninitialize();
    }

    void SetTempDir(const std::string& value) {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Tessaline\\", 0, nullptr, 0, KEY_WRITE,
                        nullptr, &key, nullptr);
        RegSetValueExA(key, "TempDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }

    void AddJob(const std::string& name, int pages) {
        auto path = platform_.Work() / name;
        testing_support::WriteFile(path, "pages: " + std::to_string(pages) + "\n");
        auto job = std::make_unique<CWordRecord>();
        job->m_strFilePath = path.string();
        job->m_bChecked = true;
        jobs_.push_back(std::move(job));
    }

    // Runs the batch with the real spooler, pipe and registry.
    void Convert(unsigned waitLimitMs = 30000) {
        handOff_ = std::make_unique<CPipeHandOff>(host_, waitLimitMs);
        legs_ = {&printer_, nullptr, handOff_.get(), &reader_};
        controller_ = std::make_unique<CConversionController>(host_, legs_);
        controller_->m_jobs = std::move(jobs_);
        host_.SetController(controller_.get());
        controller_->OnConvert();
        ASSERT_TRUE(host_.RunUntilIdle());
    }

    // Waits (a while) for the spooler's workers of this test to end; the callers check.
    void WaitForSpoolerWorkers() {
        const std::string root = platform_.Root().string();
        testing_support::WaitUntil([&] { return ProcessesMentioning(root) == 0; },
                                   std::chrono::seconds(10), std::chrono::milliseconds(20));
    }

    std::vector<std::vector<std::string>> Printed() {
        std::lock_guard<std::mutex> lock(printedMutex_);
        return printed_;
    }

    testing_support::ScopedPlatform platform_;
    std::shared_ptr<FakeWord> word_;
    CHeadlessHost host_{"Folvane"};
    CSpoolerPrinterControl printer_;
    HandOffReader reader_;
    std::unique_ptr<CPipeHandOff> handOff_;
    ConversionLegs legs_;
    std::vector<std::unique_ptr<CWordRecord>> jobs_;
    std::unique_ptr<CConversionController> controller_;
    std::mutex printedMutex_;
    std::vector<std::vector<std::string>> printed_;
};

}  // namespace

TEST_F(Leg2, ThePagesListedForEachJobAreThePagesItPrintedInOrder) {
    AddJob("report.docx", 3);
    AddJob("letter.docx", 1);
    AddJob("memo.docx", 2);
    Convert();

    EXPECT_EQ(reader_.jobs, Printed());
    ASSERT_EQ(reader_.jobs.size(), 3u);
    EXPECT_EQ(reader_.jobs[0],
              (std::vector<std::string>{"report page 1", "report page 2", "report page 3"}));
    EXPECT_EQ(platform::DefaultPrinterName(), "Office Laser") << "the user's printer is back";
    EXPECT_TRUE(host_.Messages().size() == 1) << "only the closing message";
    for (const auto& job : controller_->m_jobs) {
        EXPECT_TRUE(job->m_bDone);
    }
    WaitForSpoolerWorkers();
    // Every spool file was released and removed by its worker.
    EXPECT_TRUE(fs::is_empty(platform::SpoolFolder()));
}

TEST_F(Leg2, AnInifileOfEightyBytesOrMoreFailsTheJobWithTheRegistryMessage) {
    // TempDir + "config.ini" takes 80 bytes with its terminator.
    std::string base = platform_.Temp().string() + "/";
    std::string tempDir = base + std::string(80 - 1 - 10 - base.size() - 1, 'x') + "/";
    ASSERT_EQ(tempDir.size() + 10 + 1, 80u);
    SetTempDir(tempDir);
    AddJob("long.docx", 1);
    Convert();

    ASSERT_EQ(reader_.jobs.size(), 1u);
    EXPECT_TRUE(controller_->m_jobs[0]->m_bDone);
    const auto messages = host_.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Error: Read registry failed!");
    EXPECT_EQ(messages[1].text.rfind("Conversion finished: 0 of 1 documents", 0), 0u)
        << messages[1].text;
    WaitForSpoolerWorkers();
}

TEST_F(Leg2, WithoutRavelinTheWaitRunsOutTheJobFailsAndTheBatchGoesOn) {
    // The service started from a folder that holds no extractor library.
    testing_support::TempFolder elsewhere;
    fs::copy_file(kService, elsewhere.Path() / "tessaline-spoold");
    platform::SetDriverService(tessaline::contracts::kVirtualPrinterDriver,
                               (elsewhere.Path() / "tessaline-spoold").string());
    AddJob("first.docx", 1);
    AddJob("second.docx", 1);
    Convert(/*waitLimitMs=*/1500);

    EXPECT_TRUE(reader_.jobs.empty()) << "no job reached its PDF thread";
    for (const auto& job : controller_->m_jobs) {
        EXPECT_TRUE(job->m_bDone);
        EXPECT_FALSE(job->m_bChecked);
    }
    EXPECT_EQ(host_.Messages().size(), 1u);
    EXPECT_EQ(word_->LiveObjects(), 0);
    WaitForSpoolerWorkers();
    // The detached workers tell why in the spooler's log, not on the submitter's output.
    EXPECT_NE(testing_support::ReadFile(platform_.Root() / "spool/service.log").find("cannot load"),
              std::string::npos);
}

// A program that printed and then ended (killed, or interrupted) leaves a job whose worker
// waits for a pipe: it must not hand its pages to the next program that waits for its own.
TEST_F(Leg2, AJobWhoseProgramHasEndedIsDroppedBeforeAnotherProgramsPipe) {
    const std::string jobFile = (platform_.Work() / "orphan.job").string();
    testing_support::ForkedChild program([&](testing_support::ForkedChild&) {
        tessaline::contracts::PrintJobWriter writer;
        if (!writer.Create(jobFile, "orphan.docx") || !writer.AddPage(595, 842, "orphan") ||
            !writer.Finish()) {
            return 1;
        }
        return platform::SubmitPrintJob(tessaline::contracts::kVirtualPrinter, jobFile) ==
                       ERROR_SUCCESS
                   ? 0
                   : 2;
    });
    ASSERT_EQ(program.WaitExit(), 0);

    const fs::path log = platform_.Root() / "spool/service.log";
    EXPECT_TRUE(
        testing_support::WaitUntil([&] { return fs::exists(log); }, std::chrono::seconds(60)))
        << "the spooler service wrote no log";
    WaitForSpoolerWorkers();
    EXPECT_NE(testing_support::ReadFile(log).find("the job is dropped"), std::string::npos);
    CPipeHandOff handOff(host_, 500);
    EXPECT_FALSE(handOff.WaitForPages()) << "the ended program's pages reached another's pipe";
}

TEST_F(Leg2, FiftyJobsLeaveNoProcessesNoPipeFilesAndNoGrowingMemory) {
    for (int i = 1; i <= 50; ++i) {
        AddJob("doc" + std::to_string(i) + ".docx", 1);
    }
    Convert();
    ASSERT_EQ(reader_.jobs.size(), 50u);
    for (const auto& pages : reader_.jobs) {
        EXPECT_EQ(pages.size(), 1u);
    }
    WaitForSpoolerWorkers();
    EXPECT_EQ(ProcessesMentioning(platform_.Root().string()), 0);
    // No child of ours is left, not even a finished one waiting to be reaped.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    const fs::path pipes = platform_.Root() / "pipes";
    EXPECT_TRUE(!fs::exists(pipes) || fs::is_empty(pipes));
    EXPECT_TRUE(fs::is_empty(platform::SpoolFolder()));
    // AddressSanitizer keeps freed memory in quarantine, so resident memory grows there by
    // design: its leak checker covers that build, the growth is checked in the ordinary one.
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LE(reader_.resident[49], reader_.resident[4] * 110 / 100)
        << "after the 5th job " << reader_.resident[4] << " KiB, after the 50th "
        << reader_.resident[49] << " KiB";
#endif
}
