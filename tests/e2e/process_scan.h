// The processes a conversion may leave behind: anything whose command line or environment
// names one of the test's private folders (its office with a profile under the platform root,
// spooler workers started with its TESSALINE_ROOT, helpers working in its TMPDIR).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace e2e {

struct ProcessSeen {
    pid_t pid = 0;
    std::string commandLine;  // arguments joined by blanks
};

// Processes other than this one that mention any of `needles`.
std::vector<ProcessSeen> ProcessesMentioning(const std::vector<std::string>& needles);

// The same, after giving processes that are already ending up to `grace` to be gone.
std::vector<ProcessSeen> ProcessesLeft(const std::vector<std::string>& needles,
                                       std::chrono::milliseconds grace);

}  // namespace e2e
