// The word processor's automation contract: the late-bound calls the conversion makes on
// "Word.Application", by dispatch id, with the argument shapes each major version expects.
// Every argument travels by reference as a VARIANT; omitted ones are VT_ERROR with
// DISP_E_PARAMNOTFOUND. A failed call raises _com_error.
#pragma once

#include <string>

#include "platform/com.h"
#include "platform/com_ptr.h"

namespace word {

// Creates an instance from ProgID "Word.Application"; empty when it cannot be created (the
// word processor is missing). The thread must be in an apartment.
ComPtr<IDispatch> CreateWordApplication();

// The leading integer of Application.Version, 0 when it has none.
int GetMajorVersion(IDispatch* application);
ComPtr<IDispatch> GetDocuments(IDispatch* application);
// Documents.Open with the document's full path, in the form the major version takes.
ComPtr<IDispatch> OpenDocument(IDispatch* documents, const std::string& path, int majorVersion);
// Document.PrintOut to the default printer: Background 1, Append 1, Copies 1.
void PrintOutDocument(IDispatch* document, int majorVersion);
// Document.Hyperlinks.Count, which has the word processor read the document's content.
LONG CountHyperlinks(IDispatch* document);
// Application.Quit without saving.
void QuitWord(IDispatch* application);
// The same, where a failure changes nothing for the caller: it is ignored.
void QuitWordQuietly(IDispatch* application);

}  // namespace word
