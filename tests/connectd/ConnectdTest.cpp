// The connection manager on loopback, with emulated phones dialling it as phones on USB do:
// listing, sessions through librapi by phone name (main connection and stream connection),
// both locks, a phone that goes mid-call, two phones at once, requests that get no
// connection, hostile phones, and the CLI on top.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>
#include <thread>

#include "connectd/Manager.h"
#include "emulator/Emulator.h"
#include "link/ControlChannel.h"
#include "platform/rapi/ManagerClient.h"
#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

namespace {

constexpr HRESULT kHrLocked = static_cast<HRESULT>(0x80070056);
constexpr HRESULT kHrNoConnection = static_cast<HRESULT>(0x800704B1);
constexpr DWORD kWsaConnReset = 10054;

using Bytes = std::vector<uint8_t>;

void SetEnv(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

template <class F>
bool WaitFor(F pred, int ms = 5000) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return pred();
}

int ConnectLoopback(uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    return -1;
  }
  timeval tv{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

// Reads until the peer closes: true when it did (within the socket's 5 s receive timeout).
bool ClosedByPeer(int fd) {
  uint8_t buf[256];
  for (;;) {
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n == 0) return true;
    if (n < 0) return errno == ECONNRESET;
  }
}

std::string ReadWholeFile(const char16_t* path) {
  HANDLE h = CeCreateFile(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<cannot open>";
  std::string text(256, '\0');
  DWORD n = 0;
  BOOL ok = CeReadFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  CeCloseHandle(h);
  return ok ? text.substr(0, n) : "<cannot read>";
}

class Connectd : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::path(::testing::TempDir()) / ("cd-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    for (auto& p : phones_) p->Stop();
    phones_.clear();
    if (manager_) {
      manager_->Stop();
      thread_.join();
    }
    ::unsetenv("QWBDCAWM_DEVICE");
    std::filesystem::remove_all(dir_);
  }

  void StartManager(int sessionTimeoutMs = 400, int keepAliveMs = 200) {
    connectd::Options o;
    o.listen = "127.0.0.1:0";
    o.socketPath = (dir_ / "c.sock").string();
    o.sessionTimeoutMs = sessionTimeoutMs;
    o.keepAliveMs = keepAliveMs;
    o.logLevel = 7;
    manager_ = std::make_unique<connectd::Manager>(o);
    std::string error;
    ASSERT_TRUE(manager_->Start(&error)) << error;
    thread_ = std::thread([this] { manager_->Run(); });
    SetEnv("QWBDCAWM_CONNECTD", o.socketPath);
  }

  // A phone image named `name` with one file of its own, dialling the manager.
  wmemu::Emulator& Dial(const std::string& name, wmemu::DialOptions options = {},
                        const std::string& preset = "empty") {
    auto dir = dir_ / name;
    wmemu::Emulator::CreateImage(dir, preset, "Hanul HD-100");
    auto emu = wmemu::Emulator::Open(dir);
    emu->registry().SetString(wmemu::kHkeyLocalMachine, u"Ident", u"Name",
                              std::u16string(name.begin(), name.end()));
    std::string text = "I am " + name;
    emu->files().PutFile(u"\\whoami.txt", Bytes(text.begin(), text.end()));
    options.address = "127.0.0.1:" + std::to_string(manager_->port());
    options.trigger = "127.0.0.1:0";
    trigger_ = emu->Dial(options);
    phones_.push_back(std::move(emu));
    return *phones_.back();
  }

  nlohmann::json Devices() {
    connectproto::Reply r =
        connectproto::Ask(manager_->socketPath(), R"({"request":"devices"})", 2000);
    EXPECT_TRUE(r.ok) << r.message;
    return nlohmann::json::parse(r.line)["devices"];
  }
  nlohmann::json Phone(const std::string& name) {
    for (const auto& p : Devices())
      if (p["name"] == name) return p;
    return nullptr;
  }
  bool Listed(const std::string& name, bool locked) {
    nlohmann::json p = Phone(name);
    return !p.is_null() && p["locked"] == locked;
  }
  connectproto::Reply Ask(const nlohmann::json& request, int timeoutMs = 5000) {
    return connectproto::Ask(manager_->socketPath(), request.dump(), timeoutMs);
  }

  std::filesystem::path dir_;
  std::unique_ptr<connectd::Manager> manager_;
  std::thread thread_;
  std::vector<std::unique_ptr<wmemu::Emulator>> phones_;
  std::string trigger_;
};

TEST_F(Connectd, DialledPhoneIsListedAndReachedByName) {
  StartManager();
  wmemu::Emulator& emu = Dial("Alpha");
  ASSERT_TRUE(WaitFor([&] { return Listed("Alpha", false); }));
  wmemu::DeviceIdentity id = emu.Identity();
  nlohmann::json p = Phone("Alpha");
  EXPECT_EQ(p["model"], "Hanul HD-100");
  EXPECT_EQ(p["platform"], "PocketPC");
  EXPECT_EQ(p["osMajor"], 5);
  EXPECT_EQ(p["osMinor"], 2);
  EXPECT_EQ(p["processorType"], 2577);
  EXPECT_EQ(p["partnerId"], id.partnerId);
  EXPECT_EQ(p["guid"], ctlwire::GuidText(id.guid));
  EXPECT_EQ(p["lock"], "none");

  for (const char* address : {"phone:alpha", "phone:"}) {
    SetEnv("QWBDCAWM_DEVICE", address);
    ASSERT_EQ(CeRapiInit(), S_OK) << address;
    EXPECT_EQ(ReadWholeFile(u"\\whoami.txt"), "I am Alpha") << address;
    // A stream invocation opens a session of its own.
    IRAPIStream* stream = nullptr;
    ASSERT_EQ(CeRapiInvoke(u"QWBRapiServer", u"DevCeEchoStream", 0, nullptr, nullptr, nullptr,
                           &stream, 0),
              S_OK);
    ULONG n = 0;
    char back[5] = {};
    ASSERT_EQ(stream->Write("ping", 4, &n), S_OK);
    ASSERT_EQ(stream->Read(back, 4, &n), S_OK);
    EXPECT_STREQ(back, "ping");
    stream->Release();
    EXPECT_EQ(CeRapiUninit(), S_OK);
  }
  SetEnv("QWBDCAWM_DEVICE", "phone:Nobody");
  EXPECT_EQ(CeRapiInit(), kHrNoConnection);
}

TEST_F(Connectd, LockedPhonesOpenWithTheirPasswordOrOnTheirScreen) {
  StartManager();
  wmemu::DialOptions wm5;
  wm5.password = "s3cret";
  Dial("Five", wm5);
  wmemu::DialOptions wm6;
  wm6.unlockOnDevice = true;
  wm6.unlockDelayMs = -1;
  wmemu::Emulator& six = Dial("Six", wm6);
  ASSERT_TRUE(WaitFor([&] { return Listed("Five", true) && Listed("Six", true); }));
  EXPECT_EQ(Phone("Five")["lock"], "password");
  EXPECT_EQ(Phone("Six")["lock"], "on-device");

  for (const char* address : {"phone:Five", "phone:Six"}) {
    SetEnv("QWBDCAWM_DEVICE", address);
    EXPECT_EQ(CeRapiInit(), kHrLocked) << address;
  }
  // WM5: a wrong password leaves it locked and may be tried again.
  connectproto::Reply r = Ask({{"request", "unlock"}, {"device", "five"}, {"password", "guess"}});
  EXPECT_EQ(r.error, connectproto::kErrorWrongPassword);
  EXPECT_TRUE(Listed("Five", true));
  r = Ask({{"request", "unlock"}, {"device", "Five"}, {"password", "s3cret"}});
  EXPECT_TRUE(r.ok) << r.message;
  EXPECT_TRUE(Listed("Five", false));
  r = Ask({{"request", "unlock"}, {"device", "Five"}, {"password", "s3cret"}});
  EXPECT_EQ(r.error, connectproto::kErrorNotLocked);
  SetEnv("QWBDCAWM_DEVICE", "phone:Five");
  ASSERT_EQ(CeRapiInit(), S_OK);
  EXPECT_EQ(ReadWholeFile(u"\\whoami.txt"), "I am Five");
  CeRapiUninit();

  // WM6: no password is taken; the user unlocks on the phone.
  r = Ask({{"request", "unlock"}, {"device", "Six"}, {"password", "x"}});
  EXPECT_EQ(r.error, connectproto::kErrorNotLocked);
  EXPECT_EQ(six.Control(R"({"cmd":"unlock"})"), R"({"ok":true})");
  ASSERT_TRUE(WaitFor([&] { return Listed("Six", false); }));
  SetEnv("QWBDCAWM_DEVICE", "phone:Six");
  ASSERT_EQ(CeRapiInit(), S_OK);
  EXPECT_EQ(ReadWholeFile(u"\\whoami.txt"), "I am Six");
  CeRapiUninit();
}

TEST_F(Connectd, TwoPhonesAtOnceEachByName) {
  StartManager();
  Dial("Alpha");
  Dial("Beta");
  ASSERT_TRUE(WaitFor([&] { return Devices().size() == 2; }));
  SetEnv("QWBDCAWM_DEVICE", "phone:");
  EXPECT_EQ(CeRapiInit(), kHrNoConnection);  // which one? the caller must say
  EXPECT_EQ(Ask({{"request", "session"}, {"device", ""}}).error, connectproto::kErrorSeveral);
  // Sessions with both phones at the same time.
  SetEnv("QWBDCAWM_DEVICE", "phone:BETA");
  ASSERT_EQ(CeRapiInit(), S_OK);
  connectproto::Reply alpha = Ask({{"request", "session"}, {"device", "Alpha"}});
  ASSERT_TRUE(alpha.ok) << alpha.message;
  EXPECT_EQ(ReadWholeFile(u"\\whoami.txt"), "I am Beta");
  ::close(alpha.fd);
  CeRapiUninit();
  SetEnv("QWBDCAWM_DEVICE", "phone:Alpha");
  ASSERT_EQ(CeRapiInit(), S_OK);
  EXPECT_EQ(ReadWholeFile(u"\\whoami.txt"), "I am Alpha");
  CeRapiUninit();
}

TEST_F(Connectd, UnpluggedMidListingFailsTheCallAndDropsThePhone) {
  StartManager();
  wmemu::Emulator& emu = Dial("Alpha");
  for (int i = 0; i < 300; ++i) {
    std::u16string name = u"\\Docs\\note" + std::u16string(1, u'a' + i % 26) +
                          std::u16string(1, u'a' + i / 26) + u".txt";
    emu.files().PutFile(name, Bytes(10, 'x'));
  }
  ASSERT_TRUE(WaitFor([&] { return Listed("Alpha", false); }));
  SetEnv("QWBDCAWM_DEVICE", "phone:Alpha");
  ASSERT_EQ(CeRapiInit(), S_OK);
  emu.faults().Delay(300, "CeFindAllFiles");
  auto listing = std::async(std::launch::async, [] {
    DWORD count = 0;
    LPCE_FIND_DATA found = nullptr;
    BOOL ok = CeFindAllFiles(u"\\Docs\\*", FAF_NAME, &count, &found);
    DWORD err = GetLastError();
    if (found) CeRapiFreeBuffer(found);
    return std::make_pair(ok, err);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  emu.faults().Unplug();
  ASSERT_EQ(listing.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "hung";
  auto [ok, err] = listing.get();
  EXPECT_FALSE(ok);
  EXPECT_EQ(err, kWsaConnReset);
  CeRapiUninit();
  ASSERT_TRUE(WaitFor([&] { return Devices().empty(); }));
  EXPECT_EQ(CeRapiInit(), kHrNoConnection);
  // Plugged back in, it dials again.
  emu.faults().Replug();
  ASSERT_TRUE(WaitFor([&] { return Listed("Alpha", false); }));
}

TEST_F(Connectd, SessionRequestsWithoutTheirConnection) {
  StartManager();
  wmemu::Emulator& emu = Dial("Alpha");
  ASSERT_TRUE(WaitFor([&] { return Listed("Alpha", false); }));
  // The phone ignores one request: it expires and the caller hears so.
  EXPECT_EQ(emu.Control(R"({"cmd":"refuse","count":1})"), R"({"ok":true})");
  connectproto::Reply r = Ask({{"request", "session"}, {"device", "Alpha"}});
  EXPECT_EQ(r.error, connectproto::kErrorTimeout);
  EXPECT_EQ(r.fd, -1);
  // A connection bringing an id nobody waits for (the expired one included) is closed.
  for (uint32_t id : {1u, 2u, 0x58u, 0xFFFFFFFFu}) {
    int fd = ConnectLoopback(manager_->port());
    Bytes hello = ctlwire::SessionHello(id);
    ASSERT_EQ(::send(fd, hello.data(), hello.size(), 0), 4);
    EXPECT_TRUE(ClosedByPeer(fd)) << id;
    ::close(fd);
  }
  r = Ask({{"request", "session"}, {"device", "Alpha"}});
  ASSERT_TRUE(r.ok) << r.message;
  ::close(r.fd);
}

TEST_F(Connectd, PhoneThatStopsAnsweringFailsItsWaitingSessionAndDialsAgainOnTrigger) {
  StartManager(20000, 200);
  wmemu::Emulator& emu = Dial("Alpha");
  ASSERT_TRUE(WaitFor([&] { return Listed("Alpha", false); }));
  int dials = emu.dialler()->dials();
  // A stalled channel answers no keep-alive: the phone is dropped and the request waiting for
  // its session fails at once, long before the request would expire.
  EXPECT_EQ(emu.Control(R"({"cmd":"control","action":"stall"})"), R"({"ok":true})");
  connectproto::Reply r = Ask({{"request", "session"}, {"device", "Alpha"}}, 15000);
  EXPECT_EQ(r.error, connectproto::kErrorGone);
  EXPECT_TRUE(Devices().empty());
  // The channel dropped, the phone waits for the PC's trigger before dialling again.
  EXPECT_EQ(emu.Control(R"({"cmd":"control","action":"drop"})"), R"({"ok":true})");
  emu.Control(R"({"cmd":"clear"})");
  ASSERT_TRUE(WaitFor([&] { return !emu.dialler()->connected(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(emu.dialler()->dials(), dials);
  int udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(std::stoi(trigger_.substr(trigger_.rfind(':') + 1))));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const uint8_t trigger = 0x7F;
  ASSERT_EQ(::sendto(udp, &trigger, 1, 0, reinterpret_cast<sockaddr*>(&to), sizeof to), 1);
  ::close(udp);
  ASSERT_TRUE(WaitFor([&] { return Listed("Alpha", false); }));
  EXPECT_EQ(emu.dialler()->dials(), dials + 1);
}

TEST_F(Connectd, HostilePhonesAreClosedAndOthersKeepWorking) {
  StartManager();
  Dial("Alpha");
  ASSERT_TRUE(WaitFor([&] { return Listed("Alpha", false); }));
  // The phone's first two words, then `rest`.
  auto opening = [](const Bytes& rest) {
    Bytes b(8 + rest.size(), 0);
    b[4] = 6;
    std::copy(rest.begin(), rest.end(), b.begin() + 8);
    return b;
  };
  ctlwire::DeviceInfo pre;
  pre.osMajor = 4;
  pre.osMinor = 21;
  pre.name = u"OldPDA";
  ctlwire::DeviceInfo nameless;
  nameless.osMajor = 5;
  nameless.osMinor = 2;
  Bytes longName = ctlwire::DeviceInfoMessage(nameless);
  longName[8 + 24] = 32;  // name length word
  struct Case {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"information length near 2^32", opening({4, 0, 0, 0, 0xf0, 0xff, 0xff, 0xff})},
      {"pre-WM5 dialling port 990", {0x58, 0, 0, 0}},
      {"unknown word in the opening", opening({0x99, 0, 0, 0})},
      {"malformed information", opening({4, 0, 0, 0, 20, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
                                          11, 12, 13, 14, 15, 16, 17, 18, 19, 20})},
      {"pre-WM5 information", opening(ctlwire::DeviceInfoMessage(pre))},
      {"no device name", opening(ctlwire::DeviceInfoMessage(nameless))},
      {"name of 32 units", opening(longName)},
  };
  for (const auto& c : cases) {
    int fd = ConnectLoopback(manager_->port());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::send(fd, c.bytes.data(), c.bytes.size(), 0), static_cast<ssize_t>(c.bytes.size()));
    EXPECT_TRUE(ClosedByPeer(fd)) << c.what;
    ::close(fd);
  }
  EXPECT_EQ(Devices().size(), 1u);
  connectproto::Reply r = Ask({{"request", "session"}, {"device", "Alpha"}});
  ASSERT_TRUE(r.ok) << r.message;
  ::close(r.fd);
  EXPECT_EQ(Ask({{"request", "reboot"}}).error, connectproto::kErrorBadRequest);
}

// The CLI, run as a user runs it.
std::string RunCli(const std::string& args, const std::string& input, int* status) {
  std::string out = ::testing::TempDir() + "/cli-out-" + std::to_string(::getpid());
  std::string in = out + ".in";
  std::ofstream(in) << input;
  std::string cmd = std::string(QWB_CLI_EXE) + " " + args + " <" + in + " >" + out + " 2>&1";
  *status = WEXITSTATUS(std::system(cmd.c_str()));
  std::ifstream f(out);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

TEST_F(Connectd, CliListsPhonesUnlocksAndReadsThroughTheManager) {
  StartManager();
  SetEnv("HOME", dir_.string());
  SetEnv("XDG_CONFIG_HOME", (dir_ / "config").string());
  SetEnv("XDG_CACHE_HOME", (dir_ / "cache").string());
  wmemu::DialOptions wm5;
  wm5.password = "s3cret";
  Dial("Alpha", wm5, "demo");
  ASSERT_TRUE(WaitFor([&] { return Listed("Alpha", true); }));
  int status = 0;
  std::string out = RunCli("devices --json", "", &status);
  ASSERT_EQ(status, 0) << out;
  nlohmann::json list = nlohmann::json::parse(out);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]["name"], "Alpha");
  EXPECT_EQ(list[0]["modelType"], "olDomestic");
  EXPECT_EQ(list[0]["locked"], true);

  out = RunCli("unlock --device phone:Alpha", "wrong\n", &status);
  EXPECT_EQ(status, 1) << out;
  out = RunCli("unlock --device phone:Alpha", "s3cret\n", &status);
  EXPECT_EQ(status, 0) << out;
  // Without --device the only connected phone is used, and said so.
  out = RunCli("tasks list --json", "", &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("using the connected phone \"Alpha\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"subject\""), std::string::npos) << out;
  Dial("Beta");
  ASSERT_TRUE(WaitFor([&] { return Devices().size() == 2; }));
  out = RunCli("tasks list", "", &status);
  EXPECT_EQ(status, 2) << out;
  EXPECT_NE(out.find("choose one with --device phone:NAME"), std::string::npos) << out;
  out = RunCli("--device phone:beta tasks list --json", "", &status);
  EXPECT_EQ(status, 0) << out;
  // No manager: the built-in demo phone, said so.
  SetEnv("QWBDCAWM_CONNECTD", (dir_ / "none.sock").string());
  out = RunCli("tasks list", "", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("built-in phone emulator"), std::string::npos) << out;
}

// A host reading through the manager by name: the tasks and a file, and the same file pull
// cut by the cable going, which the component reports as the phone gone (0x8007001F) while
// the manager forgets the phone.
TEST_F(Connectd, CliPullsAFileByNameAndSeesTheCableGoMidPull) {
  StartManager();
  SetEnv("HOME", dir_.string());
  SetEnv("XDG_CONFIG_HOME", (dir_ / "config").string());
  SetEnv("XDG_CACHE_HOME", (dir_ / "cache").string());
  wmemu::Emulator& emu = Dial("Alpha", {}, "demo");
  const std::string report = "보고서 2분기\nQ2 report\n";
  emu.files().PutFile(u"\\My Documents\\report.txt", Bytes(report.begin(), report.end()));
  Bytes big(1 << 20);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7 + i / 4096);
  emu.files().PutFile(u"\\My Documents\\big.bin", big);
  ASSERT_TRUE(WaitFor([&] { return Listed("Alpha", false); }));

  int status = 0;
  std::string out = RunCli("--device phone:Alpha tasks list --json", "", &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("\"subject\""), std::string::npos) << out;
  const std::filesystem::path pulled = dir_ / "report.txt";
  out = RunCli("--device phone:Alpha files pull '/My Documents/report.txt' '" + pulled.string() +
                   "'",
               "", &status);
  ASSERT_EQ(status, 0) << out;
  std::ifstream f(pulled, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}), report);

  // Each read of the big file waits, so the pull is under way when the cable goes.
  emu.faults().Delay(20, "CeReadFile");
  const std::filesystem::path partial = dir_ / "big.bin";
  auto pull = std::async(std::launch::async, [&] {
    int rc = 0;
    std::string text = RunCli("--device phone:Alpha files pull '/My Documents/big.bin' '" +
                                  partial.string() + "'",
                              "", &rc);
    return std::make_pair(rc, text);
  });
  ASSERT_TRUE(WaitFor(
      [&] {
        std::error_code ec;
        return std::filesystem::file_size(partial, ec) >= 16 * 4096 && !ec;
      },
      30000))
      << "the pull did not start";
  emu.faults().Unplug();
  ASSERT_EQ(pull.wait_for(std::chrono::seconds(30)), std::future_status::ready) << "hung";
  auto [rc, text] = pull.get();
  EXPECT_EQ(rc, 1) << text;
  EXPECT_NE(text.find("hr=0x8007001F"), std::string::npos) << text;
  ASSERT_TRUE(WaitFor([&] { return Devices().empty(); }));
  // No phone now: the CLI says so instead of reading the built-in one.
  out = RunCli("--device phone:Alpha tasks list", "", &status);
  EXPECT_NE(status, 0) << out;
}

}  // namespace
