// The document analysis against the scripted word processor: hyperlink rectangles and targets,
// table-of-contents headings, the outline numbers, progress, the exit request and failures.
#include "convert/DocumentHarvest.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/HeadlessHost.h"
#include "contracts/Installation.h"
#include "convert/ConversionController.h"
#include "convert/WordAutomation.h"
#include "tests/support/fake_word.h"
#include "tests/support/scoped_environment.h"

using testing_support::FakeWord;
using testing_support::WordObject;

namespace {

namespace fs = std::filesystem;

using Rect = std::array<float, 4>;  // left, top, right, bottom

Rect RectOf(const CHyperlinkRecord& record) {
    return {record.left, record.top, record.right, record.bottom};
}

// The headless host, watching the rows the harvest repaints: the job's progress at each repaint,
// an exit request at a chosen repaint, and a screen resolution of the test's choice.
class RecordingHost : public CHeadlessHost {
  public:
    RecordingHost() : CHeadlessHost("Folvane") {}

    void Watch(CConversionController* controller) {
        controller_ = controller;
        SetController(controller);
    }
    // The user asks to leave during the nth repaint (1-based).
    void RequestExitAt(int nth) {
        std::lock_guard<std::mutex> lock(mutex_);
        exitAt_ = nth;
    }
    void SetResolution(int horizontal, int vertical) {
        dpiX_ = horizontal;
        dpiY_ = vertical;
    }
    // The progress shown at each repaint; -1 where the row showed no progress bar.
    std::vector<int> Progress() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return progress_;
    }

    void RedrawJob(unsigned index) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const CWordRecord& job = *controller_->m_jobs[index];
            progress_.push_back(job.m_bShowProgress ? job.m_nProgress.load() : -1);
            if (++redraws_ == exitAt_) {
                controller_->m_bExitRequested = 1;
            }
        }
        CHeadlessHost::RedrawJob(index);
    }
    int GetDeviceCaps(int index) const override {
        if (dpiX_ == 0) {
            return CHeadlessHost::GetDeviceCaps(index);
        }
        return index == LOGPIXELSX ? dpiX_ : index == LOGPIXELSY ? dpiY_ : 0;
    }

  private:
    CConversionController* controller_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<int> progress_;
    int redraws_ = 0;
    int exitAt_ = 0;
    int dpiX_ = 0;
    int dpiY_ = 0;
};

// Stand-ins for the legs around the harvest, for the batches run through the controller.
class ReadyPrinter : public IPrinterControl {
  public:
    std::string GetDefaultPrinter() override { return tessaline::contracts::kVirtualPrinter; }
    bool SetDefaultPrinter(const std::string&) override { return true; }
};

class ReadyHandOff : public IPrintHandOff {
  public:
    bool WaitForPages() override { return true; }
    std::string ReadHandOffPath() override { return "/hand-off/config.ini"; }
};

// The PDF thread's stand-in: keeps what the harvest left for it.
class ResultsReader : public IPdfBuilder {
  public:
    void RunPdfThread(CConversionController& controller) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++runs;
            links = controller.m_links;
            bookmarks = controller.m_bookmarks;
        }
        controller.Host().PostMessageToUi(WM_JOB_FINISHED, JOB_SUCCEEDED, 0);
    }
    std::mutex mutex_;
    int runs = 0;
    std::vector<CHyperlinkRecord> links;
    std::vector<CBookmarkEntry> bookmarks;
};

// Relative file names are looked up from the process's current folder.
class ScopedCurrentFolder {
  public:
    explicit ScopedCurrentFolder(const fs::path& folder) : old_(fs::current_path()) {
        fs::current_path(folder);
    }
    ~ScopedCurrentFolder() {
        std::error_code ignored;
        fs::current_path(old_, ignored);
    }

  private:
    fs::path old_;
};

class Harvest : public ::testing::Test {
  protected:
    Harvest() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        word_ = FakeWord::Install();
        legs_ = {&printer_, &harvester_, &handOff_, &pdf_};
        controller_ = std::make_unique<CConversionController>(host_, legs_);
        host_.Watch(controller_.get());
        host_.SetDestinationDir(platform_.Work().string());
        // The harvested job is the second row, so a wrong row index shows.
        for (const char* name : {"other.docx", "report.docx"}) {
            auto job = std::make_unique<CWordRecord>();
            job->m_strFilePath = (platform_.Work() / name).string();
            job->m_strFileName = name;
            controller_->m_jobs.push_back(std::move(job));
        }
        controller_->m_nCurrentJob = 1;
    }

    void TearDown() override {
        document_.Reset();
        documents_.Reset();
        if (application_) {
            word::QuitWord(application_.Get());
            application_.Reset();
        }
        // Every object the harvest asked for was released again.
        EXPECT_EQ(word_->LiveObjects(), 0);
    }

    ~Harvest() override {
        controller_.reset();
        word_.reset();
        CoUninitialize();
    }

    CWordRecord& Job() { return *controller_->m_jobs[1]; }

    // Opens a document described in the fake's format and harvests it for the current job.
    int Run(const std::string& content, bool keepLinks = true, bool keepBookmarks = true) {
        std::string path = Job().m_strFilePath;
        testing_support::WriteFile(path, content);
        if (!application_) {
            application_ = word::CreateWordApplication();
            documents_ = word::GetDocuments(application_.Get());
        }
        document_ = word::OpenDocument(documents_.Get(), path, 16);
        Job().m_bKeepLinks = keepLinks;
        Job().m_bKeepBookmarks = keepBookmarks;
        return HarvestDocument(*controller_, path, document_.Get());
    }

    // The HRESULT a harvest raised, S_OK when it raised nothing.
    HRESULT RunRaising(const std::string& content) {
        try {
            Run(content);
        } catch (const _com_error& e) {
            return e.Error();
        }
        return S_OK;
    }

    const std::vector<CHyperlinkRecord>& Links() const { return controller_->m_links; }
    const std::vector<CBookmarkEntry>& Bookmarks() const { return controller_->m_bookmarks; }

    std::vector<std::string> Numbers() const {
        std::vector<std::string> numbers;
        for (const CBookmarkEntry& entry : Bookmarks()) {
            numbers.push_back(entry.number);
        }
        return numbers;
    }

    testing_support::ScopedPlatform platform_;
    std::shared_ptr<FakeWord> word_;
    RecordingHost host_;
    ReadyPrinter printer_;
    CDocumentHarvester harvester_;
    ReadyHandOff handOff_;
    ResultsReader pdf_;
    ConversionLegs legs_;
    std::unique_ptr<CConversionController> controller_;
    ComPtr<IDispatch> application_;
    ComPtr<IDispatch> documents_;
    ComPtr<IDispatch> document_;
};

}  // namespace

