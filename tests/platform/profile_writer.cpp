// Writes COUNT keys "PREFIX<n>" into an INI file, alternating between two sections; used to
// check that concurrent writers lose nothing.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/profile.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: profile_writer FILE PREFIX COUNT\n");
        return 2;
    }
    const std::string prefix = argv[2];
    const int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) {
        std::string key = prefix + std::to_string(i);
        std::string value = "value of " + key;
        const char* section = i % 2 == 0 ? "Even" : "Odd";
        if (!WritePrivateProfileStringA(section, key.c_str(), value.c_str(), argv[1])) {
            std::fprintf(stderr, "write %s failed\n", key.c_str());
            return 1;
        }
    }
    return 0;
}
