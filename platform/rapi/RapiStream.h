// The stream of a stream-mode CeRapiInvoke: raw bytes, no framing, on a connection of its
// own that Release closes.
#pragma once

#include <atomic>

#include "wincompat/rapi.h"

namespace qwb::rapi {

class RapiStream final : public IRAPIStream {
 public:
  // Takes ownership of the connected socket.
  RapiStream(int fd, DWORD readTimeoutMs) : fd_(fd), readTimeoutMs_(readTimeoutMs) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // Blocks until exactly cb bytes arrived; the read timeout bounds the wait for each part.
  HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override;
  HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;

  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override;
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override;
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*,
                                   ULARGE_INTEGER*) override;
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override;
  HRESULT STDMETHODCALLTYPE Revert() override;
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override;
  HRESULT STDMETHODCALLTYPE Stat(STATSTG*, DWORD) override;
  HRESULT STDMETHODCALLTYPE Clone(IStream**) override;

  // STREAM_TIMEOUT_READ, in milliseconds.
  HRESULT STDMETHODCALLTYPE SetRapiStat(RAPISTREAMFLAG flag, DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetRapiStat(RAPISTREAMFLAG flag, DWORD* value) override;

 private:
  ~RapiStream();
  std::atomic<ULONG> refs_{1};
  int fd_;
  std::atomic<DWORD> readTimeoutMs_;
};

}  // namespace qwb::rapi