// ---- Hyperlink rectangles -----------------------------------------------------------------

TEST_F(Harvest, TextLinksThatFitTheirLineAndLinksThatWrap) {
    ASSERT_EQ(Run(R"(page-size: 612 792
left-margin: 90.75
hyperlink: fits
  address: http://example.com/a
  name: http://example.com/a
  page: 2
  at: 100.7 200.4
  pixels: 161 21
hyperlink: wraps
  address: http://example.com/b
  page: 3
  at: 500.5 300.25
  pixels: 200 40
hyperlink: fits to the right margin exactly
  address: http://example.com/c
  at: 401.25 50
  pixels: 160 20
hyperlink: a quarter point too wide
  address: http://example.com/d
  at: 401.5 60
  pixels: 160 20
)"),
              1);
    ASSERT_EQ(Links().size(), 4u);
    EXPECT_EQ(controller_->m_nLinkCount, 4);
    // 161 x 21 pixels at 96 dpi are 120 x 15 points in integer arithmetic.
    EXPECT_EQ(RectOf(Links()[0]), (Rect{100, 200, 220, 215}));
    EXPECT_EQ(Links()[0].page, 2);
    EXPECT_EQ(Links()[0].target, "http://example.com/a");
    EXPECT_EQ(Links()[0].isLocalFile, 0);
    // A wrapped link: trunc(trunc(90.75) + 612 - 2 * 90.75), the text width from the margin.
    EXPECT_EQ(RectOf(Links()[1]), (Rect{90, 300, 520, 330}));
    EXPECT_EQ(Links()[1].page, 3);
    EXPECT_EQ(RectOf(Links()[2]), (Rect{401, 50, 521, 65}));
    EXPECT_EQ(RectOf(Links()[3]), (Rect{90, 60, 520, 75}));
    for (const CHyperlinkRecord& link : Links()) {
        EXPECT_EQ(link.hasBookmarkTarget + link.hasHeadingTarget + link.destPage, 0);
    }
}

TEST_F(Harvest, PixelsBecomePointsWithTheMainWindowsResolutionPerAxis) {
    host_.SetResolution(120, 144);
    ASSERT_EQ(Run(R"(hyperlink: text
  address: http://example.com/
  at: 100 100
  pixels: 240 240
hyperlink: shape
  address: http://example.com/
  shape: -1 -1 10 10
  at: 100 100
  pixels: 240 240
)"),
              1);
    ASSERT_EQ(Links().size(), 2u);
    EXPECT_EQ(RectOf(Links()[0]), (Rect{100, 100, 244, 220}));
    EXPECT_EQ(RectOf(Links()[1]), (Rect{100, 100, 244, 220}));
}

TEST_F(Harvest, ShapeLinksArePlacedFromTheirOffsetsOrFromTheirAnchor) {
    ASSERT_EQ(Run(R"(hyperlink: offsets
  address: http://example.com/1
  shape: 10.4 20.6 50.5 30.5
  page: 2
  at: 100.25 200.5
  pixels: 80 40
hyperlink: negative offsets
  address: http://example.com/2
  shape: -5 -3 50 40
  page: 3
  at: 100.75 200.25
  pixels: 80 40
hyperlink: half a point left and above
  address: http://example.com/3
  shape: -0.5 -0.5 50 40
  at: 100.75 200.25
  pixels: 80 40
)"),
              1);
    ASSERT_EQ(Links().size(), 3u);
    EXPECT_EQ(RectOf(Links()[0]), (Rect{111, 222, 161, 252}));
    EXPECT_EQ(Links()[0].page, 2);
    // Negative offsets: the anchor's position and the shape's on-screen size (80 x 40 pixels).
    EXPECT_EQ(RectOf(Links()[1]), (Rect{100, 200, 160, 230}));
    EXPECT_EQ(Links()[1].page, 3);
    // Left is tested truncated (-0.5 counts as 0), Top as it is.
    EXPECT_EQ(RectOf(Links()[2]), (Rect{101, 200, 151, 230}));
    EXPECT_EQ(Links()[2].target, "http://example.com/3");
}

