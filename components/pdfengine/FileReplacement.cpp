#include "components/pdfengine/FileReplacement.h"

#include <sys/stat.h>

#include <cerrno>
#include <new>

#include "components/pdfengine/EngineResult.h"
#include "platform/atomic_file.h"

namespace pdfengine {

HRESULT ReplaceFile(const std::string& path, const std::function<HRESULT(std::FILE*)>& write) {
    if (path.empty() || path.back() == '/') {
        return kStgInvalidName;
    }
    struct stat existing {};
    if (stat(path.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        return kStgAccessDenied;
    }
    platform::FileReplacement file;
    if (!file.Begin(path, platform::FileReplacement::Permissions::kLikeReplaced)) {
        return HresultFromErrno(errno, kStgWriteFault);
    }
    HRESULT hr = S_OK;
    try {
        hr = write(file.Stream());
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
        hr = E_FAIL;
    }
    if (FAILED(hr)) {
        return hr;  // the replacement is dropped with the temporary file
    }
    if (!file.Commit()) {
        return HresultFromErrno(errno, kStgWriteFault);
    }
    return S_OK;
}

}  // namespace pdfengine
