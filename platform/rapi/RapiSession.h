// The one process-wide RAPI session: the main connection to the device, counted by
// CeRapiInit*/CeRapiUninit, and the per-thread results of the last call (CeRapiGetError,
// CeGetLastError).
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/rapi/DeviceAddress.h"
#include "platform/rapi/Rapi2Wire.h"
#include "wincompat/rapi.h"

namespace qwb::rapi {

class Session {
 public:
  // Never destroyed: background connects may still be finishing while the process exits.
  static Session& Get();

  HRESULT Init();
  HRESULT InitEx(RAPIINIT* init);
  HRESULT Uninit();

  // One request/reply exchange on the main connection, serialised with every other call.
  // Returns 0, or the Win32 number of the transport failure (the session is then gone);
  // ERROR_INVALID_DATA when the reply frame was larger than any valid reply.
  DWORD Exchange(const std::vector<uint8_t>& frame, std::vector<uint8_t>* reply);
  // The same for a frame whose last `tailSize` bytes are at `tail` (sent from there, not
  // copied after the head).
  DWORD Exchange(const std::vector<uint8_t>& head, const uint8_t* tail, size_t tailSize,
                 std::vector<uint8_t>* reply);

  // Opens one more connection to the device of the live session (for stream invocations).
  // Returns the socket or -1 with *error set; *timeoutMs receives the session's timeout.
  int OpenExtraConnection(DWORD* error, int* timeoutMs);

 private:
  struct Waiter;
  struct Attempt;
  Session() = default;
  void StartAttemptLocked(const DeviceAddress& address, int timeoutMs);
  void RunAttempt(std::shared_ptr<Attempt> attempt);
  void ResolveLocked(Waiter& w, HRESULT hr);
  void CancelAttemptLocked();

  std::mutex callMu_;  // one exchange at a time on the main connection
  std::mutex mu_;      // everything below
  std::condition_variable cv_;
  int count_ = 0;
  bool connected_ = false;
  int fd_ = -1;
  DeviceAddress address_;
  int timeoutMs_ = 30000;
  std::shared_ptr<Attempt> attempt_;
  // One entry per counted CeRapiInit* (null for CeRapiInit); CeRapiUninit pops the last.
  std::vector<std::shared_ptr<Waiter>> inits_;
};

// For the fuzz targets, which link the client's sources directly: every exchange on the main
// connection goes to `hook` instead of the device (null restores the device). The hook
// returns 0 with the reply payload in *reply, or the Win32 number of a transport failure.
using ExchangeHook = DWORD (*)(const std::vector<uint8_t>& frame, std::vector<uint8_t>* reply);
void SetExchangeHookForFuzzing(ExchangeHook hook);

// The results of the calling thread's last RAPI call.
HRESULT ThreadRapiError();
DWORD ThreadDeviceError();
void SetThreadRapiError(HRESULT hr);
void SetThreadDeviceError(DWORD code);

// One RAPI call on the main connection. Build the request, Exchange(), read the reply
// fields, then Complete(). Errors are published as the call goes; the PC's last error is set
// when the Call goes out of scope, i.e. as the API function returns.
//
// A reply that arrived but does not hold the call's fixed fields whole (it ends early, or a
// count in it promises more than it holds or than the call allows) is a short reply: the call
// returns its own failure value, the device error is word 0 when that arrived, CeRapiGetError
// is S_OK and the connection stays. Only a failed exchange (closed, timed out, a frame beyond
// the limit) is a transport failure, which ends the session.
class Call {
 public:
  explicit Call(uint32_t command) { req_.u32(command); }
  // A request built elsewhere, command word included.
  explicit Call(rapi2::Writer request) : req_(std::move(request)) {}
  // A request whose last `tailSize` bytes stay where they are until they are sent; they must
  // outlive the exchange.
  Call(rapi2::Writer head, const uint8_t* tail, size_t tailSize)
      : req_(std::move(head)), tail_(tail), tailSize_(tailSize) {}
  ~Call();
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  rapi2::Writer& Request() { return req_; }
  // True when a reply arrived and its word 0 (the device's last error) was read; the reply
  // reader then stands at word 1. A reply without word 0 is a short reply.
  bool Exchange();
  // For calls whose codec reads the whole reply: true when a reply frame arrived; the reply
  // reader then stands at its first byte. The codec publishes word 0 with DeviceError().
  bool ExchangeFrame();
  void DeviceError(uint32_t code);
  // The reply is short (see above); the caller returns its failure value.
  void ShortReply();
  rapi2::Reader& Reply() { return reader_; }
  // True when every field read so far arrived whole; otherwise a short reply. Bytes after the
  // call's fields are a device's surplus and are dropped.
  bool Complete();
  // The arguments were refused before anything was sent.
  void Refused(DWORD code);
  // The Win32 number of this call's transport failure (0 when a reply arrived).
  DWORD Failure() const { return pcError_; }
  // The failure values of the registry and HRESULT calls: the transport failure when there
  // was one, else (a short reply) a general failure.
  LONG RegistryFailure() const;
  HRESULT HresultFailure() const;

 private:
  rapi2::Writer req_;
  const uint8_t* tail_ = nullptr;
  size_t tailSize_ = 0;
  std::vector<uint8_t> reply_;
  rapi2::Reader reader_{nullptr, 0};
  DWORD pcError_ = 0;
};

// Exchanges the call's request and reads the whole reply with `read(reader, reply)` (a
// codec's ReadReply, whose Reply starts at the call's failure values). Word 0, when it
// arrived, becomes the device error. False on a transport failure or a short reply: the
// caller then returns its failure value.
template <class Reply, class Read>
bool ExchangeReply(Call& c, Reply* reply, Read read) {
  if (!c.ExchangeFrame()) return false;
  rapi2::Reader& r = c.Reply();
  const bool wordZero = r.remaining() >= 4;
  const bool complete = read(r, reply);
  if (wordZero) c.DeviceError(reply->lastErr);
  if (!complete) c.ShortReply();
  return complete;
}

}  // namespace qwb::rapi

namespace qwb::rapi {

// Handles and HKEYs are 32-bit on the wire. PC-side they are sign-extended, so that
// INVALID_HANDLE_VALUE and the predefined root keys survive the round trip.
inline uint32_t WireHandle(const void* h) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
}
inline void* PcHandle(uint32_t v) {
  return reinterpret_cast<void*>(static_cast<intptr_t>(static_cast<int32_t>(v)));
}

}  // namespace qwb::rapi
