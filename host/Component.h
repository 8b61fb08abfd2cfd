// Registering the component in the registry store and creating it the way every host does:
// through CoCreateInstance.
#pragma once

#include <string>

#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/comptr.h"

namespace qwbhost {

// The folder of the running executable (where the build puts every binary and library).
std::string ExecutableFolder();
// A library of ours by file name: beside the executable (the build folder), else in the
// installed library folder relative to the executable's (bin/../lib).
std::string InstalledLibraryPath(const std::string& file);
// The component's and the error reporter's server libraries, by their SONAME file.
std::string ComponentLibraryPath();
std::string ErrorReportLibraryPath();
// WMModelProfile.xml: beside the executable, else in the installed data folder
// (bin/../share/qwbdcawm).
std::string ModelProfilePath();

// Loads `libraryPath` and runs its DllRegisterServer (or DllUnregisterServer) in this
// process; the registry store is the one of QWBDCAWM_REGISTRY / the default path.
// CO_E_DLLNOTFOUND when it does not load, CO_E_ERRORINDLL without the export.
HRESULT RegisterServerLibrary(const std::string& libraryPath, bool unregister = false);

// The InprocServer32 path the registry store gives for `clsid`, or empty.
std::u16string RegisteredServerPath(const CLSID& clsid);

// Registers the server library unless the store already leads `clsid` to that very file.
// Returns the registration's HRESULT, or S_FALSE when nothing had to be done.
HRESULT EnsureServerRegistered(const CLSID& clsid, const std::string& libraryPath);
HRESULT EnsureComponentRegistered(const std::string& libraryPath = ComponentLibraryPath());

// CoCreateInstance(CLSID_DeviceDataWM) for IDeviceData.
HRESULT CreateDeviceData(ComPtr<IDeviceData>* out);
// The same through the ProgID ("QWBDCAWM.DeviceDataWM.1" or the version-independent one).
HRESULT CreateDeviceDataByProgID(const char16_t* progId, ComPtr<IDeviceData>* out);

}  // namespace qwbhost
