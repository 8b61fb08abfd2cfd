#include "host/HostObjects.h"

namespace qwbhost {

// ---- HostConnection ---------------------------------------------------------------

ComPtr<HostConnection> HostConnection::Create(std::u16string drive) {
  return ComPtr<HostConnection>(new HostConnection(std::move(drive)));
}

HRESULT HostConnection::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IHostConnection) {
    *ppv = static_cast<IHostConnection*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG HostConnection::AddRef() { return ++ref_; }

ULONG HostConnection::Release() {
  ULONG n = --ref_;
  if (n == 0) delete this;
  return n;
}

// The connection is called through its vtable only; it offers no automation.
HRESULT HostConnection::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}
HRESULT HostConnection::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return E_NOTIMPL;
}
HRESULT HostConnection::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
HRESULT HostConnection::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                               UINT*) {
  return E_NOTIMPL;
}

HRESULT HostConnection::GetConnectionProperty(BSTR name, BSTR* value) {
  if (!value) return E_POINTER;
  *value = nullptr;
  const bool fail = FAILED(failure_) && requests_.size() >= failAfter_;
  requests_.emplace_back(name ? std::u16string(name, SysStringLen(name)) : std::u16string());
  if (fail) return failure_;
  if (requests_.back() == u"DRIVE") {
    *value = SysAllocStringLen(drive_.data(), static_cast<UINT>(drive_.size()));
    return *value ? S_OK : E_OUTOFMEMORY;
  }
  *value = SysAllocString(u"");
  return S_OK;
}

// ---- HostModelDB --------------------------------------------------------------------

ComPtr<HostModelDB> HostModelDB::Create() { return ComPtr<HostModelDB>(new HostModelDB()); }

HRESULT HostModelDB::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid == IID_IUnknown || riid == IID_IHostModelDB) {
    *ppv = static_cast<IHostModelDB*>(this);
  } else if (riid == IID_IHostModelDBFiles) {
    if (filesAnswer_ != S_OK) return filesAnswer_;
    *ppv = static_cast<IHostModelDBFiles*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG HostModelDB::AddRef() { return ++ref_; }

ULONG HostModelDB::Release() {
  ULONG n = --ref_;
  if (n == 0) delete this;
  return n;
}

// ---- ProgressSink ---------------------------------------------------------------------

ComPtr<ProgressSink> ProgressSink::Create(std::string name, const IID& eventIid,
                                          std::shared_ptr<std::vector<ProgressCall>> log) {
  return ComPtr<ProgressSink>(new ProgressSink(std::move(name), eventIid, std::move(log)));
}

HRESULT ProgressSink::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == iid_) {
    *ppv = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG ProgressSink::AddRef() { return ++ref_; }

ULONG ProgressSink::Release() {
  ULONG n = --ref_;
  if (n == 0) delete this;
  return n;
}

HRESULT ProgressSink::GetTypeInfoCount(UINT* pctinfo) {
  if (!pctinfo) return E_POINTER;
  *pctinfo = 0;
  return S_OK;
}
HRESULT ProgressSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
  if (ppTInfo) *ppTInfo = nullptr;
  return E_NOTIMPL;
}
HRESULT ProgressSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT ProgressSink::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                             DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                             UINT* puArgErr) {
  ProgressCall call;
  call.sink = name_;
  call.dispid = dispIdMember;
  call.iidIsNull = riid == IID_NULL;
  call.lcid = lcid;
  call.flags = wFlags;
  call.hasResult = pVarResult != nullptr;
  call.hasExcepInfo = pExcepInfo != nullptr;
  call.hasArgErr = puArgErr != nullptr;
  call.refsDuringCall = ref_;
  if (pDispParams) {
    call.cArgs = pDispParams->cArgs;
    call.cNamedArgs = pDispParams->cNamedArgs;
    for (UINT i = 0; i < pDispParams->cArgs; ++i) call.types.push_back(pDispParams->rgvarg[i].vt);
    if (pDispParams->cArgs == 3) {
      const VARIANT* args = pDispParams->rgvarg;
      if (args[2].vt == VT_I8) call.done = args[2].llVal;
      if (args[1].vt == VT_I8) call.total = args[1].llVal;
      if (args[0].vt == (VT_BYREF | VT_I4)) {
        call.pContinue = args[0].plVal;
        if (call.pContinue) call.continueOnEntry = *call.pContinue;
        if (call.pContinue && stop_ && call.done >= stopAt_) *call.pContinue = 0;
      }
    }
  }
  if (log_) log_->push_back(std::move(call));
  if (onCall_) onCall_();
  return S_OK;
}

}  // namespace qwbhost
