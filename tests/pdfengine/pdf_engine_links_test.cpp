// The engine's links and outline, read back with qpdf: link rectangles in PDF space, URIs as a
// reader needs them, in-document destinations with page and height, and the outline's titles,
// nesting, order and destinations; ids the engine never handed out are refused.
#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "tests/pdfengine/engine_test_support.h"
#include "tests/support/scoped_environment.h"

using namespace pdfengine_test;

namespace {

std::vector<double> Numbers(QPDFObjectHandle array) {
    std::vector<double> numbers;
    for (auto& item : array.aitems()) {
        numbers.push_back(item.getNumericValue());
    }
    return numbers;
}

class PdfEngineLinksTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const std::string missing = MissingTools(); !missing.empty()) {
            GTEST_SKIP() << "needs " << missing << " (qpdf, poppler-utils)";
        }
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        engine_ = CreateRegisteredEngine();
        ASSERT_TRUE(engine_);
        // Three pages of different heights, so that every height conversion shows.
        const LONG heights[] = {792, 842, 600};
        for (LONG i = 0; i < 3; ++i) {
            if (i > 0) {
                ASSERT_EQ(engine_->AddPage(), S_OK);
            }
            ASSERT_EQ(engine_->SelectPage(i), S_OK);
            ASSERT_EQ(engine_->SetPageHeight(heights[i]), S_OK);
            ASSERT_EQ(engine_->SetPageWidth(612), S_OK);
        }
    }
    void TearDown() override {
        if (engine_) {
            engine_.Reset();
            CoUninitialize();
        }
    }

    HRESULT WebLink(float l, float t, float r, float b, const std::u16string& target) {
        return engine_->AddWebLink(l, t, r, b, CEngineText(target).Get());
    }
    LONG Child(LONG parent, const std::u16string& title) {
        LONG id = 0;
        EXPECT_EQ(engine_->AddOutlineChild(parent, CEngineText(title).Get(), 1, &id), S_OK);
        return id;
    }
    LONG Sibling(LONG previous, const std::u16string& title) {
        LONG id = 0;
        EXPECT_EQ(engine_->AddOutlineSibling(previous, CEngineText(title).Get(), 134, &id), S_OK);
        return id;
    }
    void PointAt(LONG entry, LONG page, float y) {
        LONG destination = 0;
        ASSERT_EQ(engine_->CreateDestination(page, y, &destination), S_OK);
        ASSERT_EQ(engine_->SetOutlineDestination(entry, destination), S_OK);
    }

    void Open() {
        const fs::path path = platform_.Work() / "links.pdf";
        ASSERT_EQ(engine_->SaveToFile(CEngineText(platform::Utf8ToUtf16(path.string())).Get(), 0),
                  S_OK);
        EXPECT_EQ(QpdfCheckProblems(path), "");
        pdf_.processFile(path.string().c_str());
        pages_ = QPDFPageDocumentHelper(pdf_).getAllPages();
        ASSERT_EQ(pages_.size(), 3u);
    }
    int PageOf(QPDFObjectHandle page) const {
        for (std::size_t i = 0; i < pages_.size(); ++i) {
            if (pages_[i].getObjectHandle().getObjGen() == page.getObjGen()) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    testing_support::ScopedPlatform platform_;
    ComPtr<IPDFDocument4> engine_;
    QPDF pdf_;
    std::vector<QPDFPageObjectHelper> pages_;
};

TEST_F(PdfEngineLinksTest, WebFileAndPageLinksReadBackInPdfSpace) {
    ASSERT_EQ(engine_->SelectPage(0), S_OK);
    ASSERT_EQ(WebLink(72, 100, 200, 114, u"https://example.com/a b?q=1&r=%41#p 1#2"), S_OK);
    ASSERT_EQ(WebLink(72, 120, 200, 134, u"file:///home/user/R\u00E9sum\u00E9 2024.docx"), S_OK);
    ASSERT_EQ(engine_->SelectPage(1), S_OK);
    ASSERT_EQ(engine_->AddPageLink(90, 700, 300, 712, 2, 150), S_OK);

    // A link into the document has no web target: accepted, and no link area comes of it.
    EXPECT_EQ(WebLink(1, 2, 3, 4, u""), S_OK);
    EXPECT_EQ(engine_->AddWebLink(1, 2, 3, 4, nullptr), S_OK);
    EXPECT_EQ(engine_->AddPageLink(1, 2, 3, 4, 3, 0), E_INVALIDARG);  // no fourth page
    EXPECT_EQ(engine_->AddPageLink(1, 2, 3, 4, -1, 0), E_INVALIDARG);
    Open();

    std::vector<QPDFObjectHandle> first =
        pages_[0].getObjectHandle().getKey("/Annots").getArrayAsVector();
    ASSERT_EQ(first.size(), 2u);
    for (auto& annotation : first) {
        EXPECT_TRUE(annotation.getKey("/Subtype").isNameAndEquals("/Link"));
        EXPECT_EQ(Numbers(annotation.getKey("/Border")), (std::vector<double>{0, 0, 0}));
        EXPECT_TRUE(annotation.getKey("/A").getKey("/S").isNameAndEquals("/URI"));
    }
    // Top 100, bottom 114 on a page 792 high: y from 678 up to 692.
    EXPECT_EQ(Numbers(first[0].getKey("/Rect")), (std::vector<double>{72, 678, 200, 692}));
    EXPECT_EQ(first[0].getKey("/A").getKey("/URI").getStringValue(),
              "https://example.com/a%20b?q=1&r=%41#p%201%232");
    EXPECT_EQ(Numbers(first[1].getKey("/Rect")), (std::vector<double>{72, 658, 200, 672}));
    EXPECT_EQ(first[1].getKey("/A").getKey("/URI").getStringValue(),
              "file:///home/user/R%C3%A9sum%C3%A9%202024.docx");

    std::vector<QPDFObjectHandle> second =
        pages_[1].getObjectHandle().getKey("/Annots").getArrayAsVector();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(Numbers(second[0].getKey("/Rect")), (std::vector<double>{90, 130, 300, 142}));
    EXPECT_FALSE(second[0].hasKey("/A"));
    QPDFObjectHandle dest = second[0].getKey("/Dest");
    ASSERT_TRUE(dest.isArray());
    ASSERT_EQ(dest.getArrayNItems(), 5);
    EXPECT_EQ(PageOf(dest.getArrayItem(0)), 2);
    EXPECT_TRUE(dest.getArrayItem(1).isNameAndEquals("/XYZ"));
    EXPECT_TRUE(dest.getArrayItem(2).isNull());
    EXPECT_EQ(dest.getArrayItem(3).getNumericValue(), 600 - 150);  // the third page is 600 high
    EXPECT_TRUE(dest.getArrayItem(4).isNull());
    EXPECT_FALSE(pages_[2].getObjectHandle().hasKey("/Annots"));
}

TEST_F(PdfEngineLinksTest, OutlineKeepsNestingOrderTitlesAndDestinations) {
    ASSERT_EQ(engine_->SetOutlineMode(1), S_OK);
    LONG root = 0;
    ASSERT_EQ(engine_->GetOutlineRoot(&root), S_OK);
    // Headings come with their paragraph mark; a tab inside reads as a space.
    const LONG one = Child(root, u"1 Introduction\r");
    const LONG oneOne = Child(one, u"1.1 \u4E2D\u6587\u6807\u9898");  // 中文标题
    const LONG oneThree = Sibling(oneOne, u"1.3\tLater\r\n");
    const LONG oneTwo = Sibling(oneOne, u"1.2 Between");  // goes right after 1.1
    const LONG two = Sibling(one, u"2 End");
    const LONG deep = Child(oneTwo, u"1.2.1 Deep");
    PointAt(one, 0, 72);
    PointAt(oneOne, 1, 100);
    PointAt(oneTwo, 1, 300);
    PointAt(oneThree, 2, 50);
    PointAt(deep, 2, 10);
    PointAt(two, 2, 500);
    PointAt(two, 0, 20);  // a later destination replaces the earlier one

    LONG id = 0;
    EXPECT_EQ(engine_->AddOutlineChild(9999, CEngineText(u"x").Get(), 1, &id), E_INVALIDARG);
    EXPECT_EQ(engine_->AddOutlineSibling(root, CEngineText(u"x").Get(), 1, &id), E_INVALIDARG);
    EXPECT_EQ(engine_->AddOutlineSibling(0, CEngineText(u"x").Get(), 1, &id), E_INVALIDARG);
    EXPECT_EQ(engine_->SetOutlineDestination(one, 9999), E_INVALIDARG);
    EXPECT_EQ(engine_->SetOutlineDestination(9999, 1), E_INVALIDARG);
    EXPECT_EQ(engine_->CreateDestination(3, 0, &id), E_INVALIDARG);
    EXPECT_EQ(engine_->SetOutlineMode(7), E_INVALIDARG);
    Open();

    EXPECT_TRUE(pdf_.getRoot().getKey("/PageMode").isNameAndEquals("/UseOutlines"));
    QPDFOutlineDocumentHelper outline(pdf_);
    auto top = outline.getTopLevelOutlines();
    ASSERT_EQ(top.size(), 2u);
    EXPECT_EQ(top[0].getTitle(), "1 Introduction");
    EXPECT_EQ(top[1].getTitle(), "2 End");
    auto kids = top[0].getKids();
    ASSERT_EQ(kids.size(), 3u);
    EXPECT_EQ(kids[0].getTitle(), "1.1 \u4E2D\u6587\u6807\u9898");
    EXPECT_EQ(kids[1].getTitle(), "1.2 Between");
    EXPECT_EQ(kids[2].getTitle(), "1.3 Later");
    ASSERT_EQ(kids[1].getKids().size(), 1u);
    EXPECT_EQ(kids[1].getKids()[0].getTitle(), "1.2.1 Deep");
    EXPECT_TRUE(top[1].getKids().empty());

    const auto expectDest = [&](QPDFOutlineObjectHelper& item, int page, double y) {
        SCOPED_TRACE(item.getTitle());
        EXPECT_EQ(PageOf(item.getDestPage()), page);
        QPDFObjectHandle dest = item.getDest();
        ASSERT_TRUE(dest.isArray());
        EXPECT_TRUE(dest.getArrayItem(1).isNameAndEquals("/XYZ"));
        EXPECT_EQ(dest.getArrayItem(3).getNumericValue(), y);
    };
    expectDest(top[0], 0, 792 - 72);
    expectDest(kids[0], 1, 842 - 100);
    expectDest(kids[1], 1, 842 - 300);
    expectDest(kids[2], 2, 600 - 50);
    auto deepItems = kids[1].getKids();
    expectDest(deepItems[0], 2, 600 - 10);
    expectDest(top[1], 0, 792 - 20);
}

TEST_F(PdfEngineLinksTest, NoOutlineWithoutEntries) {
    ASSERT_EQ(engine_->SetOutlineMode(1), S_OK);
    Open();
    EXPECT_FALSE(pdf_.getRoot().hasKey("/Outlines"));
    EXPECT_FALSE(pdf_.getRoot().hasKey("/PageMode"));
}

}  // namespace
