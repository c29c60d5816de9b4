// The PDF thread and the outline builder against the recording PDF engine: page geometry from
// the EMF headers, the page list, progress, output names, links, the outline, and failures.
#include "convert/PdfThread.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/HeadlessHost.h"
#include "common/ini/Ini.h"
#include "contracts/Installation.h"
#include "convert/ConversionController.h"
#include "convert/PdfOutline.h"
#include "platform/com_ptr.h"
#include "tests/support/emf_writer.h"
#include "tests/support/fake_pdf_engine.h"
#include "tests/support/scoped_environment.h"

using testing_support::FakePdfEngine;
using testing_support::PdfCall;

namespace {

namespace fs = std::filesystem;

// Keeps what the thread posts and the progress at every row redraw.
class RecordingHost : public CHeadlessHost {
  public:
    struct Posted {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    RecordingHost() : CHeadlessHost("Tessaline") {}

    void PostMessageToUi(UINT message, WPARAM wParam, LPARAM lParam) override {
        std::lock_guard lock(mutex_);
        posted_.push_back({message, wParam, lParam});
    }
    void RedrawJob(unsigned index) override {
        std::lock_guard lock(mutex_);
        progress_.push_back(jobs_ != nullptr ? (*jobs_)[index]->m_nProgress.load() : -1);
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        posted_.clear();
        progress_.clear();
    }
    void Watch(const std::vector<std::unique_ptr<CWordRecord>>* jobs) { jobs_ = jobs; }
    std::vector<Posted> PostedMessages() const {
        std::lock_guard lock(mutex_);
        return posted_;
    }
    std::vector<int> Progress() const {
        std::lock_guard lock(mutex_);
        return progress_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<Posted> posted_;
    std::vector<int> progress_;
    const std::vector<std::unique_ptr<CWordRecord>>* jobs_ = nullptr;
};

class PdfThreadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        engine_ = FakePdfEngine::Install();
        host_.Watch(&controller_.m_jobs);
        auto job = std::make_unique<CWordRecord>();
        job->m_strFilePath = "/docs/report.final.docx";
        controller_.m_jobs.push_back(std::move(job));
        controller_.m_nCurrentJob = 0;
        controller_.m_strCurrentFile = "/docs/report.final.docx";
        fs::create_directories(platform_.Work() / "out");
        controller_.m_strOutputFolder = (platform_.Work() / "out").string() + "/";
        controller_.m_strIniFile = (platform_.Work() / "config.ini").string();
    }
    void TearDown() override {
        engine_.reset();
        CoUninitialize();
    }

    CWordRecord& Job() { return *controller_.m_jobs[0]; }
    std::string OutputPath(const std::string& name) const {
        return controller_.m_strOutputFolder + name;
    }

    // Writes `count` page files and lists them as EMF1...; EMFCount is `emfCount`.
    std::vector<std::string> WritePages(
        int count, int emfCount,
        const testing_support::PageSize& page = testing_support::PageSize::A4()) {
        std::vector<std::string> paths;
        for (int k = 1; k <= count; ++k) {
            testing_support::SamplePageOptions options;
            options.page = page;
            paths.push_back(WriteFile("page" + std::to_string(k) + ".emf",
                                      testing_support::MakeSamplePage(options)));
        }
        WriteIni(paths, emfCount);
        return paths;
    }
    std::string WriteFile(const std::string& name, const testing_support::Bytes& bytes) {
        const std::string path = (platform_.Work() / name).string();
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }
    void WriteIni(const std::vector<std::string>& paths, int emfCount,
                  const char* printedDocument = "report.final.docx") {
        CIni ini(controller_.m_strIniFile.c_str());
        ASSERT_TRUE(ini.WriteString("Setting", "CurrentDoc", printedDocument));
        if (emfCount >= 0) {
            ASSERT_TRUE(ini.WriteUInt("Setting", "EMFCount", static_cast<UINT>(emfCount)));
        }
        for (std::size_t k = 0; k < paths.size(); ++k) {
            const std::string key = "EMF" + std::to_string(k + 1);
            ASSERT_TRUE(ini.WriteString("EMFFiles", key.c_str(), paths[k].c_str()));
        }
    }

    // Runs the thread routine on a thread of its own, as the controller starts it, and returns
    // the result it posted.
    WPARAM Run() {
        const int liveBefore = engine_->LiveInstances();
        std::thread thread([this] { builder_.RunPdfThread(controller_); });
        thread.join();
        const auto posted = host_.PostedMessages();
        EXPECT_EQ(posted.size(), 1u);
        if (posted.size() != 1) {
            return 99;
        }
        EXPECT_EQ(posted[0].message, WM_JOB_FINISHED);
        EXPECT_EQ(posted[0].lParam, 0);
        // Whatever the outcome, the engine is gone when the thread reports.
        EXPECT_EQ(engine_->LiveInstances(), liveBefore);
        return posted[0].wParam;
    }

