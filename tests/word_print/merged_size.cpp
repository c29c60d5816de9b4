#include "tests/word_print/merged_size.h"

#include <qpdf/Buffer.hh>

#include <functional>
#include <memory>

namespace word_print_test {
namespace {

// "n 0 obj", "endobj", the stream keywords and the cross-reference entry.
constexpr std::size_t kObjectOverhead = 40;

std::string HashText(const std::string& text) {
    return std::to_string(std::hash<std::string>{}(text)) + ":" + std::to_string(text.size());
}

}  // namespace

std::string RawBytes(QPDFObjectHandle stream) {
    std::shared_ptr<Buffer> data = stream.getRawStreamData();
    return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
}

std::string MergedSize::Content(QPDFObjectHandle object, bool top) {
    if (!top && object.isIndirect()) {
        return "@" + Identity(object);
    }
    if (object.isDictionary()) {
        std::string text = "<<";
        for (const auto& [key, value] : object.ditems()) {
            if (key != "/Parent" && key != "/Length") {
                text += key + " " + Content(value, false) + " ";
            }
        }
        return text + ">>";
    }
    if (object.isArray()) {
        std::string text = "[";
        for (QPDFObjectHandle item : object.aitems()) {
            text += Content(item, false) + " ";
        }
        return text + "]";
    }
    return object.unparse();
}

std::string MergedSize::Identity(QPDFObjectHandle object) {
    std::string content;
    std::size_t size = 0;
    if (object.isStream()) {
        const std::string raw = RawBytes(object);
        const std::string dict = Content(object.getDict(), false);
        content = dict + "stream" + HashText(raw);
        size = dict.size() + raw.size();
    } else {
        content = Content(object, true);
        size = content.size();
    }
    const std::string identity = HashText(content);
    if (seen_.insert(identity).second) {
        bytes_ += size + kObjectOverhead;
    }
    return identity;
}

}  // namespace word_print_test
