// Starting other programs from tests: capture their output and exit status.
#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct ProcessResult {
    int exitCode = -1;   // -1 when the process did not exit normally
    std::string output;  // standard output
    std::string errors;  // standard error
};

struct ProcessOptions {
    std::optional<std::string> workingDirectory;
    // Variables to set (a value) or remove (nullopt) in the child's environment.
    std::map<std::string, std::optional<std::string>> environment;
};

// Runs argv[0] with the arguments and waits for it.
ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// The full path of a program found on $PATH (execv does not search it); empty when there is none.
std::string FindProgram(const std::string& name);

// Starts a process whose output goes to the test's own; WaitProcess returns its exit code.
pid_t StartProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});
int WaitProcess(pid_t pid);

}  // namespace testing_support