// The fake answers every Information item alike; the word processor does not.
TEST_F(Harvest, AsksTheWordProcessorForTheItemsItMeasures) {
    ASSERT_EQ(Run(R"(hyperlink: text
  address: http://example.com/
hyperlink: shape
  address: http://example.com/
  shape: 1 1 10 10
hyperlink: mark
  subaddress: Mark
hyperlink: One
  subaddress: _Toc1
  field: REF _One! | One
bookmark: Mark
paragraph: 1 One
)"),
              1);
    auto ranges = word_->Calls(WordObject::Range, 313);
    ASSERT_EQ(ranges.size(), 7u);  // 4 links, the bookmark, the matched heading, its entry
    for (const auto& call : ranges) {
        ASSERT_EQ(call.args.size(), 1u);
        EXPECT_EQ(call.args[0].type, VT_I4);
        EXPECT_EQ(call.args[0].integer, 3);  // the page the range ends on
    }
    std::vector<std::int64_t> items;
    for (const auto& call : word_->Calls(WordObject::Selection, 401)) {
        ASSERT_EQ(call.args.size(), 1u);
        items.push_back(call.args[0].integer);
    }
    // x and y of each link, y of the bookmark after its link, then of the heading and its entry.
    EXPECT_EQ(items, (std::vector<std::int64_t>{5, 6, 5, 6, 5, 6, 6, 5, 6, 6, 6}));
}

// ---- Targets ------------------------------------------------------------------------------

TEST_F(Harvest, FileLinksBecomeFileUrisBelowTheDocumentsFolderUnlessAbsolute) {
    const fs::path work = platform_.Work();
    fs::create_directories(work / "sub");
    testing_support::WriteFile(work / "sub" / "x.doc", "x");
    testing_support::WriteFile(work / "a:b.doc", "x");
    testing_support::WriteFile(work / "abs.doc", "x");
    const std::string network = "/" + (work / "abs.doc").string();  // begins with "//"
    const std::string document =
        "path: /docs/report\n"
        "hyperlink: relative\n  address: sub/x.doc\n  name: sub/x.doc\n"
        "hyperlink: doubled\n  address: sub//x.doc\n  name: sub//x.doc\n"
        "hyperlink: network\n  address: " +
        network + "\n  name: " + network +
        "\n"
        "hyperlink: drive\n  address: a:b.doc\n  name: a:b.doc\n"
        "hyperlink: absolute\n  address: " +
        (work / "abs.doc").string() + "\n  name: " + (work / "abs.doc").string() +
        "\n"
        "hyperlink: web\n  address: http://example.com/x\n  name: sub/x.doc\n"
        "hyperlink: missing\n  address: no.doc\n  name: no.doc\n"
        "hyperlink: missing absolute\n  address: /home/x/missing.doc\n"
        "hyperlink: odd name\n  address: sub/50% #1?.doc\n";
    {
        ScopedCurrentFolder inWork(work);
        ASSERT_EQ(Run(document), 1);
    }
    ASSERT_EQ(Links().size(), 9u);
    EXPECT_EQ(Links()[0].target, "file:///docs/report/sub/x.doc");
    EXPECT_EQ(Links()[0].isLocalFile, 1);
    EXPECT_EQ(Links()[1].target, "file:///docs/report/sub/x.doc");
    EXPECT_EQ(Links()[1].isLocalFile, 1);
    EXPECT_EQ(Links()[2].target, "file:" + network);
    EXPECT_EQ(Links()[2].isLocalFile, 1);
    EXPECT_EQ(Links()[3].target, "file:///a:b.doc");
    EXPECT_EQ(Links()[3].isLocalFile, 1);
    EXPECT_EQ(Links()[4].target, "file://" + (work / "abs.doc").string());
    EXPECT_EQ(Links()[4].isLocalFile, 1);
    // Address and Name differ: not a file link, whatever Name names.
    EXPECT_EQ(Links()[5].target, "http://example.com/x");
    EXPECT_EQ(Links()[5].isLocalFile, 0);
    // A file that is not there is still a file, never a bare path.
    EXPECT_EQ(Links()[6].target, "file:///docs/report/no.doc");
    EXPECT_EQ(Links()[6].isLocalFile, 0);
    EXPECT_EQ(Links()[7].target, "file:///home/x/missing.doc");
    // What would end the path or start an escape is escaped; the rest is the engine's to escape.
    EXPECT_EQ(Links()[8].target, "file:///docs/report/sub/50%25 %231%3F.doc");

    // The name is looked up as it is: from elsewhere the relative name names nothing, and the
    // link still leads into the document's folder.
    {
        ScopedCurrentFolder elsewhere(platform_.Temp());
        ASSERT_EQ(Run(document), 1);
    }
    ASSERT_EQ(Links().size(), 9u);
    EXPECT_EQ(Links()[0].target, "file:///docs/report/sub/x.doc");
    EXPECT_EQ(Links()[0].isLocalFile, 0);
    EXPECT_EQ(Links()[2].isLocalFile, 1);
}

