// The PDF engine, created through its registered library and directly: page geometry, pages
// made from payload EMFs (text, size and position of the source pages), shared fonts written
// once, links, the outline, document information, saving that fails without harm, and
// malformed metafiles. Every PDF written is read back with qpdf and poppler.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <csignal>
#include <functional>
#include <map>

#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "components/printer/EmfSpoolDriver.h"
#include "contracts/PagePayload.h"
#include "tests/pdfengine/engine_test_support.h"
#include "tests/support/emf_writer.h"
#include "tests/support/scoped_environment.h"

using namespace pdfengine_test;

namespace {

enum class Creation { kRegisteredLibrary, kDirect };

std::string CreationName(const ::testing::TestParamInfo<Creation>& info) {
    return info.param == Creation::kRegisteredLibrary ? "RegisteredLibrary" : "Direct";
}

std::vector<double> Numbers(QPDFObjectHandle array) {
    std::vector<double> numbers;
    for (auto& item : array.aitems()) {
        numbers.push_back(item.getNumericValue());
    }
    return numbers;
}

class PdfEngineTest : public ::testing::TestWithParam<Creation> {
  protected:
    void SetUp() override {
        if (const std::string missing = MissingTools(); !missing.empty()) {
            GTEST_SKIP() << "needs " << missing << " (qpdf, poppler-utils)";
        }
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        engine_ = GetParam() == Creation::kRegisteredLibrary ? CreateRegisteredEngine()
                                                             : CreateDirectEngine();
        ASSERT_TRUE(engine_);
    }
    void TearDown() override {
        if (engine_) {
            engine_.Reset();
            CoUninitialize();
        }
    }

    fs::path Work(const std::string& name) const { return platform_.Work() / name; }

    // Saves to `name` in the work folder; the file must pass qpdf --check.
    fs::path Save(const std::string& name) {
        const fs::path path = Work(name);
        EXPECT_EQ(engine_->SaveToFile(CEngineText(platform::Utf8ToUtf16(path.string())).Get(), 0),
                  S_OK);
        EXPECT_EQ(QpdfCheckProblems(path), "");
        return path;
    }

    HRESULT Draw(const std::string& emfPath, FLOAT scale) {
        return engine_->DrawMetafile(CEngineText(platform::Utf8ToUtf16(emfPath)).Get(), 0, 0, scale,
                                     scale);
    }

    // Makes one engine page per EMF as the PDF thread does; returns the page geometries.
    std::vector<EngineGeometry> AddPages(const std::vector<std::string>& emfPaths) {
        std::vector<EngineGeometry> geometries;
        for (std::size_t i = 0; i < emfPaths.size(); ++i) {
            if (i > 0) {
                EXPECT_EQ(engine_->AddPage(), S_OK);
                EXPECT_EQ(engine_->SelectPage(static_cast<LONG>(i)), S_OK);
            }
            const EngineGeometry geometry = GeometryOf(emfPaths[i]);
            EXPECT_EQ(engine_->SetPageHeight(geometry.height), S_OK);
            EXPECT_EQ(engine_->SetPageWidth(geometry.width), S_OK);
            EXPECT_EQ(Draw(emfPaths[i], geometry.scale), S_OK);
            geometries.push_back(geometry);
        }
        return geometries;
    }

    // Payload EMFs made from a cairo document split page by page.
    std::vector<std::string> PayloadEmfs(const std::vector<SourcePage>& pages) {
        const std::vector<std::string> parts = SplitPages(MakeCairoPdf(pages), Work("split"));
        EXPECT_EQ(parts.size(), pages.size());
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            paths.push_back(WritePageEmf(Work("page" + std::to_string(i + 1) + ".emf"),
                                         pages[i].width, pages[i].height, parts[i]));
        }
        return paths;
    }

    testing_support::ScopedPlatform platform_;
    ComPtr<IPDFDocument4> engine_;
};

// ---- Pages ----------------------------------------------------------------------------------

