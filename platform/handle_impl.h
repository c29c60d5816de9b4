// Template part of handle.h.
#pragma once

#include "platform/last_error.h"

namespace platform {

template <typename T>
T* FromHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    T* object = dynamic_cast<T*>(static_cast<KernelObject*>(handle));
    if (object == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return object;
}

}  // namespace platform
