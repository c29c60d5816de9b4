// A document whose chapters restart their page numbers at 1: LibreOffice lays such a chapter out
// on a right-hand page and puts a blank page before it when the chapter before ends on one. Its
// own export leaves those pages out; folvane-cli's PDF has the same pages with the same text,
// and the links and outline land on them, in .docx and .doc.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/pdf_facts.h"
#include "tests/e2e/reference_comparison.h"
#include "tests/e2e/reference_exports.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace e2e {
namespace {

using testing_support::WriteFile;

std::string Paragraphs(int count, const std::string& label) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        text += "<text:p text:style-name=\"Body\">" + label + " " + std::to_string(i) +
                ". Shipping schedules change with the seasons, and the harbour office keeps a "
                "record of every vessel that calls, the cargo it brings and the berth it takes. "
                "The record is read by the pilots, the customs office and the crane crews, and "
                "each of them wants it by the morning.</text:p>\n";
    }
    return text;
}

// A title page, then two chapters that each start at page 1: "Arrivals" on the title page's
// next page (a left-hand page, so a blank page goes before it), "Berths" after four pages of it.
// Right and left pages have headers with links of their own: the blank page counts in choosing
// which a page shows.
std::string Source() {
    return std::string(kFlatOdtOpening) + R"( <office:styles>
  <style:style style:name="Body" style:family="paragraph">
   <style:paragraph-properties fo:margin-bottom="0.2cm"/>
   <style:text-properties fo:font-size="11pt" style:font-name="Liberation Serif"/></style:style>
 </office:styles>
 <office:automatic-styles>
  <style:style style:name="Chapter" style:family="paragraph" style:master-page-name="Standard">
   <style:paragraph-properties style:page-number="1"/>
   <style:text-properties fo:font-size="16pt" fo:font-weight="bold"/></style:style>
 </office:automatic-styles>
 <office:master-styles>
  <style:master-page style:name="Standard">
   <style:header><text:p text:style-name="Body">Right: <text:a xlink:type="simple" xlink:href="https://example.com/right">harbour</text:a></text:p></style:header>
   <style:header-left><text:p text:style-name="Body">Left: <text:a xlink:type="simple" xlink:href="https://example.com/left">harbour</text:a></text:p></style:header-left>
  </style:master-page>
 </office:master-styles>
 <office:body><office:text>
  <text:p text:style-name="Body">The harbour report. See <text:a xlink:type="simple" xlink:href="#berths">the berths</text:a> and <text:a xlink:type="simple" xlink:href="https://example.com/harbour">the harbour site</text:a>.</text:p>
  <text:h text:style-name="Chapter" text:outline-level="1">Arrivals</text:h>
)" + Paragraphs(12, "Arrival") +
           R"(  <text:p text:style-name="Body">Back to <text:a xlink:type="simple" xlink:href="#berths">the berths</text:a>, or <text:a xlink:type="simple" xlink:href="https://example.com/arrivals">the arrivals board</text:a>.</text:p>
  <text:h text:style-name="Chapter" text:outline-level="1"><text:bookmark text:name="berths"/>Berths</text:h>
)" + Paragraphs(6, "Berth") +
           R"(  <text:p text:style-name="Body">The <text:a xlink:type="simple" xlink:href="https://example.com/berths">berth plan</text:a> is online.</text:p>
 </office:text></office:body>
</office:document>
)";
}

class BlankPages : public PipelineTest {
  protected:
    void SetUpPipeline() override {
        const std::string source = Source();
        const fs::path folder = E2E_GENERATED_FOLDER "/blank-pages";
        const fs::path made = folder / "documents";
        std::string error;
        ASSERT_TRUE(MadeOnce(
            folder, source,
            [&](std::string* why) {
                // Named apart, so that their PDFs are too.
                WriteFile(folder / "chapters.fodt", source);
                WriteFile(folder / "chapters-97.fodt", source);
                return ConvertWithLibreOffice({folder / "chapters.fodt"}, "docx:MS Word 2007 XML",
                                              made, why) &&
                       ConvertWithLibreOffice({folder / "chapters-97.fodt"}, "doc:MS Word 97", made,
                                              why) &&
                       ConvertWithLibreOffice({made / "chapters.docx", made / "chapters-97.doc"},
                                              kReferencePdfFilter, folder / "reference", why);
            },
            &error))
            << error;
        documents_ = {made / "chapters.docx", made / "chapters-97.doc"};
        referenceFolder_ = folder / "reference";
    }

    std::vector<fs::path> documents_;
    fs::path referenceFolder_;
};

TEST_F(BlankPages, LeftOutAsTheOfficesOwnExportLeavesThem) {
    testing_support::ScopedPlatform platform;
    ASSERT_TRUE(InstallPlatform());
    const fs::path output = platform.Work() / "pdf";
    fs::create_directories(output);
    std::vector<std::string> arguments = {"--keep-links", "--keep-bookmarks", "-o",
                                          output.string()};
    std::vector<fs::path> copies;
    for (const fs::path& document : documents_) {
        copies.push_back(platform.Work() / document.filename());
        fs::copy_file(document, copies.back());
        arguments.push_back(copies.back().string());
    }
    const testing_support::ProcessResult run = RunCli(arguments, platform.Work());
    EXPECT_EQ(run.exitCode, 0) << run.output << run.errors;
    for (const fs::path& copy : copies) {
        SCOPED_TRACE(copy.filename().string());
        const fs::path pdf = output / (copy.stem().string() + ".pdf");
        ASSERT_TRUE(fs::exists(pdf));
        ExpectLikeReferenceExport(pdf, referenceFolder_ / pdf.filename(), copy,
                                  documents_.front().parent_path());
    }
}

}  // namespace
}  // namespace e2e
