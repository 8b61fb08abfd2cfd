// The session calls, CeRapiInvoke and the desktop-side sync calls.
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

#include "platform/rapi/Rapi2Calls.h"
#include "platform/rapi/RapiSession.h"
#include "platform/rapi/RapiStream.h"
#include "wincompat/rapi.h"
#include "wincompat/rapi_testhooks.h"
#include "wincompat/winbase.h"

using qwb::rapi::Call;
using qwb::rapi::ExchangeReply;
using qwb::rapi::Session;

namespace {

std::mutex g_syncMu;
wincompat::RapiSyncCounts g_sync;
bool g_syncStopped = false;

void CountInvoke() {
  std::lock_guard lk(g_syncMu);
  ++g_sync.invokes;
  if (!g_syncStopped) ++g_sync.invokesWithoutSyncStop;
  g_syncStopped = false;
}

// The outcome of a call that did not use the main connection.
HRESULT Publish(DWORD pcError, HRESULT rapiError, HRESULT result) {
  qwb::rapi::SetThreadRapiError(rapiError);
  SetLastError(pcError);
  return result;
}

HRESULT TransportFailure(DWORD err) {
  return Publish(err, HRESULT_FROM_WIN32(err), HRESULT_FROM_WIN32(err));
}

// Stream mode: the same request on a connection of its own, which then carries raw bytes.
HRESULT InvokeStream(std::vector<uint8_t> frame, IRAPIStream** ppStream) {
  DWORD err = 0;
  int timeoutMs = 0;
  int fd = Session::Get().OpenExtraConnection(&err, &timeoutMs);
  if (fd < 0) return TransportFailure(err);
  std::vector<uint8_t> reply;
  rapi2::IoResult r = rapi2::SendAll(fd, frame.data(), frame.size());
  if (r == rapi2::IoResult::kOk) r = rapi2::RecvFrame(fd, &reply, timeoutMs);
  if (r != rapi2::IoResult::kOk) {
    ::close(fd);
    if (r == rapi2::IoResult::kTooLarge) {
      return TransportFailure(ERROR_INVALID_DATA);
    }
    return TransportFailure(r == rapi2::IoResult::kTimeout ? ERROR_TIMEOUT : WSAECONNRESET);
  }
  // Only the first word counts: the device's error in opening the stream.
  uint32_t deviceError = 0;
  rapi2::Reader reader(reply);
  if (!rapi2::RapiInvoke::ReadStreamReply(reader, &deviceError)) {
    ::close(fd);
    return TransportFailure(ERROR_INVALID_DATA);
  }
  if (deviceError != 0) {
    ::close(fd);
    return Publish(0, S_OK, E_FAIL);
  }
  *ppStream = new qwb::rapi::RapiStream(fd, static_cast<DWORD>(timeoutMs));
  return Publish(0, S_OK, S_OK);
}

}  // namespace

namespace wincompat {

RapiSyncCounts GetRapiSyncCounts() {
  std::lock_guard lk(g_syncMu);
  return g_sync;
}

void ResetRapiSyncCounts() {
  std::lock_guard lk(g_syncMu);
  g_sync = RapiSyncCounts{};
  g_syncStopped = false;
}

}  // namespace wincompat

// C linkage comes from the declarations in rapi.h.
HRESULT WINAPI CeRapiInit(void) { return Session::Get().Init(); }

HRESULT WINAPI CeRapiInitEx(RAPIINIT* pRapiInit) { return Session::Get().InitEx(pRapiInit); }

HRESULT WINAPI CeRapiUninit(void) { return Session::Get().Uninit(); }

HRESULT WINAPI CeRapiGetError(void) { return qwb::rapi::ThreadRapiError(); }

DWORD WINAPI CeGetLastError(void) { return qwb::rapi::ThreadDeviceError(); }

HRESULT WINAPI CeRapiFreeBuffer(LPVOID Buffer) {
  if (Buffer) LocalFree(Buffer);
  return S_OK;
}

HRESULT WINAPI CeSyncStart(LPCWSTR) {
  std::lock_guard lk(g_syncMu);
  ++g_sync.syncStarts;
  return S_OK;
}

HRESULT WINAPI CeSyncStop(void) {
  std::lock_guard lk(g_syncMu);
  ++g_sync.syncStops;
  g_syncStopped = true;
  return S_OK;
}

HRESULT WINAPI CeRapiInvoke(LPCWSTR pDllPath, LPCWSTR pFunctionName, DWORD cbInput, BYTE* pInput,
                            DWORD* pcbOutput, BYTE** ppOutput, IRAPIStream** ppIRAPIStream,
                            DWORD dwReserved) {
  CountInvoke();
  if (pcbOutput) *pcbOutput = 0;
  if (ppOutput) *ppOutput = nullptr;
  if (ppIRAPIStream) *ppIRAPIStream = nullptr;
  if (cbInput > 0 && !pInput) {
    qwb::rapi::SetThreadDeviceError(ERROR_INVALID_PARAMETER);
    return Publish(ERROR_INVALID_PARAMETER, S_OK, E_INVALIDARG);
  }
  rapi2::RapiInvoke::Request q;
  q.reserved = dwReserved;
  q.dllNull = pDllPath == nullptr;
  if (pDllPath) q.dll = pDllPath;
  q.functionNull = pFunctionName == nullptr;
  if (pFunctionName) q.function = pFunctionName;
  q.input = pInput;
  q.inputSize = pInput ? cbInput : 0;
  q.mode = ppIRAPIStream ? 1 : 0;
  rapi2::Writer request;
  rapi2::RapiInvoke::WriteRequest(request, q);
  if (ppIRAPIStream) return InvokeStream(request.Finish(), ppIRAPIStream);

  Call c(std::move(request));
  rapi2::RapiInvoke::Reply rep;
  if (!ExchangeReply(c, &rep,
                     [](rapi2::Reader& r, auto* p) { return rapi2::RapiInvoke::ReadReply(r, p); }))
    return c.HresultFailure();
  // A failing function sends nothing after its HRESULT.
  if (rep.hr < 0) return rep.hr;
  const uint32_t cbOutput = rep.outputSize;
  const uint8_t* output = rep.output;
  if (cbOutput > 0 && ppOutput) {
    // LocalAlloc, so that both CeRapiFreeBuffer and LocalFree release it.
    BYTE* buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, cbOutput));
    if (!buffer) {
      c.Refused(ERROR_NOT_ENOUGH_MEMORY);
      return E_OUTOFMEMORY;
    }
    std::memcpy(buffer, output, cbOutput);
    *ppOutput = buffer;
  }
  if (pcbOutput) *pcbOutput = cbOutput;
  return rep.hr;
}
