// A hyperlink's target as LibreOffice stores it (a URL, "#place" inside the document), split the
// way Word's Hyperlink object shows it: Address, SubAddress and Name.
#pragma once

#include <string>
#include <string_view>

namespace word_model {

struct LinkTarget {
    std::string address;     // the file or web address; empty for a place in the document
    std::string subAddress;  // the place: a bookmark's name or a fragment
    std::string name;        // a file link's path (as in address); empty otherwise
};

// url: LibreOffice's HyperLinkURL, UTF-8.
// - "#name" (or "#name|outline" and the other "|kind" forms LibreOffice uses for headings,
//   sections, tables and frames): a place in the document, name percent-decoded and as
//   WordBookmarkName gives it.
// - "file:///folder/a%20b.docx#part": the decoded local path in address and name, "part" in
//   subAddress. A URL with another host keeps the "//host" form.
// - A relative path (no scheme) is a file link as above, its path decoded.
// - Anything else (web, mail): address and fragment (in subAddress) exactly as written.
LinkTarget SplitLinkTarget(std::string_view url);

// A bookmark's name as Word knows it. LibreOffice renames Word's table-of-contents bookmarks
// "_Toc..." to "__RefHeading___Toc..." when it reads a .doc; they get their names back.
std::string WordBookmarkName(std::string_view name);

// Percent-decoding of a URL part; malformed escapes stay as they are.
std::string PercentDecode(std::string_view text);

}  // namespace word_model
