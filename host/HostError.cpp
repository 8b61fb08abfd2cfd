#include "host/HostError.h"

#include <cstdio>

#include "host/Text.h"
#include "wincompat/com.h"
#include "wincompat/comptr.h"

namespace qwbhost {

void ThrowUsage(const std::string& message) { throw HostError(kExitUsage, message); }

std::string DescribeFailure(const std::string& what, HRESULT hr) {
  char code[32];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  std::string text = what + " failed: hr=" + code;
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, info.ReleaseAndGetAddressOf()) == S_OK && info) {
    BStr source, description;
    if (SUCCEEDED(info->GetSource(source.Out())) && !source.Empty())
      text += " (" + Utf8(source.Str()) + ")";
    if (SUCCEEDED(info->GetDescription(description.Out())) && !description.Empty())
      text += ": " + Utf8(description.Str());
  }
  return text;
}

void ThrowHr(const std::string& what, HRESULT hr) {
  throw HostError(kExitFailure, DescribeFailure(what, hr));
}

}  // namespace qwbhost
