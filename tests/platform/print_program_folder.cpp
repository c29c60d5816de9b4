// Prints both forms of the program folder, one per line.
#include <cstdio>

#include "platform/program_folder.h"

int main() {
    char buffer[kProgramFolderBufferSize];
    GetProgramFolder(buffer);
    std::printf("%s\n%s\n", buffer, GetProgramFolder().c_str());
    return 0;
}
