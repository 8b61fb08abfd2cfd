// A stream session as the device-side service hands it out, owned by the test: references are
// counted but never free it, so a release too many shows as a wrong count. Everything else
// answers E_NOTIMPL unless a test overrides it.
#pragma once

#include <atomic>

#include "wincompat/rapi.h"

namespace qwbtest {

class FakeRapiStream : public IRAPIStream {
 public:
  std::atomic<ULONG> refs{0};

  HRESULT QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
  HRESULT Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  HRESULT CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT Commit(DWORD) override { return E_NOTIMPL; }
  HRESULT Revert() override { return E_NOTIMPL; }
  HRESULT LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  HRESULT Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
  HRESULT Clone(IStream**) override { return E_NOTIMPL; }
  HRESULT SetRapiStat(RAPISTREAMFLAG, DWORD) override { return E_NOTIMPL; }
  HRESULT GetRapiStat(RAPISTREAMFLAG, DWORD*) override { return E_NOTIMPL; }
};

}  // namespace qwbtest
