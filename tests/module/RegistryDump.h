// The registry store read back as text lines: one line per key ("HKCR\\path") and one per value
// ("HKCR\\path|name=value", "@" for the default value), sorted.
#pragma once

#include <set>
#include <string>

#include "wincompat/winreg.h"

namespace qwbtest {

inline std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

inline void DumpKey(HKEY key, const std::string& path, std::set<std::string>* out) {
  out->insert(path);
  for (DWORD i = 0;; ++i) {
    char16_t name[512];
    DWORD nameLen = 512;
    BYTE data[8192];
    DWORD dataLen = sizeof data;
    DWORD type = 0;
    if (RegEnumValueW(key, i, name, &nameLen, nullptr, &type, data, &dataLen) != ERROR_SUCCESS)
      break;
    std::u16string valueName(name, nameLen);
    std::string text;
    if (type == REG_SZ) {
      std::u16string s(reinterpret_cast<const char16_t*>(data), dataLen / 2);
      while (!s.empty() && s.back() == u'\0') s.pop_back();
      text = Narrow(s);
    } else {
      text = "<type " + std::to_string(type) + ">";
    }
    out->insert(path + "|" + (valueName.empty() ? "@" : Narrow(valueName)) + "=" + text);
  }
  for (DWORD i = 0;; ++i) {
    char16_t name[512];
    DWORD nameLen = 512;
    if (RegEnumKeyExW(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
      break;
    std::u16string sub(name, nameLen);
    HKEY child = nullptr;
    if (RegOpenKeyExW(key, sub.c_str(), 0, KEY_READ, &child) == ERROR_SUCCESS) {
      DumpKey(child, path + "\\" + Narrow(sub), out);
      RegCloseKey(child);
    }
  }
}

inline std::set<std::string> DumpClassesRoot() {
  std::set<std::string> out;
  DumpKey(HKEY_CLASSES_ROOT, "HKCR", &out);
  return out;
}

}  // namespace qwbtest
