// Link targets as the URIs a PDF link action holds.
#pragma once

#include <string>
#include <string_view>

namespace pdfengine {

// `target` (UTF-8) with every byte a URI cannot hold percent-encoded: spaces, controls, quotes,
// backslashes, braces and the like, and each byte of non-ASCII characters (so they travel as
// UTF-8). Reserved characters (":/?#[]@!$&'()*+,;=") stay, so a query and a fragment arrive as
// written, as does "%" that already starts an escape; a lone "%" becomes "%25" and a "#" inside
// the fragment "%23". "file:///" targets are handled like any other URI.
std::string EncodeLinkUri(std::string_view target);

}  // namespace pdfengine
