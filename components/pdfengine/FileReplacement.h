// Writing a file so that a failure never leaves half of it, nor harms the file it replaces.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "platform/com.h"

namespace pdfengine {

// Creates a hidden temporary file in the folder of `path`, lets `write` fill it, flushes it to
// disk and renames it over `path`. A replaced file's permission bits carry over; a new file gets
// the usual mode of new files. On any failure (of `write`, which may also throw, or of the file
// system) the temporary file is removed and `path` is as it was. `path` naming a folder fails.
HRESULT ReplaceFile(const std::string& path, const std::function<HRESULT(std::FILE* file)>& write);

}  // namespace pdfengine
