// Reference counting and QueryInterface for the engine's objects: IUnknown and the one interface
// an object implements give the same pointer, and the last Release deletes the object.
#pragma once

#include <atomic>

#include "platform/com.h"

namespace pdfengine {

template <typename Interface>
class ComObject : public Interface {
  public:
    explicit ComObject(const IID& interfaceId) : interfaceId_(interfaceId) {}

    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (riid != IID_IUnknown && riid != interfaceId_) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *object = static_cast<Interface*>(this);
        return S_OK;
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

  private:
    const IID& interfaceId_;
    std::atomic<ULONG> refs_{1};
};

}  // namespace pdfengine