TEST_P(PdfEngineTest, KeepsPagesInPointsWithTheirOwnSizes) {
    LONG resolution = 0;
    ASSERT_EQ(engine_->GetResolution(&resolution), S_OK);
    EXPECT_EQ(resolution, 72);
    LONG count = 0;
    ASSERT_EQ(engine_->GetPageCount(&count), S_OK);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(engine_->SelectPage(1), E_INVALIDARG);
    EXPECT_EQ(engine_->SelectPage(-1), E_INVALIDARG);

    ASSERT_EQ(engine_->AddPage(), S_OK);
    ASSERT_EQ(engine_->AddPage(), S_OK);
    ASSERT_EQ(engine_->GetPageCount(&count), S_OK);
    EXPECT_EQ(count, 3);
    ASSERT_EQ(engine_->SelectPage(1), S_OK);
    EXPECT_EQ(engine_->SetPageHeight(0), E_INVALIDARG);
    EXPECT_EQ(engine_->SetPageWidth(-20), E_INVALIDARG);
    EXPECT_EQ(engine_->SetPageHeight(1000000), E_INVALIDARG);
    ASSERT_EQ(engine_->SetPageHeight(400), S_OK);
    ASSERT_EQ(engine_->SetPageWidth(300), S_OK);
    EXPECT_EQ(engine_->GetResolution(nullptr), E_POINTER);

    const fs::path path = Save("pages.pdf");
    QPDF pdf;
    pdf.processFile(path.string().c_str());
    auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
    ASSERT_EQ(pages.size(), 3u);
    // A page nobody sized stays A4 in whole points; the selected page took the sizes.
    EXPECT_EQ(Numbers(pages[0].getMediaBox()), (std::vector<double>{0, 0, 595, 842}));
    EXPECT_EQ(Numbers(pages[1].getMediaBox()), (std::vector<double>{0, 0, 300, 400}));
    EXPECT_EQ(Numbers(pages[2].getMediaBox()), (std::vector<double>{0, 0, 595, 842}));
}

// ---- Payload pages ----------------------------------------------------------------------------

TEST_P(PdfEngineTest, PlacesEachPayloadWhereItsSourcePageHadIt) {
    const std::vector<SourcePage> source = {{612, 792, "Alpha letter page"},
                                            {595.28, 841.89, "Bravo portrait A4"},
                                            {792, 612, "Charlie landscape letter"}};
    const auto emfs = PayloadEmfs(source);
    const auto geometries = AddPages(emfs);
    const fs::path path = Save("payload.pdf");

    QPDF pdf;
    pdf.processFile(path.string().c_str());
    auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
    ASSERT_EQ(pages.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(source[i].text);
        EXPECT_EQ(
            Numbers(pages[i].getMediaBox()),
            (std::vector<double>{0, 0, double(geometries[i].width), double(geometries[i].height)}));
        // The engine page is the source page cut to whole points.
        EXPECT_NEAR(geometries[i].width, source[i].width, 1.0);
        EXPECT_NEAR(geometries[i].height, source[i].height, 1.0);
        EXPECT_NE(PageText(path, int(i) + 1).find(source[i].text), std::string::npos);
        // pdftotext measures from the top, as the source page was drawn: the words stand where
        // they stood.
        const auto words = PageWords(path, int(i) + 1);
        const auto sourceWords = PageWords(Work("split/whole.pdf"), int(i) + 1);
        ASSERT_EQ(words.size(), 3u);
        ASSERT_EQ(sourceWords.size(), 3u);
        for (std::size_t w = 0; w < 3; ++w) {
            EXPECT_EQ(words[w].text, sourceWords[w].text);
            EXPECT_NEAR(words[w].x, sourceWords[w].x, 0.5);
            EXPECT_NEAR(words[w].y, sourceWords[w].y, 0.5);
        }
    }
}

TEST_P(PdfEngineTest, WritesFontsThePagesShareOnce) {
    std::vector<SourcePage> source;
    for (int i = 1; i <= 6; ++i) {
        source.push_back({612, 792, "Shared font page " + std::to_string(i)});
    }
    const auto emfs = PayloadEmfs(source);
    // Each part carries the whole font on its own.
    QPDF part;
    part.processFile((Work("split") / "part-1.pdf").string().c_str());
    ASSERT_EQ(CountFontFiles(part), 1);

    AddPages(emfs);
    const fs::path path = Save("shared.pdf");
    QPDF pdf;
    pdf.processFile(path.string().c_str());
    EXPECT_EQ(CountFontFiles(pdf), 1);
    for (int page = 1; page <= 6; ++page) {
        EXPECT_NE(PageText(path, page).find("Shared font page " + std::to_string(page)),
                  std::string::npos);
    }
    // Six pages of text weigh hardly more than the one document they were cut from.
    EXPECT_LT(fs::file_size(path), fs::file_size(Work("split/whole.pdf")) * 3 / 2);
}

