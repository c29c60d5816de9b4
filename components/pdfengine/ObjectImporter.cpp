#include "components/pdfengine/ObjectImporter.h"

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string_view>

namespace pdfengine {

namespace {

std::string_view View(const Buffer& buffer) {
    return {reinterpret_cast<const char*>(buffer.getBuffer()), buffer.getSize()};
}

}  // namespace

QPDFObjectHandle ObjectImporter::Import(QPDFObjectHandle object) {
    return Copy(object);
}

QPDFObjectHandle ObjectImporter::Copy(QPDFObjectHandle object) {
    return object.isIndirect() ? CopyIndirect(object) : CopyDirect(object);
}

QPDFObjectHandle ObjectImporter::CopyDirect(QPDFObjectHandle object) {
    if (object.isDictionary() || object.isArray()) {
        return CopyContainer(object);
    }
    // Scalars are made anew so that nothing of the source document stays attached.
    if (object.isNull()) {
        return QPDFObjectHandle::newNull();
    }
    if (object.isBool()) {
        return QPDFObjectHandle::newBool(object.getBoolValue());
    }
    if (object.isInteger()) {
        return QPDFObjectHandle::newInteger(object.getIntValue());
    }
    if (object.isReal()) {
        return QPDFObjectHandle::newReal(object.getRealValue());
    }
    if (object.isName()) {
        return QPDFObjectHandle::newName(object.getName());
    }
    if (object.isString()) {
        return QPDFObjectHandle::newString(object.getStringValue());
    }
    throw std::runtime_error("unexpected object type in a placed page: " +
                             std::string(object.getTypeName()));
}

QPDFObjectHandle ObjectImporter::CopyContainer(QPDFObjectHandle object) {
    if (object.isArray()) {
        QPDFObjectHandle array = QPDFObjectHandle::newArray();
        for (auto& item : object.aitems()) {
            array.appendItem(Copy(item));
        }
        return array;
    }
    QPDFObjectHandle dictionary = QPDFObjectHandle::newDictionary();
    for (auto& [key, value] : object.ditems()) {
        dictionary.replaceKey(key, Copy(value));
    }
    return dictionary;
}

QPDFObjectHandle ObjectImporter::CopyIndirect(QPDFObjectHandle object) {
    const QPDFObjGen id = object.getObjGen();
    if (auto done = copied_.find(id); done != copied_.end()) {
        return done->second;
    }
    if (auto open = inProgress_.find(id); open != inProgress_.end()) {
        // A reference back to an object still being copied: hand out a stand-in that becomes
        // the object once it is complete.
        if (!open->second.placeholder.isInitialized()) {
            open->second.placeholder =
                object.isStream() ? output_.newStream() : QPDFObjectHandle::newReserved(&output_);
        }
        return open->second.placeholder;
    }
    if (object.isNull()) {
        return QPDFObjectHandle::newNull();  // a reference to a missing object
    }
    inProgress_[id];
    QPDFObjectHandle result;
    try {
        if (object.isStream()) {
            result = CopyStream(object, inProgress_[id].placeholder);
        } else if (object.isDictionary() || object.isArray()) {
            QPDFObjectHandle copy = CopyContainer(object);
            QPDFObjectHandle placeholder = inProgress_[id].placeholder;
            if (placeholder.isInitialized()) {
                // Part of a cycle: its text depends on itself, so it is not merged.
                output_.replaceReserved(placeholder, copy);
                result = placeholder;
            } else {
                QPDFObjectHandle& stored = containers_[copy.unparse()];
                if (!stored.isInitialized()) {
                    stored = output_.makeIndirectObject(copy);
                }
                result = stored;
            }
        } else {
            result = CopyDirect(object);  // an indirect number or name: inlined
        }
    } catch (...) {
        inProgress_.erase(id);
        throw;
    }
    inProgress_.erase(id);
    copied_[id] = result;
    return result;
}

QPDFObjectHandle ObjectImporter::CopyStream(QPDFObjectHandle stream,
                                            QPDFObjectHandle& placeholder) {
    QPDFObjectHandle dictionary = CopyContainer(stream.getDict());
    dictionary.removeKey("/Length");
    std::shared_ptr<Buffer> data = stream.getRawStreamData();
    const std::string_view bytes = View(*data);

    std::string key = dictionary.unparse();
    key += '\n';
    key += std::to_string(bytes.size());
    key += ':';
    key += std::to_string(std::hash<std::string_view>{}(bytes));

    std::vector<StoredStream>& candidates = streams_[key];
    if (!placeholder.isInitialized()) {
        for (const StoredStream& candidate : candidates) {
            if (View(*candidate.data) == bytes) {
                return candidate.stream;
            }
        }
    }
    // A stream reached through a cycle was handed out already as `placeholder`; it becomes
    // the stream itself.
    QPDFObjectHandle copy = placeholder.isInitialized() ? placeholder : output_.newStream();
    const QPDFObjectHandle filter = dictionary.getKey("/Filter");
    const QPDFObjectHandle parameters = dictionary.getKey("/DecodeParms");
    copy.replaceStreamData(data, filter, parameters);
    QPDFObjectHandle target = copy.getDict();
    for (auto& [name, value] : dictionary.ditems()) {
        if (name != "/Filter" && name != "/DecodeParms") {
            target.replaceKey(name, value);
        }
    }
    candidates.push_back({copy, data});
    ++streamCount_;
    return copy;
}

}  // namespace pdfengine
