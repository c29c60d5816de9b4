#include "tools/reg/reg_command.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/last_error.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace tessaline::reg_tool {
namespace {

constexpr std::string_view kUsage =
    "Usage:\n"
    "  tessaline-reg query KEY [/v NAME | /ve]\n"
    "  tessaline-reg add KEY [/v NAME | /ve] [/t REG_SZ|REG_EXPAND_SZ|REG_DWORD] [/d DATA] [/f]\n"
    "  tessaline-reg delete KEY [/v NAME | /ve] [/f]\n"
    "\n"
    "  KEY   ROOT\\SubKey, ROOT one of HKCU, HKLM, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE\n"
    "  /v    the value NAME          /ve  the key's default value\n"
    "  /t    the value's type (REG_SZ when not given)\n"
    "  /d    the value's data; for REG_DWORD decimal or 0x hexadecimal\n"
    "  /f    do not ask before overwriting or deleting (this tool never asks)\n"
    "  Options may also start with '-'.\n";

constexpr std::string_view kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.";
constexpr std::string_view kSuccess = "The operation completed successfully.";

enum class Operation { kQuery, kAdd, kDelete };

struct Command {
    Operation operation = Operation::kQuery;
    HKEY root = nullptr;
    std::string rootName;                  // full name, as output shows it
    std::string subKey;                    // below the root, '\'-separated, empty names dropped
    std::optional<std::string> valueName;  // "" with /ve
    std::optional<std::string> type;
    std::optional<std::string> data;
};

struct UsageError {
    std::string message;
};

bool IsOption(const std::string& arg, std::string_view name) {
    return arg.size() == name.size() + 1 && (arg[0] == '/' || arg[0] == '-') &&
           platform::EqualsNoCase(std::string_view(arg).substr(1), name);
}

// Splits "HKCU\Software\Tessaline" into its root and the rest; false for an unknown root.
bool ParseKey(const std::string& key, Command* command) {
    std::vector<std::string> names = platform::registry::SplitKeyPath(key);
    if (names.empty()) {
        return false;
    }
    const std::string& root = names[0];
    if (platform::EqualsNoCase(root, "HKCU") || platform::EqualsNoCase(root, "HKEY_CURRENT_USER")) {
        command->root = HKEY_CURRENT_USER;
        command->rootName = "HKEY_CURRENT_USER";
    } else if (platform::EqualsNoCase(root, "HKLM") ||
               platform::EqualsNoCase(root, "HKEY_LOCAL_MACHINE")) {
        command->root = HKEY_LOCAL_MACHINE;
        command->rootName = "HKEY_LOCAL_MACHINE";
    } else {
        return false;
    }
    for (size_t i = 1; i < names.size(); ++i) {
        command->subKey += (i > 1 ? "\\" : "") + names[i];
    }
    return true;
}

Command ParseCommand(const std::vector<std::string>& args) {
    if (args.empty()) {
        throw UsageError{"No operation given."};
    }
    Command command;
    const std::string& operation = args[0];
    if (platform::EqualsNoCase(operation, "query")) {
        command.operation = Operation::kQuery;
    } else if (platform::EqualsNoCase(operation, "add")) {
        command.operation = Operation::kAdd;
    } else if (platform::EqualsNoCase(operation, "delete")) {
        command.operation = Operation::kDelete;
    } else {
        throw UsageError{"Unknown operation \"" + operation + "\"."};
    }
    if (args.size() < 2) {
        throw UsageError{"No key given."};
    }
    if (!ParseKey(args[1], &command)) {
        throw UsageError{"Invalid key name \"" + args[1] + "\"."};
    }

    bool force = false;
    auto takeArgument = [&](size_t& i, std::optional<std::string>& slot) {
        if (slot) {
            throw UsageError{"Option " + args[i] + " given twice."};
        }
        if (i + 1 >= args.size()) {
            throw UsageError{"Option " + args[i] + " needs an argument."};
        }
        slot = args[++i];
    };
    bool defaultValue = false;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool writes = command.operation != Operation::kQuery;
        if (IsOption(arg, "v")) {
            if (defaultValue) {
                throw UsageError{"Give /v or /ve, not both."};
            }
            takeArgument(i, command.valueName);
        } else if (IsOption(arg, "ve") && !defaultValue) {
            if (command.valueName) {
                throw UsageError{"Give /v or /ve, not both."};
            }
            defaultValue = true;
            command.valueName = "";
        } else if (IsOption(arg, "t") && command.operation == Operation::kAdd) {
            takeArgument(i, command.type);
        } else if (IsOption(arg, "d") && command.operation == Operation::kAdd) {
            takeArgument(i, command.data);
        } else if (IsOption(arg, "f") && writes && !force) {
            force = true;  // nothing is ever asked, so there is nothing to force
        } else {
            throw UsageError{"Unexpected argument \"" + arg + "\"."};
        }
    }
    return command;
}

