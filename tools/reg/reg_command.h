// tessaline-reg: query, add and delete registry keys and values from the command line, with the
// commands, options and output of reg.exe, so installation scripts and people can set TempDir
// and look at Inifile.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tessaline::reg_tool {

// Exit codes, as reg.exe uses them.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // the key or value does not exist, or the operation failed
constexpr int kExitUsage = 2;    // the command line is wrong

// Runs one command; `args` are the arguments after the program name. Results go to `out`,
// errors and usage text to `err`. Returns the exit code.
int RunRegCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace tessaline::reg_tool
