// Small COM objects and helpers for the tests.
#pragma once

#include <atomic>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "wincompat/com.h"

namespace wctest {

inline std::u16string Text(BSTR b) { return b ? std::u16string(b, SysStringLen(b)) : u"(null)"; }
inline std::string Ascii(BSTR b) {  // the texts here are ASCII
  const std::u16string t = Text(b);
  return std::string(t.begin(), t.end());
}

// A value with its type, e.g. "I4:12", so that one comparison checks both.
inline std::string Show(const VARIANT& v) {
  const auto real = [](const char* tag, double d) {
    char buf[48];
    std::snprintf(buf, sizeof(buf), "%s:%.17g", tag, d);
    return std::string(buf);
  };
  if (v.vt == VT_I2) return "I2:" + std::to_string(v.iVal);
  if (v.vt == VT_UI2) return "UI2:" + std::to_string(v.uiVal);
  if (v.vt == VT_I4) return "I4:" + std::to_string(v.lVal);
  if (v.vt == VT_UI4) return "UI4:" + std::to_string(v.ulVal);
  if (v.vt == VT_BOOL) return "BOOL:" + std::to_string(v.boolVal);
  if (v.vt == VT_BSTR) return "BSTR:" + Ascii(v.bstrVal);
  if (v.vt == VT_R8) return real("R8", v.dblVal);
  if (v.vt == VT_DATE) return real("DATE", v.date);
  return v.vt == VT_EMPTY ? "EMPTY" : "vt" + std::to_string(v.vt);
}

// QueryInterface of the test objects: `self` for IUnknown and for each IID given.
inline HRESULT Answer(IUnknown* self, REFIID riid, void** ppv,
                      std::initializer_list<const IID*> iids) {
  bool found = riid == IID_IUnknown;
  for (const IID* iid : iids) found = found || (iid && riid == *iid);
  *ppv = found ? self : nullptr;
  if (found) self->AddRef();
  return found ? S_OK : E_NOINTERFACE;
}

// Answers IUnknown and IDispatch (when `dispatch`); counts references without deleting.
class Counted : public IDispatch {
 public:
  explicit Counted(bool dispatch = true, const IID* extra = nullptr)
      : dispatch_(dispatch), extra_(extra) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return Answer(this, riid, ppv, {dispatch_ ? &IID_IDispatch : nullptr, extra_});
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
  // Stores `flagToStore` through a by-reference first argument, as a progress sink does.
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* dp, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    ++invokes;
    lastDispid = id;
    if (dp && dp->cArgs == 3 && dp->rgvarg[0].vt == (VT_BYREF | VT_I4))
      *dp->rgvarg[0].plVal = flagToStore;
    return S_OK;
  }

  std::atomic<ULONG> refs{1};
  int invokes = 0;
  DISPID lastDispid = 0;
  LONG flagToStore = 1;

 private:
  bool dispatch_;
  const IID* extra_;
};

}  // namespace wctest
