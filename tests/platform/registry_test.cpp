#include "platform/registry.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/last_error.h"
#include "tests/support/scoped_environment.h"

using namespace std::string_literals;

namespace {

using Names = std::vector<std::string>;

struct Stored {
    DWORD type;
    std::string data;
    bool operator==(const Stored&) const = default;
};

HKEY Create(HKEY parent, const char* path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                              nullptr, &key, disposition),
              ERROR_SUCCESS)
        << path;
    return key;
}

// Strings are given with their terminator where the caller stores one.
LSTATUS Set(HKEY key, const char* name, const std::string& data, DWORD type = REG_SZ) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
}

// The value read into a buffer of exactly the size a size query reports.
std::optional<Stored> Get(HKEY key, const char* name) {
    DWORD size = 0;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::string data(size, 'x');
    EXPECT_EQ(
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(size, data.size());
    return Stored{type, data};
}

bool Exists(HKEY parent, const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// The key's subkey names, or its value names, in enumeration order.
Names List(HKEY key, bool values) {
    Names names;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD size = sizeof name;
        LSTATUS status =
            values ? RegEnumValueA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr)
                   : RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            EXPECT_EQ(status, ERROR_NO_MORE_ITEMS);
            return names;
        }
        EXPECT_EQ(size, std::strlen(name)) << "sizes exclude the terminator";
        names.emplace_back(name, size);
    }
}
Names Subkeys(HKEY key) {
    return List(key, false);
}
Names Values(HKEY key) {
    return List(key, true);
}

class Registry : public ::testing::Test {
  protected:
    testing_support::ScopedPlatform platform_;
};

}  // namespace

TEST_F(Registry, KeysAreCreatedWithTheirParentsAndFoundWithoutRegardToCase) {
    HKEY key = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tessaline", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);

    DWORD disposition = 0;
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Tessaline\\", &disposition));
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    key = Create(HKEY_CURRENT_USER, "SOFTWARE\\tessaline", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(Create(key, "Ärger"));  // relative to an opened key

    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "Software"));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "software\\TESSALINE\\"));
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "\\Software\\\\Tessaline\\äRGER"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Software\\Tessalin"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software\\Tessaline")) << "the roots are apart";
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER), Names{"Software"}) << "the first spelling is kept";
    EXPECT_EQ(Subkeys(key), Names{"Ärger"});
    EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE), Names{});
    RegCloseKey(key);
}

