// Whole batches through the controller with the headless host, the scripted word processor and
// stand-ins for the printer, the harvest, the print hand-off and the PDF thread.
#include "convert/ConversionController.h"

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/HeadlessHost.h"
#include "contracts/DispatchIds.h"
#include "contracts/Installation.h"
#include "convert/WordAutomation.h"
#include "lang/LanguageProvider.h"
#include "tests/support/fake_conversion_legs.h"
#include "tests/support/fake_word.h"
#include "tests/support/scoped_environment.h"

namespace dispid = tessaline::contracts::dispid;

using testing_support::FakeHandOff;
using testing_support::FakePdfBuilder;
using testing_support::FakePrinter;
using testing_support::FakeWord;
using testing_support::WordObject;

namespace {

namespace fs = std::filesystem;

class FakeHarvester : public IDocumentHarvester {
  public:
    int HarvestDocument(CConversionController&, const std::string& path, IDispatch*) override {
        std::lock_guard<std::mutex> lock(mutex_);
        paths.push_back(path);
        if (onHarvest) {
            onHarvest();
        }
        if (fail) {
            throw _com_error(E_FAIL);
        }
        return result;
    }
    std::mutex mutex_;
    std::vector<std::string> paths;
    std::function<void()> onHarvest;
    int result = 1;
    bool fail = false;
};

// A host that hands control to the test when a job has to wait for another batch.
class WaitingHost : public CHeadlessHost {
  public:
    WaitingHost() : CHeadlessHost("Folvane") {}
    void NoteWaitingForAnotherBatch() override {
        ++waits;
        if (onWait) {
            onWait();
        }
    }
    std::atomic<int> waits{0};
    std::function<void()> onWait;
};

class Controller : public ::testing::Test {
  protected:
    Controller() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        word_ = FakeWord::Install();
        LoadLanguages(TESSALINE_PROGRAM_DIR "/Languages/*.xml");
        SelectLanguage(kLanguageEnglish);
        output_ = (platform_.Work() / "out").string();
        fs::create_directories(output_);
        host_.SetDestinationDir(output_);
        legs_ = {&printer_, &harvester_, &handOff_, &pdf_};
        controller_ = std::make_unique<CConversionController>(host_, legs_);
        host_.SetController(controller_.get());
    }
    ~Controller() override {
        controller_.reset();
        word_.reset();
        CoUninitialize();
    }

    // A job for a document file the fake word processor can open.
    CWordRecord& AddJob(const std::string& name, bool checked = true, bool keepLinks = false) {
        auto path = platform_.Work() / name;
        testing_support::WriteFile(path, "pages: 2\nparagraph: 1 Title\n");
        auto job = std::make_unique<CWordRecord>();
        job->m_strFilePath = path.string();
        job->m_strFileName = name;
        job->m_bChecked = checked;
        job->m_bKeepLinks = keepLinks;
        controller_->m_jobs.push_back(std::move(job));
        return *controller_->m_jobs.back();
    }

    std::string DocPath(const std::string& name) const {
        return (platform_.Work() / name).string();
    }

    // Runs Convert and the message loop; true when the loop ended with the window open.
    bool Convert() {
        controller_->OnConvert();
        return host_.RunUntilIdle();
    }

    // The MsgBox keys of the messages shown, recognised by their English text.
    std::vector<std::string> MessageKeys() const {
        std::vector<std::string> keys;
        for (const auto& shown : host_.Messages()) {
            std::string key = "?";
            for (const char* candidate :
                 {"CHECKONE", "Folder", "Rename", "SetPrinter", "PInstall", "CF"}) {
                if (shown.text == LangText("MsgBox", candidate)) {
                    key = candidate;
                }
            }
            keys.push_back(key);
        }
        return keys;
    }

    std::vector<std::string> OpenedPaths() const {
        std::vector<std::string> paths;
        for (const auto& call : word_->Calls()) {
            if (call.object == WordObject::Documents && !call.args.empty()) {
                paths.push_back(call.args[0].text);
            }
        }
        return paths;
    }

    testing_support::ScopedPlatform platform_;
    std::shared_ptr<FakeWord> word_;
    std::string output_;
    WaitingHost host_;
    FakePrinter printer_;
    FakeHarvester harvester_;
    FakeHandOff handOff_;
    FakePdfBuilder pdf_;
    ConversionLegs legs_;
    std::unique_ptr<CConversionController> controller_;
};

}  // namespace

