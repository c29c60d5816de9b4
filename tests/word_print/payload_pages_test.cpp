// A rendered PDF cut into a print job: one payload per page, sized from the page's visible area,
// carrying the page's text, sharing fonts and pictures byte for byte, and nothing else.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/word/print/PrintedDocument.h"
#include "contracts/PrintJob.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"
#include "tests/word_print/merged_size.h"
#include "tests/word_print/sample_pdfs.h"

namespace {

namespace fs = std::filesystem;
using word_print_test::SamplePage;

struct Job {
    std::string documentName;
    std::vector<tessaline::contracts::PrintedPage> pages;
};

std::unique_ptr<QPDF> OpenPayload(const std::string& bytes) {
    auto pdf = std::make_unique<QPDF>();
    pdf->processMemoryFile("payload", bytes.data(), bytes.size());
    return pdf;
}

QPDFObjectHandle FirstPage(QPDF& pdf) {
    return pdf.getAllPages().at(0);
}

std::vector<double> Numbers(QPDFObjectHandle array) {
    std::vector<double> values;
    for (QPDFObjectHandle item : array.aitems()) {
        values.push_back(item.getNumericValue());
    }
    return values;
}

// Every stream a page's resources reach, by the path of keys that leads to it (resource names
// are the source's own, so the same path names the same object in every payload).
void CollectStreams(QPDFObjectHandle object, const std::string& path, int depth,
                    std::map<std::string, QPDFObjectHandle>* streams) {
    if (depth > 8) {
        return;
    }
    if (object.isStream()) {
        (*streams)[path] = object;
        object = object.getDict();
    }
    if (object.isDictionary()) {
        for (const auto& [key, value] : object.ditems()) {
            if (key != "/Parent") {
                CollectStreams(value, path + key, depth + 1, streams);
            }
        }
    } else if (object.isArray()) {
        int i = 0;
        for (QPDFObjectHandle item : object.aitems()) {
            CollectStreams(item, path + "[" + std::to_string(i++) + "]", depth + 1, streams);
        }
    }
}

class WordPrintPayloads : public ::testing::Test {
  protected:
    void SetUp() override {
        if (testing_support::FindProgram("pdftotext").empty() ||
            testing_support::FindProgram("qpdf").empty()) {
            GTEST_SKIP() << "skipped: pdftotext (poppler-utils) and qpdf are needed";
        }
    }

    fs::path Source() const { return platform_.Work() / "document.pdf"; }
    fs::path JobPath() const { return platform_.Work() / "document.job"; }

    Job Print(const fs::path& pdf) {
        std::string error;
        EXPECT_TRUE(word_print::WritePrintJobFromPdf(pdf.string(), "document.docx",
                                                     JobPath().string(), &error))
            << error;
        Job job;
        tessaline::contracts::PrintJobReader reader;
        if (!reader.Open(JobPath().string(), &error)) {
            ADD_FAILURE() << error;
            return job;
        }
        job.documentName = reader.DocumentName();
        tessaline::contracts::PrintedPage page;
        while (reader.NextPage(&page, &error)) {
            job.pages.push_back(page);
        }
        EXPECT_EQ(error, "");
        return job;
    }

    // The payload as a file, for the command-line tools.
    fs::path SavePayload(const tessaline::contracts::PrintedPage& page, int number) {
        fs::path path = platform_.Work() / ("payload" + std::to_string(number) + ".pdf");
        testing_support::WriteFile(path, page.payload);
        return path;
    }

    testing_support::ScopedPlatform platform_;
};

}  // namespace

