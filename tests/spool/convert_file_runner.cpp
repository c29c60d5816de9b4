// Loads a Ravelin library with dlopen and calls its ConvertFile, as the spooler side does;
// prints the result. Exit status 0 when the call was made, 2 when the library or export is
// missing.
#include <dlfcn.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: convert_file_runner LIBRARY\n");
        return 2;
    }
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
        return 2;
    }
    using ConvertFileProc = int (*)();
    auto convert = reinterpret_cast<ConvertFileProc>(dlsym(library, "ConvertFile"));
    if (convert == nullptr) {
        std::fprintf(stderr, "no ConvertFile in %s\n", argv[1]);
        return 2;
    }
    std::printf("%d\n", convert());
    dlclose(library);
    return 0;
}