TEST_F(Harvest, LinksKeepTheirQueryAndPlace) {
    ASSERT_EQ(Run(R"(path: /docs
hyperlink: query and anchor
  address: https://example.com/page?id=3&b=x%20y
  subaddress: part
hyperlink: query only
  address: https://example.com/page?id=3
hyperlink: mail
  address: mailto:a@example.com?subject=Hello%20there
hyperlink: a place in another document
  address: other.docx
  name: other.docx
  subaddress: Section
hyperlink: in the document
  subaddress: Nowhere
)"),
              1);
    ASSERT_EQ(Links().size(), 5u);
    EXPECT_EQ(Links()[0].target, "https://example.com/page?id=3&b=x%20y#part");
    EXPECT_EQ(Links()[1].target, "https://example.com/page?id=3");
    EXPECT_EQ(Links()[2].target, "mailto:a@example.com?subject=Hello%20there");
    EXPECT_EQ(Links()[3].target, "file:///docs/other.docx#Section");
    EXPECT_EQ(Links()[4].target, "");
}

TEST_F(Harvest, BookmarkTargetsAreFoundByTheirExactName) {
    ASSERT_EQ(Run(R"(hyperlink: to the results
  subaddress: Results
hyperlink: other case
  subaddress: results
hyperlink: web page with an anchor
  address: http://example.com/
  subaddress: Results
hyperlink: nowhere
  subaddress: Nowhere
hyperlink: to the header
  subaddress: InTheHeader
bookmark: Result
bookmark: Results
  page: 4
  at: 72 500.5
bookmark: InTheHeader
  place: none
)"),
              1);
    // A bookmark the layout cannot place leads nowhere, as a missing one does; the document
    // still converts.
    ASSERT_EQ(Links().size(), 5u);
    EXPECT_EQ(Links()[0].hasBookmarkTarget, 1);
    EXPECT_EQ(Links()[0].destPage, 4);
    EXPECT_EQ(Links()[0].destY, 500.5f);
    EXPECT_EQ(Links()[0].target, "");
    for (size_t i = 1; i < Links().size(); ++i) {
        EXPECT_EQ(Links()[i].hasBookmarkTarget, 0) << i;
        EXPECT_EQ(Links()[i].destPage, 0) << i;
        EXPECT_EQ(Links()[i].destY, 0.0f) << i;
    }
    EXPECT_EQ(Links()[2].target, "http://example.com/#Results");
}

// ---- Table-of-contents headings -----------------------------------------------------------

// Each document has the heading the entry names first, then decoys that a wrong match text would
// find; a later match would overwrite the first.
TEST_F(Harvest, TableOfContentsLinksFindTheHeadingTheirFieldsName) {
    // One field: its code after the first "_" (all of it without one), less its last byte.
    ASSERT_EQ(Run(R"(hyperlink: Overview 1
  subaddress: _Toc1
  field: REF _Over_view. | Overview 1
hyperlink: Summary 2
  subaddress: _Toc2
  field: Summary! | Summary 2
paragraph: 1 Over_view
  page: 2
  at: 0 144.5
paragraph: 1 Summary
  page: 3
paragraph: 1 Over_view.x
  page: 4
paragraph: 1 view
  page: 5
)"),
              1);
    ASSERT_EQ(Links().size(), 2u);
    EXPECT_EQ(Links()[0].hasHeadingTarget, 1);
    EXPECT_EQ(Links()[0].destPage, 2);
    EXPECT_EQ(Links()[0].destY, 144.5f);
    EXPECT_EQ(Links()[0].hasBookmarkTarget, 0);
    EXPECT_EQ(Links()[0].target, "");
    EXPECT_EQ(Links()[1].hasHeadingTarget, 1);
    EXPECT_EQ(Links()[1].destPage, 3);

    // Several fields: the first result less as many bytes as the second (the page number) has.
    ASSERT_EQ(Run(R"(hyperlink: Results 12
  subaddress: _Toc3
  field: HYPERLINK \l "_Toc3" | Results 12
  field: PAGEREF _Toc3 \h | 12
paragraph: 1 Results
  page: 2
paragraph: 1 Results 1x
  page: 3
paragraph: 1 Toc3
  page: 4
)"),
              1);
    ASSERT_EQ(Links().size(), 1u);
    EXPECT_EQ(Links()[0].hasHeadingTarget, 1);
    EXPECT_EQ(Links()[0].destPage, 2);

    // Several fields of an inline picture: the first code after its "_", without quotes.
    ASSERT_EQ(Run(R"(hyperlink: [picture]
  type: 2
  subaddress: _Fig_2
  field: HYPERLINK \l "_Fig_2" | [picture]
  field: PAGEREF _Fig_2 \h | 7
paragraph: 1 Fig_2
  page: 2
paragraph: 1 [picture
  page: 3
paragraph: 1 Fig_2"x
  page: 4
)"),
              1);
    ASSERT_EQ(Links().size(), 1u);
    EXPECT_EQ(Links()[0].hasHeadingTarget, 1);
    EXPECT_EQ(Links()[0].destPage, 2);

    // A shape: its SubAddress without any "_".
    ASSERT_EQ(Run(R"(hyperlink: chart
  subaddress: _Toc_Chart
  shape: 10 10 50 50
paragraph: 1 TocChart
  page: 2
paragraph: 1 Toc_Chart
  page: 3
)"),
              1);
    ASSERT_EQ(Links().size(), 1u);
    EXPECT_EQ(Links()[0].hasHeadingTarget, 1);
    EXPECT_EQ(Links()[0].destPage, 2);
}

// A cross-reference in the text to a heading's "_Toc" bookmark matches no heading by its
// fields; it leads to the bookmark instead of nowhere. Without such a bookmark it keeps none.
TEST_F(Harvest, AContentsTargetThatMatchesNoHeadingFallsBackToItsBookmark) {
    ASSERT_EQ(Run(R"(hyperlink: see Results
  subaddress: _Toc3
  field: HYPERLINK \l "_Toc3" | see Results
  page: 1
hyperlink: see nothing
  subaddress: _Toc9
  field: HYPERLINK \l "_Toc9" | see nothing
bookmark: _Toc3
  page: 4
  at: 0 210
paragraph: 1 Results
  page: 4
  at: 0 210
)"),
              1);
    ASSERT_EQ(Links().size(), 2u);
    EXPECT_EQ(Links()[0].hasHeadingTarget, 0);
    EXPECT_EQ(Links()[0].hasBookmarkTarget, 1);
    EXPECT_EQ(Links()[0].destPage, 4);
    EXPECT_EQ(Links()[0].destY, 210.0f);
    EXPECT_EQ(Links()[1].hasHeadingTarget, 0);
    EXPECT_EQ(Links()[1].hasBookmarkTarget, 0);
    EXPECT_EQ(Links()[1].destPage, 0);

    // Only a job that keeps links looks for targets of contents links at all.
    ASSERT_EQ(Run(R"(hyperlink: see Results
  subaddress: _Toc3
bookmark: _Toc3
  page: 4
)",
                  /*keepLinks=*/false),
              1);
    EXPECT_EQ(Links()[0].hasBookmarkTarget, 0);
}

