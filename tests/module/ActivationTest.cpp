// Creating the component the way hosts do: regsvr registers the library in another process,
// then this process finds it through the registry store by CLSID and by ProgID.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "host/Component.h"
#include "qwbdcawm/qwbdcawm.h"
#include "tests/core/TestEnv.h"
#include "wincompat/comptr.h"

namespace {

// Each test runs in a process of its own with a fresh, empty registry store.
::testing::Environment* const kRegistry =
    ::testing::AddGlobalTestEnvironment(new qwbtest::TempRegistry);

// Runs <bin>/regsvr with `args`; returns its exit status.
int RunRegsvr(const std::string& args) {
  const std::string command = qwbhost::ExecutableFolder() + "/regsvr " + args;
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Activation, CreatesTheRegisteredClassByClsidAndProgIdAfterRegsvr) {
  const std::string library = qwbhost::ComponentLibraryPath();
  ASSERT_EQ(S_OK, CoInitialize(nullptr));

  // Not registered yet.
  ComPtr<IDeviceData> dd;
  EXPECT_EQ(REGDB_E_CLASSNOTREG, qwbhost::CreateDeviceData(std::addressof(dd)));

  ASSERT_EQ(0, RunRegsvr("-s '" + library + "'"));

  ASSERT_EQ(S_OK, qwbhost::CreateDeviceData(std::addressof(dd)));
  ComPtr<IDeviceProtocol> protocol;
  EXPECT_EQ(S_OK, dd.As(std::addressof(protocol)));

  for (const char16_t* progId : {QWBDCAWM_PROGID, QWBDCAWM_VERSION_INDEPENDENT_PROGID}) {
    CLSID clsid{};
    EXPECT_EQ(S_OK, CLSIDFromProgID(progId, &clsid));
    EXPECT_EQ(CLSID_DeviceDataWM, clsid);
    ComPtr<IDeviceData> byName;
    EXPECT_EQ(S_OK, qwbhost::CreateDeviceDataByProgID(progId, std::addressof(byName)));
    EXPECT_TRUE(byName);
    EXPECT_NE(byName.Get(), dd.Get());
  }

  ASSERT_EQ(0, RunRegsvr("-u -s '" + library + "'"));
  EXPECT_EQ(REGDB_E_CLASSNOTREG, qwbhost::CreateDeviceData(std::addressof(dd)));
  CLSID clsid{};
  EXPECT_NE(S_OK, CLSIDFromProgID(QWBDCAWM_PROGID, &clsid));

  CoUninitialize();
}

}  // namespace
