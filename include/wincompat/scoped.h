// Ownership of what the Windows platform hands out outside COM objects: LocalAlloc blocks and
// the per-thread COM initialisation.
#pragma once

#include <memory>

#include "wincompat/com.h"
#include "wincompat/winbase.h"

// A LocalAlloc block owned until it goes (LocalFree): request and reply buffers of the
// device-side service travel in these.
struct LocalFreeDeleter {
  void operator()(BYTE* p) const { LocalFree(p); }
};
using LocalBuffer = std::unique_ptr<BYTE, LocalFreeDeleter>;

// COM initialised for as long as the scope lives: CoInitialize on construction and, only
// when that succeeded (S_OK or S_FALSE), the one CoUninitialize that balances it at the end.
class ComInitScope {
 public:
  ComInitScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComInitScope() {
    if (initialised_) CoUninitialize();
  }
  ComInitScope(const ComInitScope&) = delete;
  ComInitScope& operator=(const ComInitScope&) = delete;
  bool initialised() const { return initialised_; }

 private:
  bool initialised_;
};
