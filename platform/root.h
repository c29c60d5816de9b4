// The platform root: the one folder that holds every per-user file of the installation
// (registry, printers, class registrations, the Windows folder, pipes).
#pragma once

#include <filesystem>

namespace platform {

// $TESSALINE_ROOT when set and not empty, else ${XDG_DATA_HOME:-$HOME/.local/share}/tessaline.
// Read anew on every call, so a process (or a test) that changes the variable sees the change.
std::filesystem::path PlatformRoot();

// PlatformRoot(), created (mode 0700, parents as needed) when it does not exist yet.
// Returns false when it cannot be created.
bool EnsurePlatformRoot(std::filesystem::path* root);

}  // namespace platform
