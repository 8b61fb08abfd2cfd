#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "wincompat/comptr.h"
#include "wincompat/winreg.h"

namespace {

namespace fs = std::filesystem;

constexpr CLSID kClsid = {
    0x0BADF00D, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};
constexpr char16_t kClsidText[] = u"{0BADF00D-1234-5678-9ABC-DEF012345678}";

class Activation : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/wcactXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("QWBDCAWM_REGISTRY", (dir_ + "/registry.reg").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QWBDCAWM_REGISTRY");
    fs::remove_all(dir_);
  }
  static void Set(const std::u16string& key, const char16_t* name, const std::u16string& value) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * 2));
    RegCloseKey(k);
  }
  std::string dir_;
};

TEST_F(Activation, ApartmentsAreCountedPerThread) {
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitializeEx(nullptr, 0), S_FALSE);
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  CoUninitialize();
}

TEST_F(Activation, RegistrationProblems) {
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(p, nullptr);

  const std::u16string key = std::u16string(u"CLSID\\") + kClsidText + u"\\InprocServer32";
  Set(key, u"", u"/nonexistent/libNothing.so");
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), CO_E_DLLNOTFOUND);

  const std::string notALibrary = dir_ + "/libBroken.so";
  std::ofstream(notALibrary) << "not an ELF file";
  Set(key, u"", std::u16string(notALibrary.begin(), notALibrary.end()));
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), CO_E_ERRORINDLL);
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &p),
            REGDB_E_CLASSNOTREG);

  CLSID c;
  EXPECT_EQ(CLSIDFromProgID(u"Nobody.Here.1", &c), CO_E_CLASSSTRING);
  Set(u"Some.Thing.1\\CLSID", u"", kClsidText);
  ASSERT_EQ(CLSIDFromProgID(u"some.thing.1", &c), S_OK);
  EXPECT_EQ(c, kClsid);
  ASSERT_EQ(CLSIDFromString(u"Some.Thing.1", &c), S_OK);  // a ProgID is accepted too
  EXPECT_EQ(c, kClsid);
  LPOLESTR progId = nullptr;
  EXPECT_EQ(ProgIDFromCLSID(kClsid, &progId), REGDB_E_CLASSNOTREG);
  Set(std::u16string(u"CLSID\\") + kClsidText + u"\\ProgID", u"", u"Some.Thing.1");
  ASSERT_EQ(ProgIDFromCLSID(kClsid, &progId), S_OK);
  EXPECT_EQ(std::u16string(progId), u"Some.Thing.1");
  CoTaskMemFree(progId);

  EXPECT_EQ(OleRun(nullptr), E_INVALIDARG);
}

}  // namespace
