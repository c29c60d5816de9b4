#include "tests/word_model/test_document.h"

namespace word_model_test {
namespace {

constexpr const char* kHeader = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
<office:styles>
 <style:default-style style:family="paragraph">
  <style:text-properties fo:font-family="'Liberation Serif'" fo:font-size="12pt"
   style:font-family-asian="'Noto Serif CJK SC'" style:font-size-asian="12pt"/>
 </style:default-style>
 <style:style style:name="Standard" style:family="paragraph" style:class="text"/>
 <style:style style:name="Heading_20_1" style:display-name="Heading 1" style:family="paragraph"
  style:parent-style-name="Standard" style:default-outline-level="1">
  <style:paragraph-properties fo:margin-top="12pt" fo:margin-bottom="6pt"/>
  <style:text-properties fo:font-size="20pt" fo:font-weight="bold" style:font-size-asian="20pt"/>
 </style:style>
 <style:style style:name="Heading_20_2" style:display-name="Heading 2" style:family="paragraph"
  style:parent-style-name="Standard" style:default-outline-level="2">
  <style:paragraph-properties fo:margin-top="10pt" fo:margin-bottom="6pt"/>
  <style:text-properties fo:font-size="16pt" fo:font-weight="bold" style:font-size-asian="16pt"/>
 </style:style>
 <style:style style:name="Heading_20_4" style:display-name="Heading 4" style:family="paragraph"
  style:parent-style-name="Standard" style:default-outline-level="4">
  <style:paragraph-properties fo:margin-top="8pt" fo:margin-bottom="4pt"/>
  <style:text-properties fo:font-size="13pt" fo:font-style="italic"/>
 </style:style>
</office:styles>
<office:automatic-styles>
 <style:style style:name="PageBreak" style:family="paragraph" style:parent-style-name="Standard">
  <style:paragraph-properties fo:break-before="page"/>
 </style:style>
 <style:style style:name="H1Break" style:family="paragraph" style:parent-style-name="Heading_20_1">
  <style:paragraph-properties fo:break-before="page"/>
 </style:style>
 <style:style style:name="Hidden" style:family="text">
  <style:text-properties text:display="none"/>
 </style:style>
 <style:style style:name="Float" style:family="graphic">
  <style:graphic-properties style:wrap="none" style:vertical-pos="from-top"
   style:vertical-rel="paragraph" style:horizontal-pos="from-left" style:horizontal-rel="paragraph"/>
 </style:style>
 <style:style style:name="WideBreak" style:family="paragraph" style:parent-style-name="Heading_20_1"
  style:master-page-name="Wide"/>
 <style:page-layout style:name="WidePage">
  <style:page-layout-properties fo:page-width="27.94cm" fo:page-height="21.59cm"
   style:print-orientation="landscape" fo:margin-top="2cm" fo:margin-bottom="2cm"
   fo:margin-left="3cm" fo:margin-right="3cm"/>
 </style:page-layout>
 <style:page-layout style:name="Page">
  <style:page-layout-properties fo:page-width="21.59cm" fo:page-height="27.94cm"
   fo:margin-top="2cm" fo:margin-bottom="2cm" fo:margin-left="2.5cm" fo:margin-right="2.5cm"/>
 </style:page-layout>
</office:automatic-styles>
<office:master-styles>
 <style:master-page style:name="Standard" style:page-layout-name="Page">
  <style:header><text:p text:style-name="Standard"><text:bookmark-start text:name="InHeader"/>Running head<text:bookmark-end text:name="InHeader"/></text:p></style:header>
 </style:master-page>
 <style:master-page style:name="Wide" style:page-layout-name="WidePage"/>
</office:master-styles>
<office:body><office:text>
)";

constexpr const char* kFooter = "</office:text></office:body></office:document>\n";

// 4x4 PNGs, one red and one blue, so a rendering of the page shows where each picture went.
constexpr const char* kRedPicture =
    "iVBORw0KGgoAAAANSUhEUgAAAAQAAAAECAIAAAAmkwkpAAAAEElEQVR4nGP4z8AARwzEcQCukw/"
    "x0F8jngAAAABJRU5ErkJggg==";
constexpr const char* kBluePicture =
    "iVBORw0KGgoAAAANSUhEUgAAAAQAAAAECAIAAAAmkwkpAAAAEElEQVR4nGNgYPiPhIjiAACOsw/"
    "xs6MvMwAAAABJRU5ErkJggg==";

std::string Link(const std::string& url, const std::string& text) {
    return "<text:a xlink:type=\"simple\" xlink:href=\"" + url + "\">" + text + "</text:a>";
}

std::string Heading(const char* style, int level, const std::string& text,
                    const std::string& bookmark) {
    return "<text:h text:style-name=\"" + std::string(style) + "\" text:outline-level=\"" +
           std::to_string(level) + "\"><text:bookmark-start text:name=\"" + bookmark + "\"/>" +
           text + "<text:bookmark-end text:name=\"" + bookmark + "\"/></text:h>\n";
}

std::string Picture(const char* anchor, const std::string& extra, const char* picture) {
    return std::string("<draw:frame draw:style-name=\"Float\" text:anchor-type=\"") + anchor +
           "\" svg:width=\"3cm\" svg:height=\"2cm\" " + extra +
           "><draw:image><office:binary-data>" + picture +
           "</office:binary-data></draw:image></draw:frame>";
}

}  // namespace