TEST_P(PdfEngineTest, DrawsAMetafileAtItsOffsetAndScale) {
    const auto emfs = PayloadEmfs({{612, 792, "Offset words"}});
    const EngineGeometry geometry = GeometryOf(emfs[0]);
    ASSERT_EQ(engine_->SetPageHeight(geometry.height * 2), S_OK);
    ASSERT_EQ(engine_->SetPageWidth(geometry.width * 2), S_OK);
    // Half size, 100 points in and 50 down.
    ASSERT_EQ(engine_->DrawMetafile(CEngineText(platform::Utf8ToUtf16(emfs[0])).Get(), 100, 50,
                                    geometry.scale / 2, geometry.scale / 2),
              S_OK);
    const fs::path path = Save("offset.pdf");
    const auto words = PageWords(path, 1);
    const auto sourceWords = PageWords(Work("split/whole.pdf"), 1);
    ASSERT_EQ(words.size(), 2u);
    ASSERT_EQ(sourceWords.size(), 2u);
    EXPECT_NEAR(words[0].x, 100 + sourceWords[0].x / 2, 0.5);
    EXPECT_NEAR(words[0].y, 50 + sourceWords[0].y / 2, 0.5);
}

// ---- Drawing records ------------------------------------------------------------------------

// The XObjects a page of `path` draws.
std::size_t PlacedForms(const fs::path& path, std::size_t page) {
    QPDF pdf;
    pdf.processFile(path.string().c_str());
    auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
    return pages.at(page)
        .getObjectHandle()
        .getKey("/Resources")
        .getKey("/XObject")
        .getKeys()
        .size();
}

TEST_P(PdfEngineTest, RendersDrawingRecordsAndPlacesThePayloadToo) {
    const std::string payload =
        SplitPages(MakeCairoPdf({{595.28, 841.89, "Payload words"}}), Work("s"))[0];
    testing_support::EmfWriter writer(testing_support::PageSize::A4());
    testing_support::FontOptions font;
    font.faceName = u"Liberation Sans";
    font.height = -200;  // 24 pt at 600 dpi
    writer.SelectObject(writer.ExtCreateFontIndirectW(font));
    writer.SetBkMode(testing_support::kTransparent);
    writer.ExtTextOutW({600, 2400}, u"Metafile words");  // one inch in, four down
    const fs::path drawingOnly = Work("drawing.emf");
    testing_support::WriteBytes(drawingOnly, writer.Finish());
    writer.PayloadComment(tessaline::contracts::kPagePayloadId, testing_support::AsBytes(payload));
    const fs::path both = Work("both.emf");
    testing_support::WriteBytes(both, writer.Finish());

    AddPages({drawingOnly.string(), both.string()});
    const fs::path path = Save("drawn.pdf");

    EXPECT_EQ(PlacedForms(path, 0), 1u);
    // The metafile spaces its characters itself, so poppler may cut the words anywhere.
    const auto words = PageWords(path, 1);
    ASSERT_FALSE(words.empty());
    std::string joined;
    for (const Word& word : words) {
        joined += word.text;
    }
    EXPECT_EQ(joined, "Metafilewords");
    EXPECT_NEAR(words[0].x, 72, 2);
    EXPECT_NEAR(words[0].y, 288, 6);  // text hangs from its reference point

    // The rendered drawing and, over it, the payload.
    EXPECT_EQ(PlacedForms(path, 1), 2u);
    std::string text = PageText(path, 2);
    EXPECT_NE(text.find("Payload words"), std::string::npos);
    std::erase_if(text, [](char ch) { return std::isspace(static_cast<unsigned char>(ch)); });
    EXPECT_NE(text.find("Metafilewords"), std::string::npos);
}

TEST_P(PdfEngineTest, APayloadPageNeedsNoRenderingPass) {
    AddPages(PayloadEmfs({{612, 792, "Only payload"}}));
    EXPECT_EQ(PlacedForms(Save("payload-only.pdf"), 0), 1u);
}

// ---- Malformed metafiles -------------------------------------------------------------------

TEST_P(PdfEngineTest, RefusesMalformedMetafilesAndAddsNothingForThem) {
    const std::string payload = SplitPages(MakeCairoPdf({{612, 792, "Good page"}}), Work("s"))[0];
    const std::string good = printer::MakePageEmf(612, 792, payload);
    ASSERT_FALSE(good.empty());

    std::map<std::string, std::string> bad;
    bad["empty"] = "";
    bad["truncated header"] = good.substr(0, 60);
    bad["wrong signature"] = good;
    bad["wrong signature"][40] = 'X';
    bad["cut in the payload"] = good.substr(0, good.size() / 2);
    bad["record size past the end"] = good;
    bad["record size past the end"][112] = '\x7F';  // the comment record's nSize
    bad["payload that is no PDF"] = printer::MakePageEmf(612, 792, std::string(2000, 'x'));
    bad["payload PDF cut short"] =
        printer::MakePageEmf(612, 792, payload.substr(0, payload.size() * 2 / 3));
    for (const auto& [name, bytes] : bad) {
        SCOPED_TRACE(name);
        const fs::path path = Work("bad.emf");
        testing_support::WriteFile(path, bytes);
        EXPECT_TRUE(FAILED(Draw(path.string(), 0.12F)));
    }
    EXPECT_TRUE(FAILED(Draw(Work("missing.emf").string(), 0.12F)));
    EXPECT_EQ(engine_->DrawMetafile(nullptr, 0, 0, 1, 1), E_INVALIDARG);
    EXPECT_EQ(Draw(Work("missing.emf").string(), 0), E_INVALIDARG);

    // A well-formed metafile with nothing to draw is fine; the page stays empty.
    testing_support::EmfWriter empty(testing_support::PageSize::Letter());
    const fs::path emptyPath = Work("empty.emf");
    testing_support::WriteBytes(emptyPath, empty.Finish());
    EXPECT_EQ(Draw(emptyPath.string(), 0.12F), S_OK);

    const fs::path path = Save("after-bad.pdf");
    QPDF pdf;
    pdf.processFile(path.string().c_str());
    auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_TRUE(
        pages[0].getObjectHandle().getKey("/Resources").getKey("/XObject").getKeys().empty());
}

