#include "components/word/print/UsedResources.h"

#include <qpdf/QPDFObjGen.hh>

#include <array>
#include <cctype>
#include <exception>

namespace word_print {
namespace {

bool IsWhiteSpace(char c) {
    return c == '\0' || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

bool IsDelimiter(char c) {
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' ||
           c == '}' || c == '/' || c == '%';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// Adds the names of a stream's decoded data; false when it cannot be decoded.
bool AddNamesOf(QPDFObjectHandle stream, std::set<std::string>* names) {
    if (!stream.isStream()) {
        return true;  // nothing drawn
    }
    try {
        std::shared_ptr<Buffer> data = stream.getStreamData(qpdf_dl_generalized);
        const std::set<std::string> found = NamesInContent(
            std::string_view(reinterpret_cast<const char*>(data->getBuffer()), data->getSize()));
        names->insert(found.begin(), found.end());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

std::set<std::string> NamesInContent(std::string_view content) {
    std::set<std::string> names;
    std::size_t at = 0;
    while ((at = content.find('/', at)) != std::string_view::npos) {
        std::string name = "/";
        ++at;
        while (at < content.size() && !IsWhiteSpace(content[at]) && !IsDelimiter(content[at])) {
            if (content[at] == '#' && at + 2 < content.size() && HexValue(content[at + 1]) >= 0 &&
                HexValue(content[at + 2]) >= 0) {
                name +=
                    static_cast<char>(HexValue(content[at + 1]) * 16 + HexValue(content[at + 2]));
                at += 3;
            } else {
                name += content[at++];
            }
        }
        names.insert(std::move(name));
    }
    return names;
}

bool IsNamedCategory(const std::string& category) {
    static const std::array<const char*, 7> kCategories = {
        "/Font", "/XObject", "/ExtGState", "/ColorSpace", "/Pattern", "/Shading", "/Properties"};
    for (const char* known : kCategories) {
        if (category == known) {
            return true;
        }
    }
    return false;
}

std::optional<std::set<std::string>> NamesUsedByPage(const std::vector<QPDFObjectHandle>& contents,
                                                     QPDFObjectHandle resources) {
    std::set<std::string> names;
    for (const QPDFObjectHandle& stream : contents) {
        if (!AddNamesOf(stream, &names)) {
            return std::nullopt;
        }
    }
    // Forms without resources of their own draw with the page's: what they name is used too.
    QPDFObjectHandle xobjects =
        resources.isDictionary() ? resources.getKey("/XObject") : QPDFObjectHandle::newNull();
    if (!xobjects.isDictionary()) {
        return names;
    }
    std::set<QPDFObjGen> scanned;
    std::set<std::string> pending = names;
    while (!pending.empty()) {
        std::set<std::string> found;
        for (const std::string& name : pending) {
            QPDFObjectHandle form = xobjects.getKey(name);
            if (!form.isStream() || !form.getDict().getKey("/Subtype").isNameAndEquals("/Form") ||
                form.getDict().hasKey("/Resources") || !scanned.insert(form.getObjGen()).second) {
                continue;
            }
            if (!AddNamesOf(form, &found)) {
                return std::nullopt;
            }
        }
        pending.clear();
        for (const std::string& name : found) {
            if (names.insert(name).second) {
                pending.insert(name);
            }
        }
    }
    return names;
}

}  // namespace word_print