std::string ErrorText(LSTATUS status) {
    switch (status) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_KEY_DELETED:
            return std::string(kNotFound);
        case ERROR_ACCESS_DENIED:
            return "ERROR: Access is denied.";
        default:
            return "ERROR: The operation failed (error " + std::to_string(status) + ").";
    }
}

std::string TypeName(DWORD type) {
    switch (type) {
        case REG_NONE:
            return "REG_NONE";
        case REG_SZ:
            return "REG_SZ";
        case REG_EXPAND_SZ:
            return "REG_EXPAND_SZ";
        case REG_BINARY:
            return "REG_BINARY";
        case REG_DWORD:
            return "REG_DWORD";
        case REG_MULTI_SZ:
            return "REG_MULTI_SZ";
        case REG_QWORD:
            return "REG_QWORD";
        default:
            return "REG_TYPE_" + std::to_string(type);
    }
}

std::string HexBytes(const std::string& data) {
    std::string text;
    char pair[3];
    for (char c : data) {
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(c));
        text += pair;
    }
    return text;
}

// Little-endian, as the value was stored.
unsigned long long Number(const std::string& data) {
    unsigned long long number = 0;
    for (size_t i = data.size(); i > 0; --i) {
        number = (number << 8) | static_cast<unsigned char>(data[i - 1]);
    }
    return number;
}

// The data as reg.exe shows it.
std::string DataText(DWORD type, const std::string& data) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ:
            return data.substr(0, data.find('\0'));
        case REG_MULTI_SZ: {
            std::string text;
            size_t start = 0;
            while (start < data.size() && data[start] != '\0') {
                size_t end = data.find('\0', start);
                end = end == std::string::npos ? data.size() : end;
                text += (start > 0 ? "\\0" : "") + data.substr(start, end - start);
                start = end + 1;
            }
            return text;
        }
        case REG_DWORD:
        case REG_QWORD:
            if (data.size() == (type == REG_DWORD ? 4u : 8u)) {
                char text[24];
                std::snprintf(text, sizeof text, "0x%llx", Number(data));
                return text;
            }
            return HexBytes(data);
        default:
            return HexBytes(data);
    }
}

std::string ValueLine(const std::string& name, DWORD type, const std::string& data) {
    return "    " + (name.empty() ? std::string("(Default)") : name) + "    " + TypeName(type) +
           "    " + DataText(type, data);
}

// Reads one value whole; retries when it grows between asking for its size and reading it.
LSTATUS ReadValue(HKEY key, const std::string& name, DWORD* type, std::string* data) {
    for (;;) {
        DWORD size = 0;
        LSTATUS status = RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size);
        if (status != ERROR_SUCCESS) {
            return status;
        }
        data->assign(size, '\0');
        status = RegQueryValueExA(key, name.c_str(), nullptr, type,
                                  reinterpret_cast<BYTE*>(data->data()), &size);
        if (status != ERROR_MORE_DATA) {
            data->resize(size);
            return status;
        }
    }
}

// Enumerates names with RegEnumKeyExA or RegEnumValueA, growing the buffer as needed.
template <typename Enumerate>
LSTATUS EnumerateNames(Enumerate enumerate, std::vector<std::string>* names) {
    std::vector<char> buffer(256);
    for (DWORD index = 0;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        LSTATUS status = enumerate(index, buffer.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS) {
            return ERROR_SUCCESS;
        }
        if (status == ERROR_MORE_DATA) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != ERROR_SUCCESS) {
            return status;
        }
        names->emplace_back(buffer.data(), size);
        ++index;
    }
}

std::string FullName(const Command& command) {
    return command.subKey.empty() ? command.rootName : command.rootName + "\\" + command.subKey;
}

int Fail(LSTATUS status, std::ostream& err) {
    err << ErrorText(status) << '\n';
    return kExitFailure;
}

