// IUnknown of a small internal object that answers one interface besides IUnknown. The
// count is atomic and starts at 1, the creator's reference.
#pragma once

#include <atomic>

#include "wincompat/com.h"

namespace wincompat::detail {

template <class I>
class SingleInterfaceObject : public I {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid != IID_IUnknown && riid != uuidof<I>()) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = static_cast<I*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 protected:
  virtual ~SingleInterfaceObject() = default;

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace wincompat::detail
