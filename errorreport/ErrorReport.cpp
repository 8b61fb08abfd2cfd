#include <cstdio>
#include <string>

#include "errorreport/CErrorReport.h"

namespace errorreport {

namespace {

std::u16string Copy(BSTR b) { return b ? std::u16string(b, SysStringLen(b)) : std::u16string(); }

HRESULT Out(const std::u16string& s, BSTR* p) {
  if (!p) return E_POINTER;
  *p = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  return *p ? S_OK : E_OUTOFMEMORY;
}

std::u16string Widen(const std::string& s) {
  // The generated text is ASCII apart from the copied method and file names.
  return std::u16string(s.begin(), s.end());
}

}  // namespace

std::atomic<long> g_moduleLocks{0};

CErrorReport::CErrorReport() { ++g_moduleLocks; }
CErrorReport::~CErrorReport() { --g_moduleLocks; }

HRESULT CErrorReport::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IErrorReport) {
    *ppv = static_cast<IErrorReport*>(this);
  } else if (riid == IID_IErrorInfo) {
    *ppv = static_cast<IErrorInfo*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG CErrorReport::AddRef() { return ++refs_; }

ULONG CErrorReport::Release() {
  const ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

// The record's BSTRs belong to the caller: everything is copied.
HRESULT CErrorReport::ReportError(ERROR_REPORT_RECORD record) {
  hr_ = record.hr;
  clsid_ = record.clsid;
  iid_ = record.iid;
  description_ = Copy(record.description);
  method_ = Copy(record.method);
  file_ = Copy(record.sourceFile);
  line_ = record.line;
  return S_OK;
}

HRESULT CErrorReport::SetPreviousError(HRESULT hr, IErrorInfo* previous) {
  previousHr_ = hr;
  previous_ = ComPtr<IErrorInfo>(previous);
  return S_OK;
}

HRESULT CErrorReport::GetGUID(GUID* pGUID) {
  if (!pGUID) return E_POINTER;
  *pGUID = iid_;
  return S_OK;
}

HRESULT CErrorReport::GetSource(BSTR* pBstrSource) { return Out(method_, pBstrSource); }

// Without a description of its own, the text names the failing method, the HRESULT and the
// reporting site: "<method> failed (0x8004000D) at <file>:<line>". Hosts and tests read the
// whole record back from it.
HRESULT CErrorReport::GetDescription(BSTR* pBstrDescription) {
  if (!description_.empty()) return Out(description_, pBstrDescription);
  char buf[48];
  std::snprintf(buf, sizeof(buf), " failed (0x%08X) at ", static_cast<unsigned>(hr_));
  std::u16string text = method_ + Widen(buf) + file_ + u":" + Widen(std::to_string(line_));
  return Out(text, pBstrDescription);
}

HRESULT CErrorReport::GetHelpFile(BSTR* pBstrHelpFile) { return Out(u"", pBstrHelpFile); }

HRESULT CErrorReport::GetHelpContext(DWORD* pdwHelpContext) {
  if (!pdwHelpContext) return E_POINTER;
  *pdwHelpContext = 0;
  return S_OK;
}

}  // namespace errorreport
