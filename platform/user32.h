// Window-message and message-box vocabulary shared by the program's hosts: the GUI maps these
// to its widgets, the headless host to its own loop and console.
#pragma once

#include "platform/win_types.h"

using WPARAM = ULONG_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;

constexpr UINT WM_USER = 0x0400;

// Message-box styles and answers.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONSTOP = 0x00000010;
constexpr UINT MB_ICONHAND = MB_ICONSTOP;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONINFORMATION = 0x00000040;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Device capabilities a host reports for its main window (GetDeviceCaps indices).
constexpr int LOGPIXELSX = 88;  // horizontal dots per inch
constexpr int LOGPIXELSY = 90;  // vertical dots per inch
