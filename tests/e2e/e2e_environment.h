// What every end-to-end test needs: the built program folder with its components, an
// installation in the test's own platform root, the example documents copied into a work
// folder, and folvane-cli run as a separate process.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/run_process.h"

namespace e2e {

namespace fs = std::filesystem;

fs::path ProgramFolder();
fs::path ExamplesFolder();

// Why the whole pipeline cannot run here (LibreOffice, a component library or a PDF tool is
// missing), or empty when it can.
std::string PipelineMissingReason();

// Runs tessaline-install in the platform root the environment names (a ScopedPlatform's); a
// failure carries the installer's output.
testing::AssertionResult InstallPlatform();

// A test of the whole pipeline, skipped with the reason where it cannot run here; a test's own
// set-up goes into SetUpPipeline, which runs only when the pipeline can.
class PipelineTest : public testing::Test {
  protected:
    void SetUp() final;
    virtual void SetUpPipeline() {}
};

// Copies example documents by file name into `folder`, together with `sub/`, the target of
// the examples' relative file links. Returns the copies' paths in the order given.
std::vector<fs::path> CopyExamples(const std::vector<std::string>& names, const fs::path& folder);

// Every example document (.doc, .docx) in examples/, sorted by name.
std::vector<std::string> ExampleDocumentNames();

// Runs folvane-cli with `arguments` from `workingFolder`, where relative link targets such as
// "sub/notes.docx" resolve as they do next to the documents.
testing_support::ProcessResult RunCli(const std::vector<std::string>& arguments,
                                      const fs::path& workingFolder);
fs::path CliPath();

}  // namespace e2e
