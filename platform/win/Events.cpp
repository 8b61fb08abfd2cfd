// Per-thread last error, event objects, Sleep and GetTickCount.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_set>

#include "platform/win/WinInternal.h"
#include "wincompat/winbase.h"

namespace wincompat::detail {

namespace {
std::mutex g_handlesMu;
std::unordered_set<const void*>& LiveHandles() {
  static auto* s = new std::unordered_set<const void*>;
  return *s;
}
}  // namespace

HandleObject::HandleObject() {
  std::lock_guard lock(g_handlesMu);
  LiveHandles().insert(this);
}

HandleObject::~HandleObject() {
  std::lock_guard lock(g_handlesMu);
  LiveHandles().erase(this);
}

HandleObject* FromHandle(HANDLE h) {
  std::lock_guard lock(g_handlesMu);
  return LiveHandles().count(h) ? static_cast<HandleObject*>(h) : nullptr;
}

}  // namespace wincompat::detail

namespace {

thread_local DWORD t_lastError = 0;

struct Event : wincompat::detail::HandleObject {
  std::mutex mu;
  std::condition_variable cv;
  bool manualReset = false;
  bool signaled = false;
};

Event* AsEvent(HANDLE h) { return dynamic_cast<Event*>(wincompat::detail::FromHandle(h)); }

}  // namespace

DWORD WINAPI GetLastError(void) { return t_lastError; }
void WINAPI SetLastError(DWORD dwErrCode) { t_lastError = dwErrCode; }

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName) {
  if (lpName && *lpName) {
    // Named events would be shared between processes; nothing here needs them.
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  auto* e = new Event;
  e->manualReset = bManualReset != FALSE;
  e->signaled = bInitialState != FALSE;
  SetLastError(ERROR_SUCCESS);
  return e;
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
  Event* e = AsEvent(hEvent);
  if (!e) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard lock(e->mu);
    e->signaled = true;
  }
  if (e->manualReset)
    e->cv.notify_all();
  else
    e->cv.notify_one();
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
  Event* e = AsEvent(hEvent);
  if (!e) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard lock(e->mu);
  e->signaled = false;
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  Event* e = AsEvent(hHandle);
  if (!e) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::unique_lock lock(e->mu);
  auto ready = [e] { return e->signaled; };
  if (dwMilliseconds == INFINITE) {
    e->cv.wait(lock, ready);
  } else if (!e->cv.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), ready)) {
    return WAIT_TIMEOUT;
  }
  if (!e->manualReset) e->signaled = false;
  return WAIT_OBJECT_0;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  auto* o = wincompat::detail::FromHandle(hObject);
  if (!o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete o;
  return TRUE;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD WINAPI GetTickCount(void) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count();
  return static_cast<DWORD>(ms);  // wraps after 49.7 days, as it should
}
