#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "errorreport/ErrorReport.h"
#include "wincompat/comptr.h"
#include "wincompat/winreg.h"

namespace {

namespace fs = std::filesystem;

constexpr IID kIDataTable = {
    0x1AAA0702, 0x6B57, 0x4600, {0xA9, 0x0B, 0xB3, 0x25, 0x61, 0x98, 0x40, 0xDE}};
constexpr CLSID kDeviceDataWM = {
    0x6FA1E685, 0xF669, 0x48B8, {0x83, 0xB7, 0x84, 0xFF, 0xB5, 0x26, 0x77, 0xCB}};

// Runs a command, returning its exit status and its standard output.
int RunCommand(const std::string& cmd, std::string* out = nullptr) {
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  char buf[512];
  std::string text;
  while (size_t n = fread(buf, 1, sizeof(buf), p)) text.append(buf, n);
  const int status = pclose(p);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::u16string ReadDefault(const std::u16string& key, const char16_t* name = u"") {
  HKEY k;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS)
    return u"<no key>";
  WCHAR buf[1024];
  DWORD cb = sizeof(buf);
  const LONG e = RegQueryValueExW(k, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &cb);
  RegCloseKey(k);
  return e == ERROR_SUCCESS ? std::u16string(buf, cb / 2 - 1) : u"<no value>";
}

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Every field of an error record: "source | description | help file | GUID | help context".
std::u16string Fields(IErrorInfo* info) {
  BStr source, description, helpFile;
  GUID guid{};
  DWORD ctx = 99;
  WCHAR g[39] = {};
  if (info->GetSource(source.Out()) != S_OK || info->GetDescription(description.Out()) != S_OK ||
      info->GetHelpFile(helpFile.Out()) != S_OK || info->GetGUID(&guid) != S_OK ||
      info->GetHelpContext(&ctx) != S_OK || StringFromGUID2(guid, g, 39) != 39)
    return u"<failed>";
  return source.Str() + u" | " + description.Str() + u" | " + helpFile.Str() + u" | " + g + u" | " +
         Wide(std::to_string(ctx));
}

class ErrorReporter : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/wcerrXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("QWBDCAWM_REGISTRY", (dir_ + "/registry.reg").c_str(), 1);
    std::string out;
    ASSERT_EQ(RunCommand(std::string(REGSVR_PATH) + " " + ERRORREPORT_PATH, &out), 0);
    EXPECT_NE(out.find("DllRegisterServer in"), std::string::npos) << out;
    EXPECT_NE(out.find("succeeded"), std::string::npos) << out;
    CoInitialize(nullptr);
  }
  void TearDown() override {
    CoUninitialize();
    unsetenv("QWBDCAWM_REGISTRY");
    fs::remove_all(dir_);
  }
  static ComPtr<IErrorReport> Create() {
    ComPtr<IErrorReport> r;
    EXPECT_EQ(CoCreateInstance(CLSID_ErrorReport, nullptr, 23, IID_IErrorReport,
                               reinterpret_cast<void**>(r.ReleaseAndGetAddressOf())),
              S_OK);
    return r;
  }
  std::string dir_;
};

TEST_F(ErrorReporter, RegistersItselfAndIsCreatedByClsidAndProgId) {
  WCHAR clsid[40];
  StringFromGUID2(CLSID_ErrorReport, clsid, 40);
  const std::u16string key = std::u16string(u"CLSID\\") + clsid;
  EXPECT_EQ(ReadDefault(key + u"\\InprocServer32"), Wide(fs::canonical(ERRORREPORT_PATH).string()));
  EXPECT_EQ(ReadDefault(key + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
  EXPECT_EQ(ReadDefault(key + u"\\ProgID"), u"QWBDCAWM.ErrorReport.1");

  CLSID byName;
  ASSERT_EQ(CLSIDFromProgID(u"QWBDCAWM.ErrorReport.1", &byName), S_OK);
  EXPECT_EQ(byName, CLSID_ErrorReport);
  ComPtr<IUnknown> unk;
  ASSERT_EQ(CoCreateInstance(byName, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(unk.ReleaseAndGetAddressOf())),
            S_OK);
  ComPtr<IErrorReport> reporter;
  ASSERT_EQ(unk.As(reporter), S_OK);

  // Not aggregatable.
  void* p = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_ErrorReport, unk.Get(), CLSCTX_ALL, IID_IUnknown, &p),
            CLASS_E_NOAGGREGATION);

  // The module stays busy while an object lives.
  void* lib = dlopen(fs::canonical(ERRORREPORT_PATH).c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(lib, nullptr);
  auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(lib, "DllCanUnloadNow"));
  EXPECT_EQ(canUnload(), S_FALSE);
  unk = nullptr;
  reporter = nullptr;
  EXPECT_EQ(canUnload(), S_OK);
  dlclose(lib);
}