// ---- Saving ---------------------------------------------------------------------------------

TEST_P(PdfEngineTest, FailedSavesLeaveEverythingAsItWas) {
    const fs::path out = Work("out");
    fs::create_directories(out / "taken.pdf");  // a folder where the PDF should go
    testing_support::WriteFile(out / "keep.pdf", "an older PDF");
    const auto before = testing_support::ListFilesRecursively(out);

    const auto save = [&](const fs::path& path) {
        return engine_->SaveToFile(CEngineText(platform::Utf8ToUtf16(path.string())).Get(), 0);
    };
    EXPECT_TRUE(FAILED(save(out / "taken.pdf")));
    EXPECT_TRUE(FAILED(save(out / "no-such-folder" / "x.pdf")));
    EXPECT_TRUE(FAILED(save(out / "keep.pdf" / "x.pdf")));  // a file as a folder
    EXPECT_EQ(engine_->SaveToFile(nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(engine_->SaveToFile(CEngineText(u"x.pdf").Get(), 1), E_INVALIDARG);
    EXPECT_EQ(testing_support::ListFilesRecursively(out), before);
    EXPECT_EQ(testing_support::ReadFile(out / "keep.pdf"), "an older PDF");

    // The engine is still whole: the next save replaces the old file and keeps its mode.
    ASSERT_EQ(chmod((out / "keep.pdf").c_str(), 0640), 0);
    ASSERT_EQ(save(out / "keep.pdf"), S_OK);
    EXPECT_EQ(QpdfCheckProblems(out / "keep.pdf"), "");
    EXPECT_EQ(fs::status(out / "keep.pdf").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(testing_support::ListFilesRecursively(out), before);
}

// A write that fails half way (here: the file size limit, which binds root as well, standing in
// for a full disk) leaves the old PDF as it was and no partial file beside it.
TEST_P(PdfEngineTest, ASaveThatFailsWhileWritingLeavesTheOldFileWhole) {
    const fs::path out = Work("limited");
    fs::create_directories(out);
    testing_support::WriteFile(out / "keep.pdf", "an older PDF");
    const std::string target = (out / "keep.pdf").string();

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG instead of killing us
        const rlimit limit{512, 512};
        setrlimit(RLIMIT_FSIZE, &limit);
        const HRESULT hr = engine_->SaveToFile(CEngineText(platform::Utf8ToUtf16(target)).Get(), 0);
        _exit(FAILED(hr) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the save crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a save beyond the size limit reported success";
    EXPECT_EQ(testing_support::ListFilesRecursively(out), std::vector<std::string>{"keep.pdf"});
    EXPECT_EQ(testing_support::ReadFile(out / "keep.pdf"), "an older PDF");
}

TEST_P(PdfEngineTest, WritesCreatorAndProducer) {
    ASSERT_EQ(engine_->SetCreator(CEngineText(u"Tessaline").Get()), S_OK);
    ASSERT_EQ(engine_->SetProducer(CEngineText(u"Tessaline \u8F6C\u6362").Get()), S_OK);
    const fs::path path = Save("info.pdf");
    QPDF pdf;
    pdf.processFile(path.string().c_str());
    QPDFObjectHandle info = pdf.getTrailer().getKey("/Info");
    EXPECT_EQ(info.getKey("/Creator").getUTF8Value(), "Tessaline");
    EXPECT_EQ(info.getKey("/Producer").getUTF8Value(), "Tessaline \u8F6C\u6362");
}

INSTANTIATE_TEST_SUITE_P(PdfEngine, PdfEngineTest,
                         ::testing::Values(Creation::kRegisteredLibrary, Creation::kDirect),
                         CreationName);

}  // namespace
