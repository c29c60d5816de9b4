// The program folder: the running executable's folder, ending in a separator. Every file the
// program ships beside itself (configuration, skins, languages, libraries, manual) is found by
// appending a relative name to it, whatever the working directory.
#pragma once

#include <string>

// Size of the caller's buffer for the first form.
constexpr unsigned kProgramFolderBufferSize = 512;

// Fills a caller's buffer of kProgramFolderBufferSize bytes. When the executable's path does not
// fit (511 characters at most), the buffer is left empty rather than holding a cut, wrong folder.
void GetProgramFolder(char* buffer);

// The same as a string, without the length limit.
std::string GetProgramFolder();