    static CHyperlinkRecord Link(std::string target, int page, float left) {
        CHyperlinkRecord link;
        link.target = std::move(target);
        link.page = page;
        link.left = left;
        link.top = left + 1;
        link.right = left + 2;
        link.bottom = left + 3;
        return link;
    }
    void SetLinks(std::vector<CHyperlinkRecord> links) {
        controller_.m_nLinkCount = static_cast<int>(links.size());
        controller_.m_links = std::move(links);
    }

    testing_support::ScopedPlatform platform_;
    std::unique_ptr<FakePdfEngine> engine_;
    RecordingHost host_;
    CConversionController controller_{host_, ConversionLegs{}};
    CPdfBuilder builder_;
};

std::vector<std::string> Ops(const std::vector<PdfCall>& calls) {
    std::vector<std::string> ops;
    for (const PdfCall& call : calls) {
        ops.push_back(call.op);
    }
    return ops;
}

// ---- Page geometry --------------------------------------------------------------------------

TEST(PageGeometryTest, FollowsTheDeviceSizeWhenFrameAndMillimetresAgree) {
    // A4 at 600 dpi as the EMF writer lays it out: device 4961 x 7016, frame 20999 x 29699,
    // 210 x 297 mm. 29699 / 100 = 296 is within 2 of 297, so the device size counts:
    // ceil(7016 * 2540 / 29699) = 601 dpi, scale 72 / 601.
    testing_support::SamplePageOptions options;
    testing_support::ScopedPlatform platform;
    const std::string path = (platform.Work() / "a4.emf").string();
    {
        const auto bytes = testing_support::MakeSamplePage(options);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    EmfPageHeader header;
    ASSERT_TRUE(ReadEmfPageHeader(path, &header));
    EXPECT_EQ(header.deviceCx, 4961);
    EXPECT_EQ(header.deviceCy, 7016);
    EXPECT_EQ(header.frameRight, 20999);
    EXPECT_EQ(header.frameBottom, 29699);
    EXPECT_EQ(header.millimetresCx, 210);
    EXPECT_EQ(header.millimetresCy, 297);
    EXPECT_EQ(header.boundsRight, 4960);
    EXPECT_EQ(header.boundsBottom, 7015);
    EXPECT_EQ(header.bytes, fs::file_size(path));

    PdfPageGeometry geometry;
    ASSERT_TRUE(ComputePageGeometry(header, 72, &geometry));
    EXPECT_EQ(geometry.widthPixels, 4961);
    EXPECT_EQ(geometry.heightPixels, 7016);
    EXPECT_EQ(geometry.verticalDpi, 601);
    EXPECT_DOUBLE_EQ(geometry.scale, 72.0 / 601.0);
    EXPECT_EQ(geometry.pageHeight, 840);
    EXPECT_EQ(geometry.pageWidth, 594);
}

TEST(PageGeometryTest, UsesTheBoundsWhenTheFrameDisagrees) {
    EmfPageHeader header;
    header.boundsRight = 4960;
    header.boundsBottom = 7015;
    header.frameRight = 20999;
    header.frameBottom = 29699;
    header.deviceCx = 5100;  // a device larger than the frame claims
    header.deviceCy = 6600;
    header.millimetresCx = 216;  // 209 differs by 7
    header.millimetresCy = 279;  // 296 differs by 17
    PdfPageGeometry geometry;
    ASSERT_TRUE(ComputePageGeometry(header, 72, &geometry));
    EXPECT_EQ(geometry.widthPixels, 4960);
    EXPECT_EQ(geometry.heightPixels, 7015);
    EXPECT_EQ(geometry.verticalDpi, 600);  // ceil(599.96)
    EXPECT_EQ(geometry.pageHeight, 841);
    EXPECT_EQ(geometry.pageWidth, 595);

    // A drawing that does not start at the left edge keeps the device width; the height still
    // comes from the bounds.
    header.boundsLeft = 3;
    ASSERT_TRUE(ComputePageGeometry(header, 72, &geometry));
    EXPECT_EQ(geometry.widthPixels, 5100);
    EXPECT_EQ(geometry.heightPixels, 7015);

    // A difference of exactly 2 mm is a disagreement; 1 mm either way is not.
    header.boundsLeft = 0;
    header.millimetresCx = 211;
    ASSERT_TRUE(ComputePageGeometry(header, 72, &geometry));
    EXPECT_EQ(geometry.widthPixels, 4960);
    header.millimetresCx = 208;
    ASSERT_TRUE(ComputePageGeometry(header, 72, &geometry));
    EXPECT_EQ(geometry.widthPixels, 5100);
}

TEST(PageGeometryTest, AFrameWithoutHeightGivesNoGeometry) {
    EmfPageHeader header;
    header.deviceCx = header.deviceCy = 100;
    header.frameBottom = 0;
    PdfPageGeometry geometry;
    EXPECT_FALSE(ComputePageGeometry(header, 72, &geometry));
}

TEST_F(PdfThreadTest, DrawsEachPageAtItsSizeAndSavesThePdf) {
    const auto pages = WritePages(3, 3);
    EXPECT_EQ(Run(), JOB_SUCCEEDED);

    EXPECT_EQ(host_.Progress(), (std::vector<int>{66, 83, 100}));
    EXPECT_TRUE(Job().m_bShowProgress);
    EXPECT_TRUE(Job().m_bDone);

    const auto calls = engine_->Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].op, "SetEmbedMetafileFonts");
    EXPECT_EQ(calls[0].values, (std::vector<double>{0}));
    const std::vector<std::string> pageOps = {"GetResolution", "SetPageHeight", "SetPageWidth",
                                              "DrawMetafile"};
    std::vector<std::string> expected = {"SetEmbedMetafileFonts"};
    expected.insert(expected.end(), pageOps.begin(), pageOps.end());
    for (int k = 2; k <= 3; ++k) {
        expected.push_back("AddPage");
        expected.push_back("SelectPage");
        expected.insert(expected.end(), pageOps.begin(), pageOps.end());
    }
    expected.insert(expected.end(), {"SetCreator", "SetProducer", "SaveToFile"});
    EXPECT_EQ(Ops(calls), expected);

