// Our PDF of a document against LibreOffice's own export of the same document: the same pages
// with the same text, a link for every link with the same target over the same text, and the
// same outline.
#pragma once

#include <filesystem>
#include <vector>

#include "tests/e2e/pdf_facts.h"

namespace e2e {

// The words of a page that sit inside a link annotation, as far as the annotation reaches
// across: the link's text box. A link on a picture has no words; its annotation is the box then.
Box LinkTextBox(const PdfLink& link, const std::vector<TextWord>& words);

// The same number of pages, each with the same text (checked with the test's expectations).
void ExpectSamePagesAndText(const std::filesystem::path& pdf,
                            const std::filesystem::path& reference);

// That, and the links and the outline (checked with the test's expectations). document: the file we
// converted (file link targets are relative to its folder); referenceDocumentFolder: where the copy
// the reference was made of lay.
void ExpectLikeReferenceExport(const std::filesystem::path& pdf,
                               const std::filesystem::path& reference,
                               const std::filesystem::path& document,
                               const std::filesystem::path& referenceDocumentFolder);

}  // namespace e2e
