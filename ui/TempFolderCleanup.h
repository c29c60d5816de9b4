// What the main window does with the temporary folder of page files when it closes.
#pragma once

#include <string>

// Deletes the folder at `path` with everything in it: subfolders by the same procedure, files,
// then the folder itself (a symbolic link is removed, never followed). Failures of single
// entries are passed over. False for an empty path and when the folder itself could not be
// removed.
bool DeleteFolderTree(const std::string& path);

// "DravelleOutput" in the user's temporary folder, deleted as DeleteFolderTree does, but only
// while no batch of the user holds the shared state (this window's own included): a running
// batch's page files and hand-off file are in it. True when it was deleted.
bool DeleteHandOffFolderWhenNoBatchRuns();
