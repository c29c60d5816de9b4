#include "platform/files.h"

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/last_error.h"
#include "tests/platform/forked_child.h"
#include "tests/support/scoped_environment.h"

using namespace std::chrono_literals;
using testing_support::ExitCodeFor;
using testing_support::ForkedChild;
using testing_support::kNoHandshake;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

struct Entry {
    std::string name;
    DWORD attributes;
    ULONGLONG size;
};

struct Listing {
    std::vector<Entry> entries;
    DWORD error = ERROR_SUCCESS;  // FindFirstFileA's error, else how FindNextFileA ended

    Names NamesInOrder() const {
        Names names;
        for (const auto& entry : entries) {
            names.push_back(entry.name);
        }
        return names;
    }
};

Listing List(const std::string& pattern) {
    Listing listing;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        listing.error = GetLastError();
        return listing;
    }
    do {
        listing.entries.push_back(
            {data.cFileName, data.dwFileAttributes,
             (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow});
    } while (FindNextFileA(find, &data));
    listing.error = GetLastError();
    EXPECT_TRUE(FindClose(find));
    return listing;
}

HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// The error the call ends with, ERROR_SUCCESS when it worked (closing what it opened).
DWORD OpenError(const std::string& path, DWORD disposition) {
    HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, disposition);
    if (file == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    CloseHandle(file);
    return ERROR_SUCCESS;
}

DWORD DeleteError(const std::string& path) {
    return DeleteFileA(path.c_str()) ? ERROR_SUCCESS : GetLastError();
}

std::string Content(const std::string& path) {
    return testing_support::ReadFile(path);
}

class Files : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return (platform_.Work() / name).string(); }

    // Creates (or replaces) a file in the test's folder and returns its path.
    std::string Put(const std::string& name, const std::string& content = "data") const {
        testing_support::WriteFile(Path(name), content);
        return Path(name);
    }

    testing_support::ScopedPlatform platform_;
};

}  // namespace

TEST_F(Files, DeleteFailsWhileAHandleWithoutSharedDeletionIsOpen) {
    struct Hold {
        DWORD access;
        DWORD share;
        DWORD disposition;
    };
    const Hold holds[] = {
        {GENERIC_READ, 0, OPEN_EXISTING},
        {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING},
        {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING},
        {GENERIC_WRITE, 0, OPEN_EXISTING},
        {GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS},  // as a spooler writes its file
    };
    for (const Hold& hold : holds) {
        SCOPED_TRACE(testing::Message() << "access " << std::hex << hold.access << " share "
                                        << hold.share << " disposition " << hold.disposition);
        const std::string path = Put("00001.SPL");
        HANDLE file = Open(path, hold.access, hold.share, hold.disposition);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
        EXPECT_EQ(DeleteError(path), ERROR_SHARING_VIOLATION);
        EXPECT_EQ(DeleteError(path), ERROR_SHARING_VIOLATION)
            << "a refused delete loosened the hold";
        EXPECT_TRUE(fs::exists(path));
        EXPECT_TRUE(CloseHandle(file));
        EXPECT_EQ(DeleteError(path), ERROR_SUCCESS);
        EXPECT_FALSE(fs::exists(path));
    }
}

