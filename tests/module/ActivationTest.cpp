// Creating the component the way hosts do: regsvr registers the library in another process,
// then this process finds it through the registry store by CLSID and by ProgID.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/support/Component.h"
#include "qwbdcawm/qwbdcawm.h"
#include "wincompat/comptr.h"

namespace {

namespace fs = std::filesystem;

// Runs <bin>/regsvr with `args`; returns its exit status.
int RunRegsvr(std::vector<std::string> args) {
  const std::string regsvr = qwbhost::ExecutableFolder() + "/regsvr";
  args.insert(args.begin(), regsvr);
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(regsvr.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Outer : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID, void** ppv) override { return *ppv = nullptr, E_NOINTERFACE; }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
};

TEST(Activation, CreatesTheRegisteredClassByClsidAndProgIdAfterRegsvr) {
  std::string pattern = (fs::temp_directory_path() / "qwbdcawm-activation-XXXXXX").string();
  ASSERT_NE(nullptr, mkdtemp(pattern.data()));
  const fs::path folder = pattern;
  setenv("QWBDCAWM_REGISTRY", (folder / "registry.reg").c_str(), 1);
  const std::string library = qwbhost::ComponentLibraryPath();
  ASSERT_EQ(S_OK, CoInitialize(nullptr));

  // Not registered yet.
  ComPtr<IDeviceData> dd;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, qwbhost::CreateDeviceData(std::addressof(dd)));

  ASSERT_EQ(0, RunRegsvr({"-s", library}));

  ASSERT_EQ(S_OK, qwbhost::CreateDeviceData(std::addressof(dd)));
  ComPtr<IDeviceProtocol> protocol;
  EXPECT_EQ(S_OK, dd.As(std::addressof(protocol)));
  LONG state = 0;
  EXPECT_EQ(S_OK, protocol->GetProtocolState(&state));
  EXPECT_EQ(-1, state);

  for (const char16_t* progId : {QWBDCAWM_PROGID, QWBDCAWM_VERSION_INDEPENDENT_PROGID}) {
    CLSID clsid{};
    EXPECT_EQ(S_OK, CLSIDFromProgID(progId, &clsid));
    EXPECT_EQ(CLSID_DeviceDataWM, clsid);
    ComPtr<IDeviceData> byName;
    EXPECT_EQ(S_OK, qwbhost::CreateDeviceDataByProgID(progId, std::addressof(byName)));
    EXPECT_TRUE(byName);
    EXPECT_NE(byName.Get(), dd.Get());
  }

  // Aggregation asks for IUnknown only.
  Outer outer;
  void* p = nullptr;
  EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_DeviceDataWM, &outer,
                                                    CLSCTX_INPROC_SERVER, IID_IDeviceData, &p));
  ASSERT_EQ(S_OK,
            CoCreateInstance(CLSID_DeviceDataWM, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &p));
  static_cast<IUnknown*>(p)->Release();

  // The loaded server counts its objects.
  void* self = dlopen(library.c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(nullptr, self);
  auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(dlsym(self, "DllCanUnloadNow"));
  EXPECT_EQ(S_FALSE, canUnload());
  protocol.Reset();
  dd.Reset();
  EXPECT_EQ(S_OK, canUnload());
  dlclose(self);

  ASSERT_EQ(0, RunRegsvr({"-u", "-s", library}));
  EXPECT_EQ(REGDB_E_CLASSNOTREG, qwbhost::CreateDeviceData(std::addressof(dd)));
  CLSID clsid{};
  EXPECT_NE(S_OK, CLSIDFromProgID(QWBDCAWM_PROGID, &clsid));

  CoUninitialize();
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

}  // namespace