    const auto draws = engine_->Calls("DrawMetafile");
    ASSERT_EQ(draws.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(draws[k].text, pages[k]);
        EXPECT_EQ(draws[k].page, static_cast<long>(k));
        const float scale = static_cast<float>(72.0 / 601.0);
        EXPECT_EQ(draws[k].values, (std::vector<double>{0, 0, scale, scale}));
    }
    EXPECT_EQ(engine_->Calls("SelectPage")[1].values, (std::vector<double>{2}));
    EXPECT_EQ(engine_->Calls("SetPageHeight")[0].values, (std::vector<double>{840}));
    EXPECT_EQ(engine_->Calls("SetPageWidth")[0].values, (std::vector<double>{594}));
    EXPECT_EQ(engine_->Calls("SetCreator")[0].text, "Tessaline");
    EXPECT_EQ(engine_->Calls("SetProducer")[0].text, "Tessaline");

    const auto saves = engine_->Calls("SaveToFile");
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].text, OutputPath("report.final.pdf"));
    EXPECT_EQ(saves[0].values, (std::vector<double>{0}));
    EXPECT_EQ(Job().m_strOutputName, "report.final.pdf");
    EXPECT_EQ(Job().m_strOutputPath, OutputPath("report.final.pdf"));
    std::ifstream saved(Job().m_strOutputPath);
    std::string firstLine;
    std::getline(saved, firstLine);
    EXPECT_EQ(firstLine, FakePdfEngine::kMarker);
}

TEST_F(PdfThreadTest, ScalesToTheEngineResolution) {
    engine_->SetResolution(1440);
    WritePages(1, 1, testing_support::PageSize::Letter(300));
    EXPECT_EQ(Run(), JOB_SUCCEEDED);
    // Letter at 300 dpi: 2550 x 3300 px, frame 27939 -> ceil(3300 * 2540 / 27939) = 301 dpi.
    const double scale = 1440.0 / 301.0;
    EXPECT_EQ(engine_->Calls("SetPageHeight")[0].values,
              (std::vector<double>{double(static_cast<LONG>(3300 * scale))}));
    EXPECT_EQ(engine_->Calls("SetPageWidth")[0].values,
              (std::vector<double>{double(static_cast<LONG>(2550 * scale))}));
    EXPECT_EQ(host_.Progress(), (std::vector<int>{100}));
}

// ---- The page list --------------------------------------------------------------------------

