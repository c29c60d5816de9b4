// Which of a page's resources its content uses, found by scanning the content for names rather
// than parsing it: a rendered page's content is most of its bytes, and a full parse of every
// page of a long document costs more than the rest of cutting it into payloads.
#pragma once

#include <qpdf/QPDFObjectHandle.hh>

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace word_print {

// Every name token in content bytes, decoded (#xx escapes) and with its leading '/'. Names
// inside strings or inline images' data count too: a resource kept for nothing only makes a
// payload larger, one left out would spoil the page.
std::set<std::string> NamesInContent(std::string_view content);

// True for the resource categories whose entries content names (/Font, /XObject, /ExtGState,
// /ColorSpace, /Pattern, /Shading, /Properties).
bool IsNamedCategory(const std::string& category);

// The names a page's content streams use, with those of the form XObjects they draw that take
// their resources from the page (at any depth). nullopt when a stream cannot be decoded: then
// every resource is to be kept.
std::optional<std::set<std::string>> NamesUsedByPage(const std::vector<QPDFObjectHandle>& contents,
                                                     QPDFObjectHandle resources);

}  // namespace word_print