TEST_F(Harvest, HeadingsAreMatchedWhenTwoTo256BytesLong) {
    const std::string longest(255, 'B');  // 256 bytes with the paragraph mark
    const std::string tooLong(256, 'A');
    ASSERT_EQ(Run("hyperlink: a\n  subaddress: _" + tooLong +
                  "\n  shape: 1 1 1 1\n"
                  "hyperlink: b\n  subaddress: _" +
                  longest + "\n  shape: 1 1 1 1\nparagraph: 1 " + tooLong +
                  "\n  page: 2\nparagraph: 1 " + longest + "\n  page: 3\n"),
              1);
    ASSERT_EQ(Links().size(), 2u);
    EXPECT_EQ(Links()[0].hasHeadingTarget, 0);
    EXPECT_EQ(Links()[1].hasHeadingTarget, 1);
    EXPECT_EQ(Links()[1].destPage, 3);
}

TEST_F(Harvest, HeadingTextMatchesItsEntryByLengthDifference) {
    struct Case {
        const char* text;
        const char* matchText;
        bool matches;
    };
    const Case cases[] = {
        // d = 0: all but the text's last byte count.
        {"Intro\r", "Intro\r", true},
        {"Intro\r", "Introx", true},
        {"Intro\r", "Intxo\r", false},
        // d = 1: all but the last two bytes of the text.
        {"Intro\r", "Intro", true},
        {"Intro\r", "Intrx", true},
        {"Intro\r", "Intxo", false},
        // d = 2 compares the whole match text; d = 3 runs past its end.
        {"Intro\r", "Intr", true},
        {"Intro\r", "Int", false},
        {"Intro\r", "", false},
        // A longer match text: the text's first length - 1 bytes.
        {"Intro\r", "Introduction", true},
        {"Intro\r", "Intraduction", false},
        // n < 1: a two-byte text matches only a match text at least as long.
        {"A\r", "A", false},
        {"A\r", "A\r", true},
        {"A\r", "AB", true},
        {"\r", "\r", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HeadingMatches(c.text, c.matchText), c.matches)
            << "\"" << c.text << "\" against \"" << c.matchText << "\"";
    }
}

// ---- The outline ---------------------------------------------------------------------------

TEST_F(Harvest, HeadingsAreNumberedByTheirOutlineLevels) {
    ASSERT_EQ(Run(R"(paragraph: 1 One
  page: 1
  at: 0 72.5
paragraph: 10 Body text.
paragraph: 2 One.One
  page: 2
  at: 0 100
paragraph: 3 One.One.One
paragraph: 2 One.Two
paragraph: 3 One.Two.Two
paragraph: 1 Two
paragraph: 3 Two, deeper
  page: 5
)",
                  /*keepLinks=*/false),
              1);
    // Deeper counters keep their values until a level-1 heading; a missing parent gets a filler.
    ASSERT_EQ(Numbers(),
              (std::vector<std::string>{"1", "1.1", "1.1.1", "1.2", "1.2.2", "2", "2.1", "2.1.1"}));
    EXPECT_EQ(controller_->m_nBookmarkCount, 8);
    EXPECT_EQ(Bookmarks()[0].title, "One");
    EXPECT_EQ(Bookmarks()[0].y, 72.5f);
    EXPECT_EQ(Bookmarks()[0].page, 1);
    EXPECT_EQ(Bookmarks()[1].title, "One.One");
    EXPECT_EQ(Bookmarks()[1].y, 100.0f);
    EXPECT_EQ(Bookmarks()[1].page, 2);
    EXPECT_EQ(Bookmarks()[6].title, "");
    EXPECT_EQ(Bookmarks()[6].page, 1);
    EXPECT_EQ(Bookmarks()[7].title, "Two, deeper");
    EXPECT_EQ(Bookmarks()[7].page, 5);
    EXPECT_EQ(std::count(std::begin(controller_->m_nLevel), std::end(controller_->m_nLevel), 0),
              10);
}

