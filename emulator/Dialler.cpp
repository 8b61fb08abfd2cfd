#include "emulator/Dialler.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>

#include "emulator/Emulator.h"
#include "emulator/Text.h"
#include "platform/rapi/Rapi2Wire.h"
#include "platform/util/Address.h"

namespace wmemu {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kConnectTimeoutMs = 5000;
constexpr int kRedialAfterFailureMs = 3000;
constexpr uint8_t kTrigger = 0x7F;

// HOST:PORT, with or without its tcp: (or udp:, for the trigger) prefix.
void SplitHostPort(std::string text, std::string* host, std::string* port) {
  if (text.rfind("udp:", 0) == 0) text = text.substr(4);
  if (text.rfind("tcp:", 0) != 0) text = "tcp:" + text;
  addr::Address parsed;
  if (!addr::Parse(text, &parsed) || parsed.kind != addr::Address::kTcp)
    throw std::runtime_error("address must be HOST:PORT: " + text.substr(4));
  *host = parsed.host;
  *port = parsed.port;
}

// A blocking TCP connection to host:port, or -1.
int ConnectTcp(const std::string& host, const std::string& port) {
  addr::Address address;
  address.kind = addr::Address::kTcp;
  address.host = host;
  address.port = port;
  std::string error;
  int fd = addr::ConnectStream(address, kConnectTimeoutMs, &error);
  if (fd >= 0) {
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  return fd;
}

bool SendMessage(int fd, const std::vector<uint8_t>& m) {
  return rapi2::SendAll(fd, m.data(), m.size()) == rapi2::IoResult::kOk;
}

}  // namespace

Dialler::Dialler(Emulator& emulator, DialOptions options)
    : emu_(emulator), options_(std::move(options)) {
  SplitHostPort(options_.address, &host_, &port_);
}

Dialler::~Dialler() { Stop(); }

std::string Dialler::Start() {
  std::string triggerAddress;
  if (!options_.trigger.empty()) {
    std::string host, port;
    SplitHostPort(options_.trigger, &host, &port);
    addrinfo hints{};
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* ai = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &ai) != 0)
      throw std::runtime_error("bad trigger address " + options_.trigger);
    udp_ = ::socket(ai->ai_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (udp_ < 0 || ::bind(udp_, ai->ai_addr, ai->ai_addrlen) != 0) {
      std::string why = std::strerror(errno);
      ::freeaddrinfo(ai);
      if (udp_ >= 0) ::close(udp_);
      udp_ = -1;
      throw std::runtime_error("cannot receive triggers on " + options_.trigger + ": " + why);
    }
    ::freeaddrinfo(ai);
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    ::getsockname(udp_, reinterpret_cast<sockaddr*>(&sa), &len);
    triggerAddress = host + ":" + std::to_string(ntohs(sa.sin_port));
  }
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  thread_ = std::thread([this] { Loop(); });
  return triggerAddress;
}

void Dialler::Stop() {
  if (!thread_.joinable()) return;
  stop_ = true;
  Wake();
  thread_.join();
  if (udp_ >= 0) ::close(udp_);
  if (wake_ >= 0) ::close(wake_);
  udp_ = wake_ = -1;
}

void Dialler::Wake() {
  if (wake_ < 0) return;
  uint64_t one = 1;
  ssize_t unused = ::write(wake_, &one, sizeof one);
  (void)unused;
}

void Dialler::Unlock() {
  unlock_ = true;
  Wake();
}
void Dialler::DropControl() {
  drop_ = true;
  Wake();
}
void Dialler::Stall(bool stalled) {
  stalled_ = stalled;
  Wake();
}
void Dialler::RefuseSessions(int n) { refuse_ = n; }
void Dialler::ClearFaults() {
  refuse_ = 0;
  Stall(false);
}

ctlwire::DeviceInfo Dialler::Info() {
  DeviceIdentity id = emu_.Identity();
  ctlwire::DeviceInfo info;
  info.guid = id.guid;
  info.osMajor = 5;
  info.osMinor = 2;
  info.name = Utf16(emu_.deviceName()).substr(0, ctlwire::kMaxNameUnits);
  info.version = 19202;  // the OS build
  info.cpuType = id.processorType;
  info.partnerId = id.partnerId;
  info.platform = "PocketPC";
  info.model = emu_.modelName();
  if (!options_.password.empty()) {
    // The key changes with every connection; only its low byte scrambles the password.
    std::random_device rd;
    info.passwordKey = (rd() & 0x7FFFFF00u) | (1 + rd() % 254);
  } else if (options_.unlockOnDevice) {
    info.passwordKey = ctlwire::kUnlockOnDevice;
  }
  return info;
}

void Dialler::Loop() {
  bool want = true;
  bool wasUnplugged = false;
  auto retryAt = Clock::time_point::max();
  while (!stop_) {
    bool unplugged = emu_.faults().unplugged();
    if (wasUnplugged && !unplugged) want = true;  // the cable is back
    wasUnplugged = unplugged;
    if (retryAt <= Clock::now()) {
      want = true;
      retryAt = Clock::time_point::max();
    }
    if (want && !unplugged) {
      want = false;
      int before = dials_;
      RunChannel();
      // Nobody answered: try again a little later, as a phone keeps trying its PC.
      if (dials_ == before && !stop_) retryAt = Clock::now() + std::chrono::milliseconds(kRedialAfterFailureMs);
      continue;
    }
    pollfd p[2] = {{wake_, POLLIN, 0}, {udp_, POLLIN, 0}};
    ::poll(p, udp_ >= 0 ? 2 : 1, 250);
    if (p[0].revents & POLLIN) {
      uint64_t v;
      ssize_t unused = ::read(wake_, &v, sizeof v);
      (void)unused;
    }
    if (udp_ >= 0 && (p[1].revents & POLLIN)) {
      uint8_t buf[16];
      ssize_t n;
      while ((n = ::recv(udp_, buf, sizeof buf, 0)) > 0)
        if (n == 1 && buf[0] == kTrigger) want = true;
    }
  }
}

