#include "platform/rapi/RapiSession.h"

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "wincompat/winbase.h"

namespace qwb::rapi {
namespace {

thread_local HRESULT t_rapiError = S_OK;
thread_local DWORD t_deviceError = 0;

// Until a connect finishes the caller's RAPIINIT says so.
constexpr HRESULT kPending = static_cast<HRESULT>(0x8000000Au);

}  // namespace

HRESULT ThreadRapiError() { return t_rapiError; }
DWORD ThreadDeviceError() { return t_deviceError; }
void SetThreadRapiError(HRESULT hr) { t_rapiError = hr; }
void SetThreadDeviceError(DWORD code) { t_deviceError = code; }

// A caller waiting for a connect: a CeRapiInitEx (event and RAPIINIT) or a CeRapiInit.
struct Session::Waiter {
  RAPIINIT* init = nullptr;
  HANDLE event = nullptr;
  bool done = false;
  bool abandoned = false;  // its CeRapiUninit came first: touch neither init nor event
  HRESULT hr = kPending;
};

// One connect in the background. A connect counts only once the device answered a first
// request: a socket that is accepted by the kernel but never served is no device.
struct Session::Attempt {
  DeviceAddress address;
  int timeoutMs = 0;
  int cancelFd = -1;  // eventfd, written to abandon the attempt
  int fd = -1;        // the socket while the first request is in flight
  bool cancelled = false;
  std::vector<std::shared_ptr<Waiter>> waiters;
};

Session& Session::Get() {
  static Session* session = new Session;
  return *session;
}

void Session::StartAttemptLocked(const DeviceAddress& address, int timeoutMs) {
  auto a = std::make_shared<Attempt>();
  a->address = address;
  a->timeoutMs = timeoutMs;
  a->cancelFd = ::eventfd(0, EFD_CLOEXEC);
  attempt_ = a;
  std::thread([this, a] { RunAttempt(a); }).detach();
}

void Session::RunAttempt(std::shared_ptr<Attempt> a) {
  DWORD err = 0;
  int fd = ConnectDevice(a->address, a->timeoutMs, a->cancelFd, &err);
  if (fd >= 0) {
    bool cancelled;
    {
      std::lock_guard lk(mu_);
      cancelled = a->cancelled;
      if (!cancelled) a->fd = fd;
    }
    if (cancelled) {
      err = ERROR_CONNECTION_UNAVAIL;
    } else {
      // The device answers any request with a frame; the version query changes nothing.
      std::vector<uint8_t> frame = rapi2::Writer().u32(rapi2::kGetVersionEx).Finish();
      std::vector<uint8_t> reply;
      rapi2::IoResult r = rapi2::SendAll(fd, frame.data(), frame.size());
      if (r == rapi2::IoResult::kOk) r = rapi2::RecvFrame(fd, &reply, a->timeoutMs);
      // A device that hangs up before answering at all (an unplugged phone does) never
      // gave us a connection.
      if (r == rapi2::IoResult::kTimeout) {
        err = ERROR_TIMEOUT;
      } else if (r != rapi2::IoResult::kOk) {
        err = ERROR_CONNECTION_UNAVAIL;
      }
    }
  }
  std::lock_guard lk(mu_);
  a->fd = -1;
  if (a->cancelFd >= 0) ::close(a->cancelFd);
  a->cancelFd = -1;
  if (a->cancelled || attempt_ != a) {
    if (fd >= 0) ::close(fd);
    return;
  }
  attempt_.reset();
  if (err == 0) {
    fd_ = fd;
    connected_ = true;
  } else if (fd >= 0) {
    ::close(fd);
  }
  const HRESULT hr = err == 0 ? S_OK : HRESULT_FROM_WIN32(err);
  for (auto& w : a->waiters) {
    // A device that never answered leaves the events of CeRapiInitEx unsignalled, as the
    // wait of a caller expects; only callers blocked in CeRapiInit learn of the time-out.
    if (err != ERROR_TIMEOUT || !w->event) ResolveLocked(*w, hr);
  }
  cv_.notify_all();
}

void Session::ResolveLocked(Waiter& w, HRESULT hr) {
  if (w.done || w.abandoned) return;
  w.done = true;
  w.hr = hr;
  if (w.init) w.init->hrRapiInit = hr;
  if (w.event) SetEvent(w.event);
}

void Session::CancelAttemptLocked() {
  if (!attempt_) return;
  attempt_->cancelled = true;
  if (attempt_->cancelFd >= 0) {
    uint64_t one = 1;
    ssize_t unused = ::write(attempt_->cancelFd, &one, sizeof(one));
    (void)unused;
  }
  if (attempt_->fd >= 0) ::shutdown(attempt_->fd, SHUT_RDWR);
  // Callers blocked in CeRapiInit learn that there is no connection.
  for (auto& w : attempt_->waiters) {
    if (!w->event) ResolveLocked(*w, HRESULT_FROM_WIN32(ERROR_CONNECTION_UNAVAIL));
  }
  attempt_.reset();
  cv_.notify_all();
}

HRESULT Session::Init() {
  std::unique_lock lk(mu_);
  if (connected_ && count_ > 0) {
    SetLastError(0);
    return CERAPI_E_ALREADYINITIALIZED;
  }
  if (!attempt_) {
    DeviceAddress address = DeviceAddressFromEnvironment();
    if (address.kind == DeviceAddress::kNone) {
      SetLastError(ERROR_CONNECTION_UNAVAIL);
      return HRESULT_FROM_WIN32(ERROR_CONNECTION_UNAVAIL);
    }
    address_ = address;
    timeoutMs_ = ReceiveTimeoutFromEnvironment();
    StartAttemptLocked(address_, timeoutMs_);
  }
  auto w = std::make_shared<Waiter>();
  attempt_->waiters.push_back(w);
  cv_.wait(lk, [&] { return w->done; });
  if (SUCCEEDED(w->hr)) {
    ++count_;
    inits_.push_back(nullptr);
  }
  SetLastError(SUCCEEDED(w->hr) ? 0 : HRESULT_CODE(w->hr));
  return w->hr;
}

HRESULT Session::InitEx(RAPIINIT* init) {
  // 12 is the size the structure has in 32-bit callers.
  if (!init || (init->cbSize != 12 && init->cbSize != sizeof(RAPIINIT))) return E_INVALIDARG;
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!event) return E_FAIL;
  init->heRapiInit = event;
  init->hrRapiInit = kPending;
  auto w = std::make_shared<Waiter>();
  w->init = init;
  w->event = event;
  std::lock_guard lk(mu_);
  ++count_;
  inits_.push_back(w);
  if (connected_) {
    ResolveLocked(*w, S_OK);
  } else {
    if (!attempt_) {
      DeviceAddress address = DeviceAddressFromEnvironment();
      if (address.kind == DeviceAddress::kNone) {
        ResolveLocked(*w, HRESULT_FROM_WIN32(ERROR_CONNECTION_UNAVAIL));
        SetLastError(0);
        return S_OK;
      }
      address_ = address;
      timeoutMs_ = ReceiveTimeoutFromEnvironment();
      StartAttemptLocked(address_, timeoutMs_);
    }
    attempt_->waiters.push_back(w);
  }
  SetLastError(0);
  return S_OK;
}