// A heading that skips a level after a higher heading came in between gets a filler of its own
// parent level, so it hangs under the heading above it and not under an earlier one.
TEST_F(Harvest, ASkippedLevelUnderANewParentGetsAFillerThoughItsCounterIsSet) {
    ASSERT_EQ(Run("paragraph: 1 Part\nparagraph: 3 Three under one\nparagraph: 4 Four\n"
                  "paragraph: 2 Two\nparagraph: 4 Four under two\nparagraph: 3 Three\n",
                  false),
              1);
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"1", "1.1", "1.1.1", "1.1.1.1", "1.2", "1.2.2",
                                                   "1.2.2.2", "1.2.3"}));
    EXPECT_EQ(Bookmarks()[5].title, "");
    EXPECT_EQ(Bookmarks()[6].title, "Four under two");
    EXPECT_EQ(Bookmarks()[7].title, "Three");
    EXPECT_EQ(controller_->m_nBookmarkCount, 8);
}

TEST_F(Harvest, AFirstHeadingBelowLevelOneGetsFillersForItsParents) {
    const std::string heading = "\n  page: 5\n  at: 0 300\n";
    ASSERT_EQ(Run("paragraph: 2 Deep" + heading, false), 1);
    ASSERT_EQ(Numbers(), (std::vector<std::string>{"1", "1.1"}));
    EXPECT_EQ(Bookmarks()[0].title, "");
    EXPECT_EQ(Bookmarks()[0].page, 1);
    EXPECT_EQ(Bookmarks()[0].y, 0.0f);
    EXPECT_EQ(Bookmarks()[1].title, "Deep");
    EXPECT_EQ(Bookmarks()[1].page, 5);
    EXPECT_EQ(Bookmarks()[1].y, 300.0f);

    ASSERT_EQ(Run("paragraph: 3 Deeper" + heading, false), 1);
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"1", "1.1", "1.1.1"}));
    EXPECT_EQ(controller_->m_nBookmarkCount, 3);

    ASSERT_EQ(Run("paragraph: 9 Deepest" + heading, false), 1);
    ASSERT_EQ(Bookmarks().size(), 9u);
    EXPECT_EQ(Bookmarks()[7].number, "1.1.1.1.1.1.1.1");
    EXPECT_EQ(Bookmarks()[7].title, "");
    EXPECT_EQ(Bookmarks()[8].number, "1.1.1.1.1.1.1.1.1");
    EXPECT_EQ(controller_->m_nBookmarkCount, 9);
}

// A heading without text would be a blank entry: it makes none and takes no number. Fillers for
// skipped levels stay untitled. White space in a title (tabs, Word's "\v" line breaks, the
// paragraph mark) becomes single blanks, none at either end.
TEST_F(Harvest, HeadingsWithoutTextMakeNoEntryAndTitlesGetSingleBlanks) {
    ASSERT_EQ(Run("paragraph: 1 \t Intro\tand  scope \v(draft)\t\n"
                  "paragraph: 2\n"
                  "paragraph: 2  \t \v\n"
                  "paragraph: 2 Part\n"
                  "paragraph: 1\n"
                  "paragraph: 4 Deep\n",
                  false),
              1);
    ASSERT_EQ(Numbers(), (std::vector<std::string>{"1", "1.1", "1.1.1", "1.1.1.1"}));
    EXPECT_EQ(controller_->m_nBookmarkCount, 4);
    EXPECT_EQ(Bookmarks()[0].title, "Intro and scope (draft)");
    EXPECT_EQ(Bookmarks()[1].title, "Part");
    EXPECT_EQ(Bookmarks()[2].title, "");
    EXPECT_EQ(Bookmarks()[3].title, "Deep");
}

// With links kept, a cross-reference that asks to be a link (its \\h switch) leads to its
// bookmark and counts among the records; one without the switch, one to a bookmark that is gone
// and a field of another kind make none.
TEST_F(Harvest, CrossReferencesThatAskToBeLinksLeadToTheirBookmarks) {
    const std::string content =
        "hyperlink: site\naddress: https://example.com/\npixels: 40 16\n"
        "bookmark: Methods\npage: 2\nat: 72 100\n"
        "docfield: 3  REF Methods \\h  | Methods\npage: 1\nat: 100 200\npixels: 40 16\n"
        "docfield: 3  REF Methods  | Methods\nat: 150 200\npixels: 40 16\n"
        "docfield: 37  PAGEREF \"Gone\" \\p \\h  | 4\nat: 200 200\npixels: 8 16\n"
        "docfield: 12  SEQ Figure \\h  | 1\nat: 250 200\npixels: 8 16\n";
    ASSERT_EQ(Run(content), 1);
    ASSERT_EQ(Links().size(), 2u);
    EXPECT_EQ(controller_->m_nLinkCount, 2);
    const CHyperlinkRecord& reference = Links()[1];
    EXPECT_EQ(reference.page, 1);
    EXPECT_EQ(reference.left, 100);
    EXPECT_EQ(reference.top, 200);
    EXPECT_EQ(reference.right, 130);
    EXPECT_EQ(reference.bottom, 212);
    EXPECT_EQ(reference.hasBookmarkTarget, 1);
    EXPECT_EQ(reference.destPage, 2);
    EXPECT_EQ(reference.destY, 100);
    EXPECT_EQ(reference.target, "");

    ASSERT_EQ(Run(content, false), 1);
    EXPECT_EQ(Links().size(), 1u);
    EXPECT_EQ(controller_->m_nLinkCount, 1);
}

