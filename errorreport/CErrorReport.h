// CErrorReport: keeps one error record and answers IErrorInfo from it.
#pragma once

#include <atomic>
#include <string>

#include "errorreport/ErrorReport.h"  // the interface (include/)
#include "wincompat/comptr.h"
#include "wincompat/dispatch.h"

namespace errorreport {

// Live objects and server locks; DllCanUnloadNow answers S_OK at 0.
extern std::atomic<long> g_moduleLocks;

class CErrorReport final : public wincompat::DispatchImpl<IErrorReport, nullptr>,
                           public IErrorInfo {
 public:
  CErrorReport();
  ~CErrorReport();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IErrorReport
  HRESULT STDMETHODCALLTYPE Reserved07() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved08() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved09() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved10() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ReportError(ERROR_REPORT_RECORD record) override;
  HRESULT STDMETHODCALLTYPE Reserved12() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved13() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved14() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved15() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetPreviousError(HRESULT hr, IErrorInfo* previous) override;

  // IErrorInfo
  HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override;
  HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) override;
  HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) override;
  HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) override;
  HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) override;

 private:
  std::atomic<ULONG> refs_{1};
  HRESULT hr_ = S_OK;
  GUID clsid_ = GUID_NULL;
  GUID iid_ = GUID_NULL;
  std::u16string description_;
  std::u16string method_;
  std::u16string file_;
  LONG line_ = 0;
  HRESULT previousHr_ = S_OK;
  ComPtr<IErrorInfo> previous_;
};

}  // namespace errorreport
