#include "components/pdfengine/LinkUri.h"

#include <cctype>

namespace pdfengine {

namespace {

bool IsHexDigit(char ch) {
    return std::isxdigit(static_cast<unsigned char>(ch)) != 0;
}

bool KeptAsIs(unsigned char ch) {
    if (std::isalnum(ch) != 0) {
        return true;
    }
    constexpr std::string_view kKept = "-._~:/?#[]@!$&'()*+,;=";
    return kKept.find(static_cast<char>(ch)) != std::string_view::npos;
}

}  // namespace

std::string EncodeLinkUri(std::string_view target) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string uri;
    uri.reserve(target.size());
    bool inFragment = false;
    for (std::size_t i = 0; i < target.size(); ++i) {
        const auto ch = static_cast<unsigned char>(target[i]);
        const bool escapeStart = ch == '%' && i + 2 < target.size() && IsHexDigit(target[i + 1]) &&
                                 IsHexDigit(target[i + 2]);
        // The first "#" starts the fragment, which cannot hold another.
        const bool fragmentStart = ch == '#' && !inFragment;
        inFragment = inFragment || fragmentStart;
        if ((KeptAsIs(ch) && (ch != '#' || fragmentStart)) || escapeStart) {
            uri += static_cast<char>(ch);
        } else {
            uri += '%';
            uri += kHex[ch >> 4];
            uri += kHex[ch & 0xF];
        }
    }
    return uri;
}

}  // namespace pdfengine