TEST_F(PdfThreadTest, ThePageKeysDecideThePagesAndTheCountOnlyTheProgress) {
    WritePages(3, 2);
    EXPECT_EQ(Run(), JOB_SUCCEEDED);
    EXPECT_EQ(engine_->Calls("DrawMetafile").size(), 3u);
    EXPECT_EQ(engine_->Calls("AddPage").size(), 2u);
    EXPECT_EQ(host_.Progress(), (std::vector<int>{75, 100, 125}));
}

TEST_F(PdfThreadTest, NoPageCountFailsTheJob) {
    for (int emfCount : {0, -1}) {  // -1: the key is missing
        SCOPED_TRACE(emfCount);
        fs::remove(controller_.m_strIniFile);
        WritePages(1, emfCount);
        EXPECT_EQ(Run(), JOB_FAILED);
        EXPECT_TRUE(engine_->Calls("DrawMetafile").empty());
        EXPECT_TRUE(engine_->Calls("SaveToFile").empty());
        EXPECT_FALSE(Job().m_bDone);
        host_.Reset();
    }
}

TEST_F(PdfThreadTest, AnUnreadablePageFailsWithoutSaving) {
    auto pages = WritePages(2, 3);
    pages.push_back((platform_.Work() / "missing.emf").string());
    WriteIni(pages, 3);
    EXPECT_EQ(Run(), JOB_FAILED);
    EXPECT_EQ(engine_->Calls("DrawMetafile").size(), 2u);
    EXPECT_TRUE(engine_->Calls("SaveToFile").empty());
    EXPECT_FALSE(fs::exists(OutputPath("report.final.pdf")));
    EXPECT_TRUE(Job().m_strOutputName.empty());
}

TEST_F(PdfThreadTest, AFileThatIsNotAMetafileOrHasNoFrameHeightFails) {
    const std::string text = WriteFile("text.emf", testing_support::Bytes(200, 'x'));
    WriteIni({text}, 1);
    EXPECT_EQ(Run(), JOB_FAILED);
    EXPECT_TRUE(engine_->Calls("DrawMetafile").empty());

    host_.Reset();
    auto bytes = testing_support::MakeSamplePage();
    for (std::size_t i = 36; i < 40; ++i) {
        bytes[i] = 0;  // rclFrame.bottom
    }
    WriteIni({WriteFile("flat.emf", bytes)}, 1);
    EXPECT_EQ(Run(), JOB_FAILED);
    EXPECT_TRUE(engine_->Calls("SaveToFile").empty());
}

TEST_F(PdfThreadTest, PagesPrintedForAnotherDocumentFailTheJob) {
    const auto pages = WritePages(2, 2);
    WriteIni(pages, 2, "someone-else.docx");
    EXPECT_EQ(Run(), JOB_FAILED);
    EXPECT_TRUE(engine_->Calls("DrawMetafile").empty());
    EXPECT_FALSE(fs::exists(OutputPath("report.final.pdf")));

    // The name travels as UTF-16 through the spool file and comes back the same.
    host_.Reset();
    controller_.m_strCurrentFile = "/docs/季度报告 v2.docx";
    WriteIni(pages, 2, "季度报告 v2.docx");
    EXPECT_EQ(Run(), JOB_SUCCEEDED);
}

TEST_F(PdfThreadTest, AnEngineThatCannotBeCreatedFailsTheJob) {
    WritePages(1, 1);
    engine_->FailCreate(E_OUTOFMEMORY);
    EXPECT_EQ(Run(), JOB_FAILED);
    EXPECT_EQ(engine_->InstancesCreated(), 0);
    EXPECT_FALSE(fs::exists(OutputPath("report.final.pdf")));
}

TEST_F(PdfThreadTest, AnEngineFailureEndsTheJobWithTheEngineReleased) {
    WritePages(2, 2);
    for (const char* op : {"DrawMetafile", "SaveToFile", "GetResolution"}) {
        SCOPED_TRACE(op);
        engine_.reset();
        engine_ = FakePdfEngine::Install();
        engine_->FailCall(op, 1, E_FAIL);
        host_.Reset();
        EXPECT_EQ(Run(), JOB_FAILED);  // checks the engine is released, too
        EXPECT_EQ(engine_->InstancesCreated(), 1);
        EXPECT_FALSE(Job().m_bDone);
        EXPECT_FALSE(fs::exists(OutputPath("report.final.pdf")));
        // The row shows no PDF for a job whose PDF was never saved, and says why.
        EXPECT_EQ(Job().m_strOutputName, "");
        EXPECT_EQ(Job().m_strOutputPath, "");
        EXPECT_NE(Job().m_strFailure, "");
        Job().m_strFailure.clear();
    }
    // The thread left no apartment behind: a new one initialises afresh.
    std::thread([] {
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }).join();
}

