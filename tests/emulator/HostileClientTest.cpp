// The emulator is a network server: a `qwbdcawm-emu serve` process is attacked with random,
// truncated and oversized frames, a client that stops reading, a thousand connections opened
// and dropped, a stream left half-written and a crowd over the connection cap. Throughout, a
// well-behaved client must get its answers; the process must live and its memory stay within
// what its limits allow.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "EmuTestUtil.h"

extern char** environ;

namespace wmemu::test {
namespace {

constexpr int kMaxConnections = 16;
constexpr uint32_t kMaxFrame = 1u << 20;

class EmuProcess {
 public:
  explicit EmuProcess(const std::filesystem::path& image) {
    int out[2];
    EXPECT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    const std::string img = image.string(), conns = std::to_string(kMaxConnections),
                      frame = std::to_string(kMaxFrame);
    const char* argv[] = {QWB_EMU_EXE,       "serve",       img.c_str(),      "--listen",
                          "tcp:127.0.0.1:0", "--max-connections", conns.c_str(), "--max-frame",
                          frame.c_str(),     "--io-timeout-ms", "1000",       nullptr};
    // A sanitizer build keeps freed memory in quarantine; keep that small so RSS tells.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
      if (std::string(*e).rfind("ASAN_OPTIONS=", 0) != 0) env.emplace_back(*e);
    const char* asan = std::getenv("ASAN_OPTIONS");
    env.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                  "quarantine_size_mb=8");
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, QWB_EMU_EXE, &fa, nullptr, const_cast<char**>(argv),
                          envp.data()),
              0);
    posix_spawn_file_actions_destroy(&fa);
    ::close(out[1]);
    char ch;
    while (::read(out[0], &ch, 1) == 1 && ch != '\n') address_ += ch;
    ::close(out[0]);
  }
  ~EmuProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      int status = 0;
      ::waitpid(pid_, &status, 0);
    }
  }
  const std::string& address() const { return address_; }
  bool Alive() const { return ::waitpid(pid_, nullptr, WNOHANG) == 0; }
  // Resident memory in KiB.
  long RssKiB() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(in, line))
      if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
  }
  // Ends with SIGTERM; true when the process exited cleanly.
  bool Stop() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  pid_t pid_ = -1;
  std::string address_;
};

// A well-behaved client: a fresh connection, one version query, its whole answer.
bool Answers(const std::string& address) {
  Client c(address);
  if (c.fd() < 0) return false;
  std::vector<uint8_t> reply = c.Cmd(rapi2::kGetVersionEx);
  return c.ok() && reply.size() == 288 && Word(reply, 0) == 0;
}