// A numbered heading's title begins with its number as the page shows it; a number alone makes
// no title.
TEST_F(Harvest, NumberedHeadingsTitlesBeginWithTheirNumbers) {
    ASSERT_EQ(Run("paragraph: 1 Method\nlist: 2\n"
                  "paragraph: 2 Measurements\nlist: 2.1\n"
                  "paragraph: 2\nlist: 2.2\n",
                  false),
              1);
    ASSERT_EQ(Bookmarks().size(), 2u);
    EXPECT_EQ(Bookmarks()[0].title, "2 Method");
    EXPECT_EQ(Bookmarks()[1].title, "2.1 Measurements");
}

TEST_F(Harvest, WithoutHyperlinksTheOutlineStillFills) {
    ASSERT_EQ(Run("paragraph: 1 Title\nparagraph: 10 Body.\nparagraph: 2 Part\n"), 1);
    EXPECT_TRUE(Links().empty());
    EXPECT_EQ(controller_->m_nLinkCount, 0);
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"1", "1.1"}));
    // Nothing to report progress for.
    EXPECT_TRUE(host_.Progress().empty());
}

// ---- What the job keeps --------------------------------------------------------------------

TEST_F(Harvest, HeadingsAreMatchedOnlyWhenTheJobKeepsLinks) {
    const std::string document = R"(hyperlink: One
  subaddress: _Toc1
  field: REF _One! | One
hyperlink: to the mark
  subaddress: Mark
bookmark: Mark
  page: 3
paragraph: 1 One
  page: 2
)";
    ASSERT_EQ(Run(document, /*keepLinks=*/false, /*keepBookmarks=*/true), 1);
    ASSERT_EQ(Links().size(), 2u);
    EXPECT_EQ(controller_->m_nLinkCount, 2);
    EXPECT_EQ(Links()[0].hasHeadingTarget, 0);
    EXPECT_EQ(Links()[1].hasBookmarkTarget, 1);
    EXPECT_EQ(Links()[1].destPage, 3);
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"1"}));
    EXPECT_EQ(host_.Progress(), (std::vector<int>{12, 25}));

    ASSERT_EQ(Run(document, /*keepLinks=*/true, /*keepBookmarks=*/false), 1);
    ASSERT_EQ(Links().size(), 2u);
    EXPECT_EQ(Links()[0].hasHeadingTarget, 1);
    EXPECT_EQ(Links()[0].destPage, 2);
    EXPECT_TRUE(Bookmarks().empty());
    EXPECT_EQ(controller_->m_nBookmarkCount, 0);
}

TEST_F(Harvest, AnEarlierHarvestsResultsAreClearedWhenTheNextStarts) {
    controller_->m_links.resize(5);
    controller_->m_nLinkCount = 5;
    controller_->m_bookmarks.resize(3);
    controller_->m_nBookmarkCount = 3;
    controller_->m_nLevel[1] = 4;
    controller_->m_nLevel[2] = 2;
    ASSERT_EQ(Run("hyperlink: web\n  address: http://example.com/\nparagraph: 2 Part\n"), 1);
    ASSERT_EQ(Links().size(), 1u);
    EXPECT_EQ(controller_->m_nLinkCount, 1);
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"1", "1.1"}));
    EXPECT_EQ(controller_->m_nBookmarkCount, 2);
}

// ---- Progress and the exit request ---------------------------------------------------------

TEST_F(Harvest, ProgressRunsThroughTheLinksAndThenTheMatchedHeadings) {
    ASSERT_EQ(Run(R"(hyperlink: web
  address: http://example.com/
hyperlink: One
  subaddress: _Toc1
  field: REF _One! | One
hyperlink: Two
  subaddress: _Toc2
  field: REF _Two! | Two
paragraph: 1 One
  page: 1
paragraph: 1 Two
  page: 2
paragraph: 2 One
  page: 3
)"),
              1);
    // Links: trunc(i / 3 * 25); matches: trunc(25 + 20 * (k - 1) / 2), k counting every match.
    EXPECT_EQ(host_.Progress(), (std::vector<int>{8, 16, 25, 25, 35, 45}));
    EXPECT_EQ(host_.RedrawnJobs(), (std::vector<unsigned>(6, 1)));
    ASSERT_EQ(Links().size(), 3u);
    // A later match overwrites the first.
    EXPECT_EQ(Links()[1].destPage, 3);
    EXPECT_EQ(Links()[2].destPage, 2);
    EXPECT_EQ(Job().m_nProgress.load(), 45);
    EXPECT_TRUE(Job().m_bShowProgress.load());
}

TEST_F(Harvest, AnExitRequestStopsAtTheNextLinkAndKeepsTheRecordsMade) {
    const std::string document =
        "hyperlink: 1\n  address: http://example.com/1\n"
        "hyperlink: 2\n  address: http://example.com/2\n"
        "hyperlink: 3\n  address: http://example.com/3\n"
        "paragraph: 1 Heading\n";
    controller_->m_bExitRequested = 1;  // asked before the harvest began
    EXPECT_EQ(Run(document), 0);
    ASSERT_EQ(Links().size(), 1u);
    EXPECT_EQ(Links()[0].target, "http://example.com/1");
    EXPECT_EQ(controller_->m_nLinkCount, 0);
    EXPECT_TRUE(Bookmarks().empty());
    EXPECT_EQ(host_.Progress(), (std::vector<int>{8}));

    controller_->m_bExitRequested = 0;
    host_.RequestExitAt(3);  // the second repaint of this harvest
    EXPECT_EQ(Run(document), 0);
    ASSERT_EQ(Links().size(), 2u);
    EXPECT_EQ(Links()[1].target, "http://example.com/2");
}