// ---- Output names ---------------------------------------------------------------------------

TEST(PdfOutputPathTest, NamesThePdfAfterTheDocument) {
    EXPECT_EQ(MakePdfOutputPath("/docs/report.final.docx", "/out/", false),
              "/out/report.final.pdf");
    EXPECT_EQ(MakePdfOutputPath("/docs/README", "/out/", false), "/out/README.pdf");
    EXPECT_EQ(MakePdfOutputPath("/docs/", "/out/", false), "/out/.pdf");
    EXPECT_EQ(MakePdfOutputPath("report.docx", "/out/", false), "/out/.pdf");
}

TEST_F(PdfThreadTest, NumbersTheNameWhenTheFileExists) {
    const std::string plain = OutputPath("report.final.pdf");
    const std::string first = OutputPath("report.final(1).pdf");
    std::ofstream(plain) << "old";
    controller_.m_bRenameExisting = 0;
    EXPECT_EQ(MakePdfOutputPath(controller_.m_strCurrentFile, controller_.m_strOutputFolder, false),
              plain);
    EXPECT_EQ(MakePdfOutputPath(controller_.m_strCurrentFile, controller_.m_strOutputFolder, true),
              first);
    fs::create_directory(first);  // a folder of that name counts as taken too
    EXPECT_EQ(MakePdfOutputPath(controller_.m_strCurrentFile, controller_.m_strOutputFolder, true),
              OutputPath("report.final(2).pdf"));
    fs::remove(first);

    WritePages(1, 1);
    controller_.m_bRenameExisting = 1;
    EXPECT_EQ(Run(), JOB_SUCCEEDED);
    EXPECT_EQ(Job().m_strOutputName, "report.final(1).pdf");
    EXPECT_EQ(Job().m_strOutputPath, first);
    EXPECT_EQ(engine_->Calls("SaveToFile")[0].text, first);
    std::string old;
    std::ifstream(plain) >> old;
    EXPECT_EQ(old, "old");
}

// report.docx and report.doc in one batch: the second PDF gets a number rather than replacing
// the first, whatever the answer about files that were there before.
TEST_F(PdfThreadTest, NeverOverwritesAPdfAnotherJobMade) {
    const std::string plain = OutputPath("report.final.pdf");
    auto earlier = std::make_unique<CWordRecord>();
    earlier->m_strOutputPath = plain;
    controller_.m_jobs.insert(controller_.m_jobs.begin(), std::move(earlier));
    controller_.m_nCurrentJob = 1;
    std::ofstream(plain) << "first";
    controller_.m_bRenameExisting = 0;
    WritePages(1, 1);
    EXPECT_EQ(Run(), JOB_SUCCEEDED);
    EXPECT_EQ(controller_.m_jobs[1]->m_strOutputPath, OutputPath("report.final(1).pdf"));
    std::string first;
    std::ifstream(plain) >> first;
    EXPECT_EQ(first, "first");
}

TEST_F(PdfThreadTest, OverwritesWhenNotRenaming) {
    std::ofstream(OutputPath("report.final.pdf")) << "old";
    WritePages(1, 1);
    EXPECT_EQ(Run(), JOB_SUCCEEDED);
    EXPECT_EQ(Job().m_strOutputName, "report.final.pdf");
    std::string firstLine;
    std::getline(std::ifstream(OutputPath("report.final.pdf")) >> std::ws, firstLine);
    EXPECT_EQ(firstLine, FakePdfEngine::kMarker);
}

// ---- Links ----------------------------------------------------------------------------------

TEST_F(PdfThreadTest, WebLinksGoOnTheirOwnPageOnlyWhenTheJobKeepsLinks) {
    WritePages(3, 3);
    CHyperlinkRecord local = Link("/home/a.doc", 2, 10);
    local.isLocalFile = 1;
    const std::vector<CHyperlinkRecord> records = {local, Link("https://example.org/", 3, 20)};

    // Only bookmarks kept: no link of any kind, though the harvest made records.
    Job().m_bKeepBookmarks = 1;
    SetLinks(records);
    EXPECT_EQ(Run(), JOB_SUCCEEDED);
    EXPECT_TRUE(engine_->Calls("AddWebLink").empty());
    EXPECT_TRUE(engine_->Calls("AddPageLink").empty());

    host_.Reset();
    engine_.reset();
    engine_ = FakePdfEngine::Install();
    Job().m_bKeepLinks = 1;
    SetLinks(records);
    EXPECT_EQ(Run(), JOB_SUCCEEDED);
    const auto links = engine_->Calls("AddWebLink");
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].text, "file:///home/a.doc");
    EXPECT_EQ(links[0].page, 1);
    EXPECT_EQ(links[0].values, (std::vector<double>{10, 11, 12, 13}));
    EXPECT_EQ(links[1].text, "https://example.org/");
    EXPECT_EQ(links[1].page, 2);
    EXPECT_TRUE(engine_->Calls("AddPageLink").empty());
}

