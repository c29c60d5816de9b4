// Reference counting and QueryInterface for a component's own objects: IUnknown and the
// interfaces an object answers all give the same pointer, and the last Release deletes it.
#pragma once

#include <atomic>
#include <new>

#include "platform/com.h"

namespace platform {

template <typename Interface>
class ComObject : public Interface {
  public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || Answers(riid)) {
            AddRef();
            *object = static_cast<Interface*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  protected:
    virtual ~ComObject() = default;
    // The interfaces besides IUnknown that the object answers.
    virtual bool Answers(REFIID riid) const = 0;

  private:
    std::atomic<ULONG> refs_{1};
};

// Hands out a newly made object for `riid`: the caller gets the object's answer to
// QueryInterface, and the maker's own reference goes, so an unanswered interface frees it.
template <typename Object>
HRESULT HandOutNewObject(Object* made, REFIID riid, void** object) {
    if (made == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = made->QueryInterface(riid, object);
    made->Release();
    return hr;
}

// The body of DllGetClassObject for a library that serves one class with `Factory`.
template <typename Factory>
HRESULT GetClassObjectOf(REFCLSID served, REFCLSID clsid, REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (clsid != served) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return HandOutNewObject(new (std::nothrow) Factory, riid, object);
}

}  // namespace platform
