#include "convert/JobFailure.h"

#include "platform/text.h"

std::string JobFailureText(const std::string& reason, const std::string& detail) {
    return detail.empty() ? reason : reason + ": " + detail;
}

std::string DescribeComError(const _com_error& error) {
    std::string description = platform::Utf16ToUtf8(error.Description());
    while (!description.empty() && (description.back() == '\n' || description.back() == '\r' ||
                                    description.back() == '.' || description.back() == ' ')) {
        description.pop_back();
    }
    return description.empty() ? error.ErrorMessage() : description;
}