// A job with PDF options whose protection cannot be written: the toolkit cannot read what the
// engine saved here (the recording engine writes no PDF).
TEST_F(PdfThreadTest, AProtectionThatCannotBeWrittenFailsTheJobAndLeavesNoPdf) {
    const std::string output = OutputPath("report.final.pdf");
    std::ofstream(output) << "older PDF";
    WritePages(1, 1);
    Job().m_bOptionsSet = 1;
    Job().m_strUserPassword = "secret";
    EXPECT_EQ(Run(), JOB_FAILED);
    EXPECT_EQ(Job().m_strOutputPath, "");
    EXPECT_FALSE(Job().m_bDone);
    std::string kept;
    std::getline(std::ifstream(output), kept);
    EXPECT_EQ(kept, "older PDF") << "the older PDF of that name stays as it was";
    EXPECT_EQ(std::distance(fs::directory_iterator(controller_.m_strOutputFolder),
                            fs::directory_iterator()),
              1)
        << "the unprotected PDF was left beside it";

    // Options that ask for nothing the toolkit writes keep the engine's PDF.
    host_.Reset();
    Job().m_strUserPassword.clear();
    Job().m_bKeepLinks = 1;
    EXPECT_EQ(Run(), JOB_SUCCEEDED);
    EXPECT_EQ(Job().m_strOutputPath, output);
    std::string firstLine;
    std::getline(std::ifstream(output), firstLine);
    EXPECT_EQ(firstLine, FakePdfEngine::kMarker);
}

TEST_F(PdfThreadTest, LinksIntoTheDocumentFollowThePagesWhenTheJobKeepsLinks) {
    WritePages(2, 2);
    Job().m_bKeepLinks = 1;
    CHyperlinkRecord heading = Link("Heading target", 1, 10);
    heading.hasHeadingTarget = 1;
    heading.destPage = 2;
    heading.destY = 300.5F;
    CHyperlinkRecord bookmark = Link("", 2, 20);
    bookmark.hasBookmarkTarget = 1;
    bookmark.destPage = 1;
    bookmark.destY = 42;
    SetLinks({heading, bookmark, Link("https://example.org/", 2, 30)});
    EXPECT_EQ(Run(), JOB_SUCCEEDED);

    const auto web = engine_->Calls("AddWebLink");
    ASSERT_EQ(web.size(), 2u);
    EXPECT_EQ(web[0].text, "Heading target");
    EXPECT_EQ(web[0].page, 0);
    EXPECT_EQ(web[1].text, "https://example.org/");

    const auto inDocument = engine_->Calls("AddPageLink");
    ASSERT_EQ(inDocument.size(), 2u);
    EXPECT_EQ(inDocument[0].page, 0);
    EXPECT_EQ(inDocument[0].values, (std::vector<double>{10, 11, 12, 13, 1, 300.5}));
    EXPECT_EQ(inDocument[1].page, 1);
    EXPECT_EQ(inDocument[1].values, (std::vector<double>{20, 21, 22, 23, 0, 42}));

    // After the last page is drawn: page count, then every page selected in turn.
    const auto ops = Ops(engine_->Calls());
    const auto count = std::find(ops.begin(), ops.end(), "GetPageCount");
    ASSERT_NE(count, ops.end());
    EXPECT_GT(count - ops.begin(),
              std::find(ops.rbegin(), ops.rend(), "DrawMetafile").base() - ops.begin() - 1);
    EXPECT_EQ(engine_->Calls("SelectPage").size(), 3u);  // one for page 2, then pages 0 and 1
    EXPECT_TRUE(controller_.m_links.empty());
    EXPECT_EQ(controller_.m_nLinkCount, 0);
}

TEST_F(PdfThreadTest, NoLinkRecordsMeansNoLinkCalls) {
    WritePages(2, 2);
    Job().m_bKeepLinks = 1;
    EXPECT_EQ(Run(), JOB_SUCCEEDED);
    EXPECT_TRUE(engine_->Calls("GetPageCount").empty());
    EXPECT_TRUE(engine_->Calls("AddWebLink").empty());
}

// ---- The outline ----------------------------------------------------------------------------