// Waits for more bytes of the channel; false when it closed, the phone was unplugged, the
// channel is to be dropped or the emulator stops.
bool Dialler::Expect(int fd, ctlwire::Reader& reader, size_t) {
  for (;;) {
    if (stop_ || drop_ || emu_.faults().unplugged()) return false;
    bool stalled = stalled_;
    pollfd p[2] = {{wake_, POLLIN, 0}, {fd, POLLIN, 0}};
    int r = ::poll(p, stalled ? 1 : 2, 250);
    if (r < 0 && errno != EINTR) return false;
    if (p[0].revents & POLLIN) {
      uint64_t v;
      ssize_t unused = ::read(wake_, &v, sizeof v);
      (void)unused;
      return true;  // the caller re-checks unlock and the other flags
    }
    if (stalled || !(p[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    uint8_t buf[1024];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    if (!reader.Feed(buf, static_cast<size_t>(n))) return false;
    return true;
  }
}

void Dialler::RunChannel() {
  int fd = ConnectTcp(host_, port_);
  if (fd < 0) return;
  ++dials_;
  drop_ = false;
  ctlwire::Reader rd;
  ctlwire::DeviceInfo info = Info();
  uint32_t w = 0;
  auto word = [&](uint32_t* out) {
    for (;;) {
      if (rd.TakeWord(out) == ctlwire::Reader::kOk) return true;
      if (!Expect(fd, rd, 4)) return false;
    }
  };
  bool ok = SendMessage(fd, ctlwire::PhoneHello()) && word(&w) && w == ctlwire::kHelloAnswer &&
            SendMessage(fd, ctlwire::PhoneRequest()) && word(&w) && w == 7;
  if (ok) {
    for (;;) {
      auto r = rd.TakeRequestAnswerRest();
      if (r == ctlwire::Reader::kOk) break;
      if (r == ctlwire::Reader::kBad || !Expect(fd, rd, 12)) {
        ok = false;
        break;
      }
    }
  }
  ok = ok && SendMessage(fd, ctlwire::DeviceInfoMessage(info));
  if (ok && info.passwordKey == ctlwire::kUnlockOnDevice) {
    // The PC asks for the lock screen; the user unlocks after a while.
    ok = word(&w) && w == ctlwire::kShowUnlockScreen;
    const auto at = options_.unlockDelayMs >= 0
                        ? Clock::now() + std::chrono::milliseconds(options_.unlockDelayMs)
                        : Clock::time_point::max();
    while (ok && !unlock_ && Clock::now() < at) {
      if (stop_ || drop_ || emu_.faults().unplugged()) ok = false;
      pollfd p{wake_, POLLIN, 0};
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(at - Clock::now()).count();
      ::poll(&p, 1, static_cast<int>(std::clamp<long long>(left, 0, 250)));
      if (p.revents & POLLIN) {
        uint64_t v;
        ssize_t unused = ::read(wake_, &v, sizeof v);
        (void)unused;
      }
    }
    unlock_ = false;
    ok = ok && SendMessage(fd, ctlwire::UnlockResult(0)) && word(&w) && w == 0 && word(&w) &&
         w == ctlwire::kUnlockConfirm;
  } else if (ok && info.passwordKey != ctlwire::kNoPassword) {
    const std::u16string expected = Utf16(options_.password);
    for (bool accepted = false; ok && !accepted;) {
      std::u16string given;
      auto r = rd.TakePassword(info.passwordKey, &given);
      if (r == ctlwire::Reader::kNeedMore) {
        ok = Expect(fd, rd, 2);
        continue;
      }
      if (r == ctlwire::Reader::kBad) break;
      accepted = given == expected;
      ok = SendMessage(fd, ctlwire::PasswordVerdict(accepted));
    }
  }
  if (ok) connected_ = true;
  while (ok) {
    auto r = rd.TakeWord(&w);
    if (r == ctlwire::Reader::kNeedMore) {
      ok = Expect(fd, rd, 4);
      continue;
    }
    if (w == ctlwire::kPing) {
      ok = SendMessage(fd, ctlwire::Pong());
    } else if (w == ctlwire::kSessionRequest) {
      uint32_t id = 0;
      for (;;) {
        auto s = rd.TakeSessionRequestRest(&id);
        if (s == ctlwire::Reader::kOk) break;
        if (s == ctlwire::Reader::kBad || !Expect(fd, rd, 8)) {
          ok = false;
          break;
        }
      }
      if (!ok) break;
      if (refuse_ > 0) {
        --refuse_;
      } else {
        OpenSession(id);
      }
    }
    // Anything else from the PC is not for this phone: ignored.
  }
  connected_ = false;
  drop_ = false;
  ::close(fd);
}

void Dialler::OpenSession(uint32_t id) {
  int fd = ConnectTcp(host_, port_);
  if (fd < 0) return;
  if (!SendMessage(fd, ctlwire::SessionHello(id))) {
    ::close(fd);
    return;
  }
  emu_.ServeSocket(fd);
}

}  // namespace wmemu
