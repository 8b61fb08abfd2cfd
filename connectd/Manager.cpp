#include "connectd/Manager.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <pwd.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "link/ControlChannel.h"
#include "platform/rapi/ManagerClient.h"
#include "platform/util/Utf.h"

namespace connectd {
namespace {

using Clock = std::chrono::steady_clock;
constexpr Clock::time_point kNever = Clock::time_point::max();
constexpr int kFirstWordTimeoutMs = 10000;
constexpr int kClientRequestTimeoutMs = 10000;
constexpr size_t kMaxClientLine = 4096;
constexpr size_t kMaxConnections = 512;

Clock::time_point After(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

std::string Utf8(const std::u16string& s) { return utf::Narrow(s); }
std::u16string Utf16(const std::string& s) { return utf::Widen(s); }

std::string Fold(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Quoted(const std::string& s) {
  return nlohmann::json(s).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

std::string PeerAddress(const sockaddr_storage& ss) {
  char buf[INET6_ADDRSTRLEN] = "?";
  if (ss.ss_family == AF_INET) {
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(ss).sin_addr, buf, sizeof buf);
  } else if (ss.ss_family == AF_INET6) {
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(ss).sin6_addr, buf, sizeof buf);
  }
  return buf;
}

// A session socket goes to a program that expects a blocking socket; the TCP keep-alive
// makes it fail on its own within seconds once the phone's link is gone.
void PrepareSessionSocket(int fd) {
  int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  int one = 1, idle = 10, interval = 3, count = 3;
  unsigned userTimeout = 20000;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
  ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout);
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace

struct Manager::Conn {
  enum Kind { kNewTcp, kPhone, kClient } kind;
  int fd;
  std::string peer;
  Clock::time_point deadline = kNever;
  uint8_t first[4] = {};
  size_t have = 0;
  Conn(Kind k, int f) : kind(k), fd(f) {}
  virtual ~Conn() = default;
};

struct Manager::Phone : Conn {
  enum State { kHandshake, kInfo, kPassword, kChecking, kOnDevice, kConnected } state = kHandshake;
  ctlwire::Reader reader;
  ctlwire::DeviceInfo info;
  std::string name;  // UTF-8, set with the info
  int missed = 0;
  int checkingClient = -1;  // the client waiting for the verdict on its password
  using Conn::Conn;
  bool listed() const { return state != kHandshake && state != kInfo; }
  bool locked() const { return listed() && state != kConnected; }
};

struct Manager::Client : Conn {
  uid_t uid = 0;
  std::string buf;
  bool asked = false;
  using Conn::Conn;
};

struct Manager::Request {
  uint32_t id;
  int phoneFd;
  int clientFd;
  Clock::time_point deadline;
};

Manager::Manager(Options options) : options_(std::move(options)) {
  if (options_.socketPath.empty()) options_.socketPath = connectproto::DefaultListenPath();
}

Manager::~Manager() {
  for (auto& [fd, c] : conns_) ::close(fd);
  for (int fd : {tcp_, unix_, stopFd_, epoll_})
    if (fd >= 0) ::close(fd);
  if (unix_ >= 0) ::unlink(options_.socketPath.c_str());
}

void Manager::Log(int level, const std::string& text) const {
  if (level > options_.logLevel) return;
  std::string line = "<" + std::to_string(level) + ">" + text + "\n";
  ssize_t unused = ::write(2, line.data(), line.size());
  (void)unused;
}

bool Manager::Start(std::string* error) {
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
  stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (epoll_ < 0 || stopFd_ < 0) {
    *error = std::string("epoll: ") + std::strerror(errno);
    return false;
  }
  // The phones' TCP port.
  std::string host = options_.listen, port;
  size_t colon = host.rfind(':');
  if (colon == std::string::npos) {
    *error = "--listen takes ADDR:PORT: " + options_.listen;
    return false;
  }
  port = host.substr(colon + 1);
  host = host.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* ai = nullptr;
  if (port.empty() || ::getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints,
                                    &ai) != 0) {
    *error = "--listen takes a numeric ADDR:PORT: " + options_.listen;
    return false;
  }
  tcp_ = ::socket(ai->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  int one = 1;
  if (tcp_ >= 0) ::setsockopt(tcp_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (tcp_ < 0 || ::bind(tcp_, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(tcp_, 64) != 0) {
    *error = "cannot listen on " + options_.listen + ": " + std::strerror(errno);
    ::freeaddrinfo(ai);
    return false;
  }
  ::freeaddrinfo(ai);
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  ::getsockname(tcp_, reinterpret_cast<sockaddr*>(&ss), &len);
  port_ = ntohs(ss.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(ss).sin6_port
                                         : reinterpret_cast<sockaddr_in&>(ss).sin_port);

  // The programs' Unix socket.
  const std::string& path = options_.socketPath;
  sockaddr_un sa{};
  sa.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof sa.sun_path) {
    *error = "bad socket path " + path;
    return false;
  }
  std::memcpy(sa.sun_path, path.data(), path.size());
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::path(path).parent_path();
  if (!dir.empty() && !std::filesystem::exists(dir, ec)) {
    std::filesystem::create_directories(dir, ec);
    ::chmod(dir.c_str(), 0755);
  }
  // A socket file nobody answers on is left over from an earlier run.
  if (connectproto::Ask(path, "{\"request\":\"devices\"}", 1000).error !=
      connectproto::kErrorNoManager) {
    *error = "another connection manager answers on " + path;
    return false;
  }
  ::unlink(path.c_str());
  unix_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (unix_ < 0 || ::bind(unix_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      ::listen(unix_, 64) != 0) {
    *error = "cannot listen on " + path + ": " + std::strerror(errno);
    return false;
  }
  // Who may ask is checked per caller; the file mode only keeps others from connecting.
  bool others = !options_.allowUsers.empty() || !options_.allowGroups.empty();
  ::chmod(path.c_str(), others ? 0666 : 0600);

  for (int fd : {stopFd_, tcp_, unix_}) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev);
  }
  Log(6, "listening for phones on " + options_.listen + " (port " + std::to_string(port_) +
             "), for programs on " + path);
  return true;
}

void Manager::Stop() {
  uint64_t one = 1;
  ssize_t unused = ::write(stopFd_, &one, sizeof one);
  (void)unused;
}

void Manager::Add(std::unique_ptr<Conn> conn, uint32_t events) {
  epoll_event ev{};
  ev.events = events;
  ev.data.fd = conn->fd;
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, conn->fd, &ev);
  conns_[conn->fd] = std::move(conn);
}

void Manager::Close(int fd) {
  auto it = conns_.find(fd);
  if (it == conns_.end()) return;
  std::unique_ptr<Conn> c = std::move(it->second);
  conns_.erase(it);
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  ::close(fd);
  if (c->kind == Conn::kClient) {
    // A program that went away no longer waits for its session; a connection that still
    // brings it is closed as unknown.
    std::erase_if(requests_, [fd](const auto& kv) { return kv.second->clientFd == fd; });
    for (auto& [pfd, other] : conns_)
      if (other->kind == Conn::kPhone && static_cast<Phone&>(*other).checkingClient == fd)
        static_cast<Phone&>(*other).checkingClient = -1;
  }
}

int Manager::Run() {
  epoll_event events[32];
  for (;;) {
    int timeout = Timers();
    int n = ::epoll_wait(epoll_, events, 32, timeout);
    if (n < 0) {
      if (errno == EINTR) continue;
      Log(3, std::string("epoll_wait: ") + std::strerror(errno));
      return 1;
    }
    for (int i = 0; i < n; ++i) {
      int fd = events[i].data.fd;
      if (fd == stopFd_) {
        Log(6, "stopping");
        return 0;
      }
      if (fd == tcp_) {
        AcceptPhones();
        continue;
      }
      if (fd == unix_) {
        AcceptClients();
        continue;
      }
      auto it = conns_.find(fd);
      if (it == conns_.end()) continue;  // closed by an earlier event of this round
      Conn& c = *it->second;
      switch (c.kind) {
        case Conn::kNewTcp:
          OnFirstWord(c);
          break;
        case Conn::kPhone:
          OnPhone(static_cast<Phone&>(c));
          break;
        case Conn::kClient:
          OnClient(static_cast<Client&>(c));
          break;
      }
    }
  }
}

void Manager::AcceptPhones() {
  for (;;) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    int fd = ::accept4(tcp_, reinterpret_cast<sockaddr*>(&ss), &len, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    if (conns_.size() >= kMaxConnections) {
      Log(4, "too many connections: refused one from " + PeerAddress(ss));
      ::close(fd);
      continue;
    }
    auto c = std::make_unique<Conn>(Conn::kNewTcp, fd);
    c->peer = PeerAddress(ss);
    c->deadline = After(kFirstWordTimeoutMs);
    Log(7, "connection from " + c->peer);
    Add(std::move(c), EPOLLIN | EPOLLRDHUP);
  }
}

void Manager::OnFirstWord(Conn& c) {
  // Exactly four bytes: what follows belongs to the control channel or to the session.
  ssize_t n = ::recv(c.fd, c.first + c.have, 4 - c.have, 0);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0) {
    Log(7, "connection from " + c.peer + " closed before its first word");
    Close(c.fd);
    return;
  }
  c.have += static_cast<size_t>(n);
  if (c.have < 4) return;
  uint32_t word = static_cast<uint32_t>(c.first[0]) | static_cast<uint32_t>(c.first[1]) << 8 |
                  static_cast<uint32_t>(c.first[2]) << 16 |
                  static_cast<uint32_t>(c.first[3]) << 24;
  if (requests_.count(word)) {
    SessionArrived(c, word);
    return;
  }
  if (word != ctlwire::kPhoneHello) {
    Log(4, "connection from " + c.peer + " opened with " + Hex(word) +
               ", which is neither a phone's opening word nor a session waiting for its "
               "connection (a pre-WM5 phone, an unknown device, or a session that expired): "
               "closed");
    Close(c.fd);
    return;
  }
  // A control channel: the opening word is answered at once.
  auto p = std::make_unique<Phone>(Conn::kPhone, c.fd);
  p->peer = c.peer;
  p->deadline = After(options_.handshakeTimeoutMs);
  int fd = c.fd;
  conns_[fd] = std::move(p);  // replaces c
  Phone& phone = static_cast<Phone&>(*conns_[fd]);
  Log(7, "control channel from " + phone.peer);
  if (!SendToPhone(phone, ctlwire::HelloAnswer())) return;
}

bool Manager::SendToPhone(Phone& p, const std::vector<uint8_t>& bytes) {
  ssize_t n = ::send(p.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n == static_cast<ssize_t>(bytes.size())) return true;
  PhoneGone(p, n < 0 ? std::string("write failed: ") + std::strerror(errno)
                     : std::string("does not read its control channel"),
            4);
  return false;
}

void Manager::OnPhone(Phone& p) {
  uint8_t buf[2048];
  for (;;) {
    ssize_t n = ::recv(p.fd, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) break;
    if (n <= 0) {
      PhoneGone(p, n == 0 ? "closed its control channel" : std::string(std::strerror(errno)), 6);
      return;
    }
    if (!p.reader.Feed(buf, static_cast<size_t>(n))) {
      PhoneGone(p, "sent more than any control message holds", 4);
      return;
    }
    if (!HandlePhoneBytes(p)) return;
  }
}

// Reads every whole message that arrived; false when the phone was closed.
bool Manager::HandlePhoneBytes(Phone& p) {
  for (;;) {
    uint32_t w = 0;
    switch (p.state) {
      case Phone::kHandshake: {
        if (p.reader.TakeWord(&w) != ctlwire::Reader::kOk) return true;
        if (w == ctlwire::kPhoneHello) {
          if (!SendToPhone(p, ctlwire::HelloAnswer())) return false;
        } else if (w == ctlwire::kPhoneRequest) {
          if (!SendToPhone(p, ctlwire::RequestAnswer())) return false;
        } else if (w == ctlwire::kDeviceInfo) {
          p.state = Phone::kInfo;
        } else {
          PhoneGone(p, "sent the unknown word " + Hex(w) + " in its opening exchange", 4);
          return false;
        }
        break;
      }
      case Phone::kInfo: {
        std::string error;
        auto r = p.reader.TakeDeviceInfo(&p.info, &error);
        if (r == ctlwire::Reader::kNeedMore) return true;
        if (r == ctlwire::Reader::kBad) {
          PhoneGone(p, "sent malformed device information: " + error, 4);
          return false;
        }
        // The phone may be refused (and freed) while its information is checked.
        const int fd = p.fd;
        OnPhoneInfo(p);
        if (conns_.find(fd) == conns_.end()) return false;
        break;
      }
      case Phone::kChecking: {
        uint16_t verdict = 0;
        if (p.reader.TakeHalf(&verdict) != ctlwire::Reader::kOk) return true;
        int client = p.checkingClient;
        p.checkingClient = -1;
        p.deadline = kNever;
        auto it = conns_.find(client);
        Client* c = it == conns_.end() ? nullptr : static_cast<Client*>(it->second.get());
        if (verdict != 0) {
          p.state = Phone::kConnected;
          p.deadline = options_.keepAliveMs > 0 ? After(options_.keepAliveMs) : kNever;
          Log(6, "phone " + Quoted(p.name) + " unlocked with its password");
          if (c) Reply(*c, "{\"ok\":true}");
        } else {
          p.state = Phone::kPassword;
          Log(5, "phone " + Quoted(p.name) + " refused the password");
          if (c) Fail(*c, connectproto::kErrorWrongPassword, "the phone refused the password");
        }
        break;
      }
      case Phone::kOnDevice: {
        if (p.reader.TakeWord(&w) != ctlwire::Reader::kOk) return true;
        if (w != 0) {
          Log(4, "phone " + Quoted(p.name) + " answered its unlock screen with " + Hex(w) +
                     "; still locked");
          break;
        }
        if (!SendToPhone(p, ctlwire::UnlockAccepted())) return false;
        p.state = Phone::kConnected;
        p.deadline = options_.keepAliveMs > 0 ? After(options_.keepAliveMs) : kNever;
        Log(6, "phone " + Quoted(p.name) + " unlocked on the device");
        break;
      }
      case Phone::kPassword:
      case Phone::kConnected: {
        if (p.reader.TakeWord(&w) != ctlwire::Reader::kOk) return true;
        if (w == ctlwire::kPong) {
          p.missed = 0;
        } else {
          Log(7, "phone " + Quoted(p.name) + " sent " + Hex(w) + " on its control channel; ignored");
        }
        break;
      }
    }
  }
}

void Manager::OnPhoneInfo(Phone& p) {
  const ctlwire::DeviceInfo& info = p.info;
  p.name = Utf8(info.name);
  if (info.osMajor < 5) {
    PhoneGone(p, "is a pre-WM5 device (Windows CE " + std::to_string(info.osMajor) + "." +
                     std::to_string(info.osMinor) +
                     "), which is not supported; a Windows Mobile 5 or later phone is required",
              4);
    return;
  }
  if (p.name.empty()) {
    PhoneGone(p, "sent device information without a device name", 4);
    return;
  }
  // The same phone dialling again before its old channel was noticed gone replaces it.
  std::vector<int> stale;
  for (auto& [fd, c] : conns_) {
    if (c->kind != Conn::kPhone || fd == p.fd) continue;
    Phone& other = static_cast<Phone&>(*c);
    if (other.listed() && other.info.guid == info.guid && other.peer == p.peer) stale.push_back(fd);
  }
  for (int fd : stale) PhoneGone(static_cast<Phone&>(*conns_[fd]), "dialled again", 6);

  std::string lock = "no password";
  p.deadline = kNever;
  if (info.passwordKey == ctlwire::kNoPassword) {
    p.state = Phone::kConnected;
    if (options_.keepAliveMs > 0) p.deadline = After(options_.keepAliveMs);
  } else if (info.passwordKey == ctlwire::kUnlockOnDevice) {
    p.state = Phone::kOnDevice;
    lock = "locked: unlock it on the phone";
  } else {
    p.state = Phone::kPassword;
    lock = "locked: `qwbdcawm unlock` asks for its password";
  }
  Log(6, "phone " + Quoted(p.name) + " (" + Quoted(info.model) + ", Windows CE " +
             std::to_string(info.osMajor) + "." + std::to_string(info.osMinor) + ", " +
             ctlwire::GuidText(info.guid) + ") connected from " + p.peer + "; " + lock);
  if (p.state == Phone::kOnDevice) SendToPhone(p, ctlwire::ShowUnlockScreen());
}

void Manager::PhoneGone(Phone& p, const std::string& why, int level) {
  std::string who = p.listed() ? "phone " + Quoted(p.name) + " (" + p.peer + ")"
                               : "phone at " + p.peer;
  Log(level, who + " " + why + (p.listed() ? ": disconnected" : ": closed"));
  int fd = p.fd;
  std::vector<std::pair<uint32_t, int>> failed;
  for (auto& [id, r] : requests_)
    if (r->phoneFd == fd) failed.emplace_back(id, r->clientFd);
  for (auto& [id, clientFd] : failed) {
    requests_.erase(id);
    auto it = conns_.find(clientFd);
    if (it != conns_.end())
      Fail(static_cast<Client&>(*it->second), connectproto::kErrorGone,
           "the phone disconnected before its session arrived");
  }
  if (p.checkingClient >= 0) {
    auto it = conns_.find(p.checkingClient);
    if (it != conns_.end())
      Fail(static_cast<Client&>(*it->second), connectproto::kErrorGone,
           "the phone disconnected before answering");
  }
  Close(fd);
}

void Manager::AcceptClients() {
  for (;;) {
    int fd = ::accept4(unix_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 ||
        !Allowed(cred.uid, cred.gid)) {
      Log(4, "refused a program of user " + std::to_string(cred.uid) + " (pid " +
                 std::to_string(cred.pid) + "): not an allowed user or group");
      std::string line = "{\"ok\":false,\"error\":\"denied\",\"message\":\"not allowed\"}\n";
      ssize_t unused = ::send(fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      (void)unused;
      ::close(fd);
      continue;
    }
    if (conns_.size() >= kMaxConnections) {
      Log(4, "too many connections: refused a program");
      ::close(fd);
      continue;
    }
    auto c = std::make_unique<Client>(Conn::kClient, fd);
    c->uid = cred.uid;
    c->peer = "pid " + std::to_string(cred.pid);
    c->deadline = After(kClientRequestTimeoutMs);
    Add(std::move(c), EPOLLIN | EPOLLRDHUP);
  }
}

bool Manager::Allowed(uid_t uid, gid_t gid) const {
  if (uid == 0 || uid == ::geteuid()) return true;
  if (std::find(options_.allowUsers.begin(), options_.allowUsers.end(), uid) !=
      options_.allowUsers.end())
    return true;
  if (options_.allowGroups.empty()) return false;
  std::vector<gid_t> groups{gid};
  passwd pw{}, *found = nullptr;
  std::vector<char> buf(16384);
  if (::getpwuid_r(uid, &pw, buf.data(), buf.size(), &found) == 0 && found) {
    int n = 64;
    std::vector<gid_t> list(static_cast<size_t>(n));
    if (::getgrouplist(pw.pw_name, pw.pw_gid, list.data(), &n) >= 0)
      groups.insert(groups.end(), list.begin(), list.begin() + n);
  }
  for (gid_t g : groups)
    if (std::find(options_.allowGroups.begin(), options_.allowGroups.end(), g) !=
        options_.allowGroups.end())
      return true;
  return false;
}

void Manager::OnClient(Client& c) {
  char buf[1024];
  ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
  if (n <= 0) {
    Close(c.fd);
    return;
  }
  if (c.asked) return;  // one request per connection; anything more is ignored
  c.buf.append(buf, static_cast<size_t>(n));
  size_t nl = c.buf.find('\n');
  if (nl == std::string::npos) {
    if (c.buf.size() > kMaxClientLine) Fail(c, connectproto::kErrorBadRequest, "request too long");
    return;
  }
  c.asked = true;
  c.deadline = kNever;
  HandleRequest(c, c.buf.substr(0, nl));
}

Manager::Phone* Manager::FindPhone(const std::string& name, const char** code,
                                   std::string* message) {
  std::vector<Phone*> matches;
  size_t listed = 0;
  for (auto& [fd, c] : conns_) {
    if (c->kind != Conn::kPhone) continue;
    Phone& p = static_cast<Phone&>(*c);
    if (!p.listed()) continue;
    ++listed;
    if (name.empty() || Fold(p.name) == Fold(name)) matches.push_back(&p);
  }
  if (matches.size() == 1) return matches[0];
  if (matches.empty()) {
    *code = connectproto::kErrorNoPhone;
    *message = name.empty() ? "no phone is connected"
                            : "no phone named " + Quoted(name) + " is connected (" +
                                  std::to_string(listed) + " connected)";
  } else {
    *code = connectproto::kErrorSeveral;
    *message = std::to_string(matches.size()) + " phones" +
               (name.empty() ? std::string(" are connected") : " are named " + Quoted(name)) +
               "; choose one by name";
  }
  return nullptr;
}

void Manager::HandleRequest(Client& c, const std::string& line) {
  nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
  if (!j.is_object() || !j.contains("request") || !j["request"].is_string()) {
    Fail(c, connectproto::kErrorBadRequest, "a request is a JSON object with \"request\"");
    return;
  }
  std::string what = j["request"].get<std::string>();
  std::string device = j.contains("device") && j["device"].is_string() ? j["device"].get<std::string>()
                                                                      : std::string();
  if (what == "devices") {
    Reply(c, DevicesJson());
    return;
  }
  if (what != "session" && what != "unlock") {
    Fail(c, connectproto::kErrorBadRequest, "unknown request " + Quoted(what));
    return;
  }
  const char* code = nullptr;
  std::string message;
  Phone* p = FindPhone(device, &code, &message);
  if (!p) {
    Fail(c, code, message);
    return;
  }
  if (what == "unlock") {
    if (p->state == Phone::kConnected || p->state == Phone::kOnDevice) {
      Fail(c, connectproto::kErrorNotLocked,
           p->state == Phone::kConnected ? "the phone is not locked"
                                         : "the phone is unlocked on its own screen");
      return;
    }
    if (p->state == Phone::kChecking) {
      Fail(c, connectproto::kErrorBusy, "a password is being checked already");
      return;
    }
    if (!j.contains("password") || !j["password"].is_string()) {
      Fail(c, connectproto::kErrorBadRequest, "unlock needs a password");
      return;
    }
    std::vector<uint8_t> msg =
        ctlwire::PasswordMessage(Utf16(j["password"].get<std::string>()), p->info.passwordKey);
    if (msg.empty()) {
      Fail(c, connectproto::kErrorBadRequest, "the password is too long");
      return;
    }
    int clientFd = c.fd;
    int phoneFd = p->fd;
    if (!SendToPhone(*p, msg)) {
      Fail(c, connectproto::kErrorGone, "the phone disconnected");
      return;
    }
    Phone& phone = static_cast<Phone&>(*conns_[phoneFd]);
    phone.state = Phone::kChecking;
    phone.checkingClient = clientFd;
    phone.deadline = After(options_.passwordTimeoutMs);
    return;
  }
  if (p->locked()) {
    Fail(c, connectproto::kErrorLocked,
         p->state == Phone::kOnDevice
             ? "the phone is locked: unlock it on its screen"
             : "the phone is locked: give its password with `qwbdcawm unlock`");
    return;
  }
  uint32_t id = nextId_++;
  if (nextId_ == 0) nextId_ = 1;
  auto r = std::make_unique<Request>();
  r->id = id;
  r->phoneFd = p->fd;
  r->clientFd = c.fd;
  r->deadline = After(options_.sessionTimeoutMs);
  requests_[id] = std::move(r);
  Log(7, "asking phone " + Quoted(p->name) + " for session " + std::to_string(id));
  SendToPhone(*p, ctlwire::SessionRequest(id));
}

void Manager::SessionArrived(Conn& c, uint32_t id) {
  auto it = requests_.find(id);
  Request r = *it->second;
  Phone& phone = static_cast<Phone&>(*conns_[r.phoneFd]);
  if (phone.peer != c.peer) {
    Log(4, "connection from " + c.peer + " carries session " + std::to_string(id) +
               " of the phone at " + phone.peer + ": closed");
    Close(c.fd);
    return;
  }
  requests_.erase(it);
  int fd = c.fd;
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  PrepareSessionSocket(fd);
  auto cit = conns_.find(r.clientFd);
  if (cit != conns_.end()) {
    Log(7, "session " + std::to_string(id) + " of phone " + Quoted(phone.name) + " handed over");
    Reply(static_cast<Client&>(*cit->second),
          nlohmann::json{{"ok", true}, {"device", phone.name}, {"session", id}}.dump(
              -1, ' ', false, nlohmann::json::error_handler_t::replace),
          fd);
  }
  // Our copy goes; the program's stays connected.
  conns_.erase(fd);
  ::close(fd);
}

void Manager::Reply(Client& c, const std::string& json, int passFd) {
  std::string line = json + "\n";
  iovec iov{line.data(), line.size()};
  msghdr msg{};
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  if (passFd >= 0) {
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* cm = CMSG_FIRSTHDR(&msg);
    cm->cmsg_level = SOL_SOCKET;
    cm->cmsg_type = SCM_RIGHTS;
    cm->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(cm), &passFd, sizeof(int));
  }
  if (::sendmsg(c.fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT) != static_cast<ssize_t>(line.size()))
    Log(5, "a program went away before its answer");
  Close(c.fd);
}

void Manager::Fail(Client& c, const char* code, const std::string& message) {
  Reply(c, nlohmann::json{{"ok", false}, {"error", code}, {"message", message}}.dump(
               -1, ' ', false, nlohmann::json::error_handler_t::replace));
}

std::string Manager::DevicesJson() const {
  nlohmann::json list = nlohmann::json::array();
  for (auto& [fd, c] : conns_) {
    if (c->kind != Conn::kPhone) continue;
    const Phone& p = static_cast<const Phone&>(*c);
    if (!p.listed()) continue;
    const char* lock = p.info.passwordKey == ctlwire::kNoPassword       ? "none"
                       : p.info.passwordKey == ctlwire::kUnlockOnDevice ? "on-device"
                                                                        : "password";
    list.push_back({{"name", p.name},
                    {"platform", p.info.platform},
                    {"model", p.info.model},
                    {"osMajor", p.info.osMajor},
                    {"osMinor", p.info.osMinor},
                    {"version", p.info.version},
                    {"processorType", p.info.cpuType},
                    {"partnerId", p.info.partnerId},
                    {"guid", ctlwire::GuidText(p.info.guid)},
                    {"address", p.peer},
                    {"lock", lock},
                    {"locked", p.locked()}});
  }
  return nlohmann::json{{"ok", true}, {"devices", list}}.dump(
      -1, ' ', false, nlohmann::json::error_handler_t::replace);
}

int Manager::Timers() {
  const auto now = Clock::now();
  auto next = kNever;
  std::vector<uint32_t> expired;
  for (auto& [id, r] : requests_) {
    if (r->deadline <= now) {
      expired.push_back(id);
    } else {
      next = std::min(next, r->deadline);
    }
  }
  for (uint32_t id : expired) {
    Request r = *requests_[id];
    requests_.erase(id);
    auto pit = conns_.find(r.phoneFd);
    std::string name = pit == conns_.end() ? "?" : static_cast<Phone&>(*pit->second).name;
    Log(4, "phone " + Quoted(name) + " never opened session " + std::to_string(id) +
               "; the request expired");
    auto it = conns_.find(r.clientFd);
    if (it != conns_.end())
      Fail(static_cast<Client&>(*it->second), connectproto::kErrorTimeout,
           "the phone did not open the session in time");
  }
  std::vector<int> due;
  for (auto& [fd, c] : conns_) {
    if (c->deadline <= now) {
      due.push_back(fd);
    } else {
      next = std::min(next, c->deadline);
    }
  }
  for (int fd : due) {
    auto it = conns_.find(fd);
    if (it == conns_.end()) continue;
    Conn& c = *it->second;
    if (c.kind == Conn::kNewTcp) {
      Log(5, "connection from " + c.peer + " sent no first word in time: closed");
      Close(fd);
    } else if (c.kind == Conn::kClient) {
      Close(fd);
    } else {
      Phone& p = static_cast<Phone&>(c);
      if (p.state == Phone::kConnected) {
        if (p.missed >= options_.keepAliveMisses) {
          char span[32];
          std::snprintf(span, sizeof span, "%.1f s",
                        options_.keepAliveMisses * options_.keepAliveMs / 1000.0);
          PhoneGone(p, std::string("answered no keep-alive for ") + span, 5);
          continue;
        }
        ++p.missed;
        if (!SendToPhone(p, ctlwire::Ping())) continue;
        p.deadline = After(options_.keepAliveMs);
        next = std::min(next, p.deadline);
      } else if (p.state == Phone::kChecking) {
        auto cit = conns_.find(p.checkingClient);
        if (cit != conns_.end())
          Fail(static_cast<Client&>(*cit->second), connectproto::kErrorTimeout,
               "the phone did not answer the password");
        PhoneGone(p, "did not answer the password", 4);
      } else {
        PhoneGone(p, "did not finish its opening exchange in time", 4);
      }
    }
  }
  if (next == kNever) return -1;
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(ms + 1, 0, 60000));
}

}  // namespace connectd