class OutlineTest : public PdfThreadTest {
  protected:
    void Headings(const std::vector<std::string>& numbers) {
        float y = 100;
        int page = 1;
        for (const std::string& number : numbers) {
            CBookmarkEntry entry;
            entry.number = number;
            entry.title = "H" + number;
            entry.page = page++;
            entry.y = y;
            y += 10;
            controller_.m_bookmarks.push_back(entry);
        }
        controller_.m_nBookmarkCount = static_cast<int>(numbers.size());
    }

    // The outline as "parent>title" for children and "previous+title" for siblings, with the
    // parent or previous entry named by its title (root for the outline's root).
    std::vector<std::string> Tree() const {
        std::map<long, std::string> names{{FakePdfEngine::kRootId, "root"}};
        std::vector<std::string> tree;
        for (const PdfCall& call : engine_->Calls()) {
            if (call.op != "AddOutlineChild" && call.op != "AddOutlineSibling") {
                continue;
            }
            const long ref = static_cast<long>(call.values[0]);
            const std::string refName = names.count(ref) ? names[ref] : "?" + std::to_string(ref);
            tree.push_back(refName + (call.op == "AddOutlineChild" ? ">" : "+") + call.text);
            names[call.result] = call.text;
        }
        return tree;
    }

    // For each SetOutlineDestination: the entry's title, the page and y of the destination.
    std::vector<std::string> Destinations() const {
        std::map<long, std::string> names;
        std::map<long, std::string> destinations;
        std::vector<std::string> result;
        for (const PdfCall& call : engine_->Calls()) {
            if (call.op == "AddOutlineChild" || call.op == "AddOutlineSibling") {
                names[call.result] = call.text;
            } else if (call.op == "CreateDestination") {
                destinations[call.result] = std::to_string(static_cast<int>(call.values[0])) + "@" +
                                            std::to_string(static_cast<int>(call.values[1]));
            } else if (call.op == "SetOutlineDestination") {
                result.push_back(names[static_cast<long>(call.values[0])] + " " +
                                 destinations[static_cast<long>(call.values[1])]);
            }
        }
        return result;
    }

    // BuildOutline on an engine object of our own, without the thread.
    void SetUp() override {
        PdfThreadTest::SetUp();
        CLSID clsid{};
        ASSERT_EQ(CLSIDFromProgID(tessaline::contracts::kPdfDocumentOleProgId.data(), &clsid),
                  S_OK);
        ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IPDFDocument4,
                                   reinterpret_cast<void**>(direct_.Put())),
                  S_OK);
    }
    void TearDown() override {
        direct_.Reset();
        PdfThreadTest::TearDown();
    }
    void BuildDirect() { BuildOutline(controller_, direct_.Get()); }

    ComPtr<IPDFDocument4> direct_;
};

TEST_F(OutlineTest, NestsHeadingsByTheirNumbers) {
    testing_support::ScopedEnvVar language("LC_ALL", "en_US.UTF-8");
    Headings({"1", "1.1", "1.2", "1.2.1", "2", "2.1"});
    BuildDirect();
    EXPECT_EQ(Tree(), (std::vector<std::string>{"root>H1", "H1>H1.1", "H1.1+H1.2", "H1.2>H1.2.1",
                                                "H1+H2", "H2>H2.1"}));
    EXPECT_EQ(Destinations(), (std::vector<std::string>{"H1 0@100", "H1.1 1@110", "H1.2 2@120",
                                                        "H1.2.1 3@130", "H2 4@140", "H2.1 5@150"}));
    EXPECT_EQ(engine_->Calls("SetOutlineMode")[0].values, (std::vector<double>{1}));
    EXPECT_EQ(engine_->Calls("GetOutlineRoot").size(), 1u);
    for (const auto& op : {"AddOutlineChild", "AddOutlineSibling"}) {
        for (const PdfCall& call : engine_->Calls(op)) {
            EXPECT_EQ(call.values[1], kOutlineCharsetDefault);
        }
    }
    EXPECT_TRUE(controller_.m_bookmarks.empty());
    EXPECT_EQ(controller_.m_nBookmarkCount, 0);
}

TEST_F(OutlineTest, ReturnsToAShallowerLevelAfterADeeperOne) {
    Headings({"1", "1.1", "1.1.1", "1.2"});
    BuildDirect();
    EXPECT_EQ(Tree(), (std::vector<std::string>{"root>H1", "H1>H1.1", "H1.1>H1.1.1", "H1.1+H1.2"}));
}