HRESULT Session::Uninit() {
  std::lock_guard call(callMu_);
  std::lock_guard lk(mu_);
  if (count_ == 0) return E_FAIL;
  --count_;
  std::shared_ptr<Waiter> w = std::move(inits_.back());
  inits_.pop_back();
  if (w) {
    // The caller may free its RAPIINIT once it has uninitialised; a connect finishing
    // later must not reach it. The event was ours to create and is ours to close.
    w->abandoned = true;
    if (attempt_) std::erase(attempt_->waiters, w);
    CloseHandle(w->event);
  }
  if (count_ == 0) {
    CancelAttemptLocked();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    connected_ = false;
  }
  return S_OK;
}

namespace {
std::atomic<ExchangeHook> g_exchangeHook{nullptr};
}  // namespace

void SetExchangeHookForFuzzing(ExchangeHook hook) { g_exchangeHook = hook; }

DWORD Session::Exchange(const std::vector<uint8_t>& frame, std::vector<uint8_t>* reply) {
  return Exchange(frame, nullptr, 0, reply);
}

DWORD Session::Exchange(const std::vector<uint8_t>& head, const uint8_t* tail, size_t tailSize,
                        std::vector<uint8_t>* reply) {
  std::lock_guard call(callMu_);
  if (ExchangeHook hook = g_exchangeHook.load()) {
    if (tailSize == 0) return hook(head, reply);
    std::vector<uint8_t> frame(head);
    frame.insert(frame.end(), tail, tail + tailSize);
    return hook(frame, reply);
  }
  int fd;
  int timeoutMs;
  {
    std::lock_guard lk(mu_);
    if (!connected_) return ERROR_CONNECTION_UNAVAIL;
    fd = fd_;
    timeoutMs = timeoutMs_;
  }
  rapi2::IoResult r = rapi2::SendAll(fd, head.data(), head.size(), tail, tailSize);
  if (r == rapi2::IoResult::kOk) r = rapi2::RecvFrame(fd, reply, timeoutMs);
  if (r == rapi2::IoResult::kOk) return 0;
  // A timed-out reply could still arrive and answer the next request: the connection is
  // dropped on every failure, so the session is gone until the next CeRapiInit*.
  {
    std::lock_guard lk(mu_);
    ::close(fd_);
    fd_ = -1;
    connected_ = false;
  }
  switch (r) {
    case rapi2::IoResult::kTimeout:
      return ERROR_TIMEOUT;
    case rapi2::IoResult::kTooLarge:
      return ERROR_INVALID_DATA;
    default:
      return WSAECONNRESET;
  }
}

