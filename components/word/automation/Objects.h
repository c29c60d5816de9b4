// The automation objects this library makes itself: Application, Documents and Document. The
// content and layout objects a Document leads to are the document model's (model/).
#pragma once

#include <memory>

#include "components/word/automation/WordInstance.h"
#include "components/word/model/DispatchObject.h"

namespace word_component {

// The version this instance reports: Word 2016 and later.
constexpr char kVersion[] = "16.0";

ComPtr<IDispatch> MakeApplication();
ComPtr<IDispatch> MakeDocuments(std::shared_ptr<WordInstance> instance);
ComPtr<IDispatch> MakeDocument(std::shared_ptr<WordInstance> instance,
                               std::shared_ptr<OpenedDocument> document);

}  // namespace word_component
