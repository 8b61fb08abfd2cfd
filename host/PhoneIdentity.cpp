#include "host/PhoneIdentity.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <optional>

#include "host/HostError.h"
#include "host/Text.h"
#include "wincompat/rapi.h"
#include "wincompat/winreg.h"

namespace qwbhost {
namespace {

// One string value of HKEY_LOCAL_MACHINE\Ident; nullopt when the phone does not have it.
std::optional<std::string> IdentValue(const char16_t* name) {
  HKEY key = nullptr;
  if (CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Ident", 0, 0, &key) != ERROR_SUCCESS)
    return std::nullopt;
  std::u16string buffer(256, u'\0');
  DWORD type = 0, size = static_cast<DWORD>(buffer.size() * sizeof(char16_t));
  LONG rc =
      CeRegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
  CeRegCloseKey(key);
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  buffer.resize(size / sizeof(char16_t));
  while (!buffer.empty() && buffer.back() == u'\0') buffer.pop_back();
  return Utf8(buffer);
}

}  // namespace

std::string GuidKey(const std::string& text) {
  std::string s = text;
  if (s.size() == 38 && s.front() == '{' && s.back() == '}') s = s.substr(1, 36);
  if (s.size() != 36) return {};
  for (size_t i = 0; i < s.size(); ++i) {
    bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? s[i] != '-' : !std::isxdigit(static_cast<unsigned char>(s[i]))) return {};
    s[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(s[i])));
  }
  return s;
}

std::string NameKey(const std::string& model, const std::string& name) {
  // FNV-1a over "model\nname": stable across runs and builds.
  uint64_t h = 14695981039346656037ull;
  for (unsigned char c : model + "\n" + name) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char buf[20];
  std::snprintf(buf, sizeof buf, "n%016llx", static_cast<unsigned long long>(h));
  return buf;
}

PhoneIdentity ReadPhoneIdentity() {
  HRESULT hr = CeRapiInit();
  // Already initialized: the session belongs to the component, whose count stays as it is.
  bool ours = SUCCEEDED(hr) && hr != CERAPI_E_ALREADYINITIALIZED;
  if (FAILED(hr) && hr != CERAPI_E_ALREADYINITIALIZED) ThrowHr("reading the phone's identity", hr);
  PhoneIdentity id;
  std::optional<std::string> guid = IdentValue(u"DeviceGuid");
  if (guid && !GuidKey(*guid).empty()) {
    id.key = GuidKey(*guid);
    id.source = "device GUID " + *guid;
    id.unique = true;
  } else {
    std::string model = IdentValue(u"OrigName").value_or("");
    std::string name = IdentValue(u"Name").value_or("");
    id.key = NameKey(model, name);
    id.source = "model \"" + model + "\" and device name \"" + name + "\"";
  }
  if (ours) CeRapiUninit();
  return id;
}

}  // namespace qwbhost
