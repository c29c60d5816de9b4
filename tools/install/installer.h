// tessaline-install: sets up an installation in the current platform root, as the product's
// installer does on Windows. It registers the virtual printer "Tessaline" and one ordinary
// printer, points TempDir at the user's temporary folder, and registers the component classes
// whose libraries are in the program folder. Running it again changes nothing; --uninstall
// takes away what it added and leaves everything else alone.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tessaline::installer {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // something could not be set up or taken away
constexpr int kExitUsage = 2;    // the command line is wrong

// Sets up the installation. `programFolder` ends in "/". Each action is reported on one line of
// `out`; a failure is reported on `err`. Returns the exit code.
int Install(const std::string& programFolder, std::ostream& out, std::ostream& err);

// Takes away the printers, TempDir and class registrations Install adds.
int Uninstall(std::ostream& out, std::ostream& err);

// The command line: no argument installs, "--uninstall" uninstalls, "--help" prints the usage.
// `args` are the arguments after the program name.
int RunInstaller(const std::vector<std::string>& args, const std::string& programFolder,
                 std::ostream& out, std::ostream& err);

}  // namespace tessaline::installer
