// The product's name, version and web addresses, as the build sets them.
#pragma once

#include <string>

class QPixmap;

inline constexpr char kProductName[] = "Tessaline";

// The program's version, "2.2.1.0".
const char* ProductVersion();
// The product's web page, its support page and its maker's web site.
const char* ProductPageUrl();
const char* SupportPageUrl();
const char* MakerUrl();

// The program's icon from the default skin in programFolder (ending in "/"), its key colour
// transparent as in the title bar; null when the skin has none.
QPixmap ProgramIcon(const std::string& programFolder);
