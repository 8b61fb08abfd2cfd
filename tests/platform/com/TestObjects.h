// Small COM objects for the tests: a counted IUnknown/IDispatch whose references can be
// checked.
#pragma once

#include <atomic>

#include "wincompat/com.h"

namespace wctest {

// Answers IUnknown and IDispatch (when `dispatch`); counts references without deleting.
class Counted : public IDispatch {
 public:
  explicit Counted(bool dispatch = true, const IID* extra = nullptr)
      : dispatch_(dispatch), extra_(extra) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || (dispatch_ && riid == IID_IDispatch) ||
        (extra_ && riid == *extra_)) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  // The default value (DISPID_VALUE) is `value`, when set.
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* dp, VARIANT* result,
                                   EXCEPINFO*, UINT*) override {
    ++invokes;
    lastDispid = id;
    if (dp && dp->cArgs == 3 && dp->rgvarg[0].vt == (VT_BYREF | VT_I4))
      *dp->rgvarg[0].plVal = flagToStore;
    if (id != DISPID_VALUE || !hasValue) return id == DISPID_VALUE ? DISP_E_MEMBERNOTFOUND : S_OK;
    if (result) {
      VariantInit(result);
      result->vt = VT_I4;
      result->lVal = value;
    }
    return S_OK;
  }

  std::atomic<ULONG> refs{1};
  int invokes = 0;
  DISPID lastDispid = 0;
  bool hasValue = false;
  LONG value = 0;
  LONG flagToStore = 1;

 private:
  bool dispatch_;
  const IID* extra_;
};

}  // namespace wctest
