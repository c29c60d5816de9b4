#include "platform/program_folder.h"

#include <cstring>

#include "platform/last_error.h"
#include "platform/paths.h"

namespace {
// Cuts a module path at its last separator and keeps the separator.
std::string FolderOfModule(const std::string& modulePath) {
    size_t slash = modulePath.rfind('/');
    return slash == std::string::npos ? std::string() : modulePath.substr(0, slash) + "/";
}
}  // namespace

void GetProgramFolder(char* buffer) {
    char moduleName[kProgramFolderBufferSize] = {};
    DWORD length = GetModuleFileNameA(nullptr, moduleName, kProgramFolderBufferSize);
    buffer[0] = '\0';
    if (length == 0 || GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        return;
    }
    std::string folder = FolderOfModule(moduleName);
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
}

std::string GetProgramFolder() {
    return FolderOfModule(platform::ExecutablePath());
}
