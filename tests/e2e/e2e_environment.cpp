#include "tests/e2e/e2e_environment.h"

#include <unistd.h>

#include <algorithm>

namespace e2e {

namespace {

constexpr char kOfficeProgram[] = "/usr/lib/libreoffice/program/soffice.bin";

bool Executable(const fs::path& path) {
    return ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

fs::path ProgramFolder() {
    return TESSALINE_PROGRAM_DIR;
}

fs::path ExamplesFolder() {
    return fs::path(TESSALINE_SOURCE_DIR) / "examples";
}

fs::path CliPath() {
    return ProgramFolder() / "folvane-cli";
}

std::string PipelineMissingReason() {
    if (!Executable(kOfficeProgram)) {
        return std::string("LibreOffice is not installed (") + kOfficeProgram + " is missing)";
    }
    for (const char* program : {"folvane-cli", "tessaline-install", "tessaline-spoold"}) {
        if (!Executable(ProgramFolder() / program)) {
            return std::string(program) + " is not built in " + ProgramFolder().string();
        }
    }
    // The component libraries the installer registers and the toolkit the post-processing loads.
    for (const char* library : {"libTessalineWord.so", "libTessalinePdfEngine.so", "libRavelin.so",
                                "libQuickPDFDLL0717.so"}) {
        if (!fs::exists(ProgramFolder() / library)) {
            return std::string("the component ") + library + " is not built in " +
                   ProgramFolder().string();
        }
    }
    for (const char* tool : {"/usr/bin/pdftotext", "/usr/bin/pdfinfo", "/usr/bin/qpdf"}) {
        if (!Executable(tool)) {
            return std::string(tool) + " is missing (install poppler-utils and qpdf)";
        }
    }
    return {};
}

testing::AssertionResult InstallPlatform() {
    const testing_support::ProcessResult install =
        testing_support::RunProcess({(ProgramFolder() / "tessaline-install").string()});
    if (install.exitCode == 0)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "tessaline-install exited with " << install.exitCode
                                       << ": " << install.output << install.errors;
}

void PipelineTest::SetUp() {
    if (const std::string missing = PipelineMissingReason(); !missing.empty()) {
        GTEST_SKIP() << missing;
    }
    SetUpPipeline();
}

std::vector<fs::path> CopyExamples(const std::vector<std::string>& names, const fs::path& folder) {
    fs::create_directories(folder);
    fs::copy(ExamplesFolder() / "sub", folder / "sub",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    std::vector<fs::path> copies;
    for (const std::string& name : names) {
        copies.push_back(folder / name);
        fs::copy_file(ExamplesFolder() / name, copies.back(), fs::copy_options::overwrite_existing);
    }
    return copies;
}

std::vector<std::string> ExampleDocumentNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(ExamplesFolder())) {
        const std::string extension = entry.path().extension().string();
        if (entry.is_regular_file() && (extension == ".doc" || extension == ".docx")) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

testing_support::ProcessResult RunCli(const std::vector<std::string>& arguments,
                                      const fs::path& workingFolder) {
    std::vector<std::string> argv = {CliPath().string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    testing_support::ProcessOptions options;
    options.workingDirectory = workingFolder.string();
    return testing_support::RunProcess(argv, options);
}

}  // namespace e2e
