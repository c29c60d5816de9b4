#include "spool/SpoolExtractor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "common/ini/Ini.h"
#include "contracts/EmfLayout.h"
#include "contracts/Installation.h"
#include "contracts/SpoolLayout.h"
#include "platform/files.h"
#include "platform/last_error.h"
#include "platform/named_pipe.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "platform/text.h"

namespace {

using tessaline::contracts::kHandOffFileName;
using tessaline::contracts::kHandOffPathValue;
using tessaline::contracts::kHandOffPipeName;
using tessaline::contracts::kSettingsKey;

namespace layout = tessaline::contracts::spool;
using tessaline::contracts::emf::ByteReader;

constexpr size_t kHeaderReadLimit = 2048;
constexpr size_t kMinimalHeader = layout::kFixedHeaderSize;
constexpr size_t kRecordHead = layout::kRecordHeadSize;
constexpr DWORD kMetafileData = layout::kMetafileDataRecord;
constexpr size_t kEmfSizeOffset = tessaline::contracts::emf::header::kBytes;
constexpr size_t kMaxDocumentName = 255;

// The 32-bit little-endian field at `offset`; the caller has checked that it lies inside `bytes`.
DWORD ReadLittleEndian32(std::span<const unsigned char> bytes, size_t offset) {
    return ByteReader(bytes, offset).U32();
}

// Closes a C stream on every way out.
struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

long long FileSize(FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return -1;
    }
    long size = std::ftell(file);
    return size < 0 ? -1 : size;
}

// The document name: UTF-16LE at its offset, up to its NUL, the end of the bytes read, or 255
// characters, whichever comes first. An offset outside the bytes read gives no name.
bool DocumentName(const unsigned char* header, size_t length, std::string* name) {
    DWORD offset = ReadLittleEndian32({header, length}, layout::kDocumentNameOffsetOffset);
    if (offset >= length) {
        return false;
    }
    std::u16string wide;
    for (size_t at = offset; at + 1 < length && wide.size() < kMaxDocumentName; at += 2) {
        char16_t unit = static_cast<char16_t>(header[at] | header[at + 1] << 8);
        if (unit == 0) {
            break;
        }
        wide.push_back(unit);
    }
    *name = platform::Utf16ToUtf8(wide);
    return true;
}

std::string PageFilePath(const std::string& tempDir, int spoolNumber, int pageIndex) {
    std::vector<char> path(tempDir.size() + 64);
    std::snprintf(path.data(), path.size(), "%s%d_%06d.emf", tempDir.c_str(), spoolNumber,
                  pageIndex);
    return path.data();
}

// A new file only its user may read: what an earlier job left at the path is deleted first, and
// a link or folder found there fails the creation instead of being followed.
FilePtr CreatePrivateFile(const std::string& path) {
    DeleteFileA(path.c_str());
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return nullptr;
    }
    FilePtr file(::fdopen(fd, "wb"));
    if (!file) {
        ::close(fd);
    }
    return file;
}

// Writes one page file: the record's first nBytes bytes, or nothing when the record cannot
// hold the EMF its header announces (or is too short to announce any). False when the file
// cannot be created.
bool WritePageFile(const std::string& path, const std::vector<unsigned char>& data) {
    FilePtr page = CreatePrivateFile(path);
    if (!page) {
        return false;
    }
    if (data.size() >= kEmfSizeOffset + 4) {
        DWORD emfBytes = ReadLittleEndian32(data, kEmfSizeOffset);
        if (emfBytes <= data.size() && emfBytes > 0) {
            std::fwrite(data.data(), 1, emfBytes, page.get());
        }
    }
    return true;
}

// The non-directory entries of the spool folder matching "*.SPL", in listing order; false
// when the pattern matches nothing at all.
bool ListSpoolFiles(const std::string& folder, std::vector<std::string>* files) {
    files->clear();
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*.SPL").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) {
        return false;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            files->push_back(folder + found.cFileName);
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return true;
}

void PublishHandOffPath(const std::string& handOffPath) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key, kHandOffPathValue, 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(handOffPath.c_str()),
                   static_cast<DWORD>(handOffPath.size() + 1));
    RegCloseKey(key);
}

// Opening the pipe is the whole message; nothing is sent.
void SignalProgram() {
    WaitNamedPipeA(kHandOffPipeName, NMPWAIT_WAIT_FOREVER);
    HANDLE pipe = CreateFileA(kHandOffPipeName, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) {
        CloseHandle(pipe);
    }
}

}  // namespace

