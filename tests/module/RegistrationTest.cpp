// DllRegisterServer / DllUnregisterServer of the built library, read back from the registry
// store; and the library's exported surface.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "host/Component.h"
#include "tests/module/RegistryDump.h"
#include "wincompat/winbase.h"

namespace {

namespace fs = std::filesystem;
using qwbtest::DumpClassesRoot;

void WriteKey(const char16_t* path, const char16_t* value) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, path, 0, nullptr, 0, KEY_WRITE,
                                           nullptr, &key, nullptr));
  std::u16string text(value);
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * 2)));
  RegCloseKey(key);
}

// Every key and value registration writes for the library at `library`.
std::set<std::string> Expected(const std::string& library) {
  const std::string appId = "{EB78A53E-B425-4935-B722-245A977D6F01}";
  const std::string libId = "{A9E7204F-93EC-413E-B3A7-8AB180529C20}";
  const std::string clsid = "HKCR\\CLSID\\{6FA1E685-F669-48B8-83B7-84FFB52677CB}";
  const std::string lib = "HKCR\\TypeLib\\" + libId;
  std::set<std::string> keys;
  // A key, and its default value when `value` is given.
  auto add = [&](const std::string& key, const char* value = nullptr) {
    keys.insert(key);
    if (value) keys.insert(key + "|@=" + value);
  };
  add("HKCR\\AppID\\" + appId, "QWBDCAWM");
  add("HKCR\\AppID\\QWBDCAWM.DLL");
  keys.insert("HKCR\\AppID\\QWBDCAWM.DLL|AppID=" + appId);
  for (const char* progId : {"HKCR\\QWBDCAWM.DeviceDataWM.1", "HKCR\\QWBDCAWM.DeviceDataWM"}) {
    add(progId, "DeviceDataWM Class");
    add(std::string(progId) + "\\CLSID", "{6FA1E685-F669-48b8-83B7-84FFB52677CB}");
  }
  add("HKCR\\QWBDCAWM.DeviceDataWM\\CurVer", "QWBDCAWM.DeviceDataWM.1");
  add(clsid, "DeviceDataWM Class");
  keys.insert(clsid + "|AppID=" + appId);
  add(clsid + "\\ProgID", "QWBDCAWM.DeviceDataWM.1");
  add(clsid + "\\VersionIndependentProgID", "QWBDCAWM.DeviceDataWM");
  add(clsid + "\\Programmable");
  add(clsid + "\\InprocServer32", library.c_str());
  keys.insert(clsid + "\\InprocServer32|ThreadingModel=Apartment");
  add(clsid + "\\TypeLib", libId.c_str());
  add(lib);
  add(lib + "\\1.0", "QWBDCAWM 1.0 Type Library");
  add(lib + "\\1.0\\FLAGS", "0");
  add(lib + "\\1.0\\0");
  add(lib + "\\1.0\\0\\win32", library.c_str());
  add(lib + "\\1.0\\HELPDIR", fs::path(library).parent_path().c_str());
  const char* interfaces[][2] = {{"{77084905-DF94-45A6-90DC-C1DA1F58EF64}", "IDeviceData"},
                                 {"{DC9B2A15-A418-458D-8810-1F3FF4B52185}", "IDeviceDataWM"},
                                 {"{1AAA0702-6B57-4600-A90B-B325619840DE}", "IDataTable"},
                                 {"{1738DA9E-76C3-4B87-BDC4-94FB92CB9D18}", "IItem"},
                                 {"{FDC8BD3A-F44C-4C63-A057-B08DA4EAE682}", "IColumnInfo"}};
  for (const auto& [iid, name] : interfaces) {
    const std::string key = std::string("HKCR\\Interface\\") + iid;
    add(key, name);
    add(key + "\\ProxyStubClsid", "{00020424-0000-0000-C000-000000000046}");
    add(key + "\\ProxyStubClsid32", "{00020424-0000-0000-C000-000000000046}");
    add(key + "\\TypeLib", libId.c_str());
    keys.insert(key + "\\TypeLib|Version=1.0");
  }
  return keys;
}

TEST(Registration, WritesExactlyTheListedKeysAndRemovesThemAgain) {
  const std::string library = fs::canonical(qwbhost::ComponentLibraryPath()).string();
  // Someone else's entries under the shared parents, which unregistration must keep.
  WriteKey(u"CLSID\\{11111111-2222-3333-4444-555555555555}", u"Other Class");
  WriteKey(u"AppID\\{11111111-2222-3333-4444-555555555555}", u"Other");
  WriteKey(u"TypeLib\\{11111111-2222-3333-4444-555555555555}", u"Other Library");
  WriteKey(u"Interface\\{11111111-2222-3333-4444-555555555555}", u"IOther");
  const std::set<std::string> before = DumpClassesRoot();

  // A stale class key from an older registration is replaced, not merged.
  WriteKey(u"CLSID\\{6FA1E685-F669-48B8-83B7-84FFB52677CB}\\Stale", u"left over");

  SetThreadLocale(0x0409);
  ASSERT_EQ(S_OK, qwbhost::RegisterServerLibrary(library));
  EXPECT_EQ(0x0409u, GetThreadLocale());

  std::set<std::string> expected = Expected(library);
  expected.insert(before.begin(), before.end());
  EXPECT_EQ(expected, DumpClassesRoot());

  // Registering again gives the same content.
  ASSERT_EQ(S_OK, qwbhost::RegisterServerLibrary(library));
  EXPECT_EQ(expected, DumpClassesRoot());

  ASSERT_EQ(S_OK, qwbhost::RegisterServerLibrary(library, /*unregister=*/true));
  EXPECT_EQ(0x0409u, GetThreadLocale());
  EXPECT_EQ(before, DumpClassesRoot());
  // Unregistering what is not there is no failure.
  EXPECT_EQ(S_OK, qwbhost::RegisterServerLibrary(library, true));
  EXPECT_EQ(before, DumpClassesRoot());
}

TEST(Exports, OnlyTheFourEntryPointsAreVisible) {
  void* library = dlopen(qwbhost::ComponentLibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(nullptr, library) << dlerror();
  for (const char* name :
       {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"}) {
    EXPECT_NE(nullptr, dlsym(library, name)) << name;
  }
  // Nothing of the component's own code is exported.
  for (const char* name :
       {"_ZN3qwb13CanUnloadNowEv", "_ZN3qwb5WMLogEPKcz", "_ZN3qwb15ModuleLockCountEv"}) {
    EXPECT_EQ(nullptr, dlsym(library, name)) << name;
  }
  auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(dlsym(library, "DllGetClassObject"));
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, getClassObject(CLSID_ErrorReport, IID_IClassFactory, &p));
  EXPECT_EQ(nullptr, p);
}

}  // namespace
