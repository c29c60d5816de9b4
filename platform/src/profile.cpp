#include "platform/profile.h"

#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/last_error.h"
#include "platform/src/ini_document.h"

using platform::IniDocument;

namespace {

// The document of a profile file; an empty one when the file is missing or unreadable.
IniDocument LoadProfile(LPCSTR fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        return IniDocument::Parse("");
    }
    auto content = platform::ReadWholeFile(fileName);
    return IniDocument::Parse(content ? *content : std::string());
}

// One value of a profile file; nullopt when the file, section or key is missing.
std::optional<std::string> ReadProfileValue(LPCSTR fileName, LPCSTR section, LPCSTR key) {
    if (fileName == nullptr || *fileName == '\0') {
        return std::nullopt;
    }
    auto content = platform::ReadWholeFile(fileName);
    if (!content) {
        return std::nullopt;
    }
    return IniDocument::FindValue(*content, section, key);
}

// Copies a string into the caller's buffer: the count copied, or size - 1 when it was cut.
DWORD CopyString(std::string_view text, LPSTR buffer, DWORD size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    if (text.size() < size) {
        std::memcpy(buffer, text.data(), text.size());
        buffer[text.size()] = '\0';
        return static_cast<DWORD>(text.size());
    }
    std::memcpy(buffer, text.data(), size - 1);
    buffer[size - 1] = '\0';
    return size - 1;
}

// Copies a double-NUL list: the count without the final NUL, or size - 2 when it was cut (the
// cut list still ends in two NULs).
DWORD CopyList(const std::vector<std::string>& items, LPSTR buffer, DWORD size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    std::string list;
    for (const std::string& item : items) {
        list += item;
        list.push_back('\0');
    }
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        return static_cast<DWORD>(list.size());
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

bool HasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != text.npos;
}

// Names and values that would change the file's structure if written as they are.
bool ValidSectionName(LPCSTR section) {
    return !HasLineBreak(section) && std::strchr(section, ']') == nullptr;
}

bool ValidKeyName(LPCSTR key) {
    std::string_view trimmed = platform::TrimIniBlanks(key);
    return !HasLineBreak(key) && std::strchr(key, '=') == nullptr &&
           (trimmed.empty() || (trimmed.front() != '[' && trimmed.front() != ';'));
}

BOOL UpdateProfile(LPCSTR fileName,
                   const std::function<platform::EditResult(IniDocument&)>& change) {
    if (fileName == nullptr || *fileName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD error =
        platform::UpdateFileAtomically(fileName, [&](std::optional<std::string>& content) {
            IniDocument doc = IniDocument::Parse(content ? *content : std::string());
            platform::EditResult result = change(doc);
            if (result == platform::EditResult::kChanged) {
                content = doc.Serialize();
            }
            return result;
        });
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

platform::EditResult Changed(bool changed) {
    return changed ? platform::EditResult::kChanged : platform::EditResult::kUnchanged;
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR defaultValue,
                               LPSTR returnedString, DWORD size, LPCSTR fileName) {
    if (appName == nullptr || keyName == nullptr) {
        IniDocument doc = LoadProfile(fileName);
        return CopyList(appName == nullptr ? doc.SectionNames() : doc.KeyNames(appName),
                        returnedString, size);
    }
    if (auto value = ReadProfileValue(fileName, appName, keyName)) {
        return CopyString(*value, returnedString, size);
    }
    std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
    while (!fallback.empty() && fallback.back() == ' ') {
        fallback.remove_suffix(1);
    }
    return CopyString(fallback, returnedString, size);
}

BOOL WritePrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR value, LPCSTR fileName) {
    if (appName == nullptr) {
        // With everything null Windows flushes its cache; there is none here.
        if (keyName == nullptr && value == nullptr) {
            return TRUE;
        }
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ValidSectionName(appName) || (keyName != nullptr && !ValidKeyName(keyName)) ||
        (value != nullptr && HasLineBreak(value))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return UpdateProfile(fileName, [&](IniDocument& doc) {
        if (keyName == nullptr) {
            return Changed(doc.DeleteSection(appName));
        }
        if (value == nullptr) {
            return Changed(doc.DeleteKey(appName, keyName));
        }
        return Changed(doc.SetValue(appName, keyName, value));
    });
}

DWORD GetPrivateProfileSectionA(LPCSTR appName, LPSTR returnedString, DWORD size, LPCSTR fileName) {
    if (appName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return CopyList({}, returnedString, size);
    }
    return CopyList(LoadProfile(fileName).SectionLines(appName), returnedString, size);
}

BOOL WritePrivateProfileSectionA(LPCSTR appName, LPCSTR data, LPCSTR fileName) {
    if (appName == nullptr || !ValidSectionName(appName)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::string> lines;
    if (data != nullptr) {
        for (LPCSTR item = data; *item != '\0'; item += std::strlen(item) + 1) {
            // A line that opens with "[" would start another section.
            if (HasLineBreak(item) || platform::TrimIniBlanks(item).starts_with('[')) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            std::string_view trimmed = platform::TrimIniBlanks(item);
            if (!trimmed.empty()) {
                lines.emplace_back(trimmed);
            }
        }
    }
    return UpdateProfile(fileName, [&](IniDocument& doc) {
        if (data == nullptr) {
            return Changed(doc.DeleteSection(appName));
        }
        return Changed(doc.ReplaceSection(appName, lines));
    });
}

DWORD GetPrivateProfileSectionNamesA(LPSTR returnBuffer, DWORD size, LPCSTR fileName) {
    return CopyList(LoadProfile(fileName).SectionNames(), returnBuffer, size);
}