TEST_F(Registry, InvalidAndClosedHandlesAreRefused) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(nullptr, "Software", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(0x1234), "", 0, KEY_READ, &key),
              ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS) << "predefined keys close as no-ops";
    EXPECT_EQ(Set(HKEY_CURRENT_USER, "AtTheRoot", "x"), ERROR_SUCCESS);

    key = Create(HKEY_CURRENT_USER, "Software\\Tessaline");
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Set(key, "x", "y"), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, QueriesNeedRoomForTheValueAndItsTerminator) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tessaline");
    // 79 characters and the terminator fill the 80-byte buffer the hand-off reads into exactly.
    ASSERT_EQ(Set(key, "Inifile", std::string(79, 'f') + '\0'), ERROR_SUCCESS);
    char buffer[80];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    auto query = [&](const char* name) {
        return RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    };
    ASSERT_EQ(query("Inifile"), ERROR_SUCCESS);
    EXPECT_EQ(size, 80u);
    EXPECT_EQ(std::string(buffer), std::string(79, 'f'));

    ASSERT_EQ(Set(key, "Inifile", std::string(80, 'g') + '\0'), ERROR_SUCCESS);
    std::memset(buffer, 'x', sizeof buffer);
    type = 0;
    EXPECT_EQ(query("Inifile"), ERROR_MORE_DATA);
    EXPECT_EQ(size, 81u) << "the size needed";
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(80, 'x')) << "buffer untouched";

    // A string stored without terminator needs one more byte, and gets a terminator.
    ASSERT_EQ(Set(key, "TempDir", "/tmp/x/"), ERROR_SUCCESS);
    size = 7;
    EXPECT_EQ(query("TempDir"), ERROR_MORE_DATA);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(Get(key, "TempDir"), (Stored{REG_SZ, "/tmp/x/\0"s}));
    ASSERT_EQ(Set(key, "Empty", "", REG_EXPAND_SZ), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "Empty"), (Stored{REG_EXPAND_SZ, "\0"s}));
    ASSERT_EQ(Set(key, "Count", "\x2a\0\0\0"s, REG_DWORD), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "Count"), (Stored{REG_DWORD, "\x2a\0\0\0"s})) << "other types as stored";

    EXPECT_EQ(query("Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(
        RegQueryValueExA(key, "Count", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), nullptr),
        ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(Registry, ValueNamesCompareWithoutCaseAndEmptyOrNullIsTheDefaultValue) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tessaline");
    ASSERT_EQ(Set(key, "TempDir", "/a/"), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "TEMPDIR", "/b/"), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, nullptr, "default"), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "tempdir"), (Stored{REG_SZ, "/b/\0"s}));
    EXPECT_EQ(Get(key, ""), (Stored{REG_SZ, "default\0"s}));
    EXPECT_EQ(Values(key), (Names{"TempDir", ""}));

    EXPECT_EQ(RegDeleteValueA(key, "TEMPdir"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "TempDir"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(Values(key), Names{});
    RegCloseKey(key);
}

TEST_F(Registry, AccessRightsOfTheHandleAreEnforced) {
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Tessaline"));
    HKEY reader = nullptr;
    HKEY writer = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tessaline", 0, KEY_READ, &reader),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tessaline", 0, KEY_SET_VALUE, &writer),
              ERROR_SUCCESS);
    ASSERT_EQ(Set(writer, "Inifile", "old"), ERROR_SUCCESS);

    EXPECT_EQ(Set(reader, "Inifile", "new"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueA(reader, "Inifile"), ERROR_ACCESS_DENIED);
    HKEY child = nullptr;
    EXPECT_EQ(
        RegCreateKeyExA(reader, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
        ERROR_ACCESS_DENIED);
    EXPECT_EQ(Get(reader, "Inifile"), (Stored{REG_SZ, "old\0"s}));
    EXPECT_FALSE(Exists(reader, "Child"));

    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(writer, "Inifile", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
    RegCloseKey(reader);
    RegCloseKey(writer);
}

TEST_F(Registry, HandlesOfADeletedKeyReportItDeleted) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tessaline");
    ASSERT_EQ(Set(key, "Inifile", "x"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tessaline"), ERROR_SUCCESS);

    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Inifile", nullptr, nullptr, nullptr, &size),
              ERROR_KEY_DELETED);
    EXPECT_EQ(Set(key, "Inifile", "y"), ERROR_KEY_DELETED);
    HKEY child = nullptr;
    EXPECT_EQ(
        RegCreateKeyExA(key, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
        ERROR_KEY_DELETED);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Software\\Tessaline")) << "not brought back";
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(Registry, DeleteKeyNeedsAKeyWithoutSubkeysAndDeleteTreeTakesEverything) {
    RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Tessaline\\A\\Deep"));
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tessaline");
    ASSERT_EQ(Set(key, "TempDir", "/t/"), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tessaline"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Exists(key, "A\\Deep"));
    EXPECT_EQ(RegDeleteKeyA(key, "Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(key, "a\\DEEP"), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(key), Names{"A"});

    // Without a subkey the tree call empties the key and keeps it.
    ASSERT_EQ(RegDeleteTreeA(key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(key), Names{});
    EXPECT_EQ(Values(key), Names{});

    RegCloseKey(Create(key, "C\\D"));
    ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "software\\tessaline"), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER), Names{"Software"});
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tessaline"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED) << "roots stay";
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "Software"));
    RegCloseKey(key);
}

TEST_F(Registry, EnumerationListsSubkeysSortedAndValuesInOrder) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Tessaline");
    for (const char* name : {"beta", "Alpha", "gamma\\inner", "Delta"}) {
        RegCloseKey(Create(key, name));
    }
    for (const char* name : {"Zulu", "alpha", "Mike"}) {
        ASSERT_EQ(Set(key, name, name + "\0"s), ERROR_SUCCESS);
    }
    EXPECT_EQ(Subkeys(key), (Names{"Alpha", "beta", "Delta", "gamma"}));
    EXPECT_EQ(Values(key), (Names{"Zulu", "alpha", "Mike"}));

    // A name buffer must hold the name and its terminator; data follows the query's rules.
    char name[6];
    DWORD size = 5;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    size = 4;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    BYTE data[8];
    DWORD type = 0;
    DWORD dataSize = 2;
    size = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 2, name, &size, nullptr, &type, data, &dataSize), ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 5u);
    size = sizeof name;
    ASSERT_EQ(RegEnumValueA(key, 2, name, &size, nullptr, &type, data, &dataSize), ERROR_SUCCESS);
    EXPECT_EQ(std::string(name, size), "Mike");
    EXPECT_EQ((Stored{type, std::string(reinterpret_cast<char*>(data), dataSize)}),
              (Stored{REG_SZ, "Mike\0"s}));
    RegCloseKey(key);
}

