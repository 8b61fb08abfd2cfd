// A host connection object declared the way an outside host declares it: from the slot
// layout alone (IDispatch, then the host's own methods, GetConnectionProperty at slot 26) and
// an interface id typed by hand, without the component's header. It answers IUnknown and
// that one id, nothing else, and counts the names it is asked for.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "wincompat/com.h"

namespace qwbtest {

// {2EF07E0F-30A9-457A-BCA8-2BFC40D0725F}, field by field.
inline constexpr GUID kHandIHostConnection = {
    0x2EF07E0F, 0x30A9, 0x457A, {0xBC, 0xA8, 0x2B, 0xFC, 0x40, 0xD0, 0x72, 0x5F}};

class HandHostConnection : public IDispatch {
 public:
  explicit HandHostConnection(std::u16string drive) : drive_(std::move(drive)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != kHandIHostConnection) return E_NOINTERFACE;
    *ppv = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the stack
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override { return n ? (*n = 0, S_OK) : E_POINTER; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  // Slots 7 to 25: the host's own methods. Each one records that it was called by mistake.
  virtual HRESULT STDMETHODCALLTYPE Own07() { return Wrong(7); }
  virtual HRESULT STDMETHODCALLTYPE Own08() { return Wrong(8); }
  virtual HRESULT STDMETHODCALLTYPE Own09() { return Wrong(9); }
  virtual HRESULT STDMETHODCALLTYPE Own10() { return Wrong(10); }
  virtual HRESULT STDMETHODCALLTYPE Own11() { return Wrong(11); }
  virtual HRESULT STDMETHODCALLTYPE Own12() { return Wrong(12); }
  virtual HRESULT STDMETHODCALLTYPE Own13() { return Wrong(13); }
  virtual HRESULT STDMETHODCALLTYPE Own14() { return Wrong(14); }
  virtual HRESULT STDMETHODCALLTYPE Own15() { return Wrong(15); }
  virtual HRESULT STDMETHODCALLTYPE Own16() { return Wrong(16); }
  virtual HRESULT STDMETHODCALLTYPE Own17() { return Wrong(17); }
  virtual HRESULT STDMETHODCALLTYPE Own18() { return Wrong(18); }
  virtual HRESULT STDMETHODCALLTYPE Own19() { return Wrong(19); }
  virtual HRESULT STDMETHODCALLTYPE Own20() { return Wrong(20); }
  virtual HRESULT STDMETHODCALLTYPE Own21() { return Wrong(21); }
  virtual HRESULT STDMETHODCALLTYPE Own22() { return Wrong(22); }
  virtual HRESULT STDMETHODCALLTYPE Own23() { return Wrong(23); }
  virtual HRESULT STDMETHODCALLTYPE Own24() { return Wrong(24); }
  virtual HRESULT STDMETHODCALLTYPE Own25() { return Wrong(25); }
  // Slot 26.
  virtual HRESULT STDMETHODCALLTYPE GetConnectionProperty(BSTR name, BSTR* value) {
    if (!value) return E_POINTER;
    asked.emplace_back(name ? std::u16string(name, SysStringLen(name)) : std::u16string());
    *value = SysAllocStringLen(drive_.data(), static_cast<UINT>(drive_.size()));
    return *value ? S_OK : E_OUTOFMEMORY;
  }

  ULONG Refs() const { return refs_; }
  std::vector<std::u16string> asked;  // the names GetConnectionProperty was asked for
  std::vector<int> wrongSlots;        // slots called that the component must never call

 private:
  HRESULT Wrong(int slot) {
    wrongSlots.push_back(slot);
    return E_UNEXPECTED;
  }
  std::atomic<ULONG> refs_{1};
  std::u16string drive_;
};

}  // namespace qwbtest