TestDocument MakeTestDocument() {
    TestDocument doc;
    doc.pages = 5;
    doc.lastPageWidth = 27.94 / 2.54 * 72;
    doc.lastLeftMargin = 3 / 2.54 * 72;
    doc.bookmark = "target";
    doc.bookmarkText = "The target of the bookmark link sits here.";
    doc.hiddenText = "This paragraph is hidden.";
    doc.linkedFile = "linked-file.txt";
    doc.headerBookmark = "InHeader";
    doc.pageReferenceLink = "see page ";
    doc.headings = {{1, "Introduction", "_Toc1001"}, {2, "Scope of the work", "_Toc1002"},
                    {1, "Details", "_Toc1003"},      {2, "Setup", "_Toc1004"},
                    {4, "A deep level", "_Toc1005"}, {1, "第三章 中文标题", "_Toc1006"},
                    {1, "A wide page", "_Toc1007"}};
    doc.wrappingLink =
        "this link text is long enough to run past the end of its line and go on below";
    const std::string& wrapText = doc.wrappingLink;
    const std::string chineseLink = "中文链接文字";

    std::string body = kHeader;
    body += "<text:p text:style-name=\"Standard\">Contents</text:p>\n";
    // A table of contents as the office writes one: entries linked to the headings' bookmarks.
    body +=
        "<text:table-of-content text:name=\"Contents\"><text:table-of-content-source "
        "text:outline-level=\"4\"/><text:index-body>\n";
    const int tocPages[] = {2, 2, 3, 3, 3, 4, 5};
    for (size_t i = 0; i < doc.headings.size(); ++i) {
        const ExpectedHeading& h = doc.headings[i];
        body += "<text:p text:style-name=\"Standard\">" +
                Link("#" + h.tocBookmark, h.text + "<text:tab/>" + std::to_string(tocPages[i])) +
                "</text:p>\n";
        doc.links.push_back({h.text + "\t" + std::to_string(tocPages[i]), "#" + h.tocBookmark, 0});
    }
    body += "</text:index-body></text:table-of-content>\n";

    body += "<text:p text:style-name=\"Standard\">Visit " +
            Link("https://www.example.com/docs/", "the example site") + " for more.</text:p>\n";
    doc.links.push_back({"the example site", "https://www.example.com/docs/", 0});
    doc.bodyParagraphs.push_back("Visit the example site for more.");

    body += "<text:p text:style-name=\"Standard\">Open " + Link(doc.linkedFile, "the linked file") +
            " and " + Link("#" + doc.bookmark, "jump to the target") + " now.</text:p>\n";
    doc.links.push_back({"the linked file", doc.linkedFile, 0});
    doc.links.push_back({"jump to the target", "#" + doc.bookmark, 0});

    // A link whose text shows the target's page through a page reference field.
    body += "<text:p text:style-name=\"Standard\">" +
            Link("#" + doc.bookmark, doc.pageReferenceLink +
                                         "<text:bookmark-ref text:reference-format=\"page\" "
                                         "text:ref-name=\"" +
                                         doc.bookmark + "\">3</text:bookmark-ref>") +
            "</text:p>\n";
    doc.links.push_back({"", "#" + doc.bookmark, 0});

    body += "<text:p text:style-name=\"Standard\">Some words come first, and then " +
            Link("https://www.example.org/wrap", wrapText) +
            " before the sentence ends.</text:p>\n";
    doc.links.push_back({wrapText, "https://www.example.org/wrap", 0});

    body +=
        "<text:p text:style-name=\"Standard\">An inline picture: <draw:a xlink:type=\"simple\" "
        "xlink:href=\"https://www.example.net/inline\">" +
        Picture("as-char", "", kRedPicture) + "</draw:a> in the line.</text:p>\n";
    doc.links.push_back({"", "https://www.example.net/inline", 2});

    body +=
        "<text:p text:style-name=\"Standard\"><draw:a xlink:type=\"simple\" "
        "xlink:href=\"https://www.example.net/floating\">" +
        Picture("paragraph", "svg:x=\"6cm\" svg:y=\"0.5cm\"", kBluePicture) +
        "</draw:a>A floating picture is anchored to this paragraph.</text:p>\n";
    doc.links.push_back({"", "https://www.example.net/floating", 1});

    body += "<text:p text:style-name=\"Standard\"><text:span text:style-name=\"Hidden\">" +
            doc.hiddenText + "</text:span></text:p>\n";

    body += Heading("H1Break", 1, doc.headings[0].text, doc.headings[0].tocBookmark);
    body +=
        "<text:p text:style-name=\"Standard\">The introduction explains the purpose.</text:p>\n";
    doc.bodyParagraphs.push_back("The introduction explains the purpose.");
    body += Heading("Heading_20_2", 2, doc.headings[1].text, doc.headings[1].tocBookmark);
    body += "<text:p text:style-name=\"Standard\">这是一个中文段落，其中有一个链接：" +
            Link("https://www.example.cn/", chineseLink) + " 然后继续。</text:p>\n";
    doc.links.push_back({chineseLink, "https://www.example.cn/", 0});

    body += Heading("H1Break", 1, doc.headings[2].text, doc.headings[2].tocBookmark);
    body += Heading("Heading_20_2", 2, doc.headings[3].text, doc.headings[3].tocBookmark);
    body += "<text:p text:style-name=\"Standard\"><text:bookmark-start text:name=\"" +
            doc.bookmark + "\"/>" + doc.bookmarkText + "<text:bookmark-end text:name=\"" +
            doc.bookmark + "\"/></text:p>\n";
    body += Heading("Heading_20_4", 4, doc.headings[4].text, doc.headings[4].tocBookmark);
    body +=
        "<table:table table:name=\"Grid\"><table:table-column table:number-columns-repeated=\"2\"/>"
        "<table:table-row><table:table-cell office:value-type=\"string\"><text:p>Cell one</text:p>"
        "</table:table-cell><table:table-cell office:value-type=\"string\"><text:p>" +
        Link("https://www.example.com/cell", "cell link") +
        "</text:p></table:table-cell></table:table-row></table:table>\n";
    doc.links.push_back({"cell link", "https://www.example.com/cell", 0});
    doc.bodyParagraphs.push_back("Cell one");
    doc.bodyParagraphs.push_back("cell link");

    body += Heading("H1Break", 1, doc.headings[5].text, doc.headings[5].tocBookmark);
    body += "<text:p text:style-name=\"Standard\">The last portrait page.</text:p>\n";
    doc.bodyParagraphs.push_back("The last portrait page.");
    // A landscape page: wider than the others, laid out beside their column in the view.
    body += Heading("WideBreak", 1, doc.headings[6].text, doc.headings[6].tocBookmark);
    body += "<text:p text:style-name=\"Standard\">The last page has " +
            Link("https://www.example.com/wide", "a wide link") + " on it.</text:p>\n";
    doc.links.push_back({"a wide link", "https://www.example.com/wide", 0});
    body += kFooter;
    doc.fodt = std::move(body);
    return doc;
}

}  // namespace word_model_test