TEST_F(ErrorReporter, KeepsTheRecordAndThePreviousErrorInfo) {
  ComPtr<IErrorReport> reporter = Create();
  ASSERT_TRUE(reporter);
  ERROR_REPORT_RECORD rec{};
  rec.hr = static_cast<HRESULT>(0x8004000D);
  rec.description = SysAllocString(u"");
  rec.clsid = kDeviceDataWM;
  rec.iid = kIDataTable;
  rec.method = SysAllocString(u"CDataTableWMTask::NextItem");
  rec.sourceFile = SysAllocString(u".\\DataTableWMTask.cpp");
  rec.line = 412;
  EXPECT_EQ(reporter->ReportError(rec), S_OK);
  // The caller frees its strings right after the call.
  SysFreeString(rec.description);
  SysFreeString(rec.method);
  SysFreeString(rec.sourceFile);

  ComPtr<IErrorInfo> info;
  ASSERT_EQ(reporter.As(info), S_OK);
  EXPECT_EQ(Fields(info.Get()),
            u"CDataTableWMTask::NextItem | "
            u"CDataTableWMTask::NextItem failed (0x8004000D) at .\\DataTableWMTask.cpp:412 |  | "
            u"{1AAA0702-6B57-4600-A90B-B325619840DE} | 0");

  // A description of the method's own is given back as it is.
  rec.description = SysAllocString(u"The device is not connected.");
  rec.method = nullptr;
  rec.sourceFile = nullptr;
  EXPECT_EQ(reporter->ReportError(rec), S_OK);
  SysFreeString(rec.description);
  EXPECT_EQ(Fields(info.Get()),
            u" | The device is not connected. |  | {1AAA0702-6B57-4600-A90B-B325619840DE} | 0");

  // The previous error information is kept alive until replaced.
  ICreateErrorInfo* create = nullptr;
  ASSERT_EQ(CreateErrorInfo(&create), S_OK);
  IErrorInfo* previous = nullptr;
  create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&previous));
  create->Release();
  EXPECT_EQ(reporter->SetPreviousError(static_cast<HRESULT>(0x8007001F), previous), S_OK);
  EXPECT_EQ(previous->AddRef(), 3u);  // ours, the reporter's, this one
  previous->Release();
  EXPECT_EQ(reporter->SetPreviousError(E_FAIL, nullptr), S_OK);
  EXPECT_EQ(previous->AddRef(), 2u);
  previous->Release();
  previous->Release();
}

TEST_F(ErrorReporter, UnregistersAndRegsvrReportsFailures) {
  std::string out;
  ASSERT_EQ(RunCommand(std::string(REGSVR_PATH) + " -u -s " + ERRORREPORT_PATH, &out), 0);
  EXPECT_EQ(out, "");  // -s is silent
  void* p = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_ErrorReport, nullptr, CLSCTX_ALL, IID_IUnknown, &p),
            REGDB_E_CLASSNOTREG);
  CLSID c;
  EXPECT_EQ(CLSIDFromProgID(u"QWBDCAWM.ErrorReport.1", &c), CO_E_CLASSSTRING);
  EXPECT_EQ(ReadDefault(u"QWBDCAWM.ErrorReport"), u"<no key>");
  EXPECT_EQ(ReadDefault(u"CLSID"), u"<no value>");  // the parent stays

  EXPECT_NE(RunCommand(std::string(REGSVR_PATH) + " -s " + dir_ + "/missing.so"), 0);
  EXPECT_NE(RunCommand(std::string(REGSVR_PATH) + " 2>/dev/null"), 0);  // usage
}

}  // namespace