TEST_F(Files, DeleteSucceedsWhileTheHolderSharesDeletion) {
    for (DWORD access : {GENERIC_READ, GENERIC_WRITE}) {
        SCOPED_TRACE(access);
        const std::string path = Put("config.ini");
        HANDLE file = Open(path, access, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
        EXPECT_EQ(DeleteError(path), ERROR_SUCCESS);
        EXPECT_FALSE(fs::exists(path));
        EXPECT_TRUE(CloseHandle(file));
    }
}

TEST_F(Files, EveryHandleWithoutSharedDeletionHoldsTheFileUntilItCloses) {
    const std::string path = Put("00001.SPL");
    HANDLE first = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    HANDLE second = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    HANDLE sharing = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    ASSERT_NE(sharing, INVALID_HANDLE_VALUE);

    EXPECT_TRUE(CloseHandle(first));
    EXPECT_EQ(DeleteError(path), ERROR_SHARING_VIOLATION) << "the second handle still holds it";
    EXPECT_TRUE(CloseHandle(sharing));
    EXPECT_EQ(DeleteError(path), ERROR_SHARING_VIOLATION) << "the second handle still holds it";
    EXPECT_TRUE(CloseHandle(second));
    EXPECT_EQ(DeleteError(path), ERROR_SUCCESS);
}

TEST_F(Files, AnotherProcessHoldingTheFileKeepsItFromBeingDeleted) {
    const std::string path = Put("00001.SPL");
    ForkedChild holder([&path](ForkedChild& self) {
        HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        if (file == INVALID_HANDLE_VALUE) {
            return ExitCodeFor(FALSE);
        }
        self.Send('h');
        if (!self.Receive('x')) {
            return kNoHandshake;
        }
        CloseHandle(file);
        self.Send('c');
        return self.Receive('q') ? 0 : kNoHandshake;
    });
    ASSERT_TRUE(holder.Receive('h'));
    EXPECT_EQ(DeleteError(path), ERROR_SHARING_VIOLATION);
    EXPECT_TRUE(fs::exists(path));

    holder.Send('x');
    ASSERT_TRUE(holder.Receive('c'));
    EXPECT_EQ(DeleteError(path), ERROR_SUCCESS) << "closed, though the holder still runs";
    holder.Send('q');
    EXPECT_EQ(holder.WaitExit(), 0);
}

TEST_F(Files, AProcessThatSharesDeletionOrDiesDoesNotHoldTheFile) {
    const std::string path = Put("00001.SPL");
    {
        ForkedChild sharer([&path](ForkedChild& self) {
            HANDLE file =
                Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
            if (file == INVALID_HANDLE_VALUE) {
                return ExitCodeFor(FALSE);
            }
            self.Send('h');
            return self.Receive('q') ? 0 : kNoHandshake;
        });
        ASSERT_TRUE(sharer.Receive('h'));
        EXPECT_EQ(DeleteError(path), ERROR_SUCCESS);
        sharer.Send('q');
        EXPECT_EQ(sharer.WaitExit(), 0);
    }

    Put("00001.SPL");
    ForkedChild crashed([&path](ForkedChild& self) {
        HANDLE file = Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
        if (file == INVALID_HANDLE_VALUE) {
            return ExitCodeFor(FALSE);
        }
        self.Send('h');
        self.Receive('x', 60s);  // killed long before
        return 0;
    });
    ASSERT_TRUE(crashed.Receive('h'));
    EXPECT_EQ(DeleteError(path), ERROR_SHARING_VIOLATION);
    crashed.Kill();
    EXPECT_EQ(DeleteError(path), ERROR_SUCCESS) << "the handle went with its process";
}

TEST_F(Files, DeleteReportsAMissingFileAndRefusesAFolder) {
    EXPECT_EQ(DeleteError(Path("config.ini")), ERROR_FILE_NOT_FOUND);
    fs::create_directory(Path("folder.SPL"));
    EXPECT_EQ(DeleteError(Path("folder.SPL")), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(fs::is_directory(Path("folder.SPL")));
}

// The extractor deletes every spool file it lists; what a spooler still holds open is left for
// its second listing.
TEST_F(Files, SpoolCleanupLeavesOnlyTheFilesStillHeldOpen) {
    const fs::path folder = platform_.Work() / "PRINTERS";
    fs::create_directory(folder);
    for (const char* name : {"00001.SPL", "00002.SPL", "00003.SPL", "00002.SHD"}) {
        testing_support::WriteFile(folder / name, "spool");
    }
    const std::string held = (folder / "00002.SPL").string();
    ForkedChild spooler([&held](ForkedChild& self) {
        HANDLE file = Open(held, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           OPEN_EXISTING);
        if (file == INVALID_HANDLE_VALUE) {
            return ExitCodeFor(FALSE);
        }
        self.Send('h');
        return self.Receive('q') ? 0 : kNoHandshake;
    });
    ASSERT_TRUE(spooler.Receive('h'));

    const std::string pattern = (folder / "*.SPL").string();
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern.c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << GetLastError();
    std::map<std::string, DWORD> deleted;  // deleting while the listing is still open
    do {
        deleted[data.cFileName] = DeleteError((folder / data.cFileName).string());
    } while (FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(find));
    EXPECT_EQ(deleted, (std::map<std::string, DWORD>{{"00001.SPL", ERROR_SUCCESS},
                                                     {"00002.SPL", ERROR_SHARING_VIOLATION},
                                                     {"00003.SPL", ERROR_SUCCESS}}));

    EXPECT_EQ(List(pattern).NamesInOrder(), Names{"00002.SPL"});
    EXPECT_TRUE(fs::exists(folder / "00002.SHD"));
    spooler.Send('q');
    EXPECT_EQ(spooler.WaitExit(), 0);
}

TEST_F(Files, FindListsMatchesInNtfsOrder) {
    for (const char* name : {"b.SPL", "A.spl", "_x.spl", "00010.SPL", "00002.SPL", "x.SPLX",
                             "x.spl.bak", "SPL", "readme.txt"}) {
        Put(name);
    }
    const Names expected = {"00002.SPL", "00010.SPL", "A.spl", "b.SPL", "_x.spl"};
    Listing upper = List(Path("*.SPL"));
    EXPECT_EQ(upper.NamesInOrder(), expected);
    EXPECT_EQ(upper.error, ERROR_NO_MORE_FILES);
    EXPECT_EQ(List(Path("*.spl")).NamesInOrder(), expected);
}

TEST_F(Files, FindOrdersByTheUpcasedUtf16Name) {
    // U+1F600 is a surrogate pair in UTF-16 and so sorts below U+FF21 there (above it in UTF-8);
    // U+FF41 upcases to U+FF21.
    for (const char* name :
         {"\uFF21b.spl", "\U0001F600.spl", "z.spl", "\u00E9.spl", "F.spl", "\uFF41.spl"}) {
        Put(name);
    }
    EXPECT_EQ(
        List(Path("*.spl")).NamesInOrder(),
        (Names{"F.spl", "z.spl", "\u00E9.spl", "\U0001F600.spl", "\uFF41.spl", "\uFF21b.spl"}));
}

TEST_F(Files, QuestionMarkInAPatternStandsForOneCharacter) {
    for (const char* name : {"a.spl", "ab.spl", ".spl", "\u00E9.SPL"}) {
        Put(name);
    }
    EXPECT_EQ(List(Path("?.spl")).NamesInOrder(), (Names{"a.spl", "\u00E9.SPL"}));
}

TEST_F(Files, WildcardsMatchWholeNamesIgnoringCase) {
    struct Case {
        const char* pattern;
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"*.SPL", "00001.spl", true},
        {"*.SPL", "a.b.SPL", true},
        {"*.SPL", ".spl", true},
        {"*.SPL", "x.SPLX", false},
        {"*.SPL", "x.spl.bak", false},
        {"*.SPL", "SPL", false},
        {"?.spl", "a.SPL", true},
        {"?.spl", "\u00E9.spl", true},  // one character, two bytes
        {"?.spl", "ab.spl", false},
        {"?.spl", ".spl", false},
        {"config.ini", "CONFIG.INI", true},
        {"config.ini", "config.ini2", false},
        {"\u00C4BC*", "\u00E4bcd", true},
        {"*", "anything", true},
        {"*.*", "no-dot", true},
        {"*ab", "aab", true},  // the "*" has to give back a character it took
        {"a*b*c", "a-b-c", true},
        {"a*b*c", "a-b-c-", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::MatchesWildcard(c.pattern, c.name), c.matches)
            << "pattern " << c.pattern << ", name " << c.name;
    }
}

TEST_F(Files, FindReportsNoMatchAndAMissingFolder) {
    Put("readme.txt");
    EXPECT_EQ(List(Path("*.SPL")).error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(List(Path("missing/*.SPL")).error, ERROR_PATH_NOT_FOUND);
}

TEST_F(Files, FindDescribesFoldersAndFileSizes) {
    fs::create_directory(Path("folder.SPL"));
    Put("small.SPL", "12345");
    // Sparse, past 4 GiB: the size needs its high part.
    const ULONGLONG bigSize = (5ULL << 30) + 3;
    Put("big.SPL", "");
    ASSERT_EQ(::truncate(Path("big.SPL").c_str(), static_cast<off_t>(bigSize)), 0)
        << std::strerror(errno);

    Listing listing = List(Path("*.SPL"));
    ASSERT_EQ(listing.NamesInOrder(), (Names{"big.SPL", "folder.SPL", "small.SPL"}));
    const Entry& big = listing.entries[0];
    const Entry& folder = listing.entries[1];
    const Entry& small = listing.entries[2];
    EXPECT_NE(folder.attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(small.attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(big.attributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(small.size, 5u);
    EXPECT_EQ(big.size, bigSize);
}

TEST_F(Files, ReadWriteAndFilePointerRoundTrip) {
    const std::string path = Path("1_000000.emf");
    HANDLE file = Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();

    DWORD done = 0;
    EXPECT_TRUE(WriteFile(file, "hello, world", 12, &done, nullptr));
    EXPECT_EQ(done, 12u);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_BEGIN), 0u);
    char buffer[64] = {};
    EXPECT_TRUE(ReadFile(file, buffer, 5, &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "hello");
    EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_CURRENT), 7u);
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr))
        << "a short read is no error";
    EXPECT_EQ(std::string(buffer, done), "world");
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 0u) << "at the end";

    EXPECT_EQ(SetFilePointer(file, -5, nullptr, FILE_END), 7u);
    EXPECT_TRUE(WriteFile(file, "WORLD", 5, &done, nullptr));
    EXPECT_EQ(done, 5u);

    // Positions past 4 GiB come back split in two.
    LONG high = 1;
    SetLastError(ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetFilePointer(file, 2, &high, FILE_BEGIN), 2u);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS) << "a low part that looks like an error needs this";
    EXPECT_EQ(high, 1);
    high = 0;
    EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_CURRENT), 2u);
    EXPECT_EQ(high, 1);

    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(Content(path), "hello, WORLD");
}