std::string ReadTempDir() {
    char value[tessaline::contracts::kPathValueBufferSize] = {};
    DWORD size = sizeof value;
    HKEY key = nullptr;
    bool read = false;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        read = RegQueryValueExA(key, tessaline::contracts::kTempDirValue, nullptr, nullptr,
                                reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    value[sizeof value - 1] = '\0';
    std::string folder = read ? value : "";
    // A relative folder would put the pages wherever the spooler happens to run.
    if (folder.empty() || folder.front() != '/') {
        // The installer's choice, so that a damaged installation still hands its pages over.
        std::string temp = platform::TempPath();
        if (temp.empty()) {
            return {};
        }
        folder = temp + tessaline::contracts::kOutputFolder + "/";
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::string SpoolFolder() {
    return platform::SpoolFolder();
}

void WalkSpoolFile(const std::string& spoolPath, int spoolNumber, const std::string& tempDir,
                   const CIni& handOff, int& pageCounter) {
    FilePtr spool(std::fopen(spoolPath.c_str(), "rb"));
    if (!spool) {
        return;
    }
    const long long fileSize = FileSize(spool.get());
    if (fileSize < 0 || std::fseek(spool.get(), 0, SEEK_SET) != 0) {
        return;
    }

    unsigned char header[kHeaderReadLimit];
    size_t headerLength = std::fread(header, 1, sizeof header, spool.get());
    if (headerLength >= kMinimalHeader) {
        std::string name;
        if (DocumentName(header, headerLength, &name)) {
            handOff.WriteString("Setting", "CurrentDoc", name.c_str());
        }
    }
    if (headerLength < 8) {
        return;
    }

    DWORD position = ReadLittleEndian32(header, layout::kHeaderSizeOffset);
    int pageIndex = 0;
    std::vector<unsigned char> data;
    for (;;) {
        if (position > static_cast<unsigned long long>(fileSize) ||
            std::fseek(spool.get(), static_cast<long>(position), SEEK_SET) != 0) {
            return;
        }
        unsigned char head[kRecordHead];
        if (std::fread(head, 1, sizeof head, spool.get()) < sizeof head) {
            return;  // the normal end: no further record
        }
        const DWORD type = ReadLittleEndian32(head, 0);
        const DWORD size = ReadLittleEndian32(head, 4);
        const unsigned long long remaining =
            static_cast<unsigned long long>(fileSize) - position - kRecordHead;

        // A record claiming more than the file still holds is cut short: it yields no page,
        // and its size is never allocated.
        if (type == kMetafileData && size != 0 && size <= remaining) {
            data.resize(size);
            if (std::fread(data.data(), 1, size, spool.get()) == size) {
                std::string pagePath = PageFilePath(tempDir, spoolNumber, pageIndex++);
                // A page file that cannot be created is left out; the listed pages stay
                // numbered without gaps.
                if (WritePageFile(pagePath, data)) {
                    ++pageCounter;
                    std::string key = "EMF" + std::to_string(pageCounter);
                    handOff.WriteString("EMFFiles", key.c_str(), pagePath.c_str());
                }
            }
        }

        // The position is 32 bits wide, as in the stream; an advance that wraps around would
        // walk the file forever, so the walk ends there.
        const DWORD next = position + static_cast<DWORD>(kRecordHead) + size;
        if (next <= position) {
            return;
        }
        position = next;
    }
}

int ExtractSpoolPages() {
    // The pages are the document's content: they go to a folder of the user's alone or nowhere.
    // Without the signal, the waiting program gives the job up at its time limit.
    const std::string tempDir = ReadTempDir();
    if (!platform::EnsurePrivateFolder(tempDir)) {
        std::fprintf(stderr,
                     "Ravelin: no pages were written: the folder \"%s\" (TempDir, else the "
                     "user's temporary folder) cannot be used (error %u); it must be the user's "
                     "alone: a real folder, not a link, owned by the user, closed to others\n",
                     tempDir.c_str(), static_cast<unsigned>(GetLastError()));
        return -1;
    }
    const std::string handOffPath = tempDir + kHandOffFileName;
    DeleteFileA(handOffPath.c_str());

    const std::string folder = SpoolFolder();
    std::vector<std::string> spoolFiles;
    // The first listing clears out spool files of earlier jobs; the spooler holds the current
    // job's file open, so its deletion fails and the second listing finds it.
    if (!ListSpoolFiles(folder, &spoolFiles)) {
        return -1;
    }
    for (const std::string& path : spoolFiles) {
        DeleteFileA(path.c_str());
    }
    if (!ListSpoolFiles(folder, &spoolFiles)) {
        return -1;
    }

    // Made here so that it is the user's alone; the profile writes keep its mode.
    if (!CreatePrivateFile(handOffPath)) {
        std::fprintf(stderr, "Ravelin: cannot create %s: no pages were written\n",
                     handOffPath.c_str());
        return -1;
    }
    CIni handOff(handOffPath.c_str());
    int pageCounter = 0;
    int spoolNumber = 0;
    for (const std::string& path : spoolFiles) {
        WalkSpoolFile(path, ++spoolNumber, tempDir, handOff, pageCounter);
    }
    handOff.WriteInt("Setting", "EMFCount", pageCounter);

    PublishHandOffPath(handOffPath);
    SignalProgram();
    return 0;
}
