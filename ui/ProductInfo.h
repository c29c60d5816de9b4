// The product's name, version and web addresses, as the build sets them.
#pragma once

inline constexpr char kProductName[] = "Tessaline";

// The program's version, "2.2.1.0".
const char* ProductVersion();
// The product's web page, its support page and its maker's web site.
const char* ProductPageUrl();
const char* SupportPageUrl();
const char* MakerUrl();
