// The automation objects this library makes itself: Application, Documents and Document. The
// content and layout objects a Document leads to are the document model's (model/).
#pragma once

#include <memory>

#include "components/word/automation/WordInstance.h"
#include "components/word/model/DispatchObject.h"

namespace word_component {

// Application
constexpr DISPID kDispVersion = 24;
constexpr DISPID kDispDocuments = 6;
constexpr DISPID kDispQuit = 1105;
// Documents.Open in the forms of major versions 9 and below, 10, and 11 on: their argument
// counts differ.
constexpr DISPID kDispOpen9 = 15;
constexpr DISPID kDispOpen10 = 18;
constexpr DISPID kDispOpen11 = 19;
// Document
constexpr DISPID kDispPrintOut9 = 444;
constexpr DISPID kDispPrintOut10 = 446;
constexpr DISPID kDispPath = 3;

// The version this instance reports: Word 2016 and later.
constexpr char kVersion[] = "16.0";

ComPtr<IDispatch> MakeApplication();
ComPtr<IDispatch> MakeDocuments(std::shared_ptr<WordInstance> instance);
ComPtr<IDispatch> MakeDocument(std::shared_ptr<WordInstance> instance,
                               std::shared_ptr<OpenedDocument> document);

}  // namespace word_component
