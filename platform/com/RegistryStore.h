// Internal helpers of the registry store for the COM runtime.
#pragma once

#include <string>

#include "wincompat/winreg.h"

namespace wincompat::detail {

// Where the store lives now ($QWBDCAWM_REGISTRY, else the XDG config folder).
std::string RegistryPath();
// What the store writes after reading a registry file's text (and nothing else): the
// store's reader followed by its writer, without touching the store file.
std::string RegistryTextOf(const std::string& fileText);
// A REG_SZ value (name "" is the default value) of root\subKey.
bool RegistryReadString(HKEY root, const std::u16string& subKey, const std::u16string& name,
                        std::u16string* out);

}  // namespace wincompat::detail