int Session::OpenExtraConnection(DWORD* error, int* timeoutMs) {
  DeviceAddress address;
  {
    std::lock_guard lk(mu_);
    if (!connected_) {
      *error = ERROR_CONNECTION_UNAVAIL;
      return -1;
    }
    address = address_;
    *timeoutMs = timeoutMs_;
  }
  return ConnectDevice(address, *timeoutMs, -1, error);
}

Call::~Call() {
  SetLastError(pcError_);
  rapi2::GiveBuffer(std::move(reply_));
}

namespace {
// One failed exchange: the session is gone (Session::Exchange closed it).
void PublishTransportFailure(DWORD err, DWORD* pcError) {
  *pcError = err;
  t_rapiError = HRESULT_FROM_WIN32(err);
}
}  // namespace

bool Call::ExchangeFrame() {
  std::vector<uint8_t> frame = req_.Finish(tailSize_);
  reply_ = rapi2::TakeBuffer();
  DWORD err = Session::Get().Exchange(frame, tail_, tailSize_, &reply_);
  rapi2::GiveBuffer(std::move(frame));
  if (err != 0) {
    PublishTransportFailure(err, &pcError_);
    return false;
  }
  reader_ = rapi2::Reader(reply_);
  t_rapiError = S_OK;
  pcError_ = 0;
  return true;
}

bool Call::Exchange() {
  if (!ExchangeFrame()) return false;
  uint32_t deviceError;
  if (!reader_.u32(&deviceError)) {
    ShortReply();
    return false;
  }
  t_deviceError = deviceError;
  return true;
}

void Call::DeviceError(uint32_t code) { t_deviceError = code; }

void Call::ShortReply() {
  t_rapiError = S_OK;
  pcError_ = 0;
}

bool Call::Complete() {
  if (reader_.ok()) return true;
  ShortReply();
  return false;
}

LONG Call::RegistryFailure() const {
  return pcError_ ? static_cast<LONG>(pcError_) : ERROR_GEN_FAILURE;
}

HRESULT Call::HresultFailure() const { return pcError_ ? HRESULT_FROM_WIN32(pcError_) : E_FAIL; }

void Call::Refused(DWORD code) {
  pcError_ = code;
  t_deviceError = code;
  t_rapiError = S_OK;
}

}  // namespace qwb::rapi
