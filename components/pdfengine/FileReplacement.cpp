#include "components/pdfengine/FileReplacement.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <random>
#include <stdexcept>

#include "components/pdfengine/EngineResult.h"

namespace pdfengine {

namespace {

// "<folder>/.<name>.<random>.tmp": hidden, and in the same file system as the target.
std::string TemporaryNameFor(const std::string& path, unsigned attempt) {
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    static thread_local std::mt19937 random{std::random_device{}()};
    return folder + "." + name + "." + std::to_string(random()) + std::to_string(attempt) + ".tmp";
}

// Opens a new temporary file; the kernel applies the umask to the 0666, as for any new file.
int CreateTemporary(const std::string& path, std::string* tempPath) {
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        *tempPath = TemporaryNameFor(path, attempt);
        const int fd = open(tempPath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

HRESULT ReplaceFile(const std::string& path, const std::function<HRESULT(std::FILE*)>& write) {
    if (path.empty() || path.back() == '/') {
        return kStgInvalidName;
    }
    struct stat existing {};
    const bool exists = stat(path.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        return kStgAccessDenied;
    }
    std::string tempPath;
    const int fd = CreateTemporary(path, &tempPath);
    if (fd < 0) {
        return HresultFromErrno(errno, kStgWriteFault);
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        close(fd);
        unlink(tempPath.c_str());
        return HresultFromErrno(error, kStgWriteFault);
    }
    HRESULT hr = S_OK;
    if (exists && S_ISREG(existing.st_mode) && fchmod(fd, existing.st_mode & 07777) != 0) {
        hr = HresultFromErrno(errno, kStgWriteFault);
    }
    if (SUCCEEDED(hr)) {
        try {
            hr = write(file);
        } catch (const std::bad_alloc&) {
            hr = E_OUTOFMEMORY;
        } catch (...) {
            hr = E_FAIL;
        }
    }
    // A write error met while the library flushed is remembered by the stream.
    if (SUCCEEDED(hr) && (std::fflush(file) != 0 || std::ferror(file) != 0 || fsync(fd) != 0)) {
        hr = HresultFromErrno(errno, kStgWriteFault);
    }
    if (std::fclose(file) != 0 && SUCCEEDED(hr)) {
        hr = HresultFromErrno(errno, kStgWriteFault);
    }
    if (SUCCEEDED(hr) && std::rename(tempPath.c_str(), path.c_str()) != 0) {
        hr = HresultFromErrno(errno, kStgWriteFault);
    }
    if (FAILED(hr)) {
        unlink(tempPath.c_str());
    }
    return hr;
}

}  // namespace pdfengine