TEST_F(Files, CreationDispositions) {
    const std::string path = Path("1_000000.emf");
    EXPECT_EQ(OpenError(path, OPEN_EXISTING), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenError(path, TRUNCATE_EXISTING), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(path));

    EXPECT_EQ(OpenError(path, CREATE_NEW), ERROR_SUCCESS);
    EXPECT_EQ(Content(path), "");
    Put("1_000000.emf", "page");
    EXPECT_EQ(OpenError(path, CREATE_NEW), ERROR_FILE_EXISTS);
    EXPECT_EQ(OpenError(path, OPEN_EXISTING), ERROR_SUCCESS);
    EXPECT_EQ(OpenError(path, OPEN_ALWAYS), ERROR_SUCCESS);
    EXPECT_EQ(Content(path), "page") << "none of these may change the file";

    EXPECT_EQ(OpenError(path, CREATE_ALWAYS), ERROR_SUCCESS);
    EXPECT_EQ(Content(path), "");
    Put("1_000000.emf", "page");
    EXPECT_EQ(OpenError(path, TRUNCATE_EXISTING), ERROR_SUCCESS);
    EXPECT_EQ(Content(path), "");

    ASSERT_EQ(DeleteError(path), ERROR_SUCCESS);
    EXPECT_EQ(OpenError(path, OPEN_ALWAYS), ERROR_SUCCESS);
    EXPECT_TRUE(fs::exists(path));
}

TEST_F(Files, HandlesAreCheckedForTheirKind) {
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    HANDLE file = Open(Path("a.SPL"), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(Path("*.SPL").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);

    EXPECT_FALSE(FindClose(file));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FindNextFileA(file, &data));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    DWORD done = 1;
    char byte = 0;
    EXPECT_FALSE(ReadFile(find, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(done, 0u);
    EXPECT_FALSE(WriteFile(find, "x", 1, &done, nullptr));
    EXPECT_EQ(SetFilePointer(find, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);

    // Neither handle was harmed by the other's calls.
    EXPECT_TRUE(WriteFile(file, "x", 1, &done, nullptr));
    EXPECT_EQ(done, 1u);
    EXPECT_FALSE(FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(find));
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(Files, CreateDirectoryAndAttributes) {
    const std::string folder = Path("DravelleOutput");
    EXPECT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_FALSE(CreateDirectoryA(folder.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA(Path("missing/child").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

    EXPECT_EQ(GetFileAttributesA(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              FILE_ATTRIBUTE_DIRECTORY);
    const DWORD file = GetFileAttributesA(Put("config.ini").c_str());
    EXPECT_NE(file, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(file & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(GetFileAttributesA(Path("missing.ini").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}