TEST_F(Controller, ABatchConvertsTheCheckedJobsInOrderAndEndsWithOneMessage) {
    CWordRecord& first = AddJob("first.docx");
    CWordRecord& skipped = AddJob("skipped.docx", /*checked=*/false);
    CWordRecord& last = AddJob("last.doc");
    std::vector<std::string> printersWhilePrinting;
    handOff_.onWait = [&] { printersWhilePrinting.push_back(printer_.GetDefaultPrinter()); };

    controller_->OnConvert();
    EXPECT_EQ(controller_->m_bRunning, 1) << "marked running before Convert returns";
    EXPECT_FALSE(host_.ButtonsEnabled());
    ASSERT_TRUE(host_.RunUntilIdle());

    // Each job opens the document twice: for the analysis and for printing.
    EXPECT_EQ(OpenedPaths(), (std::vector<std::string>{DocPath("first.docx"), DocPath("first.docx"),
                                                       DocPath("last.doc"), DocPath("last.doc")}));
    EXPECT_EQ(pdf_.built, (std::vector<std::string>{DocPath("first.docx"), DocPath("last.doc")}));
    EXPECT_EQ(pdf_.iniFiles[0], "/hand-off/config.ini");
    EXPECT_EQ(MessageKeys(), std::vector<std::string>{"CF"});
    EXPECT_EQ(host_.Messages()[0].caption, LangText("MsgBox", "MsgBoxTitle"));
    EXPECT_EQ(host_.Messages()[0].type, MB_OK);

    for (CWordRecord* job : {&first, &last}) {
        EXPECT_FALSE(job->m_bChecked);
        EXPECT_TRUE(job->m_bDone);
        EXPECT_FALSE(job->m_bShowProgress);
        EXPECT_EQ(job->m_nProgress, 0);
    }
    EXPECT_EQ(first.m_strOutputPath, output_ + "/first.pdf");
    EXPECT_FALSE(skipped.m_bDone);
    EXPECT_FALSE(skipped.m_bChecked);
    EXPECT_EQ(host_.RedrawnJobs(), (std::vector<unsigned>{0, 2}));
    EXPECT_EQ(controller_->m_bRunning, 0);
    EXPECT_TRUE(host_.ButtonsEnabled());
    EXPECT_EQ(host_.Title(), "Folvane") << "a normal end leaves the title alone";
    EXPECT_EQ(printersWhilePrinting,
              std::vector<std::string>(2, tessaline::contracts::kVirtualPrinter));
    EXPECT_EQ(printer_.GetDefaultPrinter(), "Office Laser") << "the user's printer is back";

    // Every word processor instance quit and every reference was released.
    EXPECT_EQ(word_->InstancesCreated(), 4);
    EXPECT_EQ(word_->QuitCalls(), 4);
    EXPECT_EQ(word_->LiveObjects(), 0);

    // Nothing is checked any more.
    ASSERT_TRUE(Convert());
    EXPECT_EQ(MessageKeys().back(), "CHECKONE");
}

TEST_F(Controller, TheVirtualPrinterBecomesTheDefaultOnlyWhenItIsNotAlready) {
    printer_.SetCurrent(tessaline::contracts::kVirtualPrinter);
    AddJob("a.docx");
    ASSERT_TRUE(Convert());
    EXPECT_EQ(printer_.SetCalls(), 0);
    EXPECT_EQ(pdf_.built.size(), 1u);
    EXPECT_EQ(MessageKeys(), std::vector<std::string>{"CF"}) << "a batch of one: one message";
}