TEST_F(WordPrintPayloads, EachPageIsAValidOnePagePdfSizedByItsVisibleAreaWithTheSameText) {
    word_print_test::WriteCairoPdf(
        Source(), {SamplePage{595.28, 841.89, "First page\nturned by its parents", true},
                   SamplePage{792, 612, "Second page\nlandscape turned a quarter", true},
                   SamplePage{420, 595, "Third page\ncropped", false},
                   SamplePage{300, 200, "Fourth\nsmall card", false}});
    word_print_test::EditPdf(Source(), [](QPDF& pdf) {
        std::vector<QPDFObjectHandle> pages = pdf.getAllPages();
        QPDFObjectHandle root = pdf.getRoot().getKey("/Pages");
        // Page 1 takes its MediaBox, Resources and a quarter turn from the page tree.
        for (const char* key : {"/MediaBox", "/Resources"}) {
            root.replaceKey(key, pages[0].getKey(key));
            pages[0].removeKey(key);
        }
        root.replaceKey("/Rotate", QPDFObjectHandle::newInteger(270));
        pages[1].replaceKey("/Rotate", QPDFObjectHandle::newInteger(90));
        pages[2].replaceKey("/Rotate", QPDFObjectHandle::newInteger(0));
        // Reaches past the MediaBox at the top: only the part within it shows.
        pages[2].replaceKey("/CropBox", QPDFObjectHandle::parse("[40 400 360 660]"));
        // A turn given as -180, with a crop box written corner last.
        pages[3].replaceKey("/Rotate", QPDFObjectHandle::newInteger(-180));
        pages[3].replaceKey("/CropBox", QPDFObjectHandle::parse("[290 190 10 20]"));
    });

    const Job job = Print(Source());
    EXPECT_EQ(job.documentName, "document.docx");
    ASSERT_EQ(job.pages.size(), 4u);
    const double expected[4][2] = {{841.89, 595.28}, {612, 792}, {320, 195}, {280, 170}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE("page " + std::to_string(i + 1));
        const tessaline::contracts::PrintedPage& page = job.pages[i];
        EXPECT_NEAR(page.widthPoints, expected[i][0], 1e-3);
        EXPECT_NEAR(page.heightPoints, expected[i][1], 1e-3);

        const fs::path payload = SavePayload(page, i + 1);
        int exitCode = -1;
        const std::string check = word_print_test::QpdfCheck(payload, &exitCode);
        EXPECT_EQ(exitCode, 0) << check;
        EXPECT_NE(check.find("No syntax or stream encoding errors found"), std::string::npos)
            << check;

        const std::string sourceText = word_print_test::PageText(Source(), i + 1);
        EXPECT_NE(sourceText.find(i == 0   ? "First page"
                                  : i == 1 ? "Second page"
                                  : i == 2 ? "Third page"
                                           : "Fourth"),
                  std::string::npos)
            << sourceText;
        EXPECT_EQ(word_print_test::PageText(payload), sourceText);
        // Each word where the shown source page has it: turned, cropped and moved the same way.
        EXPECT_EQ(word_print_test::WordBoxes(payload, 1),
                  word_print_test::WordBoxes(Source(), i + 1));

        // Upright at the origin, the size the job states.
        auto pdf = OpenPayload(page.payload);
        ASSERT_EQ(pdf->getAllPages().size(), 1u);
        QPDFObjectHandle dict = FirstPage(*pdf);
        const std::vector<double> box = Numbers(dict.getKey("/MediaBox"));
        ASSERT_EQ(box.size(), 4u);
        EXPECT_EQ(box[0], 0);
        EXPECT_EQ(box[1], 0);
        EXPECT_NEAR(box[2], page.widthPoints, 1e-5);
        EXPECT_NEAR(box[3], page.heightPoints, 1e-5);
        EXPECT_FALSE(dict.hasKey("/Rotate"));
        EXPECT_FALSE(dict.hasKey("/CropBox"));
        EXPECT_FALSE(pdf->getRoot().getKey("/Pages").hasKey("/Rotate"));
    }
}

TEST_F(WordPrintPayloads, TheCropBoxHidesWhatLiesOutsideIt) {
    word_print_test::WriteCairoPdf(
        Source(), {SamplePage{595.28, 841.89, "Kept line\n\n\n\n\nCut line", false}});
    // The text starts at y = 120 from the top; the crop keeps the first line only.
    word_print_test::EditPdf(Source(), [](QPDF& pdf) {
        FirstPage(pdf).replaceKey("/CropBox", QPDFObjectHandle::parse("[0 690 595 841]"));
    });
    const Job job = Print(Source());
    ASSERT_EQ(job.pages.size(), 1u);
    const std::string text = word_print_test::PageText(SavePayload(job.pages[0], 1));
    EXPECT_NE(text.find("Kept line"), std::string::npos) << text;
    // pdftotext reads the source's whole MediaBox; the printed sheet shows the crop only.
    EXPECT_EQ(text.find("Cut line"), std::string::npos) << text;
}

