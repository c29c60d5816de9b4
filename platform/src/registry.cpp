// The Win32 registry functions over the registry file. Every call reads the file anew and every
// change is one locked, atomic rewrite of it, so processes sharing the platform root see each
// other's changes and lose none.
#include "platform/registry.h"

#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/last_error.h"
#include "platform/src/registry_store.h"

// An opened key: where it is, and what it was opened for. A handle names its key by path, so a
// key deleted and created again under the same name is reached again through an old handle.
struct HKEY__ {
    std::vector<std::string> path;  // the root's full name first
    REGSAM access;
};

namespace {

using platform::registry::Key;
using platform::registry::Registry;
using platform::registry::Value;

// Live handles, so a closed or invented handle is refused instead of dereferenced.
std::mutex g_handlesMutex;
std::unordered_set<HKEY> g_handles;

struct OpenKey {
    std::vector<std::string> path;
    REGSAM access = 0;
};

// The key and access a handle stands for; false for a handle that is neither predefined nor open.
bool Resolve(HKEY key, OpenKey* out) {
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
        out->path = {std::string(key == HKEY_CURRENT_USER ? platform::registry::kCurrentUserName
                                                          : platform::registry::kLocalMachineName)};
        out->access = KEY_ALL_ACCESS;
        return true;
    }
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    if (key == nullptr || g_handles.count(key) == 0) {
        return false;
    }
    out->path = key->path;
    out->access = key->access;
    return true;
}

HKEY NewHandle(std::vector<std::string> path, REGSAM access) {
    HKEY handle = new HKEY__{std::move(path), access};
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    g_handles.insert(handle);
    return handle;
}

std::vector<std::string> Below(const std::vector<std::string>& path, LPCSTR subKey) {
    std::vector<std::string> full = path;
    for (std::string& name : platform::registry::SplitKeyPath(subKey != nullptr ? subKey : "")) {
        full.push_back(std::move(name));
    }
    return full;
}