TEST_F(OutlineTest, ATopLevelHeadingStartsItsChildrenAfresh) {
    Headings({"1", "1.1", "2", "2.1"});
    BuildDirect();
    EXPECT_EQ(Tree(), (std::vector<std::string>{"root>H1", "H1>H1.1", "H1+H2", "H2>H2.1"}));
}

TEST_F(OutlineTest, AZeroNumberMovesTheDestinationOfTheEntryBefore) {
    Headings({"3", "3.0"});
    BuildDirect();
    EXPECT_EQ(Tree(), (std::vector<std::string>{"root>H3"}));
    EXPECT_EQ(Destinations(), (std::vector<std::string>{"H3 0@100", "H3 1@110"}));
}

TEST_F(OutlineTest, APieceThatIsNoNumberCutsTheLevel) {
    Headings({"4", "4.1.x", "4.2", "4.2.7b"});
    BuildDirect();
    EXPECT_EQ(Tree(),
              (std::vector<std::string>{"root>H4", "H4>H4.1.x", "H4.1.x+H4.2", "H4.2>H4.2.7b"}));
}

TEST_F(OutlineTest, ANumberWithNothingAfterThePointKeepsTheLevel) {
    // "1.1." has one number; "2." none, so the numbers of 1.1 stand and it follows as a sibling.
    Headings({"1", "1.1.", "2."});
    BuildDirect();
    EXPECT_EQ(Tree(), (std::vector<std::string>{"root>H1", "H1>H1.1.", "H1.1.+H2."}));
}

TEST_F(OutlineTest, ChineseInterfacePassesTheGb2312Charset) {
    testing_support::ScopedEnvVar language("LC_ALL", "zh_CN.UTF-8");
    Headings({"1", "1.1"});
    controller_.m_bookmarks[0].title = "第一章";
    BuildDirect();
    const auto children = engine_->Calls("AddOutlineChild");
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0].text, "第一章");
    EXPECT_EQ(children[0].values[1], kOutlineCharsetGb2312);
    EXPECT_EQ(children[1].values[1], kOutlineCharsetGb2312);
}

TEST_F(OutlineTest, CutsLongTopLevelTitlesButNotDeeperOnes) {
    Headings({"1", "1.1"});
    controller_.m_bookmarks[0].title = std::string(300, 'a');
    controller_.m_bookmarks[1].title = std::string(300, 'b');
    BuildDirect();
    const auto children = engine_->Calls("AddOutlineChild");
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0].text, std::string(255, 'a'));
    EXPECT_EQ(children[1].text, std::string(300, 'b'));
}

TEST_F(OutlineTest, NoEntriesNoOutlineCalls) {
    BuildDirect();
    EXPECT_TRUE(engine_->Calls().empty());
}

TEST_F(OutlineTest, TheThreadBuildsTheOutlineOnceForEitherSetting) {
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        engine_.reset();
        engine_ = FakePdfEngine::Install();
        host_.Reset();
        controller_.m_bookmarks.clear();
        Headings({"1", "1.1"});
        WritePages(2, 2);
        Job().m_bKeepLinks = variant != 1;
        Job().m_bKeepBookmarks = variant != 0;
        EXPECT_EQ(Run(), JOB_SUCCEEDED);
        EXPECT_EQ(engine_->Calls("SetOutlineMode").size(), 1u);
        EXPECT_EQ(Tree(), (std::vector<std::string>{"root>H1", "H1>H1.1"}));
        EXPECT_TRUE(controller_.m_bookmarks.empty());
        // Before the document information and the save.
        const auto ops = Ops(engine_->Calls());
        EXPECT_LT(std::find(ops.begin(), ops.end(), "SetOutlineDestination"),
                  std::find(ops.begin(), ops.end(), "SetCreator"));
    }
    // Neither setting: no outline.
    engine_.reset();
    engine_ = FakePdfEngine::Install();
    host_.Reset();
    Headings({"1"});
    Job().m_bKeepLinks = Job().m_bKeepBookmarks = 0;
    EXPECT_EQ(Run(), JOB_SUCCEEDED);
    EXPECT_TRUE(engine_->Calls("SetOutlineMode").empty());
    EXPECT_EQ(controller_.m_nBookmarkCount, 1);
}

TEST_F(OutlineTest, AnOutlineFailureFailsTheJob) {
    Headings({"1", "1.1"});
    WritePages(1, 1);
    Job().m_bKeepBookmarks = 1;
    engine_->FailCall("AddOutlineChild", 2, E_FAIL);
    EXPECT_EQ(Run(), JOB_FAILED);
    EXPECT_TRUE(engine_->Calls("SaveToFile").empty());
}

}  // namespace
