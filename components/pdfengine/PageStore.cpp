#include "components/pdfengine/PageStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "components/pdfengine/EngineResult.h"
#include "platform/paths.h"

namespace pdfengine {

PageStore::~PageStore() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

HRESULT PageStore::Open() {
    std::string folder = platform::TempPath();
    if (folder.empty()) {
        folder = "/tmp/";
    }
    std::string name = folder + "tessaline-pages-XXXXXX";
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        return HresultFromErrno(errno, kStgWriteFault);
    }
    unlink(name.c_str());
    fd_ = fd;
    return S_OK;
}

HRESULT PageStore::Append(std::string_view bytes, StoredBytes* where) {
    if (fd_ < 0) {
        const HRESULT hr = Open();
        if (FAILED(hr)) {
            return hr;
        }
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            pwrite(fd_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(end_ + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return HresultFromErrno(n < 0 ? errno : ENOSPC, kStgWriteFault);
        }
        done += static_cast<std::size_t>(n);
    }
    where->offset = end_;
    where->size = bytes.size();
    end_ += bytes.size();
    return S_OK;
}

HRESULT PageStore::Read(const StoredBytes& where, std::string* bytes) const {
    if (where.offset + where.size > end_ || (fd_ < 0 && where.size > 0)) {
        return E_INVALIDARG;
    }
    bytes->resize(where.size);
    std::size_t done = 0;
    while (done < where.size) {
        const ssize_t n = pread(fd_, bytes->data() + done, where.size - done,
                                static_cast<off_t>(where.offset + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return HresultFromErrno(n < 0 ? errno : EIO, kStgReadFault);
        }
        done += static_cast<std::size_t>(n);
    }
    return S_OK;
}

}  // namespace pdfengine
