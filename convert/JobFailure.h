// Why a job failed: a sentence from the language's "JobFailure" section, and what the failing
// component said about itself, for hosts that report each job's outcome.
#pragma once

#include <string>

#include "platform/com.h"

inline constexpr char kJobFailure[] = "JobFailure";

// "reason: detail", or the reason alone when there is no detail.
std::string JobFailureText(const std::string& reason, const std::string& detail = {});

// The component's own description of a failed call (UTF-8), else the system's text for the
// HRESULT.
std::string DescribeComError(const _com_error& error);
