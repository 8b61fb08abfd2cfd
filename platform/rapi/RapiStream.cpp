#include "platform/rapi/RapiStream.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "platform/rapi/Rapi2Wire.h"
#include "platform/rapi/RapiSession.h"
#include "wincompat/winbase.h"

namespace qwb::rapi {
namespace {

// Publishes the outcome of a stream operation like any other RAPI call.
HRESULT Outcome(DWORD err) {
  SetThreadRapiError(err ? HRESULT_FROM_WIN32(err) : S_OK);
  SetLastError(err);
  return err ? HRESULT_FROM_WIN32(err) : S_OK;
}

}  // namespace

RapiStream::~RapiStream() { ::close(fd_); }

HRESULT RapiStream::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
    *ppv = static_cast<IRAPIStream*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG RapiStream::AddRef() { return ++refs_; }

ULONG RapiStream::Release() {
  ULONG n = --refs_;
  if (n == 0) delete this;
  return n;
}

HRESULT RapiStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
  if (pcbRead) *pcbRead = 0;
  if (cb && !pv) return E_INVALIDARG;
  using Clock = std::chrono::steady_clock;
  const DWORD timeoutMs = readTimeoutMs_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  uint8_t* p = static_cast<uint8_t*>(pv);
  ULONG got = 0;
  DWORD err = 0;
  while (got < cb) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
      err = ERROR_TIMEOUT;
      break;
    }
    pollfd pfd{fd_, POLLIN, 0};
    int r = ::poll(&pfd, 1, static_cast<int>(std::min<int64_t>(left.count(), INT32_MAX)));
    if (r < 0 && errno == EINTR) continue;
    if (r == 0) {
      err = ERROR_TIMEOUT;
      break;
    }
    ssize_t n = r < 0 ? -1 : ::recv(fd_, p + got, cb - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      err = WSAECONNRESET;
      break;
    }
    got += static_cast<ULONG>(n);
  }
  if (pcbRead) *pcbRead = got;
  return Outcome(err);
}

HRESULT RapiStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten) {
  if (pcbWritten) *pcbWritten = 0;
  if (cb && !pv) return E_INVALIDARG;
  rapi2::IoResult r = rapi2::SendAll(fd_, pv, cb);
  if (r != rapi2::IoResult::kOk) return Outcome(WSAECONNRESET);
  if (pcbWritten) *pcbWritten = cb;
  return Outcome(0);
}

HRESULT RapiStream::Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) { return E_NOTIMPL; }
HRESULT RapiStream::SetSize(ULARGE_INTEGER) { return E_NOTIMPL; }
HRESULT RapiStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) {
  return E_NOTIMPL;
}
HRESULT RapiStream::Commit(DWORD) { return E_NOTIMPL; }
HRESULT RapiStream::Revert() { return E_NOTIMPL; }
HRESULT RapiStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }
HRESULT RapiStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }
HRESULT RapiStream::Stat(STATSTG*, DWORD) { return E_NOTIMPL; }
HRESULT RapiStream::Clone(IStream**) { return E_NOTIMPL; }

HRESULT RapiStream::SetRapiStat(RAPISTREAMFLAG flag, DWORD value) {
  if (flag != STREAM_TIMEOUT_READ || value == 0) return E_INVALIDARG;
  readTimeoutMs_ = value;
  return S_OK;
}

HRESULT RapiStream::GetRapiStat(RAPISTREAMFLAG flag, DWORD* value) {
  if (flag != STREAM_TIMEOUT_READ || !value) return E_INVALIDARG;
  *value = readTimeoutMs_;
  return S_OK;
}

}  // namespace qwb::rapi
