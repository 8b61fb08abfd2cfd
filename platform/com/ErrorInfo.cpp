// Error information: the object CreateErrorInfo makes and the per-thread slot of
// SetErrorInfo/GetErrorInfo.
#include <atomic>
#include <string>

#include "platform/win/WinInternal.h"
#include "wincompat/comptr.h"

namespace {

class ErrorInfo final : public IErrorInfo, public ICreateErrorInfo {
 public:
  // IUnknown (answered from the IErrorInfo side).
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
      *ppv = static_cast<IErrorInfo*>(this);
    } else if (riid == IID_ICreateErrorInfo) {
      *ppv = static_cast<ICreateErrorInfo*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  // IErrorInfo
  HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
    if (!pGUID) return E_INVALIDARG;
    *pGUID = guid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* p) override { return Out(source_, p); }
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* p) override { return Out(description_, p); }
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* p) override { return Out(helpFile_, p); }
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* p) override {
    if (!p) return E_INVALIDARG;
    *p = helpContext_;
    return S_OK;
  }

  // ICreateErrorInfo
  HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) override {
    guid_ = rguid;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR s) override { return In(s, &source_); }
  HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR s) override { return In(s, &description_); }
  HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR s) override { return In(s, &helpFile_); }
  HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD c) override {
    helpContext_ = c;
    return S_OK;
  }

 private:
  // ICreateErrorInfo's AddRef/Release/QueryInterface come from the same overrides above.
  static HRESULT Out(const std::u16string& s, BSTR* p) {
    if (!p) return E_INVALIDARG;
    *p = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    return *p ? S_OK : E_OUTOFMEMORY;
  }
  static HRESULT In(LPOLESTR s, std::u16string* field) {
    field->assign(s ? s : u"");
    return S_OK;
  }

  std::atomic<ULONG> refs_{1};
  GUID guid_ = GUID_NULL;
  std::u16string source_, description_, helpFile_;
  DWORD helpContext_ = 0;
};

thread_local ComPtr<IErrorInfo> t_errorInfo;

}  // namespace

HRESULT WINAPI CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  *pperrinfo = new (std::nothrow) ErrorInfo;
  return *pperrinfo ? S_OK : E_OUTOFMEMORY;
}

HRESULT WINAPI SetErrorInfo(ULONG, IErrorInfo* perrinfo) {
  t_errorInfo = ComPtr<IErrorInfo>(perrinfo);
  return S_OK;
}

HRESULT WINAPI GetErrorInfo(ULONG, IErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_INVALIDARG;
  // Hands the thread's reference over and clears the slot.
  *pperrinfo = t_errorInfo.Detach();
  return *pperrinfo ? S_OK : S_FALSE;
}
