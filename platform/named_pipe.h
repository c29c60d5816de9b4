// Named pipes: "\\.\pipe\NAME" is a Unix-domain socket in a private folder derived from the
// platform root. One created pipe serves one connection. The server end is a handle from
// CreateNamedPipeA; a client opens the pipe with CreateFileA on the same name.
#pragma once

#include <string>

#include "platform/handle.h"
#include "platform/win_types.h"

constexpr DWORD PIPE_ACCESS_INBOUND = 0x1;
constexpr DWORD PIPE_ACCESS_OUTBOUND = 0x2;
constexpr DWORD PIPE_ACCESS_DUPLEX = 0x3;
constexpr DWORD PIPE_TYPE_BYTE = 0x0;
constexpr DWORD PIPE_READMODE_BYTE = 0x0;
constexpr DWORD PIPE_WAIT = 0x0;
constexpr DWORD PIPE_UNLIMITED_INSTANCES = 255;
constexpr DWORD NMPWAIT_USE_DEFAULT_WAIT = 0x0;
constexpr DWORD NMPWAIT_WAIT_FOREVER = 0xFFFFFFFF;

// Creates the pipe's one instance. ERROR_PIPE_BUSY when a live server already has it; a socket
// left behind by a server that died is replaced.
HANDLE CreateNamedPipeA(LPCSTR name, DWORD openMode, DWORD pipeMode, DWORD maxInstances,
                        DWORD outBufferSize, DWORD inBufferSize, DWORD defaultTimeOut,
                        void* security);

// Blocks until a client opens the pipe. A client that connected before the call counts: the
// call returns TRUE at once.
BOOL ConnectNamedPipe(HANDLE pipe, void* overlapped);

// Waits until a client is there or the time limit (milliseconds) has passed: FALSE with
// ERROR_SEM_TIMEOUT then. NMPWAIT_WAIT_FOREVER waits without limit.
BOOL ConnectNamedPipeWithTimeout(HANDLE pipe, DWORD timeoutMs);

// Client side: FALSE at once (ERROR_FILE_NOT_FOUND) when no server has the pipe; TRUE as soon
// as its instance is free to connect to; FALSE (ERROR_SEM_TIMEOUT) when the time runs out
// first. NMPWAIT_USE_DEFAULT_WAIT waits the server's default time-out, NMPWAIT_WAIT_FOREVER
// as long as the server keeps the pipe.
BOOL WaitNamedPipeA(LPCSTR name, DWORD timeOut);

namespace platform {
// The socket file that stands for a pipe name (without the "\\.\pipe\" prefix).
std::string PipeSocketPath(const std::string& pipeName);
}  // namespace platform
