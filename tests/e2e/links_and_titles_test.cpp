// A document made by the tests' office as .docx and .doc, through folvane-cli: its links lead
// where the document's links lead, query and place included, files as file URIs; its outline
// has no blank entries and single blanks in its titles.
#include <gtest/gtest.h>

#include <set>

#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/pdf_facts.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

#ifdef E2E_TEST_DOCUMENTS
#include "tests/word/reference_office.h"
#endif

namespace e2e {
namespace {

// Flat ODF text: a heading with a tab, a run of blanks and a line break in it, two headings
// without text, and links to the web with a query and a place, to a place in a file beside the
// document and to an absolute file that does not exist.
constexpr char kDocument[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink" office:version="1.3"
 office:mimetype="application/vnd.oasis.opendocument.text">
 <office:styles>
  <style:style style:name="Standard" style:family="paragraph" style:class="text"/>
  <style:style style:name="Heading_20_1" style:display-name="Heading 1" style:family="paragraph"
   style:parent-style-name="Standard" style:default-outline-level="1" style:class="text"/>
  <style:style style:name="Heading_20_2" style:display-name="Heading 2" style:family="paragraph"
   style:parent-style-name="Standard" style:default-outline-level="2" style:class="text"/>
 </office:styles>
 <office:body>
  <office:text>
   <text:h text:style-name="Heading_20_1" text:outline-level="1">Scope<text:tab/>and<text:s text:c="3"/>limits<text:line-break/>(draft)</text:h>
   <text:p text:style-name="Standard">See <text:a xlink:type="simple" xlink:href="https://example.com/page?id=3&amp;lang=en#part">the page</text:a>.</text:p>
   <text:h text:style-name="Heading_20_2" text:outline-level="2"><text:s text:c="2"/><text:tab/></text:h>
   <text:p text:style-name="Standard">See <text:a xlink:type="simple" xlink:href="other.docx#Section">the other document</text:a>.</text:p>
   <text:p text:style-name="Standard">See <text:a xlink:type="simple" xlink:href="file:///nonexistent/missing%20file.doc">a lost file</text:a>.</text:p>
   <text:h text:style-name="Heading_20_1" text:outline-level="1"/>
   <text:h text:style-name="Heading_20_1" text:outline-level="1">Results</text:h>
  </office:text>
 </office:body>
</office:document>
)";

class EndToEndLinksAndTitles : public PipelineTest {};

TEST_F(EndToEndLinksAndTitles, LinksLeadWhereTheDocumentsLinksLeadAndTitlesAreTidy) {
#ifndef E2E_TEST_DOCUMENTS
    GTEST_SKIP() << "the documents are made by the tests' own office (tests/word), which is not "
                    "built here";
#else
    testing_support::ScopedPlatform platform;
    const fs::path folder = platform.Work() / "documents";
    fs::create_directories(folder);
    const fs::path source = folder / "links.fodt";
    testing_support::WriteFile(source, kDocument);
    const std::vector<fs::path> documents = {folder / "links.docx", folder / "links.doc"};
    {
        word_test::ReferenceOffice office(platform.Root() / "reference");
        std::string error;
        ASSERT_TRUE(office.Convert(source, documents[0], "MS Word 2007 XML", "", &error)) << error;
        ASSERT_TRUE(office.Convert(source, documents[1], "MS Word 97", "", &error)) << error;
    }

    ASSERT_TRUE(InstallPlatform());
    const fs::path output = platform.Work() / "pdf";
    fs::create_directories(output);
    const testing_support::ProcessResult run =
        RunCli({"--keep-links", "--keep-bookmarks", "-o", output.string(), documents[0].string(),
                documents[1].string()},
               folder);
    EXPECT_EQ(run.exitCode, 0) << run.output << run.errors;

    const std::set<std::string> expectedUris = {"https://example.com/page?id=3&lang=en#part",
                                                "file://" + folder.string() + "/other.docx#Section",
                                                "file:///nonexistent/missing%20file.doc"};
    for (const char* name : {"links.pdf", "links(1).pdf"}) {
        SCOPED_TRACE(name);
        const fs::path pdf = output / name;
        ASSERT_TRUE(fs::exists(pdf)) << run.output << run.errors;
        const PdfFacts facts = ReadPdfFacts(pdf);
        std::set<std::string> uris;
        for (const PdfLink& link : facts.links) {
            uris.insert(link.uri);
        }
        EXPECT_EQ(uris, expectedUris);
        std::vector<std::string> titles;
        for (const OutlineEntry& entry : facts.outline) {
            titles.push_back(entry.title);
        }
        EXPECT_EQ(titles, (std::vector<std::string>{"Scope and limits (draft)", "Results"}));
    }
#endif
}

}  // namespace
}  // namespace e2e
