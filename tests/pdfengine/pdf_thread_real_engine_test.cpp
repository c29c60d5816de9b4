// The PDF thread (leg 3 of a job) with the real PDF engine instead of the recording one: page
// EMFs with payloads, links and an outline from the harvest, and the PDF that comes out read
// back with qpdf; an engine failure ends the job as failed without a PDF.
#include <thread>

#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "app/HeadlessHost.h"
#include "common/ini/Ini.h"
#include "convert/ConversionController.h"
#include "convert/PdfThread.h"
#include "tests/pdfengine/engine_test_support.h"
#include "tests/support/scoped_environment.h"

using namespace pdfengine_test;

namespace {

// Keeps the results the thread posts instead of running a message loop.
class ResultHost : public CHeadlessHost {
  public:
    ResultHost() : CHeadlessHost("Tessaline") {}
    void PostMessageToUi(UINT message, WPARAM wParam, LPARAM) override {
        std::lock_guard lock(mutex_);
        if (message == WM_JOB_FINISHED) {
            results_.push_back(wParam);
        }
    }
    void RedrawJob(unsigned) override {}
    std::vector<WPARAM> Results() const {
        std::lock_guard lock(mutex_);
        return results_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<WPARAM> results_;
};

class PdfEngineThreadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const std::string missing = MissingTools(); !missing.empty()) {
            GTEST_SKIP() << "needs " << missing << " (qpdf, poppler-utils)";
        }
        RegisterEngineLibrary();
        auto job = std::make_unique<CWordRecord>();
        job->m_strFilePath = "/docs/report.docx";
        job->m_bKeepLinks = 1;
        job->m_bKeepBookmarks = 1;
        controller_.m_jobs.push_back(std::move(job));
        controller_.m_nCurrentJob = 0;
        controller_.m_strCurrentFile = "/docs/report.docx";
        fs::create_directories(Out());
        controller_.m_strOutputFolder = Out().string() + "/";
        controller_.m_strIniFile = (platform_.Work() / "config.ini").string();
    }

    fs::path Out() const { return platform_.Work() / "out"; }

    // Three payload pages: Letter, A4, Letter; listed in the hand-off file.
    void WritePages(const std::string& brokenPayloadOfPage2 = {}) {
        const std::vector<SourcePage> source = {{612, 792, "First page words"},
                                                {595.28, 841.89, "Second page words"},
                                                {612, 792, "Third page words"}};
        const auto parts = SplitPages(MakeCairoPdf(source), platform_.Work() / "split");
        ASSERT_EQ(parts.size(), 3u);
        CIni ini(controller_.m_strIniFile.c_str());
        ASSERT_TRUE(ini.WriteString("Setting", "CurrentDoc", "report.docx"));
        ASSERT_TRUE(ini.WriteUInt("Setting", "EMFCount", 3));
        for (int k = 1; k <= 3; ++k) {
            const std::string& payload =
                k == 2 && !brokenPayloadOfPage2.empty() ? brokenPayloadOfPage2 : parts[k - 1];
            const std::string path =
                WritePageEmf(platform_.Work() / ("p" + std::to_string(k) + ".emf"),
                             source[k - 1].width, source[k - 1].height, payload);
            ASSERT_TRUE(
                ini.WriteString("EMFFiles", ("EMF" + std::to_string(k)).c_str(), path.c_str()));
        }
    }

    void Harvest() {
        CHyperlinkRecord web;
        web.target = "https://example.com/report";
        web.page = 1;
        web.left = 72, web.top = 90, web.right = 250, web.bottom = 104;
        CHyperlinkRecord file;
        file.target = "/docs/annex one.docx";
        file.isLocalFile = 1;
        file.page = 2;
        file.left = 72, file.top = 200, file.right = 250, file.bottom = 214;
        // The harvest names an existing file by its file URI, with the place it leads to.
        CHyperlinkRecord place = file;
        place.target = "file:///docs/annex two.docx#Costs";
        place.top += 20, place.bottom += 20;
        CHyperlinkRecord inside;
        inside.page = 1;
        inside.hasBookmarkTarget = 1;
        inside.destPage = 3;
        inside.destY = 300;
        inside.left = 72, inside.top = 400, inside.right = 250, inside.bottom = 414;
        controller_.m_links = {web, file, place, inside};
        controller_.m_nLinkCount = 4;

        const auto entry = [](std::string title, std::string number, int page, float y) {
            CBookmarkEntry e;
            e.title = std::move(title);
            e.number = std::move(number);
            e.page = page;
            e.y = y;
            return e;
        };
        controller_.m_bookmarks = {entry("Introduction", "1", 1, 72),
                                   entry("\xE8\xAF\xA6\xE6\x83\x85 Details", "1.1", 2, 144),
                                   entry("Closing", "2", 3, 36)};
        controller_.m_nBookmarkCount = 3;
    }

    WPARAM Run() {
        std::thread thread([this] { builder_.RunPdfThread(controller_); });
        thread.join();
        const auto results = host_.Results();
        EXPECT_EQ(results.size(), 1u);
        return results.empty() ? 99 : results.front();
    }

    testing_support::ScopedPlatform platform_;
    ResultHost host_;
    CConversionController controller_{host_, ConversionLegs{}};
    CPdfBuilder builder_;
};

