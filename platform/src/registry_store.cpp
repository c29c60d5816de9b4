#include "platform/src/registry_store.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <utility>

#include "platform/atomic_file.h"
#include "platform/last_error.h"
#include "platform/registry.h"
#include "platform/root.h"
#include "platform/text.h"

namespace platform {

std::string RegistryFilePath() {
    return (PlatformRoot() / "registry").string();
}

namespace registry {
namespace {

constexpr std::string_view kHeader = "TESSALINE-REGISTRY 1";
constexpr char kHexDigits[] = "0123456789ABCDEF";

bool NeedsEscape(unsigned char c) {
    return c < 0x20 || c == 0x7F || c == '%';
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (NeedsEscape(c)) {
            out += '%';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 0xF];
        } else {
            out += ch;
        }
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Undoes AppendEscaped. A malformed escape or a raw control byte means the line was not
// written by us (or was damaged), so the field is refused rather than guessed at.
std::optional<std::string> Unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        auto c = static_cast<unsigned char>(field[i]);
        if (c == '%') {
            if (i + 2 >= field.size()) {
                return std::nullopt;
            }
            int high = HexValue(field[i + 1]);
            int low = HexValue(field[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (NeedsEscape(c)) {
            return std::nullopt;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) {
            return fields;
        }
        start = tab + 1;
    }
}

std::optional<DWORD> ParseType(std::string_view field) {
    DWORD type = 0;
    auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), type);
    if (field.empty() || error != std::errc() || end != field.data() + field.size()) {
        return std::nullopt;
    }
    return type;
}

void SerializeKey(std::string& out, const Key& key, const std::string& path, bool isRoot) {
    // Roots always exist, so they need a line only to carry values. Every other key gets one so
    // that keys without values survive.
    if (!isRoot || !key.values.empty()) {
        out += "K\t";
        AppendEscaped(out, path);
        out += '\n';
        for (const Value& value : key.values) {
            out += "V\t";
            AppendEscaped(out, value.name);
            out += '\t';
            out += std::to_string(value.type);
            out += '\t';
            AppendEscaped(out, value.data);
            out += '\n';
        }
    }
    for (const Key& subkey : key.subkeys) {
        SerializeKey(out, subkey, path + '\\' + subkey.name, false);
    }
}

// Finds by name in a list of keys or values; const or not, as the list is.
template <typename Items>
auto FindByName(Items& items, std::string_view name) -> decltype(&items[0]) {
    for (auto& item : items) {
        if (EqualsNoCase(item.name, name)) {
            return &item;
        }
    }
    return nullptr;
}

template <typename Keys>
auto FindPath(Keys& roots, const std::vector<std::string>& path) -> decltype(&roots[0]) {
    if (path.empty()) {
        return nullptr;
    }
    auto* key = FindByName(roots, path[0]);
    for (size_t i = 1; key != nullptr && i < path.size(); ++i) {
        key = FindByName(key->subkeys, path[i]);
    }
    return key;
}

}  // namespace

Value* Key::FindValue(std::string_view valueName) {
    return FindByName(values, valueName);
}
const Value* Key::FindValue(std::string_view valueName) const {
    return FindByName(values, valueName);
}
Key* Key::FindSubkey(std::string_view keyName) {
    return FindByName(subkeys, keyName);
}
const Key* Key::FindSubkey(std::string_view keyName) const {
    return FindByName(subkeys, keyName);
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('\\', start);
        size_t end = slash == std::string_view::npos ? path.size() : slash;
        if (end > start) {
            names.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return names;
}

std::string JoinKeyPath(const std::vector<std::string>& names) {
    std::string path;
    for (const std::string& name : names) {
        if (!path.empty()) {
            path += '\\';
        }
        path += name;
    }
    return path;
}

Registry::Registry() {
    roots_.push_back(Key{std::string(kCurrentUserName), {}, {}});
    roots_.push_back(Key{std::string(kLocalMachineName), {}, {}});
}

Registry Registry::Parse(std::string_view text) {
    Registry registry;
    // The key that value lines attach to; null after a key line that could not be read, so its
    // values are dropped instead of landing in the key before it. Only value lines follow until
    // the next key line, so the pointer cannot be invalidated by an insertion meanwhile.
    Key* current = nullptr;
    size_t start = 0;
    while (start < text.size()) {
        size_t newline = text.find('\n', start);
        size_t end = newline == std::string_view::npos ? text.size() : newline;
        std::string_view line = text.substr(start, end - start);
        start = end + 1;

        std::vector<std::string_view> fields = SplitFields(line);
        if (fields[0] == "K") {
            current = nullptr;
            std::optional<std::string> path;
            if (fields.size() == 2 && (path = Unescape(fields[1]))) {
                current = registry.Create(SplitKeyPath(*path));
            }
        } else if (fields[0] == "V" && current != nullptr && fields.size() == 4) {
            std::optional<std::string> name = Unescape(fields[1]);
            std::optional<DWORD> type = ParseType(fields[2]);
            std::optional<std::string> data = Unescape(fields[3]);
            if (name && type && data) {
                SetValue(*current, *name, *type, std::move(*data));
            }
        }
    }
    return registry;
}

std::string Registry::Serialize() const {
    std::string out(kHeader);
    out += '\n';
    for (const Key& root : roots_) {
        SerializeKey(out, root, root.name, true);
    }
    return out;
}

Key* Registry::Find(const std::vector<std::string>& path) {
    return FindPath(roots_, path);
}

const Key* Registry::Find(const std::vector<std::string>& path) const {
    return FindPath(roots_, path);
}

Key* Registry::Create(const std::vector<std::string>& path) {
    Key* key = path.empty() ? nullptr : FindByName(roots_, path[0]);
    for (size_t i = 1; key != nullptr && i < path.size(); ++i) {
        Key* next = key->FindSubkey(path[i]);
        if (next == nullptr) {
            auto position =
                std::find_if(key->subkeys.begin(), key->subkeys.end(), [&](const Key& other) {
                    return lstrcmpiA(other.name.c_str(), path[i].c_str()) > 0;
                });
            next = &*key->subkeys.insert(position, Key{path[i], {}, {}});
        }
        key = next;
    }
    return key;
}

Registry::DeleteResult Registry::Delete(const std::vector<std::string>& path, bool withSubkeys) {
    if (path.size() <= 1) {
        return Find(path) != nullptr ? DeleteResult::kIsRoot : DeleteResult::kNotFound;
    }
    Key* parent = Find(std::vector<std::string>(path.begin(), path.end() - 1));
    if (parent == nullptr) {
        return DeleteResult::kNotFound;
    }
    auto it = std::find_if(parent->subkeys.begin(), parent->subkeys.end(),
                           [&](const Key& key) { return EqualsNoCase(key.name, path.back()); });
    if (it == parent->subkeys.end()) {
        return DeleteResult::kNotFound;
    }
    if (!withSubkeys && !it->subkeys.empty()) {
        return DeleteResult::kHasSubkeys;
    }
    parent->subkeys.erase(it);
    return DeleteResult::kDeleted;
}

void SetValue(Key& key, std::string_view name, DWORD type, std::string data) {
    Value* value = key.FindValue(name);
    if (value == nullptr) {
        key.values.push_back(Value{std::string(name), type, std::move(data)});
        return;
    }
    value->type = type;
    value->data = std::move(data);
}

bool DeleteValue(Key& key, std::string_view name) {
    auto it = std::find_if(key.values.begin(), key.values.end(),
                           [&](const Value& value) { return EqualsNoCase(value.name, name); });
    if (it == key.values.end()) {
        return false;
    }
    key.values.erase(it);
    return true;
}

DWORD Load(Registry* registry) {
    DWORD error = ERROR_SUCCESS;
    std::optional<std::string> content = ReadWholeFile(RegistryFilePath(), &error);
    if (content) {
        *registry = Registry::Parse(*content);
        return ERROR_SUCCESS;
    }
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        *registry = Registry();
        return ERROR_SUCCESS;
    }
    return error;
}

DWORD Update(const std::function<bool(Registry&)>& edit) {
    if (!EnsurePlatformRoot(nullptr)) {
        return ERROR_PATH_NOT_FOUND;
    }
    // The file may name folders such as TempDir; like the rest of the root it is the user's own.
    return UpdateFileAtomically(
        RegistryFilePath(),
        [&](std::optional<std::string>& content) {
            Registry registry = content ? Registry::Parse(*content) : Registry();
            if (!edit(registry)) {
                return EditResult::kUnchanged;
            }
            content = registry.Serialize();
            return EditResult::kChanged;
        },
        0600);
}

}  // namespace registry
}  // namespace platform
