#include "tests/e2e/link_targets.h"

#include <cctype>

namespace e2e {

namespace fs = std::filesystem;

namespace {

// A URI scheme: a letter, then letters, digits, "+", "-" or ".", then ":".
bool HasScheme(const std::string& uri) {
    if (uri.empty() || std::isalpha(static_cast<unsigned char>(uri[0])) == 0) {
        return false;
    }
    for (char c : uri) {
        if (c == ':') {
            return true;
        }
        if (std::isalnum(static_cast<unsigned char>(c)) == 0 && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return false;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string FileTarget(fs::path path, const fs::path& documentFolder) {
    path = path.lexically_normal();
    std::string text = path.string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    const fs::path relative = fs::path(text).lexically_relative(documentFolder.lexically_normal());
    if (!relative.empty() && *relative.begin() != "..") {
        return "file:" + relative.string();
    }
    return "file:" + text;
}

}  // namespace

std::string PercentDecode(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
            HexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string ComparableTarget(const PdfLink& link, const fs::path& pdfFolder,
                             const fs::path& documentFolder) {
    if (link.uri.empty()) {
        return "page " + std::to_string(link.destinationPage);
    }
    const std::string uri = PercentDecode(link.uri);
    if (uri.rfind("file://", 0) == 0) {
        return FileTarget(uri.substr(std::string("file://").size()), documentFolder);
    }
    if (HasScheme(uri)) {
        return uri;
    }
    return FileTarget(pdfFolder / uri, documentFolder);
}

}  // namespace e2e