TEST_F(WordPrintPayloads, SharedFontsAndPicturesAreCopiedByteForByteIntoEveryPayload) {
    std::vector<SamplePage> pages;
    for (int i = 1; i <= 12; ++i) {
        pages.push_back(SamplePage{
            595.28, 841.89,
            "Chapter " + std::to_string(i) + "\nThe quick brown fox jumps over the lazy dog.",
            i % 4 != 0});
    }
    word_print_test::WriteCairoPdf(Source(), pages);
    // One resource dictionary for all pages, as some exporters write it.
    word_print_test::EditPdf(Source(), [](QPDF& pdf) {
        std::vector<QPDFObjectHandle> all = pdf.getAllPages();
        QPDFObjectHandle shared = QPDFObjectHandle::newDictionary();
        for (QPDFObjectHandle page : all) {
            for (const auto& [type, entries] : page.getKey("/Resources").ditems()) {
                if (!shared.hasKey(type)) {
                    shared.replaceKey(type, QPDFObjectHandle::newDictionary());
                }
                for (auto [name, value] : QPDFObjectHandle(entries).ditems()) {
                    shared.getKey(type).replaceKey(name, value);
                }
            }
        }
        shared = pdf.makeIndirectObject(shared);
        for (QPDFObjectHandle page : all) {
            page.replaceKey("/Resources", shared);
        }
    });

    QPDF source;
    source.processFile(Source().c_str());
    std::map<std::string, QPDFObjectHandle> sourceStreams;
    CollectStreams(FirstPage(source).getKey("/Resources"), "", 0, &sourceStreams);
    ASSERT_FALSE(sourceStreams.empty());

    const Job job = Print(Source());
    ASSERT_EQ(job.pages.size(), 12u);
    word_print_test::MergedSize merged;
    for (std::size_t i = 0; i < job.pages.size(); ++i) {
        SCOPED_TRACE("page " + std::to_string(i + 1));
        auto pdf = OpenPayload(job.pages[i].payload);
        std::map<std::string, QPDFObjectHandle> streams;
        CollectStreams(FirstPage(*pdf).getKey("/Resources"), "", 0, &streams);
        bool hasFontFile = false;
        bool hasImage = false;
        for (auto& [path, stream] : streams) {
            ASSERT_EQ(sourceStreams.count(path), 1u) << path;
            // Not decoded and encoded again: the stored bytes and their filter are the source's.
            const std::string raw = word_print_test::RawBytes(stream);
            EXPECT_EQ(raw, word_print_test::RawBytes(sourceStreams[path])) << path;
            EXPECT_EQ(stream.getDict().getKey("/Filter").unparse(),
                      sourceStreams[path].getDict().getKey("/Filter").unparse());
            hasFontFile = hasFontFile || path.find("/FontFile") != std::string::npos;
            hasImage = hasImage || stream.getDict().getKey("/Subtype").isNameAndEquals("/Image");
        }
        EXPECT_TRUE(hasFontFile);
        // The shared dictionary names the picture, but only pages that draw it carry it.
        EXPECT_EQ(hasImage, (i + 1) % 4 != 0);
        merged.AddPage(FirstPage(*pdf));
    }
    EXPECT_LE(static_cast<double>(merged.Bytes()),
              1.15 * static_cast<double>(fs::file_size(Source())))
        << "the payloads' objects, each shared one counted once";

    // Written the same way twice, byte for byte.
    const std::string first = testing_support::ReadFile(JobPath());
    Print(Source());
    EXPECT_EQ(testing_support::ReadFile(JobPath()), first);
}

TEST_F(WordPrintPayloads, LinksOutlineStructureDestinationsAndFormsAreLeftOut) {
    word_print_test::WriteCairoPdf(Source(),
                                   {SamplePage{595.28, 841.89, "Linked page one", true},
                                    SamplePage{595.28, 841.89, "Linked page two", false}},
                                   /*withNavigation=*/true);
    word_print_test::EditPdf(Source(), [](QPDF& pdf) {
        pdf.getRoot().replaceKey("/AcroForm", QPDFObjectHandle::parse("<< /Fields [] >>"));
    });
    QPDF source;
    source.processFile(Source().c_str());
    // The source really has what must be left out.
    for (const char* key : {"/Outlines", "/StructTreeRoot", "/AcroForm"}) {
        ASSERT_TRUE(source.getRoot().hasKey(key)) << key;
    }
    ASSERT_TRUE(FirstPage(source).hasKey("/Annots"));

    const Job job = Print(Source());
    ASSERT_EQ(job.pages.size(), 2u);
    for (std::size_t i = 0; i < job.pages.size(); ++i) {
        SCOPED_TRACE("page " + std::to_string(i + 1));
        auto pdf = OpenPayload(job.pages[i].payload);
        std::set<std::string> catalogKeys;
        for (const auto& [key, value] : pdf->getRoot().ditems()) {
            catalogKeys.insert(key);
        }
        EXPECT_EQ(catalogKeys, (std::set<std::string>{"/Pages", "/Type"}));
        for (const auto& [key, value] : FirstPage(*pdf).ditems()) {
            EXPECT_TRUE(key == "/Type" || key == "/Parent" || key == "/MediaBox" ||
                        key == "/Resources" || key == "/Contents" || key == "/Group")
                << key;
        }
        for (QPDFObjectHandle object : pdf->getAllObjects()) {
            QPDFObjectHandle dict = object.isStream() ? object.getDict() : object;
            if (dict.isDictionary()) {
                EXPECT_FALSE(dict.getKey("/Type").isNameAndEquals("/Annot"));
                EXPECT_FALSE(dict.getKey("/Type").isNameAndEquals("/StructElem"));
                EXPECT_FALSE(dict.hasKey("/StructParents"));
            }
        }
        EXPECT_FALSE(pdf->getTrailer().hasKey("/Info"));
        EXPECT_EQ(word_print_test::PageText(SavePayload(job.pages[i], 1)),
                  word_print_test::PageText(Source(), static_cast<int>(i) + 1));
    }
}