const char* ValueNameOrDefault(LPCSTR name) {
    return name != nullptr ? name : "";
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Copies a value's data as RegQueryValueExA does. A string stored without its terminator is
// handed out with one, so callers can rely on the result being terminated.
LSTATUS CopyData(const Value& value, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    const bool terminate =
        IsStringType(value.type) && (value.data.empty() || value.data.back() != '\0');
    const DWORD needed = static_cast<DWORD>(value.data.size() + (terminate ? 1 : 0));
    if (type != nullptr) {
        *type = value.type;
    }
    if (data == nullptr) {
        if (dataSize != nullptr) {
            *dataSize = needed;
        }
        return ERROR_SUCCESS;
    }
    if (*dataSize < needed) {
        *dataSize = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, value.data.data(), value.data.size());
    if (terminate) {
        data[value.data.size()] = 0;
    }
    *dataSize = needed;
    return ERROR_SUCCESS;
}

// Copies a name and its terminator; the size in characters without the terminator on success.
LSTATUS CopyName(const std::string& name, LPSTR buffer, LPDWORD size) {
    if (*size <= name.size()) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Reads the registry and finds the handle's key: ERROR_KEY_DELETED when it is gone.
LSTATUS LoadKey(const OpenKey& open, Registry* registry, const Key** key) {
    DWORD error = platform::registry::Load(registry);
    if (error != ERROR_SUCCESS) {
        return static_cast<LSTATUS>(error);
    }
    *key = registry->Find(open.path);
    return *key != nullptr ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

using Edit = std::function<LSTATUS(Registry& registry, bool& changed)>;

// Applies `edit` first to a fresh read, and then, only when that finds something to change, under
// the file lock to the current content, written back atomically. So a call that fails or changes
// nothing writes nothing (and creates no platform root), and concurrent writers lose nothing.
LSTATUS Modify(const Edit& edit) {
    Registry preview;
    DWORD error = platform::registry::Load(&preview);
    if (error != ERROR_SUCCESS) {
        return static_cast<LSTATUS>(error);
    }
    bool changed = false;
    LSTATUS status = edit(preview, changed);
    if (status != ERROR_SUCCESS || !changed) {
        return status;
    }
    error = platform::registry::Update([&](Registry& registry) {
        changed = false;
        status = edit(registry, changed);
        return status == ERROR_SUCCESS && changed;
    });
    return error != ERROR_SUCCESS ? static_cast<LSTATUS>(error) : status;
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM desired, PHKEY result) {
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    OpenKey parent;
    if (!Resolve(key, &parent)) {
        return ERROR_INVALID_HANDLE;
    }
    Registry registry;
    const Key* parentKey = nullptr;
    LSTATUS status = LoadKey(parent, &registry, &parentKey);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    std::vector<std::string> path = Below(parent.path, subKey);
    if (registry.Find(path) == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    *result = NewHandle(std::move(path), desired);
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD /*reserved*/, LPSTR /*className*/,
                        DWORD /*options*/, REGSAM desired, void* /*securityAttributes*/,
                        PHKEY result, LPDWORD disposition) {
    if (result == nullptr || subKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    OpenKey parent;
    if (!Resolve(key, &parent)) {
        return ERROR_INVALID_HANDLE;
    }
    std::vector<std::string> path = Below(parent.path, subKey);
    DWORD outcome = REG_OPENED_EXISTING_KEY;
    LSTATUS status = Modify([&](Registry& registry, bool& changed) -> LSTATUS {
        if (registry.Find(parent.path) == nullptr) {
            return ERROR_KEY_DELETED;
        }
        if (registry.Find(path) != nullptr) {
            outcome = REG_OPENED_EXISTING_KEY;
            return ERROR_SUCCESS;
        }
        if ((parent.access & KEY_CREATE_SUB_KEY) == 0) {
            return ERROR_ACCESS_DENIED;
        }
        registry.Create(path);
        outcome = REG_CREATED_NEW_KEY;
        changed = true;
        return ERROR_SUCCESS;
    });
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (disposition != nullptr) {
        *disposition = outcome;
    }
    *result = NewHandle(std::move(path), desired);
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
    if (key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
        return ERROR_SUCCESS;
    }
    {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        if (key == nullptr || g_handles.erase(key) == 0) {
            return ERROR_INVALID_HANDLE;
        }
    }
    delete key;
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize) {
    OpenKey open;
    if (!Resolve(key, &open)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((open.access & KEY_QUERY_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    Registry registry;
    const Key* found = nullptr;
    LSTATUS status = LoadKey(open, &registry, &found);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const Value* value = found->FindValue(ValueNameOrDefault(valueName));
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    return CopyData(*value, type, data, dataSize);
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type, const BYTE* data,
                       DWORD dataSize) {
    OpenKey open;
    if (!Resolve(key, &open)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((open.access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (data == nullptr && dataSize > 0) {
        return ERROR_INVALID_PARAMETER;
    }
    std::string bytes(reinterpret_cast<const char*>(data), data != nullptr ? dataSize : 0);
    return Modify([&](Registry& registry, bool& changed) -> LSTATUS {
        Key* found = registry.Find(open.path);
        if (found == nullptr) {
            return ERROR_KEY_DELETED;
        }
        platform::registry::SetValue(*found, ValueNameOrDefault(valueName), type, bytes);
        changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName) {
    OpenKey open;
    if (!Resolve(key, &open)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((open.access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    return Modify([&](Registry& registry, bool& changed) -> LSTATUS {
        Key* found = registry.Find(open.path);
        if (found == nullptr) {
            return ERROR_KEY_DELETED;
        }
        if (!platform::registry::DeleteValue(*found, ValueNameOrDefault(valueName))) {
            return ERROR_FILE_NOT_FOUND;
        }
        changed = true;
        return ERROR_SUCCESS;
    });
}

namespace {

LSTATUS DeleteKey(HKEY key, LPCSTR subKey, bool withSubkeys) {
    OpenKey open;
    if (!Resolve(key, &open)) {
        return ERROR_INVALID_HANDLE;
    }
    std::vector<std::string> path = Below(open.path, subKey);
    return Modify([&](Registry& registry, bool& changed) -> LSTATUS {
        if (registry.Find(open.path) == nullptr) {
            return ERROR_KEY_DELETED;
        }
        switch (registry.Delete(path, withSubkeys)) {
            case Registry::DeleteResult::kDeleted:
                changed = true;
                return ERROR_SUCCESS;
            case Registry::DeleteResult::kNotFound:
                return ERROR_FILE_NOT_FOUND;
            case Registry::DeleteResult::kHasSubkeys:
            case Registry::DeleteResult::kIsRoot:
                break;
        }
        return ERROR_ACCESS_DENIED;
    });
}

}  // namespace

LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    if (subKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    return DeleteKey(key, subKey, false);
}

LSTATUS RegDeleteTreeA(HKEY key, LPCSTR subKey) {
    if (subKey != nullptr) {
        return DeleteKey(key, subKey, true);
    }
    // No subkey: empty the key itself, which stays.
    OpenKey open;
    if (!Resolve(key, &open)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((open.access & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    return Modify([&](Registry& registry, bool& changed) -> LSTATUS {
        Key* found = registry.Find(open.path);
        if (found == nullptr) {
            return ERROR_KEY_DELETED;
        }
        changed = !found->values.empty() || !found->subkeys.empty();
        found->values.clear();
        found->subkeys.clear();
        return ERROR_SUCCESS;
    });
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD /*reserved*/,
                      LPSTR className, LPDWORD classSize, void* lastWriteTime) {
    OpenKey open;
    if (!Resolve(key, &open)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((open.access & KEY_ENUMERATE_SUB_KEYS) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (name == nullptr || nameSize == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    Registry registry;
    const Key* found = nullptr;
    LSTATUS status = LoadKey(open, &registry, &found);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (index >= found->subkeys.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    status = CopyName(found->subkeys[index].name, name, nameSize);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    // Keys have no class and no recorded write time here.
    if (className != nullptr && classSize != nullptr && *classSize > 0) {
        className[0] = '\0';
    }
    if (classSize != nullptr) {
        *classSize = 0;
    }
    if (lastWriteTime != nullptr) {
        std::memset(lastWriteTime, 0, 2 * sizeof(DWORD));  // a FILETIME
    }
    return ERROR_SUCCESS;
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize,
                      LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    OpenKey open;
    if (!Resolve(key, &open)) {
        return ERROR_INVALID_HANDLE;
    }
    if ((open.access & KEY_QUERY_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (valueName == nullptr || valueNameSize == nullptr || reserved != nullptr ||
        (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    Registry registry;
    const Key* found = nullptr;
    LSTATUS status = LoadKey(open, &registry, &found);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (index >= found->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const Value& value = found->values[index];
    status = CopyName(value.name, valueName, valueNameSize);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    return CopyData(value, type, data, dataSize);
}