int Query(const Command& command, std::ostream& out, std::ostream& err) {
    HKEY key = nullptr;
    LSTATUS status = RegOpenKeyExA(command.root, command.subKey.c_str(), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) {
        return Fail(status, err);
    }
    const std::string name = FullName(command);
    std::string text = "\n" + name + "\n";
    std::vector<std::string> valueNames;
    std::vector<std::string> subkeys;
    status = EnumerateNames(
        [&](DWORD index, char* buffer, DWORD* size) {
            return RegEnumValueA(key, index, buffer, size, nullptr, nullptr, nullptr, nullptr);
        },
        &valueNames);
    if (status == ERROR_SUCCESS && command.valueName) {
        // One value, shown under the name it was stored with.
        auto named = std::find_if(valueNames.begin(), valueNames.end(), [&](const auto& stored) {
            return platform::EqualsNoCase(stored, *command.valueName);
        });
        status = named != valueNames.end() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
        valueNames = status == ERROR_SUCCESS ? std::vector{*named} : std::vector<std::string>{};
    } else if (status == ERROR_SUCCESS) {
        status = EnumerateNames(
            [&](DWORD index, char* buffer, DWORD* size) {
                return RegEnumKeyExA(key, index, buffer, size, nullptr, nullptr, nullptr, nullptr);
            },
            &subkeys);
    }
    for (size_t i = 0; status == ERROR_SUCCESS && i < valueNames.size(); ++i) {
        DWORD type = REG_NONE;
        std::string data;
        status = ReadValue(key, valueNames[i], &type, &data);
        text += ValueLine(valueNames[i], type, data) + "\n";
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return Fail(status, err);
    }
    if (!valueNames.empty()) {
        text += "\n";
    }
    for (const std::string& subkey : subkeys) {
        text += name + "\\" + subkey + "\n";
    }
    out << text;
    return kExitSuccess;
}

// The bytes to store for /t and /d.
std::pair<DWORD, std::string> ValueToStore(const Command& command) {
    const std::string type = command.type.value_or("REG_SZ");
    const std::string data = command.data.value_or("");
    if (platform::EqualsNoCase(type, "REG_SZ") || platform::EqualsNoCase(type, "REG_EXPAND_SZ")) {
        // Stored with its terminator, as Windows programs write strings.
        return {platform::EqualsNoCase(type, "REG_SZ") ? REG_SZ : REG_EXPAND_SZ,
                data + std::string(1, '\0')};
    }
    if (!platform::EqualsNoCase(type, "REG_DWORD")) {
        throw UsageError{"Unsupported type \"" + type + "\"."};
    }
    std::string_view digits = data;
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    unsigned long long number = 0;
    bool valid = !digits.empty();
    for (char c : digits) {
        int digit = (c >= '0' && c <= '9')                 ? c - '0'
                    : (base == 16 && c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (base == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                           : -1;
        if (digit < 0) {
            valid = false;
            break;
        }
        number = number * base + static_cast<unsigned>(digit);
        if (number > 0xFFFFFFFFull) {
            valid = false;
            break;
        }
    }
    if (!command.data) {
        valid = true;  // no /d: zero, as reg.exe does
        number = 0;
    }
    if (!valid) {
        throw UsageError{"Invalid REG_DWORD data \"" + data + "\"."};
    }
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    }
    return {REG_DWORD, bytes};
}

int Add(const Command& command, std::ostream& out, std::ostream& err) {
    // /t or /d without a name set the default value, as with reg.exe; no value option at all
    // only creates the key.
    std::optional<std::string> valueName = command.valueName;
    if (!valueName && (command.type || command.data)) {
        valueName = "";
    }
    std::pair<DWORD, std::string> value;
    if (valueName) {
        value = ValueToStore(command);  // checked before anything is written
    }
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExA(command.root, command.subKey.c_str(), 0, nullptr, 0, KEY_WRITE,
                                     nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return Fail(status, err);
    }
    if (valueName) {
        status = RegSetValueExA(key, valueName->c_str(), 0, value.first,
                                reinterpret_cast<const BYTE*>(value.second.data()),
                                static_cast<DWORD>(value.second.size()));
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return Fail(status, err);
    }
    out << kSuccess << '\n';
    return kExitSuccess;
}

int Delete(const Command& command, std::ostream& out, std::ostream& err) {
    LSTATUS status;
    if (command.valueName) {
        HKEY key = nullptr;
        status = RegOpenKeyExA(command.root, command.subKey.c_str(), 0, KEY_SET_VALUE, &key);
        if (status == ERROR_SUCCESS) {
            status = RegDeleteValueA(key, command.valueName->c_str());
            RegCloseKey(key);
        }
    } else {
        status = RegDeleteTreeA(command.root, command.subKey.c_str());
    }
    if (status != ERROR_SUCCESS) {
        return Fail(status, err);
    }
    out << kSuccess << '\n';
    return kExitSuccess;
}

}  // namespace

int RunRegCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    for (const std::string& arg : args) {
        if (arg == "/?" || arg == "-?") {
            out << kUsage;
            return kExitSuccess;
        }
    }
    try {
        Command command = ParseCommand(args);
        switch (command.operation) {
            case Operation::kQuery:
                return Query(command, out, err);
            case Operation::kAdd:
                return Add(command, out, err);
            case Operation::kDelete:
                return Delete(command, out, err);
        }
    } catch (const UsageError& error) {
        err << "ERROR: " << error.message << "\n\n" << kUsage;
    }
    return kExitUsage;
}

}  // namespace tessaline::reg_tool
