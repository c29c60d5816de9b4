// The hand-off file's traffic through the INI store: one key per page written, then every page
// read back by key until a key is missing. Each write replaces the whole file, so the cost per
// page grows with the page count; these numbers show where that starts to matter.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "common/ini/Ini.h"

namespace {

class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ini-bench-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    std::string File(const char* name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

std::string PageKey(int n) {
    return "EMF" + std::to_string(n);
}

void WritePageList(const CIni& ini, int pages) {
    for (int n = 1; n <= pages; ++n) {
        std::string path = "/tmp/tessaline-1000/DravelleOutput/1_" + std::to_string(n) + ".emf";
        ini.WriteString("EMFFiles", PageKey(n).c_str(), path.c_str());
    }
    ini.WriteInt("Setting", "EMFCount", pages);
}

void BM_WriteHandOff(benchmark::State& state) {
    ScratchFolder folder;
    const std::string file = folder.File("config.ini");
    for (auto _ : state) {
        std::filesystem::remove(file);
        CIni ini(file.c_str());
        WritePageList(ini, static_cast<int>(state.range(0)));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_WriteHandOff)->Arg(10)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

void BM_ReadHandOff(benchmark::State& state) {
    ScratchFolder folder;
    const std::string file = folder.File("config.ini");
    CIni ini(file.c_str());
    WritePageList(ini, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        int found = 0;
        char path[513];
        for (int n = 1; ini.HasKey("EMFFiles", PageKey(n).c_str()); ++n) {
            ini.GetString("EMFFiles", PageKey(n).c_str(), path, 512);
            ++found;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadHandOff)->Arg(10)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