TEST_F(Harvest, AnExitRequestStopsAtTheNextMatchedHeading) {
    host_.RequestExitAt(2);  // after the link, at the first match
    EXPECT_EQ(Run(R"(hyperlink: One
  subaddress: _Toc1
  field: REF _One! | One
paragraph: 1 Intro
paragraph: 1 One
  page: 2
paragraph: 1 Later
)"),
              0);
    ASSERT_EQ(Links().size(), 1u);
    EXPECT_EQ(Links()[0].hasHeadingTarget, 1);
    EXPECT_EQ(Links()[0].destPage, 2);
    // The matched heading itself was not numbered any more.
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"1"}));
    EXPECT_EQ(controller_->m_nLinkCount, 0);
}

// ---- Failures -------------------------------------------------------------------------------

TEST_F(Harvest, ALinkTheWindowCannotMeasureIsSkippedWithoutProgressOrExitCheck) {
    ASSERT_EQ(Run(R"(hyperlink: first
  address: http://example.com/1
hyperlink: unmeasurable text
  address: http://example.com/2
  getpoint: fail
hyperlink: unmeasurable shape
  address: http://example.com/3
  shape: 1 1 10 10
  getpoint: fail
hyperlink: contents
  subaddress: _Toc9
  field: REF _Heading! | Heading
paragraph: 1 Heading
  page: 2
)"),
              1);
    ASSERT_EQ(Links().size(), 2u);
    EXPECT_EQ(Links()[0].target, "http://example.com/1");
    // The contents link's record is the second one, and its heading is found there.
    EXPECT_EQ(Links()[1].hasHeadingTarget, 1);
    EXPECT_EQ(Links()[1].destPage, 2);
    EXPECT_EQ(controller_->m_nLinkCount, 4);  // the document's count
    EXPECT_EQ(host_.Progress(), (std::vector<int>{6, 25, 25}));

    // A pending exit request is not looked at for a skipped link.
    controller_->m_bExitRequested = 1;
    EXPECT_EQ(Run(R"(hyperlink: unmeasurable
  address: http://example.com/1
  getpoint: fail
hyperlink: second
  address: http://example.com/2
hyperlink: third
  address: http://example.com/3
)"),
              0);
    ASSERT_EQ(Links().size(), 1u);
    EXPECT_EQ(Links()[0].target, "http://example.com/2");
}

TEST_F(Harvest, OtherWordFailuresLeaveTheHarvestWithTheRecordsSoFar) {
    const std::string document =
        "hyperlink: 1\n  address: http://example.com/1\n"
        "hyperlink: 2\n  address: http://example.com/2\n"
        "hyperlink: 3\n  address: http://example.com/3\n"
        "paragraph: 1 One\nparagraph: 1 Two\n";
    word_->FailCall(1100, FakeWord::kCommandFailed, 3, WordObject::Hyperlink, "Command failed");
    EXPECT_EQ(RunRaising(document), FakeWord::kCommandFailed);
    EXPECT_EQ(Links().size(), 2u);
    EXPECT_EQ(controller_->m_nLinkCount, 0);

    // While numbering headings.
    word_->FailCall(202, FakeWord::kCommandFailed, 2, WordObject::Paragraph);
    EXPECT_EQ(RunRaising(document), FakeWord::kCommandFailed);
    EXPECT_EQ(Links().size(), 3u);
    EXPECT_EQ(Numbers(), (std::vector<std::string>{"1"}));

    // Measuring: only GetPoint's failure skips a link.
    word_->FailCall(401, FakeWord::kCommandFailed, 1, WordObject::Selection);
    EXPECT_EQ(RunRaising(document), FakeWord::kCommandFailed);
    EXPECT_TRUE(Links().empty());
}

// ---- In a batch -------------------------------------------------------------------------------

TEST_F(Harvest, LegOneHarvestsForThePdfThread) {
    testing_support::WriteFile(Job().m_strFilePath, R"(hyperlink: web
  address: http://example.com/
  page: 2
  at: 100 100
  pixels: 96 24
paragraph: 1 Title
  page: 1
)");
    Job().m_bChecked = true;
    Job().m_bKeepLinks = 1;
    Job().m_bKeepBookmarks = 1;
    controller_->OnConvert();
    ASSERT_TRUE(host_.RunUntilIdle());

    std::lock_guard<std::mutex> lock(pdf_.mutex_);
    EXPECT_EQ(pdf_.runs, 1);
    ASSERT_EQ(pdf_.links.size(), 1u);
    EXPECT_EQ(RectOf(pdf_.links[0]), (Rect{100, 100, 172, 118}));
    EXPECT_EQ(pdf_.links[0].page, 2);
    ASSERT_EQ(pdf_.bookmarks.size(), 1u);
    EXPECT_EQ(pdf_.bookmarks[0].title, "Title");
    // On the preparation thread, with its own instance of the word processor.
    auto calls = word_->Calls(WordObject::Document, 61);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_NE(calls[0].thread, std::this_thread::get_id());
    EXPECT_EQ(host_.Progress(), (std::vector<int>{25, -1}));  // then the job is closed
}
