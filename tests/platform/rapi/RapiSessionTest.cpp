// The session: CeRapiInit/CeRapiInitEx/CeRapiUninit counting, connecting in the background,
// devices that refuse or never answer, and the error state after a lost connection.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>

#include "gtest/gtest.h"
#include "tests/platform/rapi/FakeDevice.h"
#include "wincompat/rapi.h"
#include "wincompat/rapi_testhooks.h"
#include "wincompat/winbase.h"

using rapitest::Answer;
using rapitest::Block;
using rapitest::FakeDevice;
using rapitest::ScopedEnv;
using rapitest::Stream;
using rapitest::Words;

namespace {

// A loopback port held for the test: listening but never accepting (the kernel completes the
// handshake, yet nothing reads or answers), or bound without listening, which refuses every
// connection (and, held, cannot be taken by another test running in parallel).
class LoopbackPort {
 public:
  explicit LoopbackPort(bool listen) : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
    if (listen) ::listen(fd_, 4);
    socklen_t len = sizeof(sa);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
    address_ = "tcp:127.0.0.1:" + std::to_string(ntohs(sa.sin_port));
  }
  ~LoopbackPort() { ::close(fd_); }
  const std::string& Address() const { return address_; }

 private:
  int fd_;
  std::string address_;
};

// CeRapiInitEx with the 32-bit caller's structure size; S_OK expected.
void InitEx(RAPIINIT* ri, DWORD cbSize = 12) {
  *ri = RAPIINIT{};
  ri->cbSize = cbSize;
  ASSERT_EQ(CeRapiInitEx(ri), S_OK);
}

constexpr HRESULT kHrNoConnection = static_cast<HRESULT>(0x800704B1);
#define EXPECT_LAST_ERROR(e) EXPECT_EQ(GetLastError(), static_cast<DWORD>(e))

Answer DeleteOk(const std::vector<uint8_t>&, int) { return Answer{Words({0, 1})}; }

class RapiSession : public ::testing::Test {
 protected:
  void TearDown() override {
    while (CeRapiUninit() == S_OK) {
    }
  }
};

