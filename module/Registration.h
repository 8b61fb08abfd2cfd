// What DllRegisterServer and DllUnregisterServer write into and remove from the registry.
#pragma once

#include <string>

#include "wincompat/wintypes.h"

namespace qwb {

// Registers the application id, the class and the type library with `modulePath` as the
// server library, under LANG_SYSTEM_DEFAULT as the thread locale (restored afterwards).
// Returns the first failing HRESULT.
HRESULT RegisterServer(const std::u16string& modulePath);

// Removes the class, the type library and the application id entries again.
HRESULT UnregisterServer(const std::u16string& modulePath);

}  // namespace qwb
