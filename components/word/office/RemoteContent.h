// Content a document links from the network (a picture on a web server, say). The office would
// fetch it while it converts the document: the document could then tell its author when and
// where it was converted, or make the converter call addresses inside the user's network. By
// default nothing is read from the network, and linked remote pictures are left out (the office
// draws their placeholder); TESSALINE_FETCH_REMOTE_CONTENT=1 lets the office fetch them.
//
// The setting holds for every office this process uses: an office that may fetch has its own
// pipe and profile (OfficeProcess.h), so a process never uses an office started under the other
// setting, and an office that may not fetch is shut off from the network whenever a process
// connects to it, whoever started it.
#pragma once

#include <com/sun/star/uno/XComponentContext.hpp>

namespace word_component {

// TESSALINE_FETCH_REMOTE_CONTENT is "1"; read anew on every call.
bool RemoteContentAllowed();

// Shuts off the office of that context from the network, in two ways, each of which alone stops
// a remote picture: its own switch for links in documents that are not in a trusted location
// (BlockUntrustedRefererLinks, which also keeps linked media from being played), and every
// content provider of its content broker that reaches beyond this machine (http, https, WebDAV,
// FTP, CMIS, GIO...), so that whatever else asks the broker for a remote address gets nothing.
// Throws what the office throws.
void ForbidRemoteContent(const css::uno::Reference<css::uno::XComponentContext>& office);

}  // namespace word_component
