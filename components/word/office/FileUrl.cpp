#include "components/word/office/FileUrl.h"

#include <filesystem>

namespace word_component {

std::string FileUrlFromPath(const std::string& path) {
    std::error_code ignored;
    const std::string absolute =
        std::filesystem::absolute(std::filesystem::path(path), ignored).lexically_normal().string();
    static const char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : absolute.empty() ? path : absolute) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
            c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 0xF];
        }
    }
    return url;
}

}  // namespace word_component