TEST_F(RapiSession, InitExConnectsInTheBackgroundAndCountsEverySession) {
  FakeDevice dev(DeleteOk);
  ScopedEnv env("QWBDCAWM_DEVICE", dev.Address());
  RAPIINIT bad{};
  bad.cbSize = 16;
  EXPECT_EQ(CeRapiInitEx(&bad), E_INVALIDARG);
  EXPECT_EQ(CeRapiInitEx(nullptr), E_INVALIDARG);
  EXPECT_EQ(CeRapiUninit(), E_FAIL) << "a refused init must not count";

  // 12 is the structure's size for a 32-bit caller. A second session object of the same
  // process shares the connection.
  RAPIINIT first, second;
  InitEx(&first);
  ASSERT_NE(first.heRapiInit, nullptr);
  ASSERT_EQ(WaitForSingleObject(first.heRapiInit, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(first.hrRapiInit, S_OK);
  InitEx(&second, sizeof(RAPIINIT));
  ASSERT_EQ(WaitForSingleObject(second.heRapiInit, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(second.hrRapiInit, S_OK);
  EXPECT_EQ(CeRapiInit(), CERAPI_E_ALREADYINITIALIZED);
  EXPECT_EQ(dev.Connections(), 1);

  // Ending the second session leaves the first working; the last one closes the connection
  // and calls then fail at once.
  EXPECT_EQ(CeRapiUninit(), S_OK);
  EXPECT_TRUE(CeDeleteFile(u"\\a.txt"));
  EXPECT_LAST_ERROR(0);
  EXPECT_EQ(CeRapiUninit(), S_OK);
  EXPECT_TRUE(dev.WaitClosed(1, 10000));
  EXPECT_FALSE(CeDeleteFile(u"\\a.txt"));
  EXPECT_LAST_ERROR(ERROR_CONNECTION_UNAVAIL);
  EXPECT_EQ(CeRapiGetError(), kHrNoConnection);
  EXPECT_EQ(CeRapiUninit(), E_FAIL);
  EXPECT_EQ(dev.Requests().size(), 1u);
}

TEST_F(RapiSession, DeviceThatNeverAnswersLeavesTheEventUnsignalled) {
  LoopbackPort deaf(true);
  ScopedEnv env("QWBDCAWM_DEVICE", deaf.Address());
  ScopedEnv timeout("QWBDCAWM_RAPI_TIMEOUT_MS", "400");
  RAPIINIT ri;
  InitEx(&ri);
  EXPECT_EQ(WaitForSingleObject(ri.heRapiInit, 500), WAIT_TIMEOUT);
  EXPECT_FALSE(CeDeleteFile(u"\\x"));
  EXPECT_LAST_ERROR(ERROR_CONNECTION_UNAVAIL);
  EXPECT_EQ(CeRapiUninit(), S_OK);
  // The synchronous init reports the time-out.
  EXPECT_EQ(CeRapiInit(), static_cast<HRESULT>(0x800705B4));
  EXPECT_LAST_ERROR(ERROR_TIMEOUT);
  EXPECT_EQ(CeRapiUninit(), E_FAIL);
}

TEST_F(RapiSession, UninitAbandonsAPendingConnect) {
  LoopbackPort deaf(true);
  ScopedEnv env("QWBDCAWM_DEVICE", deaf.Address());
  {
    auto ri = std::make_unique<RAPIINIT>();
    ri->cbSize = sizeof(RAPIINIT);
    ASSERT_EQ(CeRapiInitEx(ri.get()), S_OK);
    EXPECT_EQ(CeRapiUninit(), S_OK);
    // The caller may free its structure now: a late connect must not write into it (ASan).
  }
  FakeDevice dev(DeleteOk);
  ScopedEnv env2("QWBDCAWM_DEVICE", dev.Address());
  ASSERT_EQ(CeRapiInit(), S_OK);
  EXPECT_TRUE(CeDeleteFile(u"\\a"));
}

TEST_F(RapiSession, MissingOrRefusingDeviceFailsAtOnce) {
  ::unsetenv("QWBDCAWM_DEVICE");
  EXPECT_EQ(CeRapiInit(), kHrNoConnection);
  EXPECT_LAST_ERROR(ERROR_CONNECTION_UNAVAIL);
  // No device, or one that refuses: InitEx signals the failure (at once without a device).
  LoopbackPort refusing(false);
  for (const std::string& device : {std::string(), refusing.Address()}) {
    std::unique_ptr<ScopedEnv> env;
    if (!device.empty()) env = std::make_unique<ScopedEnv>("QWBDCAWM_DEVICE", device);
    RAPIINIT ri;
    InitEx(&ri);
    ASSERT_EQ(WaitForSingleObject(ri.heRapiInit, device.empty() ? 0 : 10000), WAIT_OBJECT_0);
    EXPECT_EQ(ri.hrRapiInit, kHrNoConnection) << device;
    EXPECT_EQ(CeRapiUninit(), S_OK);
  }
}

// A device error and a dropped connection: what the call returns, CeGetLastError,
// CeRapiGetError and the PC's last error, and that a lost session stays lost until re-init.
TEST_F(RapiSession, TransportFailuresEndTheSession) {
  int step = 0;
  FakeDevice dev([&](const std::vector<uint8_t>&, int) -> Answer {
    if (step++ == 0) return Answer{Words({2, 0})};                // device: file not found
    return step == 2 ? Answer{{}, true} : Answer{Words({0, 1})};  // then closes unanswered
  });
  ScopedEnv env("QWBDCAWM_DEVICE", dev.Address());
  ASSERT_EQ(CeRapiInit(), S_OK);
  EXPECT_FALSE(CeDeleteFile(u"\\missing"));
  EXPECT_EQ(CeGetLastError(), 2u);
  EXPECT_FALSE(CeDeleteFile(u"\\a"));
  EXPECT_LAST_ERROR(WSAECONNRESET);
  EXPECT_EQ(CeRapiGetError(), static_cast<HRESULT>(0x80072746));
  EXPECT_EQ(CeGetLastError(), 2u) << "the device's last error stays that of its last reply";

  // Every kind of call now fails at once with "no connection", its outputs cleared.
  HKEY key = nullptr;
  EXPECT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Ident", 0, 0, &key), ERROR_CONNECTION_UNAVAIL);
  EXPECT_LAST_ERROR(ERROR_CONNECTION_UNAVAIL);
  EXPECT_EQ(CeCreateFile(u"\\a", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  DWORD cb = 1;
  BYTE* out = reinterpret_cast<BYTE*>(1);
  EXPECT_EQ(Block(u"DevCeList", {}, &cb, &out), kHrNoConnection);
  EXPECT_EQ(cb, 0u);
  EXPECT_EQ(out, nullptr);
  IRAPIStream* stream = reinterpret_cast<IRAPIStream*>(1);
  EXPECT_EQ(Stream(u"DevCeApplyAllData", &stream), kHrNoConnection);
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(CeRapiGetError(), kHrNoConnection);
  EXPECT_EQ(dev.Requests().size(), 2u) << "nothing may reach the device";

  ASSERT_EQ(CeRapiInit(), S_OK);  // the next init reconnects
  EXPECT_TRUE(CeDeleteFile(u"\\a"));
  EXPECT_EQ(CeGetLastError(), 0u);
}

TEST_F(RapiSession, SyncStopAndStartAreCountedNotSent) {
  FakeDevice dev([](const std::vector<uint8_t>&, int) { return Answer{Words({0, 0, 0})}; });
  ScopedEnv env("QWBDCAWM_DEVICE", dev.Address());
  ASSERT_EQ(CeRapiInit(), S_OK);
  wincompat::ResetRapiSyncCounts();
  EXPECT_EQ(CeSyncStop(), S_OK);
  EXPECT_EQ(Block(u"DevCeList", {}, nullptr, nullptr), S_OK);
  EXPECT_EQ(Block(u"DevCeList", {}, nullptr, nullptr), S_OK);
  EXPECT_EQ(CeSyncStart(nullptr), S_OK);
  const wincompat::RapiSyncCounts n = wincompat::GetRapiSyncCounts();
  EXPECT_EQ(n.syncStops, 1u);
  EXPECT_EQ(n.syncStarts, 1u);
  EXPECT_EQ(n.invokes, 2u);
  EXPECT_EQ(n.invokesWithoutSyncStop, 1u);
  EXPECT_EQ(dev.Requests().size(), 2u);
}

}  // namespace
