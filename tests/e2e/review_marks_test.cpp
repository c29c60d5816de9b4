// Documents under review: several comments (one with a range, one on a heading, a reply) and
// tracked insertions, deletions and a change of format, in .docx and .doc as LibreOffice writes
// them. folvane-cli converts them like LibreOffice's own export, with links and outline, and on
// the plain print path.
#include <gtest/gtest.h>

#include <regex>

#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/pdf_facts.h"
#include "tests/e2e/reference_comparison.h"
#include "tests/e2e/reference_exports.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace e2e {
namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

// Two pages. The first two comments are marked done, so that the office gives their paragraphs
// the ids a Word 2013 reply refers to (see MakeReply).
constexpr char kSource[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink" xmlns:dc="http://purl.org/dc/elements/1.1/"
 xmlns:loext="urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
 <office:automatic-styles>
  <style:style style:name="NewPage" style:family="paragraph">
   <style:paragraph-properties fo:break-before="page"/></style:style>
  <style:style style:name="Bold" style:family="text"><style:text-properties fo:font-weight="bold"/>
  </style:style>
 </office:automatic-styles>
 <office:body><office:text>
  <text:tracked-changes text:track-changes="true">
   <text:changed-region text:id="ins"><text:insertion><office:change-info><dc:creator>Ann</dc:creator>
    <dc:date>2024-03-01T10:00:00</dc:date></office:change-info></text:insertion></text:changed-region>
   <text:changed-region text:id="del"><text:deletion><office:change-info><dc:creator>Bob</dc:creator>
    <dc:date>2024-03-01T11:00:00</dc:date></office:change-info><text:p>words taken out </text:p>
    </text:deletion></text:changed-region>
   <text:changed-region text:id="fmt"><text:format-change><office:change-info><dc:creator>Ann</dc:creator>
    <dc:date>2024-03-01T12:00:00</dc:date></office:change-info></text:format-change></text:changed-region>
   <text:changed-region text:id="cell"><text:insertion><office:change-info><dc:creator>Bob</dc:creator>
    <dc:date>2024-03-01T13:00:00</dc:date></office:change-info></text:insertion></text:changed-region>
  </text:tracked-changes>
  <text:h text:outline-level="1">Review of the plan<office:annotation><dc:creator>Ann</dc:creator>
   <dc:date>2024-03-01T09:00:00</dc:date><text:p>A comment on the heading</text:p></office:annotation></text:h>
  <text:p>The <office:annotation office:name="first" loext:resolved="true"><dc:creator>Ann</dc:creator>
   <dc:date>2024-03-01T09:10:00</dc:date><text:p>Is this settled?</text:p></office:annotation><office:annotation office:name="reply" loext:resolved="true"><dc:creator>Bob</dc:creator>
   <dc:date>2024-03-01T09:20:00</dc:date><text:p>Yes, since Monday.</text:p></office:annotation>budget stays as it is<office:annotation-end office:name="first"/><office:annotation-end office:name="reply"/>, says the <text:a xlink:type="simple" xlink:href="https://example.com/plan">published plan</text:a>.</text:p>
  <text:p>Kept text <text:change-start text:change-id="ins"/>with inserted words <text:change-end text:change-id="ins"/>and <text:change text:change-id="del"/>the rest, <text:change-start text:change-id="fmt"/><text:span text:style-name="Bold">now bold</text:span><text:change-end text:change-id="fmt"/>.<office:annotation><dc:creator>Cy</dc:creator>
   <dc:date>2024-03-01T09:30:00</dc:date><text:p>A third remark</text:p></office:annotation></text:p>
  <table:table table:name="Costs"><table:table-column/><table:table-row><table:table-cell>
   <text:p>Cell <text:change-start text:change-id="cell"/>with an addition<text:change-end text:change-id="cell"/></text:p>
  </table:table-cell></table:table-row></table:table>
  <text:p>See <text:a xlink:type="simple" xlink:href="#decision">the decision</text:a> on the next page.</text:p>
  <text:h text:style-name="NewPage" text:outline-level="2">Decision<office:annotation><dc:creator>Bob</dc:creator>
   <dc:date>2024-03-01T09:40:00</dc:date><text:p>Second heading, second comment</text:p></office:annotation></text:h>
  <text:p><text:bookmark text:name="decision"/>The plan goes ahead.</text:p>
 </office:text></office:body>
</office:document>
)";