void SendRaw(int fd, const std::vector<uint8_t>& bytes) {
  rapi2::SendAll(fd, bytes.data(), bytes.size());
}
std::vector<uint8_t> Le(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
// True when the emulator closed the connection (within the time-out given).
bool ClosedByPeer(int fd, int ms) {
  uint8_t buf[4096];
  for (;;) {
    rapi2::IoResult r = rapi2::RecvAll(fd, buf, 1, ms);
    if (r == rapi2::IoResult::kTimeout) return false;
    if (r != rapi2::IoResult::kOk) return true;
  }
}

TEST(HostileClients, EmulatorSurvivesAndKeepsServing) {
  auto dir = TempDir("hostile");
  Emulator::CreateImage(dir / "img", "demo", "Aster W1");
  EmuProcess emu(dir / "img");
  const std::string& addr = emu.address();
  ASSERT_EQ(addr.rfind("tcp:127.0.0.1:", 0), 0u) << addr;
  ASSERT_TRUE(Answers(addr));
  const long rssBefore = emu.RssKiB();
  std::mt19937 rng(20261207);
  auto randomBytes = [&](size_t n) {
    std::vector<uint8_t> b(n);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
  };
  const uint32_t commands[] = {rapi2::kCreateFile,   rapi2::kReadFile,       rapi2::kWriteFile,
                               rapi2::kFindFirstFile, rapi2::kRegOpenKeyEx,  rapi2::kRegSetValueEx,
                               rapi2::kRapiInvoke,   rapi2::kFindAllFiles,   0xFFFFFFFFu};

  // Random frames: well framed, with a real command word or not, then random bytes.
  for (int i = 0; i < 300; ++i) {
    Client c(addr);
    ASSERT_GE(c.fd(), 0) << "connection " << i;
    const size_t n = rng() % 512;
    std::vector<uint8_t> frame = Le(static_cast<uint32_t>(n + 4));
    std::vector<uint8_t> cmd = Le(commands[rng() % std::size(commands)]);
    frame.insert(frame.end(), cmd.begin(), cmd.end());
    std::vector<uint8_t> body = randomBytes(n);
    frame.insert(frame.end(), body.begin(), body.end());
    if (i % 3 == 0) frame = randomBytes(rng() % 64);  // not even framed
    SendRaw(c.fd(), frame);
    if (i % 50 == 0) {
      ASSERT_TRUE(Answers(addr)) << "after random frame " << i;
    }
  }
  ASSERT_TRUE(Answers(addr));

  // Oversized frames close their connection without a byte of them being awaited.
  for (uint32_t len : {kMaxFrame + 1, 64u << 20, 0xFFFFFFFFu}) {
    Client c(addr);
    SendRaw(c.fd(), Le(len));
    EXPECT_TRUE(ClosedByPeer(c.fd(), 5000)) << len;
  }
  // Truncated frames: a frame begun and never finished is dropped after the I/O time-out.
  {
    std::vector<std::unique_ptr<Client>> truncated;
    for (int i = 0; i < 4; ++i) {
      truncated.push_back(std::make_unique<Client>(addr));
      std::vector<uint8_t> start = Le(kMaxFrame - 8);
      std::vector<uint8_t> some = randomBytes(1000);
      start.insert(start.end(), some.begin(), some.end());
      SendRaw(truncated.back()->fd(), start);
    }
    EXPECT_TRUE(Answers(addr));
    for (auto& c : truncated) EXPECT_TRUE(ClosedByPeer(c->fd(), 10000));
  }

  // A client that stops reading: echo requests of 512 KiB whose answers it never takes.
  {
    Client lazy(addr);
    std::vector<uint8_t> payload = randomBytes(512 * 1024);
    for (int i = 0; i < 16; ++i) {
      rapi2::Writer w;
      w.u32(rapi2::kRapiInvoke).u32(0).str(u"QWBRapiServer").str(u"DevCeEcho");
      w.u32(static_cast<uint32_t>(payload.size())).bytes(payload.data(), payload.size()).u32(0);
      std::vector<uint8_t> frame = w.Finish();
      timeval tv{0, 200000};
      ::setsockopt(lazy.fd(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
      if (rapi2::SendAll(lazy.fd(), frame.data(), frame.size()) != rapi2::IoResult::kOk) break;
    }
    EXPECT_TRUE(Answers(addr));
    // The emulator gives up on it after its time-out instead of waiting for ever.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(Answers(addr));
  }

  // A stream left half-written: the phonebook stream opened, half a packet header sent.
  {
    Client stream(addr);
    std::vector<uint8_t> opened = stream.Invoke(u"QWBRapiServer", u"DevCeApplyAllData", {}, 1);
    ASSERT_EQ(Words(opened), (W{0}));
    SendRaw(stream.fd(), {0x01, 0x00, 0x00});
    EXPECT_TRUE(Answers(addr));
    EXPECT_TRUE(ClosedByPeer(stream.fd(), 10000));
  }

  // A thousand connections opened and dropped, some mid-frame.
  for (int i = 0; i < 1000; ++i) {
    int fd = ConnectTcp(addr);
    if (fd < 0) continue;  // refused over the cap: allowed
    if (i % 4 == 1) SendRaw(fd, Le(100));
    if (i % 4 == 2) SendRaw(fd, {0x10});
    ::close(fd);
  }
  // Over the cap: connections beyond it are closed at once; once the crowd goes, served again.
  {
    std::vector<std::unique_ptr<Client>> crowd;
    for (int i = 0; i < kMaxConnections + 8; ++i) crowd.push_back(std::make_unique<Client>(addr));
    // The first kMaxConnections hold their places; the rest are closed by the emulator.
    int refused = 0;
    for (size_t i = kMaxConnections; i < crowd.size(); ++i)
      refused += ClosedByPeer(crowd[i]->fd(), 2000) ? 1 : 0;
    EXPECT_EQ(refused, 8);
  }
  bool served = false;
  for (int i = 0; i < 100 && !served; ++i) {
    served = Answers(addr);
    if (!served) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(served);

  EXPECT_TRUE(emu.Alive());
  const long rssAfter = emu.RssKiB();
  // What the limits allow: kMaxConnections buffers of one frame, plus the replies in flight.
  const long allowedKiB = 2L * kMaxConnections * (kMaxFrame / 1024) + 64 * 1024;
  EXPECT_LT(rssAfter - rssBefore, allowedKiB) << "RSS " << rssBefore << " -> " << rssAfter;
  EXPECT_TRUE(emu.Stop());
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace wmemu::test
