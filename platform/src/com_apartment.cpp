// Per-thread apartments. A thread enters an apartment with its first successful CoInitializeEx
// and leaves it with the matching CoUninitialize; the model is fixed while it is inside.
#include "platform/com.h"

namespace {

struct Apartment {
    unsigned count = 0;  // successful initialisations not yet undone
    bool singleThreaded = false;
};

thread_local Apartment t_apartment;

}  // namespace

HRESULT CoInitializeEx(void* reserved, DWORD coInit) {
    if (reserved != nullptr) {
        return E_INVALIDARG;
    }
    // Other flag bits (OLE1DDE, speed over memory) change nothing here.
    const bool singleThreaded = (coInit & COINIT_APARTMENTTHREADED) != 0;
    Apartment& apartment = t_apartment;
    if (apartment.count == 0) {
        apartment.singleThreaded = singleThreaded;
        apartment.count = 1;
        return S_OK;
    }
    // A refused change of model is not counted: it needs no CoUninitialize.
    if (apartment.singleThreaded != singleThreaded) {
        return RPC_E_CHANGED_MODE;
    }
    ++apartment.count;
    return S_FALSE;
}

HRESULT CoInitialize(void* reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    // One call too many is ignored, as on Windows.
    if (t_apartment.count > 0) {
        --t_apartment.count;
    }
}

namespace platform {

bool ThreadHasComApartment() {
    return t_apartment.count > 0;
}

}  // namespace platform
