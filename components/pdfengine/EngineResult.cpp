#include "components/pdfengine/EngineResult.h"

#include <cerrno>

namespace pdfengine {

HRESULT HresultFromErrno(int error, HRESULT fallback) {
    switch (error) {
        case ENOENT:
            return kStgFileNotFound;
        case ENOTDIR:
            return kStgPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return kStgAccessDenied;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kStgMediumFull;
        case ENAMETOOLONG:
            return kStgInvalidName;
        case ENOMEM:
            return E_OUTOFMEMORY;
        default:
            return fallback;
    }
}

}  // namespace pdfengine
