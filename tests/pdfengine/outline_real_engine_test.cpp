// The outline builder with the real engine: each heading list is turned into the outline of a
// saved PDF, which is read back with qpdf (titles, nesting, order, and where each entry leads).
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "app/HeadlessHost.h"
#include "convert/ConversionController.h"
#include "convert/PdfOutline.h"
#include "platform/text.h"
#include "tests/pdfengine/engine_test_support.h"
#include "tests/support/scoped_environment.h"

namespace {

using namespace pdfengine_test;

constexpr int kPages = 6;
constexpr double kPageHeight = 842;  // a new engine page is A4

class OutlineOnRealEngine : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string missing = MissingTools();
        if (!missing.empty()) {
            GTEST_SKIP() << "not installed: " << missing;
        }
        engine_ = CreateDirectEngine();
        ASSERT_TRUE(engine_);
        for (int page = 1; page < kPages; ++page) {
            ASSERT_EQ(engine_->AddPage(), S_OK);
        }
    }

    // Entries "H<number>" on pages 1, 2, 3... at y 100, 110, 120...
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

    // Builds the outline, saves the PDF and gives its outline as lines "depth title page@y",
    // depth 0 for top-level entries, in reading order.
    std::vector<std::string> OutlineOfSavedPdf() {
        BuildOutline(controller_, engine_.Get());
        const fs::path path = platform_.Work() / "outline.pdf";
        EXPECT_EQ(engine_->SaveToFile(CEngineText(platform::Utf8ToUtf16(path.string())).Get(), 0),
                  S_OK);
        EXPECT_EQ(QpdfCheckProblems(path), "");
        QPDF pdf;
        pdf.processFile(path.string().c_str());
        std::vector<QPDFObjGen> pages;
        for (auto& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
            pages.push_back(page.getObjectHandle().getObjGen());
        }
        std::vector<std::string> lines;
        QPDFOutlineDocumentHelper outline(pdf);
        std::function<void(std::vector<QPDFOutlineObjectHelper>, int)> walk =
            [&](std::vector<QPDFOutlineObjectHelper> items, int depth) {
                for (auto& item : items) {
                    QPDFObjectHandle dest = item.getDest();
                    std::string place = "?";
                    if (dest.isArray() && dest.getArrayNItems() >= 4) {
                        const auto page =
                            std::find(pages.begin(), pages.end(), dest.getArrayItem(0).getObjGen());
                        const double top = dest.getArrayItem(3).getNumericValue();
                        place = std::to_string(page - pages.begin() + 1) + "@" +
                                std::to_string(static_cast<int>(kPageHeight - top + 0.5));
                    }
                    lines.push_back(std::to_string(depth) + " " + item.getTitle() + " " + place);
                    walk(item.getKids(), depth + 1);
                }
            };
        walk(outline.getTopLevelOutlines(), 0);
        return lines;
    }

    testing_support::ScopedPlatform platform_;
    CHeadlessHost host_{"Tessaline"};
    CConversionController controller_{host_, {}};
    ComPtr<IPDFDocument4> engine_;
};

TEST_F(OutlineOnRealEngine, NestsHeadingsByTheirNumbers) {
    Headings({"1", "1.1", "1.2", "1.2.1", "2", "2.1"});
    EXPECT_EQ(OutlineOfSavedPdf(),
              (std::vector<std::string>{"0 H1 1@100", "1 H1.1 2@110", "1 H1.2 3@120",
                                        "2 H1.2.1 4@130", "0 H2 5@140", "1 H2.1 6@150"}));
}

TEST_F(OutlineOnRealEngine, ReturnsToAShallowerLevelAfterADeeperOne) {
    Headings({"1", "1.1", "1.1.1", "1.2"});
    EXPECT_EQ(OutlineOfSavedPdf(), (std::vector<std::string>{"0 H1 1@100", "1 H1.1 2@110",
                                                             "2 H1.1.1 3@120", "1 H1.2 4@130"}));
}

TEST_F(OutlineOnRealEngine, ATopLevelHeadingStartsItsChildrenAfresh) {
    Headings({"1", "1.1", "2", "2.1"});
    EXPECT_EQ(OutlineOfSavedPdf(), (std::vector<std::string>{"0 H1 1@100", "1 H1.1 2@110",
                                                             "0 H2 3@120", "1 H2.1 4@130"}));
}

TEST_F(OutlineOnRealEngine, AZeroNumberMovesTheDestinationOfTheEntryBefore) {
    Headings({"3", "3.0", "4"});
    EXPECT_EQ(OutlineOfSavedPdf(), (std::vector<std::string>{"0 H3 2@110", "0 H4 3@120"}));
}

TEST_F(OutlineOnRealEngine, APieceThatIsNoNumberCutsTheLevel) {
    Headings({"4", "4.1.x", "4.2"});
    EXPECT_EQ(OutlineOfSavedPdf(),
              (std::vector<std::string>{"0 H4 1@100", "1 H4.1.x 2@110", "1 H4.2 3@120"}));
}

// The cases the numbering leaves open: a list that starts below the top level hangs under the
// outline's root; a level-0 heading before any entry points nowhere; a long top-level title
// keeps 255 characters, a deeper one all of its text.
TEST_F(OutlineOnRealEngine, ListsStartingBelowTheTopAndLongTitles) {
    Headings({"0.0", "1.1", "1.1.1", "2"});
    controller_.m_bookmarks[3].title = std::string(300, 'a');
    controller_.m_bookmarks[2].title = std::string(300, 'b');
    EXPECT_EQ(OutlineOfSavedPdf(),
              (std::vector<std::string>{"0 H1.1 2@110", "1 " + std::string(300, 'b') + " 3@120",
                                        "0 " + std::string(255, 'a') + " 4@130"}));
}

}  // namespace
