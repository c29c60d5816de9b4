// Reference counting and QueryInterface for the tests' own COM objects: IUnknown and the
// interfaces an object answers all give the same pointer, and the last Release deletes it.
#pragma once

#include <atomic>

#include "platform/com.h"

namespace testing_support {

template <typename Interface>
class CountedObject : public Interface {
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
        ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  protected:
    virtual ~CountedObject() = default;
    // The interfaces besides IUnknown that the object answers.
    virtual bool Answers(REFIID riid) const = 0;

  private:
    std::atomic<ULONG> refs_{1};
};

}  // namespace testing_support