TEST_F(PdfEngineThreadTest, AThreePageJobEndsInAPdfWithItsLinksAndOutline) {
    WritePages();
    Harvest();
    ASSERT_EQ(Run(), static_cast<WPARAM>(JOB_SUCCEEDED));
    const fs::path pdfPath = Out() / "report.pdf";
    EXPECT_EQ(controller_.m_jobs[0]->m_strOutputPath, pdfPath.string());
    ASSERT_TRUE(fs::exists(pdfPath));
    EXPECT_EQ(QpdfCheckProblems(pdfPath), "");
    EXPECT_EQ(testing_support::ListFilesRecursively(Out()), std::vector<std::string>{"report.pdf"});

    QPDF pdf;
    pdf.processFile(pdfPath.string().c_str());
    auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_NE(PageText(pdfPath, 2).find("Second page words"), std::string::npos);
    const double thirdHeight = pages[2].getMediaBox().getArrayAsRectangle().ury;

    // Page 1: the web link, then the in-document link added after the pages.
    auto first = pages[0].getObjectHandle().getKey("/Annots").getArrayAsVector();
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].getKey("/A").getKey("/URI").getStringValue(), "https://example.com/report");
    QPDFObjectHandle dest = first[1].getKey("/Dest");
    ASSERT_TRUE(dest.isArray());
    EXPECT_EQ(dest.getArrayItem(0).getObjGen(), pages[2].getObjectHandle().getObjGen());
    EXPECT_EQ(dest.getArrayItem(3).getNumericValue(), thirdHeight - 300);
    // Page 2: the local file as a file URI; one that is a URI already keeps it whole.
    auto second = pages[1].getObjectHandle().getKey("/Annots").getArrayAsVector();
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0].getKey("/A").getKey("/URI").getStringValue(),
              "file:///docs/annex%20one.docx");
    EXPECT_EQ(second[1].getKey("/A").getKey("/URI").getStringValue(),
              "file:///docs/annex%20two.docx#Costs");

    QPDFOutlineDocumentHelper outline(pdf);
    auto top = outline.getTopLevelOutlines();
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].getTitle(), "Introduction");
    EXPECT_EQ(top[1].getTitle(), "Closing");
    auto kids = top[0].getKids();
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_EQ(kids[0].getTitle(), "\xE8\xAF\xA6\xE6\x83\x85 Details");
    EXPECT_EQ(kids[0].getDestPage().getObjGen(), pages[1].getObjectHandle().getObjGen());
    EXPECT_EQ(top[1].getDestPage().getObjGen(), pages[2].getObjectHandle().getObjGen());
    QPDFObjectHandle info = pdf.getTrailer().getKey("/Info");
    EXPECT_EQ(info.getKey("/Creator").getUTF8Value(), "Tessaline");
    EXPECT_EQ(info.getKey("/Producer").getUTF8Value(), "Tessaline");
}

TEST_F(PdfEngineThreadTest, AnEngineFailureEndsTheJobWithoutAPdf) {
    // The second page's header is fine (the thread reads it), its payload is not a PDF.
    WritePages(std::string(4096, '%'));
    Harvest();
    EXPECT_EQ(Run(), static_cast<WPARAM>(JOB_FAILED));
    EXPECT_TRUE(testing_support::ListFilesRecursively(Out()).empty());
    EXPECT_FALSE(controller_.m_jobs[0]->m_bDone);
}

}  // namespace
