// A recording PDF toolkit for the post-processing's tests: exports the toolkit's functions and
// appends one line per call to the file named by FAKE_TOOLKIT_LOG, fields separated by '|'. A
// buffer argument is written "#<n>:<contents>" (n counts the buffers made), or "#?" when the
// pointer is not a live buffer. QuickPDFSecurityInfo answers FAKE_TOOLKIT_SECURITY_ANSWER
// (default 12). The call FAKE_TOOLKIT_FAIL names ("LoadFromFile", "SetInformation", "Encrypt",
// "SaveToFile") reports failure. Built with FAKE_TOOLKIT_WITHOUT_ENCRYPT, QuickPDFEncrypt is left
// out.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace {

struct Buffer {
    int number = 0;
    std::string text;
    std::unique_ptr<char[]> data;
};

std::map<char*, Buffer> g_buffers;
int g_buffersMade = 0;
constexpr int kInstanceId = 7;

void Log(const std::string& line) {
    const char* path = std::getenv("FAKE_TOOLKIT_LOG");
    if (path == nullptr) {
        return;
    }
    if (FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s\n", line.c_str());
        std::fclose(f);
    }
}

std::string Arg(const char* buffer) {
    auto it = g_buffers.find(const_cast<char*>(buffer));
    if (it == g_buffers.end()) {
        return "#?";
    }
    return "#" + std::to_string(it->second.number) + ":" + it->second.text;
}

std::string Num(int value) {
    return std::to_string(value);
}

// 1, or 0 for the call that is to fail.
int Result(const char* call) {
    const char* failing = std::getenv("FAKE_TOOLKIT_FAIL");
    return failing != nullptr && std::strcmp(failing, call) == 0 ? 0 : 1;
}

}  // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT int QuickPDFCreateLibrary() {
    Log("CreateLibrary|" + Num(kInstanceId));
    return kInstanceId;
}

FAKE_EXPORT int QuickPDFReleaseLibrary(int id) {
    Log("ReleaseLibrary|" + Num(id));
    return 1;
}

FAKE_EXPORT int QuickPDFLoadFromFile(int id, const char* fileName) {
    Log("LoadFromFile|" + Num(id) + "|" + Arg(fileName));
    return Result("LoadFromFile");
}

FAKE_EXPORT int QuickPDFSetInformation(int id, int key, const char* text) {
    Log("SetInformation|" + Num(id) + "|" + Num(key) + "|" + Arg(text));
    return Result("SetInformation");
}

FAKE_EXPORT int QuickPDFSecurityInfo(int id, int item) {
    const char* answer = std::getenv("FAKE_TOOLKIT_SECURITY_ANSWER");
    const int value = answer != nullptr ? std::atoi(answer) : 12;
    Log("SecurityInfo|" + Num(id) + "|" + Num(item));
    return value;
}

FAKE_EXPORT int QuickPDFEncodePermissions(int id, int a, int b, int c, int d, int e, int f, int g,
                                          int h) {
    Log("EncodePermissions|" + Num(id) + "|" + Num(a) + "|" + Num(b) + "|" + Num(c) + "|" + Num(d) +
        "|" + Num(e) + "|" + Num(f) + "|" + Num(g) + "|" + Num(h));
    return 4242;  // recognisable in the QuickPDFEncrypt call
}

#ifndef FAKE_TOOLKIT_WITHOUT_ENCRYPT
FAKE_EXPORT int QuickPDFEncrypt(int id, const char* owner, const char* user, int strength,
                                int permissions) {
    Log("Encrypt|" + Num(id) + "|" + Arg(owner) + "|" + Arg(user) + "|" + Num(strength) + "|" +
        Num(permissions));
    return Result("Encrypt");
}
#endif

FAKE_EXPORT int QuickPDFSaveToFile(int id, const char* fileName) {
    Log("SaveToFile|" + Num(id) + "|" + Arg(fileName));
    return Result("SaveToFile");
}

FAKE_EXPORT char* QuickPDFCreateBuffer(int id, int length) {
    Buffer b;
    b.number = ++g_buffersMade;
    b.data = std::make_unique<char[]>(static_cast<size_t>(length) + 1);
    char* key = b.data.get();
    Log("CreateBuffer|" + Num(id) + "|" + Num(length) + "|#" + Num(b.number));
    g_buffers.emplace(key, std::move(b));
    return key;
}

FAKE_EXPORT int QuickPDFAddToBuffer(int id, char* buffer, const char* data, int length) {
    auto it = g_buffers.find(buffer);
    const std::string added(data, static_cast<size_t>(length));
    if (it != g_buffers.end()) {
        it->second.text += added;
    }
    Log("AddToBuffer|" + Num(id) + "|" +
        (it == g_buffers.end() ? "#?" : "#" + Num(it->second.number)) + "|" + added + "|" +
        Num(length));
    return 1;
}

FAKE_EXPORT int QuickPDFReleaseBuffer(int id, char* buffer) {
    auto it = g_buffers.find(buffer);
    Log("ReleaseBuffer|" + Num(id) + "|" +
        (it == g_buffers.end() ? "#?" : "#" + Num(it->second.number)));
    if (it != g_buffers.end()) {
        g_buffers.erase(it);
    }
    return 1;
}