TEST_F(Registry, AnyBytesInNamesAndDataRoundTripThroughTheFile) {
    const std::string awkward = "tab\there\nnew line\r%41%%\x7f\x01 ünï €\0mid\xff\xfe"s;
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tëst %20 key\tX");
    ASSERT_EQ(Set(key, "name\twith\ttabs%0A\n", awkward, REG_BINARY), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "list", "a\0b\0\0"s, REG_MULTI_SZ), ERROR_SUCCESS);
    RegCloseKey(key);

    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\TËST %20 KEY\tx", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "NAME\tWITH\tTABS%0a\n"), (Stored{REG_BINARY, awkward}));
    EXPECT_EQ(Get(key, "list"), (Stored{REG_MULTI_SZ, "a\0b\0\0"s}));
    EXPECT_EQ(Values(key), (Names{"name\twith\ttabs%0A\n", "list"}));
    RegCloseKey(key);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Software\\Tëst  key\tX")) << "no escape decoded";

    // Header, two keys, two values: one line each whatever the bytes.
    const std::string content = testing_support::ReadFile(platform::RegistryFilePath());
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 5) << content;
}

TEST_F(Registry, UnreadableLinesInTheFileAreSkipped) {
    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tessaline");
    ASSERT_EQ(Set(key, "TempDir", "/t/\0"s), ERROR_SUCCESS);
    const std::string file = platform::RegistryFilePath();
    testing_support::WriteFile(file, testing_support::ReadFile(file) +
                                         "garbage without tabs\n"
                                         "K\tHKEY_CLASSES_ROOT\\Unknown root\n"
                                         "V\tLost\t1\tbelongs to the bad key\n"
                                         "K\tHKEY_CURRENT_USER\\Software\\Tessaline\n"
                                         "V\tBadType\tREG_SZ\tx\n"
                                         "V\tBadEscape\t1\t%zz\n"
                                         "V\tCut\t1\t%4\n"
                                         "V\tRaw\rControl\t1\tx\n"
                                         "V\tTooMany\t1\tx\ty\n"
                                         "K\tHKEY_CURRENT_USER\\Software\\Tessaline\\Added\n"
                                         "V\tInifile\t1\t/t/config.ini%00\n"
                                         "\x01\x02\xff\n\n\t\t\t\nK");

    // The same handle sees the new content: every call reads the file.
    EXPECT_EQ(Values(key), Names{"TempDir"});
    EXPECT_EQ(Subkeys(key), Names{"Added"});
    HKEY added = Create(key, "Added");
    EXPECT_EQ(Get(added, "Inifile"), (Stored{REG_SZ, "/t/config.ini\0"s}));

    // A write keeps what could be read.
    ASSERT_EQ(Set(key, "Other", "o"), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "TempDir"), (Stored{REG_SZ, "/t/\0"s}));
    EXPECT_EQ(Get(added, "Inifile"), (Stored{REG_SZ, "/t/config.ini\0"s}));
    RegCloseKey(added);
    RegCloseKey(key);
}

TEST_F(Registry, AnEmptyRootIsAnEmptyRegistryAndOnlyWritesCreateTheFile) {
    const std::filesystem::path root = platform_.Work() / "not" / "yet";
    testing_support::ScopedEnvVar rootVar("TESSALINE_ROOT", root.string());

    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Software"));
    EXPECT_EQ(Subkeys(HKEY_CURRENT_USER), Names{});
    EXPECT_EQ(Values(HKEY_LOCAL_MACHINE), Names{});
    EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, "Software"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValueA(HKEY_CURRENT_USER, "x"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(Create(HKEY_CURRENT_USER, ""));
    EXPECT_FALSE(std::filesystem::exists(platform_.Work() / "not")) << "nothing was written";

    HKEY key = Create(HKEY_CURRENT_USER, "Software\\Tessaline");
    ASSERT_EQ(Set(key, "TempDir", "/t/"), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(testing_support::ListFilesRecursively(root), Names{"registry"});
    struct stat info {};
    ASSERT_EQ(::stat((root / "registry").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u) << "the registry file is the user's own";
    EXPECT_TRUE(testing_support::ListFilesRecursively(platform_.Root()).empty());
}