TEST_F(Controller, ConvertRefusesAnEmptyListNothingCheckedAndAMissingFolder) {
    ASSERT_TRUE(Convert());
    EXPECT_EQ(MessageKeys(), std::vector<std::string>{"CHECKONE"});
    EXPECT_EQ(host_.Messages()[0].type, MB_OK | MB_ICONEXCLAMATION);

    AddJob("a.docx", /*checked=*/false);
    ASSERT_TRUE(Convert());
    EXPECT_EQ(MessageKeys().back(), "CHECKONE");

    controller_->m_jobs[0]->m_bChecked = true;
    host_.SetDestinationDir("");
    ASSERT_TRUE(Convert());
    EXPECT_EQ(MessageKeys().back(), "Folder") << "an empty folder is no folder, not the root";
    host_.SetDestinationDir(output_ + "/missing");
    ASSERT_TRUE(Convert());
    EXPECT_EQ(MessageKeys().back(), "Folder");
    testing_support::WriteFile(platform_.Work() / "plain-file", "x");
    host_.SetDestinationDir((platform_.Work() / "plain-file").string());
    ASSERT_TRUE(Convert());
    EXPECT_EQ(MessageKeys().back(), "Folder") << "a file is no output folder";
    EXPECT_EQ(word_->InstancesCreated(), 0);
    EXPECT_EQ(controller_->m_bRunning, 0);

    // A trailing separator is added to the folder.
    host_.SetDestinationDir(output_);
    ASSERT_TRUE(Convert());
    EXPECT_EQ(controller_->m_strOutputFolder, output_ + "/");
}

