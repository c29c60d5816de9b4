// Kernel object handles: files, pipes and, later, threads and events share one handle type
// and one CloseHandle, as on Windows.
#pragma once

#include "platform/win_types.h"

using HANDLE = void*;
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))

// Closes any handle the platform layer gave out. FALSE with ERROR_INVALID_HANDLE for a null or
// invalid handle.
BOOL CloseHandle(HANDLE handle);

namespace platform {

// What a HANDLE points to. Each kind of object derives from it; CloseHandle deletes it.
class KernelObject {
  public:
    KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;
    virtual ~KernelObject() = default;
};

inline HANDLE ToHandle(KernelObject* object) {
    return static_cast<HANDLE>(object);
}

// The object behind a handle when it is of type T, else null (with ERROR_INVALID_HANDLE set).
template <typename T>
T* FromHandle(HANDLE handle);

}  // namespace platform

#include "platform/handle_impl.h"