// Word 2013 threads a reply to its comment in commentsExtended.xml; LibreOffice writes only the
// comments' done state there. The reply is linked to the first comment and both are reopened.
bool MakeReply(const fs::path& docx, std::string* error) {
    const testing_support::ProcessResult part = testing_support::RunProcess(
        {"/usr/bin/unzip", "-p", docx.string(), "word/commentsExtended.xml"});
    static const std::regex entry(R"re(<w15:commentEx w15:paraId="([0-9A-F]+)" w15:done="1"/>)re");
    std::vector<std::string> ids;
    for (auto it = std::sregex_iterator(part.output.begin(), part.output.end(), entry);
         it != std::sregex_iterator(); ++it) {
        ids.push_back((*it)[1].str());
    }
    if (ids.size() != 2) {
        *error = "commentsExtended.xml is not as expected: " + part.output;
        return false;
    }
    std::string extended =
        std::regex_replace(part.output, entry, R"(<w15:commentEx w15:paraId="$1" w15:done="0"/>)");
    const std::string reply = "w15:paraId=\"" + ids[1] + "\"";
    extended.insert(extended.find(reply) + reply.size(), " w15:paraIdParent=\"" + ids[0] + "\"");
    testing_support::TempFolder folder("e2e-reply");
    fs::create_directories(folder.Path() / "word");
    WriteFile(folder.Path() / "word" / "commentsExtended.xml", extended);
    testing_support::ProcessOptions options;
    options.workingDirectory = folder.Str();
    const testing_support::ProcessResult zip = testing_support::RunProcess(
        {"/usr/bin/zip", "-q", docx.string(), "word/commentsExtended.xml"}, options);
    if (zip.exitCode != 0) {
        *error = "zip failed: " + zip.output + zip.errors;
        return false;
    }
    return true;
}

class ReviewMarks : public PipelineTest {
  protected:
    void SetUpPipeline() override {
        for (const char* tool : {"/usr/bin/soffice", "/usr/bin/zip", "/usr/bin/unzip"}) {
            if (!fs::exists(tool)) {
                GTEST_SKIP() << tool << " is missing";
            }
        }
        std::string error;
        const fs::path folder = E2E_GENERATED_FOLDER "/review-marks";
        const fs::path made = folder / "documents";
        ASSERT_TRUE(MadeOnce(
            folder, kSource,
            [&](std::string* why) {
                // Named apart, so that their PDFs are too.
                WriteFile(folder / "review.fodt", kSource);
                WriteFile(folder / "review-97.fodt", kSource);
                return ConvertWithLibreOffice({folder / "review.fodt"}, "docx:MS Word 2007 XML",
                                              made, why) &&
                       ConvertWithLibreOffice({folder / "review-97.fodt"}, "doc:MS Word 97", made,
                                              why) &&
                       MakeReply(made / "review.docx", why) &&
                       ConvertWithLibreOffice({made / "review.docx", made / "review-97.doc"},
                                              kReferencePdfFilter, folder / "reference", why);
            },
            &error))
            << error;
        documents_ = {made / "review.docx", made / "review-97.doc"};
        referenceFolder_ = folder / "reference";
    }

    // folvane-cli on copies of both documents with the options; the copies.
    std::vector<fs::path> Convert(std::vector<std::string> options) {
        EXPECT_TRUE(InstallPlatform());
        fs::create_directories(Output());
        options.insert(options.end(), {"-o", Output().string()});
        std::vector<fs::path> copies;
        for (const fs::path& document : documents_) {
            copies.push_back(platform_.Work() / document.filename());
            fs::copy_file(document, copies.back());
            options.push_back(copies.back().string());
        }
        const testing_support::ProcessResult run = RunCli(options, platform_.Work());
        EXPECT_EQ(run.exitCode, 0) << run.output << run.errors;
        return copies;
    }

    fs::path Output() const { return platform_.Work() / "pdf"; }
    fs::path Pdf(const fs::path& document) const {
        return Output() / (document.stem().string() + ".pdf");
    }
    fs::path Reference(const fs::path& document) const {
        return referenceFolder_ / (document.stem().string() + ".pdf");
    }

    testing_support::ScopedPlatform platform_;
    std::vector<fs::path> documents_;
    fs::path referenceFolder_;
};

TEST_F(ReviewMarks, ConvertWithLinksAndOutlineLikeLibreOfficesOwnExport) {
    for (const fs::path& document : Convert({"--keep-links", "--keep-bookmarks"})) {
        SCOPED_TRACE(document.filename().string());
        ASSERT_TRUE(fs::exists(Pdf(document)));
        EXPECT_EQ(QpdfCheckProblems(Pdf(document)), "");
        ExpectLikeReferenceExport(Pdf(document), Reference(document), document,
                                  documents_.front().parent_path());
    }
}

TEST_F(ReviewMarks, ConvertOnThePlainPrintPathLikeLibreOfficesOwnExport) {
    for (const fs::path& document : Convert({})) {
        SCOPED_TRACE(document.filename().string());
        ASSERT_TRUE(fs::exists(Pdf(document)));
        ExpectSamePagesAndText(Pdf(document), Reference(document));
    }
}

}  // namespace
}  // namespace e2e
