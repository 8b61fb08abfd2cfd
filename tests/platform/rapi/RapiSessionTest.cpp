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
using rapitest::CommandOf;
using rapitest::FakeDevice;
using rapitest::ScopedEnv;
using rapitest::Words;

namespace {

// A loopback port that listens but never accepts: the kernel completes the TCP handshake,
// yet nothing ever reads or answers.
class DeafPort {
 public:
  DeafPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
    ::listen(fd_, 4);
    socklen_t len = sizeof(sa);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
  }
  ~DeafPort() { ::close(fd_); }
  std::string Address() const { return "tcp:127.0.0.1:" + std::to_string(port_); }

 private:
  int fd_;
  int port_;
};

// A loopback port nobody listens on.
std::string ClosedPortAddress() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
  socklen_t len = sizeof(sa);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  ::close(fd);
  return "tcp:127.0.0.1:" + std::to_string(ntohs(sa.sin_port));
}

Answer DeleteOk(const std::vector<uint8_t>&, int) { return Answer{Words({0, 1})}; }

void UninitAll() {
  while (CeRapiUninit() == S_OK) {
  }
}

class RapiSession : public ::testing::Test {
 protected:
  void TearDown() override { UninitAll(); }
};

TEST_F(RapiSession, InitExConnectsInTheBackgroundAndCountsEverySession) {
  FakeDevice dev(DeleteOk);
  ScopedEnv env("QWBDCAWM_DEVICE", dev.Address());

  RAPIINIT bad{};
  bad.cbSize = 16;
  EXPECT_EQ(CeRapiInitEx(&bad), E_INVALIDARG);
  EXPECT_EQ(CeRapiInitEx(nullptr), E_INVALIDARG);
  EXPECT_EQ(CeRapiUninit(), E_FAIL) << "a refused init must not count";

  // 12 is the structure's size for a 32-bit caller.
  RAPIINIT first{};
  first.cbSize = 12;
  ASSERT_EQ(CeRapiInitEx(&first), S_OK);
  ASSERT_NE(first.heRapiInit, nullptr);
  ASSERT_EQ(WaitForSingleObject(first.heRapiInit, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(first.hrRapiInit, S_OK);

  // A second session object of the same process shares the connection.
  RAPIINIT second{};
  second.cbSize = sizeof(RAPIINIT);
  ASSERT_EQ(CeRapiInitEx(&second), S_OK);
  ASSERT_EQ(WaitForSingleObject(second.heRapiInit, 10000), WAIT_OBJECT_0);
  EXPECT_EQ(second.hrRapiInit, S_OK);
  EXPECT_EQ(CeRapiInit(), CERAPI_E_ALREADYINITIALIZED);
  EXPECT_EQ(dev.Connections(), 1);

  // Ending the second session leaves the first working.
  EXPECT_EQ(CeRapiUninit(), S_OK);
  EXPECT_TRUE(CeDeleteFile(u"\\a.txt"));
  EXPECT_EQ(GetLastError(), 0u);

  // The last one closes the connection; calls then fail at once.
  EXPECT_EQ(CeRapiUninit(), S_OK);
  EXPECT_TRUE(dev.WaitClosed(1, 5000));
  EXPECT_FALSE(CeDeleteFile(u"\\a.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONNECTION_UNAVAIL));
  EXPECT_EQ(CeRapiGetError(), static_cast<HRESULT>(0x800704B1));
  EXPECT_EQ(CeRapiUninit(), E_FAIL);
  EXPECT_EQ(dev.Requests().size(), 1u);

  // The synchronous init counts too, and reconnects.
  EXPECT_EQ(CeRapiInit(), S_OK);
  EXPECT_EQ(GetLastError(), 0u);
  EXPECT_EQ(dev.Connections(), 2);
  EXPECT_EQ(CeRapiInit(), CERAPI_E_ALREADYINITIALIZED);
  EXPECT_EQ(CeRapiUninit(), S_OK);
  EXPECT_EQ(CeRapiUninit(), E_FAIL);
}

TEST_F(RapiSession, DeviceThatNeverAnswersLeavesTheEventUnsignalled) {
  DeafPort deaf;
  ScopedEnv env("QWBDCAWM_DEVICE", deaf.Address());
  ScopedEnv timeout("QWBDCAWM_RAPI_TIMEOUT_MS", "400");

  RAPIINIT ri{};
  ri.cbSize = 12;
  ASSERT_EQ(CeRapiInitEx(&ri), S_OK);
  EXPECT_EQ(WaitForSingleObject(ri.heRapiInit, 500), WAIT_TIMEOUT);
  // Even after the connect gave up, nobody signals it.
  EXPECT_EQ(WaitForSingleObject(ri.heRapiInit, 300), WAIT_TIMEOUT);
  EXPECT_FALSE(CeDeleteFile(u"\\x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONNECTION_UNAVAIL));
  EXPECT_EQ(CeRapiUninit(), S_OK);

  // The synchronous init reports the time-out.
  EXPECT_EQ(CeRapiInit(), static_cast<HRESULT>(0x800705B4));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_EQ(CeRapiUninit(), E_FAIL);
}

TEST_F(RapiSession, UninitAbandonsAPendingConnect) {
  DeafPort deaf;
  ScopedEnv env("QWBDCAWM_DEVICE", deaf.Address());
  {
    auto ri = std::make_unique<RAPIINIT>();
    ri->cbSize = sizeof(RAPIINIT);
    ASSERT_EQ(CeRapiInitEx(ri.get()), S_OK);
    EXPECT_EQ(CeRapiUninit(), S_OK);
    // The caller may free its structure now: a late connect must not write into it.
  }
  FakeDevice dev(DeleteOk);
  ScopedEnv env2("QWBDCAWM_DEVICE", dev.Address());
  ASSERT_EQ(CeRapiInit(), S_OK);
  EXPECT_TRUE(CeDeleteFile(u"\\a"));
}

TEST_F(RapiSession, MissingOrRefusingDeviceFailsAtOnce) {
  {
    ::unsetenv("QWBDCAWM_DEVICE");
    EXPECT_EQ(CeRapiInit(), static_cast<HRESULT>(0x800704B1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONNECTION_UNAVAIL));
    RAPIINIT ri{};
    ri.cbSize = 12;
    ASSERT_EQ(CeRapiInitEx(&ri), S_OK);
    ASSERT_EQ(WaitForSingleObject(ri.heRapiInit, 0), WAIT_OBJECT_0);
    EXPECT_EQ(ri.hrRapiInit, static_cast<HRESULT>(0x800704B1));
    EXPECT_EQ(CeRapiUninit(), S_OK);
  }
  for (const char* malformed : {"tcp:127.0.0.1", "tcp::99", "tcp:host:port", "udp:1.2.3.4:5",
                                "unix:", "tcp:127.0.0.1:70000"}) {
    ScopedEnv env("QWBDCAWM_DEVICE", malformed);
    EXPECT_EQ(CeRapiInit(), static_cast<HRESULT>(0x800704B1)) << malformed;
  }
  {
    ScopedEnv env("QWBDCAWM_DEVICE", ClosedPortAddress());
    RAPIINIT ri{};
    ri.cbSize = 12;
    ASSERT_EQ(CeRapiInitEx(&ri), S_OK);
    ASSERT_EQ(WaitForSingleObject(ri.heRapiInit, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(ri.hrRapiInit, static_cast<HRESULT>(0x800704B1));
    EXPECT_EQ(CeRapiUninit(), S_OK);
  }
  {
    ScopedEnv env("QWBDCAWM_DEVICE", "unix:/nonexistent/rapi.sock");
    EXPECT_EQ(CeRapiInit(), static_cast<HRESULT>(0x800704B1));
  }
}

TEST_F(RapiSession, UnixSocketDevice) {
  std::string path = ::testing::TempDir() + "rapi-" + std::to_string(::getpid()) + ".sock";
  FakeDevice dev(DeleteOk, path);
  ScopedEnv env("QWBDCAWM_DEVICE", dev.Address());
  ASSERT_EQ(CeRapiInit(), S_OK);
  EXPECT_TRUE(CeDeleteFile(u"\\a"));
  ASSERT_EQ(dev.Requests().size(), 1u);
  EXPECT_EQ(CommandOf(dev.Requests()[0]), 0x2du);
}

// Device errors, a dropped connection, a time-out: what the call returns, CeGetLastError,
// CeRapiGetError and the PC's last error, and that a lost session stays lost until re-init.
TEST_F(RapiSession, TransportFailuresEndTheSession) {
  int step = 0;
  FakeDevice dev([&](const std::vector<uint8_t>&, int) -> Answer {
    switch (step++) {
      case 0:
        return Answer{Words({2, 0})};  // device: file not found
      case 1:
        return Answer{{}, 0, true};  // closes unanswered
      case 2:
        return Answer{Words({0, 1})};
      case 3:
        return Answer{Words({0, 1}), 1500};  // answers too late
      default:
        return Answer{Words({0, 1})};
    }
  });
  ScopedEnv env("QWBDCAWM_DEVICE", dev.Address());
  ScopedEnv timeout("QWBDCAWM_RAPI_TIMEOUT_MS", "300");
  ASSERT_EQ(CeRapiInit(), S_OK);

  SetLastError(77);
  EXPECT_FALSE(CeDeleteFile(u"\\missing"));
  EXPECT_EQ(CeGetLastError(), 2u);
  EXPECT_EQ(CeRapiGetError(), S_OK);
  EXPECT_EQ(GetLastError(), 0u) << "a device answer is no transport failure";

  EXPECT_FALSE(CeDeleteFile(u"\\a"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(WSAECONNRESET));
  EXPECT_EQ(CeRapiGetError(), static_cast<HRESULT>(0x80072746));
  EXPECT_EQ(CeGetLastError(), 2u) << "the device's last error stays that of its last reply";

  // Every kind of call now fails at once with "no connection".
  HKEY key = nullptr;
  EXPECT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Ident", 0, 0, &key), ERROR_CONNECTION_UNAVAIL);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONNECTION_UNAVAIL));
  EXPECT_EQ(CeCreateFile(u"\\a", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  DWORD cb = 1;
  BYTE* out = reinterpret_cast<BYTE*>(1);
  EXPECT_EQ(CeRapiInvoke(u"QWBRapiServer", u"DevCeList", 0, nullptr, &cb, &out, nullptr, 0),
            static_cast<HRESULT>(0x800704B1));
  EXPECT_EQ(cb, 0u);
  EXPECT_EQ(out, nullptr);
  IRAPIStream* stream = reinterpret_cast<IRAPIStream*>(1);
  EXPECT_EQ(CeRapiInvoke(u"QWBRapiServer", u"DevCeApplyAllData", 0, nullptr, nullptr, nullptr,
                         &stream, 0),
            static_cast<HRESULT>(0x800704B1));
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(CeRapiGetError(), static_cast<HRESULT>(0x800704B1));
  EXPECT_EQ(dev.Requests().size(), 2u) << "nothing may reach the device";

  // The next init reconnects.
  ASSERT_EQ(CeRapiInit(), S_OK);
  EXPECT_TRUE(CeDeleteFile(u"\\a"));
  EXPECT_EQ(CeGetLastError(), 0u);

  EXPECT_FALSE(CeDeleteFile(u"\\slow"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT));
  EXPECT_EQ(CeRapiGetError(), static_cast<HRESULT>(0x800705B4));
  // The late reply must not be taken for the answer of a later call.
  EXPECT_FALSE(CeDeleteFile(u"\\b"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CONNECTION_UNAVAIL));
}

TEST_F(RapiSession, SyncStopAndStartAreCountedNotSent) {
  FakeDevice dev([](const std::vector<uint8_t>&, int) { return Answer{Words({0, 0, 0})}; });
  ScopedEnv env("QWBDCAWM_DEVICE", dev.Address());
  ASSERT_EQ(CeRapiInit(), S_OK);
  wincompat::ResetRapiSyncCounts();
  EXPECT_EQ(CeSyncStop(), S_OK);
  EXPECT_EQ(CeRapiInvoke(u"QWBRapiServer", u"DevCeList", 0, nullptr, nullptr, nullptr, nullptr, 0),
            S_OK);
  EXPECT_EQ(CeRapiInvoke(u"QWBRapiServer", u"DevCeList", 0, nullptr, nullptr, nullptr, nullptr, 0),
            S_OK);
  EXPECT_EQ(CeSyncStart(nullptr), S_OK);
  wincompat::RapiSyncCounts n = wincompat::GetRapiSyncCounts();
  EXPECT_EQ(n.syncStops, 1u);
  EXPECT_EQ(n.syncStarts, 1u);
  EXPECT_EQ(n.invokes, 2u);
  EXPECT_EQ(n.invokesWithoutSyncStop, 1u);
  EXPECT_EQ(dev.Requests().size(), 2u);
  wincompat::ResetRapiSyncCounts();
  n = wincompat::GetRapiSyncCounts();
  EXPECT_EQ(n.syncStops + n.syncStarts + n.invokes + n.invokesWithoutSyncStop, 0u);
}

}  // namespace