TEST_F(Controller, TheRenameQuestionComesOnceAndNoKeepsExistingPdfsForTheBatch) {
    AddJob("a.docx", /*checked=*/false);  // an unchecked job's PDF still raises the question
    AddJob("b.docx");
    AddJob("c.docx");
    testing_support::WriteFile(output_ + "/a.pdf", "old");
    testing_support::WriteFile(output_ + "/c.pdf", "old");
    host_.SetAnswerer([](const CHeadlessHost::ShownMessage& shown) {
        return (shown.type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    });
    ASSERT_TRUE(Convert());
    EXPECT_EQ(MessageKeys(), (std::vector<std::string>{"Rename", "CF"}));
    EXPECT_EQ(host_.Messages()[0].type, MB_YESNO);
    EXPECT_EQ(pdf_.renameDuringJob, (std::vector<INT>{1, 1}));
    EXPECT_EQ(controller_->m_bRenameExisting, 0) << "the choice ends with the batch";
}

TEST_F(Controller, ANoAnswerOutlivesAConvertThatFindsNothingChecked) {
    AddJob("a.docx", /*checked=*/false);
    testing_support::WriteFile(output_ + "/a.pdf", "old");
    host_.SetAnswerer([](const CHeadlessHost::ShownMessage& shown) {
        return (shown.type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    });
    ASSERT_TRUE(Convert());
    EXPECT_EQ(MessageKeys(), (std::vector<std::string>{"Rename", "CHECKONE"}));
    EXPECT_EQ(controller_->m_bRenameExisting, 1);

    // The next Convert's Yes does not clear it.
    controller_->m_jobs[0]->m_bChecked = true;
    host_.SetAnswerer([](const CHeadlessHost::ShownMessage& shown) {
        return (shown.type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
    });
    ASSERT_TRUE(Convert());
    EXPECT_EQ(pdf_.renameDuringJob, std::vector<INT>{1});
}

TEST_F(Controller, APrinterThatCannotBeSwitchedStopsTheBatchWithoutAResult) {
    CWordRecord& job = AddJob("a.docx");
    printer_.FailSwitch();
    ASSERT_TRUE(Convert());
    EXPECT_EQ(MessageKeys(), std::vector<std::string>{"SetPrinter"});
    EXPECT_EQ(host_.Messages()[0].type, MB_OK | MB_ICONSTOP);
    EXPECT_EQ(word_->InstancesCreated(), 0);
    EXPECT_TRUE(job.m_bChecked) << "no result arrived for the job";
    EXPECT_FALSE(job.m_bDone);
    EXPECT_EQ(controller_->m_bRunning, 0);
    EXPECT_TRUE(host_.ButtonsEnabled());
}

TEST_F(Controller, AMissingWordProcessorStopsTheBatchInLegOneAndClosesTheProgramInLegTwo) {
    AddJob("a.docx");
    word_->FailCreate(REGDB_E_CLASSNOTREG);
    ASSERT_TRUE(Convert());
    EXPECT_EQ(MessageKeys(), std::vector<std::string>{"PInstall"});
    EXPECT_EQ(host_.Messages()[0].caption, "Folvane") << "the program's own caption";
    EXPECT_EQ(controller_->m_bRunning, 0);
    EXPECT_FALSE(host_.Closed());

    // Word goes missing between the legs: the program closes.
    word_.reset();
    word_ = FakeWord::Install();
    controller_->m_jobs[0]->m_bKeepLinks = true;
    harvester_.onHarvest = [this] { word_->FailCreate(REGDB_E_CLASSNOTREG); };
    EXPECT_FALSE(Convert());
    EXPECT_TRUE(host_.Closed());
    EXPECT_EQ(MessageKeys().back(), "PInstall");
    EXPECT_TRUE(pdf_.built.empty());
}

TEST_F(Controller, WordFailuresFailTheirJobAndTheBatchGoesOn) {
    CWordRecord& unopenable = AddJob("unopenable.docx");
    CWordRecord& badVersion = AddJob("version.docx");
    AddJob("unchecked.docx", /*checked=*/false);
    CWordRecord& badHarvest = AddJob("harvest.docx", true, /*keepLinks=*/true);
    CWordRecord& unprintable = AddJob("print.docx");
    CWordRecord& fine = AddJob("fine.docx");

    word_->FailOpen(DocPath("unopenable.docx"));
    // Application.Version is called once per leg; its second call is the second job's leg 1.
    word_->FailCall(dispid::kApplicationVersion, E_FAIL, 2);
    harvester_.fail = true;
    // The first jobs never reach printing, so the first PrintOut is the fourth job's.
    word_->FailCall(dispid::kDocumentPrintOut10, E_FAIL, 1);
    ASSERT_TRUE(Convert());

    for (CWordRecord* job : {&unopenable, &badVersion, &badHarvest, &unprintable}) {
        EXPECT_TRUE(job->m_bDone) << job->m_strFileName;
        EXPECT_FALSE(job->m_bChecked) << job->m_strFileName;
        EXPECT_TRUE(job->m_strOutputName.empty()) << job->m_strFileName;
        EXPECT_TRUE(job->m_bFailed) << job->m_strFileName;
    }
    EXPECT_EQ(unopenable.m_strFailure.rfind(LangText("JobFailure", "Open") + ": ", 0), 0u)
        << unopenable.m_strFailure;
    EXPECT_EQ(unprintable.m_strFailure.rfind(LangText("JobFailure", "Print") + ": ", 0), 0u)
        << unprintable.m_strFailure;
    EXPECT_EQ(pdf_.built, std::vector<std::string>{DocPath("fine.docx")});
    EXPECT_EQ(fine.m_strOutputName, "fine.pdf");
    EXPECT_FALSE(fine.m_bFailed);
    // The closing message counts this batch's jobs, not the unchecked one.
    ASSERT_EQ(host_.Messages().size(), 1u);
    EXPECT_EQ(host_.Messages()[0].text,
              "Conversion finished: 1 of 5 documents were converted. The status of each document "
              "that failed says so; point to it to see why.");
    EXPECT_EQ(word_->LiveObjects(), 0) << "every reference released after the failures";
    EXPECT_EQ(word_->QuitCalls(), word_->InstancesCreated());
}

TEST_F(Controller, APipeFailureInLegTwoFailsTheJobAfterQuittingWord) {
    CWordRecord& job = AddJob("a.docx");
    AddJob("b.docx");
    handOff_.ready = false;
    ASSERT_TRUE(Convert());
    EXPECT_TRUE(job.m_bDone);
    EXPECT_TRUE(job.m_strOutputName.empty());
    EXPECT_TRUE(pdf_.built.empty());
    EXPECT_EQ(handOff_.waits, 2);
    EXPECT_EQ(word_->QuitCalls(), 4);
    EXPECT_EQ(word_->LiveObjects(), 0);
    EXPECT_EQ(job.m_strFailure, LangText("JobFailure", "Pages"));
    ASSERT_EQ(host_.Messages().size(), 1u);
    EXPECT_EQ(host_.Messages()[0].text.rfind("Conversion finished: 0 of 2 documents", 0), 0u);
}

TEST_F(Controller, AFailedJobAlwaysGivesAReasonAndLosesItsMarkWhenConvertedAgain) {
    CWordRecord& job = AddJob("a.docx");
    pdf_.results[DocPath("a.docx")] = JOB_FAILED;  // a leg that gives up without saying why
    ASSERT_TRUE(Convert());
    EXPECT_TRUE(job.m_bFailed);
    EXPECT_EQ(job.m_strFailure, LangText("JobFailure", "Unknown"));

    job.m_bChecked = true;
    pdf_.results.clear();
    ASSERT_TRUE(Convert());
    EXPECT_FALSE(job.m_bFailed);
    EXPECT_EQ(job.m_strFailure, "");
    EXPECT_EQ(MessageKeys().back(), "CF");
}

TEST_F(Controller, AnExitRequestSeenByTheHarvestCancelsAndClosesTheProgram) {
    AddJob("a.docx", true, /*keepLinks=*/true);
    AddJob("b.docx", true, true);
    harvester_.result = 0;
    EXPECT_FALSE(Convert());
    EXPECT_EQ(host_.Title(), "Conversion Canceled!");
    EXPECT_TRUE(host_.Closed());
    EXPECT_EQ(controller_->m_bRunning, 0);
    EXPECT_TRUE(host_.ButtonsEnabled());
    EXPECT_EQ(harvester_.paths, std::vector<std::string>{DocPath("a.docx")});
    EXPECT_TRUE(host_.Messages().empty());
    EXPECT_EQ(word_->LiveObjects(), 0);
}

TEST_F(Controller, AnExitRequestEndsTheBatchAfterTheCurrentJobEvenWithoutAHarvest) {
    CWordRecord& first = AddJob("a.docx");
    CWordRecord& second = AddJob("b.docx");
    handOff_.onWait = [this] { controller_->m_bExitRequested = 1; };  // "Yes, exit" while printing
    EXPECT_FALSE(Convert());
    EXPECT_TRUE(host_.Closed());
    EXPECT_EQ(host_.Title(), "Conversion Canceled!");
    EXPECT_EQ(OpenedPaths(), std::vector<std::string>(2, DocPath("a.docx")))
        << "the second job is never prepared";
    EXPECT_EQ(pdf_.built, std::vector<std::string>{DocPath("a.docx")});
    EXPECT_TRUE(first.m_bDone);
    EXPECT_TRUE(second.m_bChecked);
    EXPECT_EQ(controller_->m_bRunning, 0);
    EXPECT_TRUE(host_.ButtonsEnabled());
    EXPECT_TRUE(host_.Messages().empty());
}

TEST_F(Controller, TheHarvestRunsOnlyForJobsThatKeepLinksOrBookmarks) {
    AddJob("plain.docx");
    AddJob("links.docx", true, true).m_bKeepLinks = 1;
    AddJob("marks.docx").m_bKeepBookmarks = 1;
    ASSERT_TRUE(Convert());
    EXPECT_EQ(harvester_.paths,
              (std::vector<std::string>{DocPath("links.docx"), DocPath("marks.docx")}));
    EXPECT_EQ(pdf_.built.size(), 3u);
}

TEST_F(Controller, EachJobStartsWithoutTheHarvestOfAnEarlierJob) {
    AddJob("links.docx", true, /*keepLinks=*/true);
    AddJob("plain.docx");
    // The harvest leaves a record, as one of a job that keeps only bookmarks or fails later does.
    harvester_.onHarvest = [this] { controller_->m_links.push_back(CHyperlinkRecord{}); };
    ASSERT_TRUE(Convert());
    EXPECT_EQ(pdf_.linkRecords, (std::vector<std::size_t>{1, 0}));
}

TEST_F(Controller, ABatchWaitsWhileAnotherBatchOfTheUserPrints) {
    AddJob("a.docx");
    FakePrinter otherPrinter;
    CSharedStateLock other(&otherPrinter);
    ASSERT_TRUE(other.Acquire({}, {}));
    int instancesWhileWaiting = -1;
    host_.onWait = [&] {
        instancesWhileWaiting = word_->InstancesCreated();
        other.Release();
    };
    ASSERT_TRUE(Convert());
    EXPECT_EQ(host_.waits, 1);
    EXPECT_EQ(instancesWhileWaiting, 0) << "nothing of the job ran before the other batch let go";
    EXPECT_EQ(pdf_.built.size(), 1u);
    EXPECT_FALSE(other.Held());

    // Leaving the program while waiting cancels the batch as a harvest would.
    controller_->m_jobs[0]->m_bChecked = true;
    ASSERT_TRUE(other.Acquire({}, {}));
    host_.onWait = [&] { controller_->m_bExitRequested = 1; };
    EXPECT_FALSE(Convert());
    EXPECT_EQ(host_.Title(), "Conversion Canceled!");
    EXPECT_EQ(pdf_.built.size(), 1u);
}
