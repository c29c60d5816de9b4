// The registry's content as a tree of keys and values, its text form in the registry file, and
// the whole-file load and update that every registry call goes through.
//
// File format: a first line "TESSALINE-REGISTRY 1", then one line per key and one per value:
//   K<TAB>HKEY_CURRENT_USER\Software\Tessaline
//   V<TAB>name<TAB>type<TAB>data
// A value line belongs to the key line before it; the type is decimal. In every field, control
// bytes (tab and newline among them), DEL and '%' are written as "%XX" (two hex digits) and all
// other bytes as they are, so any byte sequence round-trips and the file stays readable. Key
// names cannot contain '\', which separates them. A line that cannot be read is skipped, and
// so are the value lines under a key line that cannot.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace platform::registry {

inline constexpr std::string_view kCurrentUserName = "HKEY_CURRENT_USER";
inline constexpr std::string_view kLocalMachineName = "HKEY_LOCAL_MACHINE";

struct Value {
    std::string name;  // "" is the key's default value
    DWORD type = 0;
    std::string data;  // the bytes exactly as set
};

struct Key {
    std::string name;           // as created; compared without regard to case
    std::vector<Value> values;  // in the order they were first set
    std::vector<Key> subkeys;   // sorted by name without regard to case, as Windows lists them

    Value* FindValue(std::string_view valueName);
    const Value* FindValue(std::string_view valueName) const;
    Key* FindSubkey(std::string_view keyName);
    const Key* FindSubkey(std::string_view keyName) const;
};

// The names joined with '\'.
std::string JoinKeyPath(const std::vector<std::string>& names);

// The registry: the two predefined roots and everything below them. A path's first name is the
// root's full name ("HKEY_CURRENT_USER"); roots always exist and cannot be deleted.
class Registry {
  public:
    Registry();

    // Reads the file's text; unreadable lines are skipped. Parents of a listed key are created
    // even when their own lines are missing.
    static Registry Parse(std::string_view text);
    std::string Serialize() const;

    Key* Find(const std::vector<std::string>& path);
    const Key* Find(const std::vector<std::string>& path) const;

    // Finds the key, creating it and its missing parents. Null when the root is unknown.
    Key* Create(const std::vector<std::string>& path);

    enum class DeleteResult { kDeleted, kNotFound, kHasSubkeys, kIsRoot };
    // Removes the key; unless `withSubkeys`, only a key that has no subkeys.
    DeleteResult Delete(const std::vector<std::string>& path, bool withSubkeys);

    const std::vector<Key>& Roots() const { return roots_; }

  private:
    std::vector<Key> roots_;
};

void SetValue(Key& key, std::string_view name, DWORD type, std::string data);
bool DeleteValue(Key& key, std::string_view name);

// The registry file's current content; a missing file (or a missing root folder) is an empty
// registry. Returns ERROR_SUCCESS or the error that kept the file from being read.
DWORD Load(Registry* registry);

// Changes the registry file under its lock: loads it, lets `edit` change the registry and writes
// it back atomically when `edit` returns true. Creates the platform root first. Returns
// ERROR_SUCCESS or the error of the file operation.
DWORD Update(const std::function<bool(Registry& registry)>& edit);

}  // namespace platform::registry
