// The office indices of a platform root that a program's offices use (Office.h). A program
// holds a record lock on "office-N.lock" in the root for each index it uses. The lock belongs to
// the process, not to one open of the file: every module of one program that reaches the offices
// (this component, and a test of it that looks into the component's offices) finds the same
// indices, while another program finds them taken. The system releases the locks when the
// program dies.
#pragma once

#include <string>

namespace word_component {

// Claims `index` of `root` for this module: false when another program holds it or another
// slot of this module claimed it.
bool ClaimOfficeIndex(const std::string& root, unsigned index);

// Lets the index go (for a process that moves to another platform root). The process's lock on
// that file goes with it, whichever module took it.
void ReleaseOfficeIndex(const std::string& root, unsigned index);

}  // namespace word_component
