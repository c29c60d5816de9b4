#include "components/word/model/LinkTarget.h"

#include <array>
#include <cctype>

namespace word_model {
namespace {

// The "|kind" endings LibreOffice appends to a place in the document to say what it names.
constexpr std::array<std::string_view, 8> kPlaceKinds = {
    "outline", "region", "table", "frame", "graphic", "ole", "sequence", "drawingobject"};

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::string StripPlaceKind(std::string place) {
    const size_t bar = place.rfind('|');
    if (bar == std::string::npos) {
        return place;
    }
    const std::string_view kind = std::string_view(place).substr(bar + 1);
    for (std::string_view known : kPlaceKinds) {
        if (kind == known) {
            place.resize(bar);
            break;
        }
    }
    return place;
}

bool HasScheme(std::string_view url) {
    const size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon < 2) {
        return false;  // "c:" would be a drive, not a scheme
    }
    for (size_t i = 0; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(url[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string PercentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                decoded += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        decoded += text[i];
    }
    return decoded;
}

std::string WordBookmarkName(std::string_view name) {
    constexpr std::string_view kRenamed = "__RefHeading__";
    if (name.starts_with(kRenamed) && name.substr(kRenamed.size()).starts_with("_Toc")) {
        return std::string(name.substr(kRenamed.size()));
    }
    return std::string(name);
}

LinkTarget SplitLinkTarget(std::string_view url) {
    LinkTarget target;
    if (url.starts_with('#')) {
        target.subAddress = WordBookmarkName(StripPlaceKind(PercentDecode(url.substr(1))));
        return target;
    }
    std::string_view base = url;
    std::string_view fragment;
    const size_t hash = url.find('#');
    if (hash != std::string_view::npos) {
        base = url.substr(0, hash);
        fragment = url.substr(hash + 1);
    }
    if (base.starts_with("file://")) {
        std::string_view rest = base.substr(7);
        // "file:///path" is local; "file://host/share" names a network path.
        target.address = rest.starts_with('/') ? PercentDecode(rest) : "//" + PercentDecode(rest);
    } else if (!HasScheme(base)) {
        target.address = PercentDecode(base);
    } else {
        // A web address and its fragment stay as written, escapes included: decoded, an escaped
        // "#" or "%" would lead elsewhere.
        target.address = std::string(base);
        target.subAddress = std::string(fragment);
        return target;
    }
    // A file's place is a bookmark's name.
    target.name = target.address;
    target.subAddress = StripPlaceKind(PercentDecode(fragment));
    return target;
}

}  // namespace word_model
