// file:// URLs for the office, which names every document and profile by URL.
#pragma once

#include <string>

namespace word_component {

// "file://" followed by the absolute path with every byte outside the unreserved set and "/"
// percent-encoded, as RFC 3986 and the office expect. A relative path is made absolute against
// the working folder first.
std::string FileUrlFromPath(const std::string& path);

}  // namespace word_component
