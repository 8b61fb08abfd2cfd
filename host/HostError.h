// How the CLI reports failures: a usage error exits with 2, a device or component failure
// with 1 and names the HRESULT and the component's error information when there is any.
#pragma once

#include <stdexcept>
#include <string>

#include "wincompat/wintypes.h"

namespace qwbhost {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

class HostError : public std::runtime_error {
 public:
  HostError(int exitCode, const std::string& message)
      : std::runtime_error(message), exitCode_(exitCode) {}
  int exitCode() const { return exitCode_; }

 private:
  int exitCode_;
};

// A usage error (bad option value, unknown id form).
[[noreturn]] void ThrowUsage(const std::string& message);
// A failed component or device call: "<what> failed: hr=0x%08X" followed by the error
// information the thread holds (source and description), when there is any.
[[noreturn]] void ThrowHr(const std::string& what, HRESULT hr);
// ThrowHr when hr failed.
inline void CheckHr(const std::string& what, HRESULT hr) {
  if (FAILED(hr)) ThrowHr(what, hr);
}

// The text ThrowHr builds: the HRESULT in hex and the thread's error information, which
// this call takes (GetErrorInfo clears it).
std::string DescribeFailure(const std::string& what, HRESULT hr);

}  // namespace qwbhost
