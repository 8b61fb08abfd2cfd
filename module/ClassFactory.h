// The class factory of DeviceDataWM and the module's class table (one class).
#pragma once

#include "wincompat/com.h"

namespace qwb {

// DllGetClassObject's work: the factory of DeviceDataWM, CLASS_E_CLASSNOTAVAILABLE otherwise.
HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);

// DllCanUnloadNow's work: S_OK when no object and no server lock is alive.
HRESULT CanUnloadNow();

}  // namespace qwb
