// Fuzzes the spool file walk: any bytes as a spool file must give no crash, no out-of-bounds
// access, no leak, no huge allocation and no endless walk.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "common/ini/Ini.h"
#include "spool/SpoolExtractor.h"

namespace {

const std::string& Workspace() {
    static const std::string folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "spool-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return pattern + "/";
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& folder = Workspace();
    const std::string spoolPath = folder + "00001.SPL";
    FILE* spool = std::fopen(spoolPath.c_str(), "wb");
    if (spool == nullptr) {
        return 0;
    }
    std::fwrite(data, 1, size, spool);
    std::fclose(spool);

    const std::string handOffPath = folder + "config.ini";
    std::remove(handOffPath.c_str());
    CIni handOff(handOffPath.c_str());
    int pageCounter = 0;
    WalkSpoolFile(spoolPath, 1, folder, handOff, pageCounter);
    return 0;
}
