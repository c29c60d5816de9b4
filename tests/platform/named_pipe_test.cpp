#include "platform/named_pipe.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/last_error.h"
#include "tests/platform/forked_child.h"
#include "tests/support/scoped_environment.h"

using namespace std::chrono_literals;
using testing_support::ExitCodeFor;
using testing_support::ForkedChild;
using testing_support::kNoHandshake;
using testing_support::ScopedEnvVar;
namespace fs = std::filesystem;

namespace {

constexpr char kPipe[] = "\\\\.\\pipe\\tessalinepipe";
constexpr DWORD kLimitMs = 10000;

// The pipe exactly as the program creates it for each job.
HANDLE CreateServer(const char* name = kPipe) {
    return CreateNamedPipeA(name, PIPE_ACCESS_DUPLEX,
                            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 0, 1000,
                            nullptr);
}

// The client end exactly as the extractor opens it.
HANDLE OpenClient(const char* name = kPipe) {
    return CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

// The error each call ends with, ERROR_SUCCESS when it worked (a handle it gave is closed again:
// opening and closing at once is the extractor's whole signal).
DWORD OpenError(const char* name = kPipe) {
    HANDLE client = OpenClient(name);
    if (client == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    CloseHandle(client);
    return ERROR_SUCCESS;
}

DWORD CreateError(const char* name = kPipe) {
    HANDLE server = CreateServer(name);
    if (server == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    CloseHandle(server);
    return ERROR_SUCCESS;
}

DWORD WaitError(const char* name, DWORD timeOut) {
    return WaitNamedPipeA(name, timeOut) ? ERROR_SUCCESS : GetLastError();
}

constexpr int Code(DWORD error) {
    return static_cast<int>(error);
}

// Closes the handle at the end of the scope, so a failed check leaves no pipe behind.
class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    BOOL Close() {
        BOOL closed = Valid() ? CloseHandle(handle_) : FALSE;
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE handle_;
};

// A root short enough for the pipes to live inside it, whatever TMPDIR the tests run with.
class ShortRoot {
  public:
    ShortRoot() : path_(Make()), var_("TESSALINE_ROOT", path_) {}
    ~ShortRoot() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const std::string& Path() const { return path_; }

  private:
    static std::string Make() {
        char pattern[] = "/tmp/tsl-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        return pattern;
    }
    std::string path_;
    ScopedEnvVar var_;
};

// Removes a pipe folder that lives outside the test's own folders.
class RemovedAtEnd {
  public:
    explicit RemovedAtEnd(fs::path folder) : folder_(std::move(folder)) {}
    ~RemovedAtEnd() {
        std::error_code ignored;
        if (!folder_.empty() && folder_ != "/tmp") {
            fs::remove_all(folder_, ignored);
        }
    }

  private:
    fs::path folder_;
};

void ExpectPrivate(const fs::path& path, mode_t type, mode_t mode) {
    struct stat info {};
    ASSERT_EQ(::lstat(path.c_str(), &info), 0) << path;
    EXPECT_EQ(info.st_mode & S_IFMT, type) << path;
    EXPECT_EQ(info.st_mode & 07777, mode) << path;
    EXPECT_EQ(info.st_uid, ::getuid()) << path;
}

// A path of about 150 characters below `base`.
std::string LongRoot(const fs::path& base, char fill) {
    size_t used = base.string().size() + 1;
    return (base / std::string(used < 150 ? 150 - used : 8, fill)).string();
}

class NamedPipe : public ::testing::Test {
  protected:
    testing_support::ScopedPlatform platform_;
};

}  // namespace

TEST_F(NamedPipe, IsAPrivateSocketUnderThePlatformRoot) {
    ShortRoot root;
    testing_support::ScopedUmask permissive(0);  // the modes must not depend on the caller's umask
    Handle server(CreateServer());
    ASSERT_TRUE(server.Valid()) << GetLastError();

    const fs::path socket = platform::PipeSocketPath("tessalinepipe");
    EXPECT_EQ(socket.string().rfind(root.Path() + "/", 0), 0u) << socket;
    ExpectPrivate(socket, S_IFSOCK, 0600);
    ExpectPrivate(socket.parent_path(), S_IFDIR, 0700);

    // A pipe folder of ours that others may enter is closed to them before it gets a pipe; a
    // link in its place is not trusted with one.
    server.Close();
    ASSERT_EQ(::chmod(socket.parent_path().c_str(), 0755), 0);
    Handle again(CreateServer());
    EXPECT_TRUE(again.Valid()) << GetLastError();
    ExpectPrivate(socket.parent_path(), S_IFDIR, 0700);
    again.Close();
    const fs::path moved = socket.parent_path().string() + ".moved";
    fs::rename(socket.parent_path(), moved);
    fs::create_directory_symlink(moved, socket.parent_path());
    EXPECT_EQ(CreateError(), ERROR_ACCESS_DENIED);
    fs::remove(socket.parent_path());
    fs::rename(moved, socket.parent_path());
}

TEST_F(NamedPipe, LongRootGetsAShortPrivateFolderOfItsOwn) {
    const std::string rootA = LongRoot(platform_.Work(), 'a');
    const std::string rootB = LongRoot(platform_.Work(), 'b');
    ASSERT_GE(rootA.size(), 150u);
    ScopedEnvVar useA("TESSALINE_ROOT", rootA);

    const fs::path socketA = platform::PipeSocketPath("tessalinepipe");
    ASSERT_FALSE(socketA.empty()) << GetLastError();
    RemovedAtEnd cleanA(socketA.parent_path());
    EXPECT_LE(socketA.string().size(), 107u) << "longer than a socket address holds";
    Handle serverA(CreateServer());
    ASSERT_TRUE(serverA.Valid()) << GetLastError();
    ExpectPrivate(socketA, S_IFSOCK, 0600);
    ExpectPrivate(socketA.parent_path(), S_IFDIR, 0700);

    {
        // Another installation with a long root: the same pipe name is free there.
        ScopedEnvVar useB("TESSALINE_ROOT", rootB);
        const fs::path socketB = platform::PipeSocketPath("tessalinepipe");
        RemovedAtEnd cleanB(socketB.parent_path());
        EXPECT_NE(socketB.parent_path(), socketA.parent_path());
        Handle serverB(CreateServer());
        ASSERT_TRUE(serverB.Valid()) << GetLastError();
        EXPECT_EQ(OpenError(), ERROR_SUCCESS);
        EXPECT_TRUE(ConnectNamedPipeWithTimeout(serverB.Get(), 0));
    }

    EXPECT_EQ(WaitError(kPipe, kLimitMs), ERROR_SUCCESS);
    EXPECT_EQ(OpenError(), ERROR_SUCCESS);
    EXPECT_TRUE(ConnectNamedPipeWithTimeout(serverA.Get(), 0)) << GetLastError();
}

TEST_F(NamedPipe, ServerThreadTakesAClientFromAnotherThread) {
    std::promise<void> created;
    auto server = std::async(std::launch::async, [&created] {
        HANDLE pipe = CreateServer();
        DWORD error = GetLastError();
        created.set_value();
        if (pipe == INVALID_HANDLE_VALUE) {
            return error;
        }
        error = ConnectNamedPipeWithTimeout(pipe, kLimitMs) ? ERROR_SUCCESS : GetLastError();
        CloseHandle(pipe);
        return error;
    });
    ASSERT_EQ(created.get_future().wait_for(10s), std::future_status::ready);

    EXPECT_EQ(WaitError(kPipe, kLimitMs), ERROR_SUCCESS);
    HANDLE client = OpenClient();
    ASSERT_NE(client, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_TRUE(CloseHandle(client));
    ASSERT_EQ(server.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(server.get(), ERROR_SUCCESS);
}

TEST_F(NamedPipe, ClientInAnotherProcessSignalsTheServer) {
    // The extractor's side: wait without limit, open, close.
    ForkedChild client([](ForkedChild& self) {
        if (!self.Receive('g')) {
            return kNoHandshake;
        }
        if (!WaitNamedPipeA(kPipe, NMPWAIT_WAIT_FOREVER)) {
            return ExitCodeFor(FALSE);
        }
        HANDLE pipe = OpenClient();
        if (pipe == INVALID_HANDLE_VALUE) {
            return ExitCodeFor(FALSE);
        }
        return ExitCodeFor(CloseHandle(pipe));
    });
    // Created after the fork, so only this process holds the pipe.
    Handle server(CreateServer());
    ASSERT_TRUE(server.Valid()) << GetLastError();
    client.Send('g');
    EXPECT_TRUE(ConnectNamedPipeWithTimeout(server.Get(), kLimitMs)) << GetLastError();
    EXPECT_EQ(client.WaitExit(), 0);
}

TEST_F(NamedPipe, ServerInAnotherProcessBlocksUntilTheClientComes) {
    // The program's side: create, then wait without limit.
    ForkedChild server([](ForkedChild& self) {
        HANDLE pipe = CreateServer();
        if (pipe == INVALID_HANDLE_VALUE) {
            return ExitCodeFor(FALSE);
        }
        self.Send('c');
        int code = ExitCodeFor(ConnectNamedPipe(pipe, nullptr));
        CloseHandle(pipe);
        return code;
    });
    ASSERT_TRUE(server.Receive('c'));
    EXPECT_EQ(CreateError(), ERROR_PIPE_BUSY) << "the other process has the name";
    EXPECT_EQ(WaitError(kPipe, kLimitMs), ERROR_SUCCESS);
    EXPECT_EQ(OpenError(), ERROR_SUCCESS);
    EXPECT_EQ(server.WaitExit(), 0);
}

TEST_F(NamedPipe, ClientThatCameBeforeTheWaitCountsAsConnected) {
    // The extractor may open and close the pipe before the program reaches its wait.
    {
        ForkedChild server([](ForkedChild& self) {
            HANDLE pipe = CreateServer();
            if (pipe == INVALID_HANDLE_VALUE) {
                return ExitCodeFor(FALSE);
            }
            self.Send('c');
            if (!self.Receive('o')) {
                return kNoHandshake;
            }
            int code = ExitCodeFor(ConnectNamedPipe(pipe, nullptr));
            CloseHandle(pipe);
            return code;
        });
        ASSERT_TRUE(server.Receive('c'));
        EXPECT_EQ(OpenError(), ERROR_SUCCESS);
        server.Send('o');
        EXPECT_EQ(server.WaitExit(), 0) << "ConnectNamedPipe must return TRUE, and at once";
    }

    Handle server(CreateServer());
    ASSERT_TRUE(server.Valid()) << GetLastError();
    EXPECT_EQ(OpenError(), ERROR_SUCCESS);
    EXPECT_TRUE(ConnectNamedPipeWithTimeout(server.Get(), 0)) << GetLastError();
}

TEST_F(NamedPipe, ConnectWithATimeLimitFailsWhenNobodyComes) {
    Handle server(CreateServer());
    ASSERT_TRUE(server.Valid()) << GetLastError();
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ConnectNamedPipeWithTimeout(server.Get(), 100));
    EXPECT_EQ(GetLastError(), ERROR_SEM_TIMEOUT);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 90ms);
    EXPECT_LT(waited, 5s);

    // The pipe still takes the client that comes late.
    EXPECT_EQ(OpenError(), ERROR_SUCCESS);
    EXPECT_TRUE(ConnectNamedPipeWithTimeout(server.Get(), kLimitMs)) << GetLastError();
}

TEST_F(NamedPipe, WaitForAPipeThatDoesNotExistFailsAtOnce) {
    // Even without a time limit: the extractor must not hang when the program has no pipe.
    ForkedChild waiter(
        [](ForkedChild&) { return ExitCodeFor(WaitNamedPipeA(kPipe, NMPWAIT_WAIT_FOREVER)); });
    EXPECT_EQ(waiter.WaitExit(5s), Code(ERROR_FILE_NOT_FOUND));

    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitError(kPipe, 5000), ERROR_FILE_NOT_FOUND);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms) << "waited for its time limit";
    EXPECT_EQ(OpenError(), ERROR_FILE_NOT_FOUND);

    // The same once the program has closed its pipe again.
    ASSERT_EQ(CreateError(), ERROR_SUCCESS);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitError(kPipe, 5000), ERROR_FILE_NOT_FOUND);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms) << "waited for its time limit";
    EXPECT_EQ(OpenError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(NamedPipe, SocketLeftByACrashedServerBlocksNobody) {
    ForkedChild crashed([](ForkedChild& self) {
        HANDLE pipe = CreateServer();
        if (pipe == INVALID_HANDLE_VALUE) {
            return ExitCodeFor(FALSE);
        }
        self.Send('c');
        self.Receive('x', 60s);  // killed long before
        return 0;
    });
    ASSERT_TRUE(crashed.Receive('c'));
    EXPECT_EQ(CreateError(), ERROR_PIPE_BUSY) << "the server is still alive";
    crashed.Kill();

    const std::string socket = platform::PipeSocketPath("tessalinepipe");
    struct stat info {};
    ASSERT_EQ(::lstat(socket.c_str(), &info), 0) << "the crash should leave the socket file behind";
    ASSERT_TRUE(S_ISSOCK(info.st_mode));

    ForkedChild waiter(
        [](ForkedChild&) { return ExitCodeFor(WaitNamedPipeA(kPipe, NMPWAIT_WAIT_FOREVER)); });
    EXPECT_EQ(waiter.WaitExit(5s), Code(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(OpenError(), ERROR_FILE_NOT_FOUND);

    Handle server(CreateServer());
    ASSERT_TRUE(server.Valid()) << GetLastError();
    EXPECT_EQ(WaitError(kPipe, kLimitMs), ERROR_SUCCESS);
    EXPECT_EQ(OpenError(), ERROR_SUCCESS);
    EXPECT_TRUE(ConnectNamedPipeWithTimeout(server.Get(), 0)) << GetLastError();
}

TEST_F(NamedPipe, EachCreatedPipeTakesExactlyOneConnection) {
    Handle first(CreateServer());
    ASSERT_TRUE(first.Valid()) << GetLastError();
    EXPECT_EQ(CreateError(), ERROR_PIPE_BUSY)
        << "a second pipe of the name while the first is open";

    HANDLE client = OpenClient();
    ASSERT_NE(client, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_EQ(OpenError(), ERROR_PIPE_BUSY) << "the one instance already has its client";
    EXPECT_TRUE(ConnectNamedPipeWithTimeout(first.Get(), 0)) << GetLastError();
    EXPECT_TRUE(CloseHandle(client));

    EXPECT_EQ(OpenError(), ERROR_PIPE_BUSY) << "after the server accepted its client";
    EXPECT_EQ(WaitError(kPipe, 50), ERROR_SEM_TIMEOUT) << "the pipe is there but never free again";
    EXPECT_EQ(CreateError(), ERROR_PIPE_BUSY) << "served, but still open";

    // The next job's pipe.
    EXPECT_TRUE(first.Close());
    Handle next(CreateServer());
    ASSERT_TRUE(next.Valid()) << GetLastError();
    EXPECT_EQ(OpenError(), ERROR_SUCCESS);
    EXPECT_TRUE(ConnectNamedPipeWithTimeout(next.Get(), 0)) << GetLastError();
}

// A client that finds the pipe by waiting for it opens it at once: the pipe never shows before
// it can take its client, however closely the client watches for it.
TEST_F(NamedPipe, APipeThatAWaitFindsCanBeOpenedAtOnce) {
    for (int round = 0; round < 1000; ++round) {
        auto client = std::async(std::launch::async, [] {
            while (!WaitNamedPipeA(kPipe, 0)) {
            }
            return OpenError();
        });
        Handle server(CreateServer());
        ASSERT_TRUE(server.Valid()) << GetLastError();
        ASSERT_EQ(client.get(), ERROR_SUCCESS) << "round " << round;
        EXPECT_TRUE(ConnectNamedPipeWithTimeout(server.Get(), kLimitMs)) << GetLastError();
    }
}

// A served pipe that stays open has no free instance; a client waiting without limit gets the
// next pipe of the name.
TEST_F(NamedPipe, WaitWithoutLimitLastsUntilTheNextPipeIsCreated) {
    ForkedChild waiter([](ForkedChild& self) {
        if (!self.Receive('g')) {
            return kNoHandshake;
        }
        self.Send('w');
        if (!WaitNamedPipeA(kPipe, NMPWAIT_WAIT_FOREVER)) {
            return ExitCodeFor(FALSE);
        }
        HANDLE pipe = OpenClient();
        return pipe == INVALID_HANDLE_VALUE ? ExitCodeFor(FALSE) : ExitCodeFor(CloseHandle(pipe));
    });
    Handle first(CreateServer());
    ASSERT_TRUE(first.Valid()) << GetLastError();
    ASSERT_EQ(OpenError(), ERROR_SUCCESS);
    ASSERT_TRUE(ConnectNamedPipeWithTimeout(first.Get(), 0));

    waiter.Send('g');
    ASSERT_TRUE(waiter.Receive('w'));
    EXPECT_FALSE(waiter.WaitExit(300ms).has_value()) << "returned while no instance was free";

    // Closing the last pipe of a name ends the waits on it (as on Windows), so the waiter is
    // held still while the server replaces its pipe.
    ASSERT_TRUE(waiter.Stop());
    EXPECT_TRUE(first.Close());
    Handle next(CreateServer());
    ASSERT_TRUE(next.Valid()) << GetLastError();
    waiter.Continue();
    EXPECT_TRUE(ConnectNamedPipeWithTimeout(next.Get(), kLimitMs)) << GetLastError();
    EXPECT_EQ(waiter.WaitExit(), 0);
}

TEST_F(NamedPipe, WaitWithoutLimitEndsWhenTheServerClosesItsPipe) {
    ForkedChild waiter([](ForkedChild& self) {
        if (!self.Receive('g')) {
            return kNoHandshake;
        }
        self.Send('w');
        return ExitCodeFor(WaitNamedPipeA(kPipe, NMPWAIT_WAIT_FOREVER));
    });
    Handle served(CreateServer());
    ASSERT_TRUE(served.Valid()) << GetLastError();
    ASSERT_EQ(OpenError(), ERROR_SUCCESS);
    ASSERT_TRUE(ConnectNamedPipeWithTimeout(served.Get(), 0));

    waiter.Send('g');
    ASSERT_TRUE(waiter.Receive('w'));
    EXPECT_FALSE(waiter.WaitExit(300ms).has_value()) << "returned while the pipe existed";
    EXPECT_TRUE(served.Close());
    EXPECT_EQ(waiter.WaitExit(5s), Code(ERROR_FILE_NOT_FOUND));
}

TEST_F(NamedPipe, NamesIgnoreCase) {
    Handle server(CreateServer("\\\\.\\pipe\\TessalinePipe"));
    ASSERT_TRUE(server.Valid()) << GetLastError();
    EXPECT_EQ(CreateError("\\\\.\\pipe\\TESSALINEPIPE"), ERROR_PIPE_BUSY);
    EXPECT_EQ(WaitError("\\\\.\\pipe\\tessalinepipe", kLimitMs), ERROR_SUCCESS);
    EXPECT_EQ(OpenError("\\\\.\\pipe\\tessalinePIPE"), ERROR_SUCCESS);
    EXPECT_TRUE(ConnectNamedPipeWithTimeout(server.Get(), 0)) << GetLastError();
}

TEST_F(NamedPipe, NamesWithPathCharactersAreDistinctPipesInThePipeFolder) {
    const fs::path folder = fs::path(platform::PipeSocketPath("plain")).parent_path();
    ASSERT_FALSE(folder.empty());
    for (const char* name : {"../up", "..\\up", "a/b", "a\\b", "a%2Fb"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(fs::path(platform::PipeSocketPath(name)).parent_path(), folder);
    }
    Handle slash(CreateServer("\\\\.\\pipe\\a/b"));
    Handle backslash(CreateServer("\\\\.\\pipe\\a\\b"));
    Handle escaped(CreateServer("\\\\.\\pipe\\a%2Fb"));
    EXPECT_TRUE(slash.Valid() && backslash.Valid() && escaped.Valid());

    EXPECT_EQ(CreateError("\\\\.\\pipe\\"), ERROR_INVALID_PARAMETER) << "a pipe needs a name";
}
