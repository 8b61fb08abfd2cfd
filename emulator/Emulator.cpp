#include "emulator/Emulator.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <random>
#include <stdexcept>

#include "emulator/MessageStore.h"
#include "emulator/Presets.h"
#include "emulator/SimStore.h"
#include "emulator/RapiSession.h"
#include "emulator/PhonebookService.h"
#include "emulator/AppointmentStore.h"
#include "emulator/TaskStore.h"
#include "link/ControlChannel.h"
#include "platform/util/Address.h"
#include "emulator/Text.h"

namespace wmemu {

struct Emulator::Listener {
  int fd = -1;
  bool control = false;
  std::string unixPath;
  std::thread thread;
};

struct Emulator::Conn {
  int fd = -1;
  bool control = false;
  ServeLimits limits;
  std::atomic<bool> done{false};
  std::thread thread;
};

namespace {

int MakeListener(const std::string& address, std::string* actual, std::string* unixPath) {
  addr::Address parsed;
  if (!addr::Parse(address, &parsed))
    throw std::runtime_error("address must be tcp:HOST:PORT or unix:PATH: " + address);
  if (parsed.kind == addr::Address::kUnix) {
    std::string path = parsed.path;
    sockaddr_un sa{};
    if (path.size() >= sizeof sa.sun_path)
      throw std::runtime_error("bad unix socket path: " + address);
    sa.sun_family = AF_UNIX;
    std::memcpy(sa.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("socket: " + std::string(strerror(errno)));
    ::unlink(path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 64) != 0) {
      std::string err = strerror(errno);
      ::close(fd);
      throw std::runtime_error("cannot listen on " + address + ": " + err);
    }
    *actual = address;
    *unixPath = path;
    return fd;
  }
  std::string host = parsed.host;
  const long port = std::strtol(parsed.port.c_str(), nullptr, 10);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  if (host == "localhost") host = "127.0.0.1";
  if (::inet_pton(AF_INET, host.c_str(), &sa.sin_addr) != 1)
    throw std::runtime_error("bad IPv4 address in " + address);
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket: " + std::string(strerror(errno)));
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 64) != 0) {
    std::string err = strerror(errno);
    ::close(fd);
    throw std::runtime_error("cannot listen on " + address + ": " + err);
  }
  socklen_t len = sizeof sa;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  *actual = "tcp:" + host + ":" + std::to_string(ntohs(sa.sin_port));
  return fd;
}

// A random (version 4) GUID in registry form.
std::string NewDeviceGuid() {
  std::random_device random;
  std::array<uint8_t, 16> g;
  for (size_t i = 0; i < g.size(); i += 4) {
    uint32_t r = random();
    std::memcpy(g.data() + i, &r, 4);
  }
  // The version nibble leads the text's third group, the variant bits its fourth.
  g[7] = static_cast<uint8_t>((g[7] & 0x0F) | 0x40);
  g[8] = static_cast<uint8_t>((g[8] & 0x3F) | 0x80);
  return ctlwire::GuidText(g);
}

uint32_t ParseNumber(const nlohmann::json& v) {
  if (v.is_number_integer()) return static_cast<uint32_t>(v.get<int64_t>());
  if (v.is_string()) return static_cast<uint32_t>(std::stoull(v.get<std::string>(), nullptr, 0));
  throw std::runtime_error("expected a number");
}

}  // namespace

std::unique_ptr<Emulator> Emulator::Open(const std::filesystem::path& imageDir) {
  return std::unique_ptr<Emulator>(new Emulator(Image::Open(imageDir)));
}

void Emulator::CreateImage(const std::filesystem::path& dir, const std::string& preset,
                           const std::string& modelName) {
  if (preset != "empty" && preset != "demo")
    throw std::runtime_error("unknown preset \"" + preset + "\" (use empty or demo)");
  std::error_code ec;
  if (std::filesystem::exists(dir / "image.sqlite", ec))
    throw std::runtime_error("an image exists already in " + dir.string());
  auto image = Image::Open(dir, true);
  BuildPreset(*image, preset, modelName.empty() ? kDefaultModel : modelName);
  DeviceRegistry(*image).SetString(kHkeyLocalMachine, u"Ident", u"DeviceGuid",
                                   Utf16(NewDeviceGuid()));
  image->SetMeta("preset", preset);
  image->SetMeta("preset_version", std::to_string(PresetVersion(preset)));
}

Emulator::Origin Emulator::ReadOrigin(const std::filesystem::path& imageDir) {
  auto image = Image::Open(imageDir);
  Origin origin;
  origin.preset = image->Meta("preset").value_or("");
  std::string version = image->Meta("preset_version").value_or("0");
  origin.presetVersion = std::atoi(version.c_str());
  return origin;
}

Emulator::Emulator(std::unique_ptr<Image> image)
    : image_(std::move(image)), fs_(*image_), registry_(*image_), system_(*image_, fs_, registry_) {
  core_.reset(new DeviceCore{*image_, fs_, registry_, system_, services_, faults_});
  // The record stores the phone serves; a new kind is one line here.
  RegisterRecordStores(services_, {kTaskStore, kAppointmentStore, kLunarAppointmentStore});
  RegisterLunarModelRule(services_);
  RegisterPhonebookService(services_);
  RegisterMessageStore(services_);
  RegisterSimStore(services_);
  faults_.SetUnplugHandler([this] { CloseConnections(); });
}

Emulator::~Emulator() { Stop(); }

std::string Emulator::modelName() {
  return Utf8(registry_.ModelName());
}

std::string Emulator::deviceGuid() {
  return Utf8(registry_.GetString(kHkeyLocalMachine, u"Ident", u"DeviceGuid").value_or(u""));
}

std::string Emulator::deviceName() {
  return Utf8(registry_.GetString(kHkeyLocalMachine, u"Ident", u"Name").value_or(u"WindowsMobile"));
}

DeviceIdentity Emulator::Identity() {
  static constexpr char16_t kKey[] = u"Software\\Emulator\\Identity";
  DeviceIdentity id;
  // The GUID is the image's device GUID, sent in its wire order (Data1..3 little-endian).
  std::string text = deviceGuid();
  unsigned d1 = 0, d2 = 0, d3 = 0, b[8] = {};
  if (std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &b[0],
                  &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7]) != 11) {
    text = NewDeviceGuid();
    registry_.SetString(kHkeyLocalMachine, u"Ident", u"DeviceGuid", Utf16(text));
    std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}", &d1, &d2, &d3, &b[0],
                &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7]);
  }
  for (int i = 0; i < 4; ++i) id.guid[i] = static_cast<uint8_t>(d1 >> (8 * i));
  for (int i = 0; i < 2; ++i) id.guid[4 + i] = static_cast<uint8_t>(d2 >> (8 * i));
  for (int i = 0; i < 2; ++i) id.guid[6 + i] = static_cast<uint8_t>(d3 >> (8 * i));
  for (int i = 0; i < 8; ++i) id.guid[8 + i] = static_cast<uint8_t>(b[i]);
  // The partnership and the processor: made once, then kept with the image.
  auto partner = registry_.GetDword(kHkeyLocalMachine, kKey, u"PartnerId");
  auto cpu = registry_.GetDword(kHkeyLocalMachine, kKey, u"ProcessorType");
  if (!partner || !cpu) {
    std::random_device rd;
    partner = rd() | 1;
    cpu = 2577;  // PROCESSOR_STRONGARM, as ARM phones report
    registry_.SetDword(kHkeyLocalMachine, kKey, u"PartnerId", *partner);
    registry_.SetDword(kHkeyLocalMachine, kKey, u"ProcessorType", *cpu);
  }
  id.partnerId = *partner;
  id.processorType = *cpu;
  return id;
}

std::string Emulator::Dial(const DialOptions& options) {
  if (dialler_) throw std::runtime_error("the emulator dials already");
  dialler_ = std::make_unique<Dialler>(*this, options);
  try {
    return dialler_->Start();
  } catch (...) {
    dialler_.reset();
    throw;
  }
}

void Emulator::ServeSocket(int fd) {
  std::lock_guard<std::mutex> lock(mu_);
  if (stopping_ || faults_.unplugged()) {
    ::close(fd);
    return;
  }
  Reap();
  auto c = std::make_unique<Conn>();
  c->fd = fd;
  c->limits = limits_;
  Conn* raw = c.get();
  conns_.push_back(std::move(c));
  raw->thread = std::thread([this, raw] { ServeConnection(raw); });
}

std::vector<uint8_t> Emulator::ServeBytes(const uint8_t* data, size_t size) {
  MemoryConnection conn(data, size, faults_);
  {
    RapiSession session(*core_, conn);
    session.Run();
  }
  return conn.output();
}

void Emulator::SetLimits(const ServeLimits& limits) {
  std::lock_guard<std::mutex> lock(mu_);
  limits_ = limits;
}

ServeLimits Emulator::limits() {
  std::lock_guard<std::mutex> lock(mu_);
  return limits_;
}

int Emulator::connectionCount() {
  std::lock_guard<std::mutex> lock(mu_);
  return CountServedLocked();
}

int Emulator::CountServedLocked() const {
  int n = 0;
  for (auto& c : conns_)
    if (!c->control && !c->done) ++n;
  return n;
}

std::string Emulator::Listen(const std::string& address) { return StartListener(address, false); }

std::string Emulator::ListenControl(const std::string& address) {
  return StartListener(address, true);
}

std::string Emulator::StartListener(const std::string& address, bool control) {
  auto l = std::make_unique<Listener>();
  std::string actual;
  l->fd = MakeListener(address, &actual, &l->unixPath);
  l->control = control;
  std::lock_guard<std::mutex> lock(mu_);
  stopping_ = false;
  Listener* raw = l.get();
  l->thread = std::thread([this, raw] { AcceptLoop(raw); });
  listeners_.push_back(std::move(l));
  return actual;
}

void Emulator::AcceptLoop(Listener* l) {
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (stopping_) return;
    }
    pollfd pfd{l->fd, POLLIN, 0};
    int r = ::poll(&pfd, 1, 100);
    if (r <= 0) continue;
    int fd = ::accept4(l->fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    // An unplugged phone takes no connection.
    if (!l->control && faults_.unplugged()) {
      ::close(fd);
      continue;
    }
    std::unique_lock<std::mutex> lock(mu_);
    if (stopping_) {
      ::close(fd);
      return;
    }
    Reap();
    // At the cap, a connection that is ending (its peer gone) gets a moment to free its
    // place; past that the newcomer is closed: the clients already served go on.
    if (!l->control && CountServedLocked() >= limits_.maxConnections) {
      slotFreed_.wait_for(lock, std::chrono::milliseconds(250), [&] {
        return stopping_ || CountServedLocked() < limits_.maxConnections;
      });
      if (stopping_ || CountServedLocked() >= limits_.maxConnections) {
        ::close(fd);
        continue;
      }
    }
    auto c = std::make_unique<Conn>();
    c->fd = fd;
    c->control = l->control;
    c->limits = limits_;
    Conn* raw = c.get();
    conns_.push_back(std::move(c));
    raw->thread = std::thread([this, raw] { ServeConnection(raw); });
  }
}

void Emulator::ServeConnection(Conn* c) {
  if (c->control) {
    ServeControl(c->fd);
  } else {
    Connection conn(c->fd, faults_, c->limits.ioTimeoutMs, c->limits.maxRequestFrame);
    RapiSession session(*core_, conn);
    session.Run();
  }
  std::lock_guard<std::mutex> lock(mu_);
  ::close(c->fd);
  c->fd = -1;
  c->done = true;
  slotFreed_.notify_all();
}

void Emulator::Reap() {
  for (auto it = conns_.begin(); it != conns_.end();) {
    if ((*it)->done) {
      (*it)->thread.join();
      it = conns_.erase(it);
    } else {
      ++it;
    }
  }
}

void Emulator::CloseConnections() {
  std::lock_guard<std::mutex> lock(mu_);
  for (auto& c : conns_)
    if (!c->control && c->fd >= 0) ::shutdown(c->fd, SHUT_RDWR);
}

void Emulator::Stop() {
  if (dialler_) dialler_->Stop();
  std::vector<std::unique_ptr<Listener>> listeners;
  {
    std::lock_guard<std::mutex> lock(mu_);
    stopping_ = true;
    slotFreed_.notify_all();
    listeners.swap(listeners_);
    // Wakes each accept loop's poll at once rather than at its next timeout.
    for (auto& l : listeners) ::shutdown(l->fd, SHUT_RDWR);
    for (auto& c : conns_)
      if (c->fd >= 0) ::shutdown(c->fd, SHUT_RDWR);
  }
  for (auto& l : listeners) {
    l->thread.join();
    ::close(l->fd);
    if (!l->unixPath.empty()) ::unlink(l->unixPath.c_str());
  }
  std::list<std::unique_ptr<Conn>> conns;
  {
    std::lock_guard<std::mutex> lock(mu_);
    conns.swap(conns_);
  }
  for (auto& c : conns) c->thread.join();
}

void Emulator::ServeControl(int fd) {
  std::string buf;
  char chunk[1024];
  for (;;) {
    ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return;
    buf.append(chunk, static_cast<size_t>(n));
    if (buf.size() > 1 << 20) return;
    size_t nl;
    while ((nl = buf.find('\n')) != std::string::npos) {
      std::string line = buf.substr(0, nl);
      buf.erase(0, nl + 1);
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      std::string reply = Control(line) + "\n";
      if (rapi2::SendAll(fd, reply.data(), reply.size()) != rapi2::IoResult::kOk) return;
    }
  }
}

std::string Emulator::Control(const std::string& jsonLine) {
  nlohmann::json reply;
  try {
    nlohmann::json j = nlohmann::json::parse(jsonLine);
    std::string cmd = j.at("cmd").get<std::string>();
    std::string name = j.value("name", std::string());
    if (cmd == "fail") {
      int count = j.value("count", 1);
      if (j.contains("hresult"))
        faults_.FailNextHr(name, count, static_cast<int32_t>(ParseNumber(j["hresult"])));
      else
        faults_.FailNext(name, count, ParseNumber(j.at("error")));
    } else if (cmd == "drop") {
      if (j.contains("afterFileBytes"))
        faults_.DropAfterFileBytes(j["afterFileBytes"].get<uint64_t>());
      else if (j.contains("afterBytes"))
        faults_.DropAfterBytes(j["afterBytes"].get<uint64_t>());
      else
        faults_.DropOnCall(j.at("onCall").get<int>(), name);
    } else if (cmd == "cut") {
      faults_.CutReply(name, j.at("afterBytes").get<uint64_t>());
    } else if (cmd == "power") {
      if (j.contains("state")) {
        std::string state = j["state"].get<std::string>();
        if (!system_.SetPowerState(state))
          throw std::runtime_error("unknown power state \"" + state + "\"");
      } else {
        rapi2::PowerStatus p = system_.Power();
        p.acLineStatus = j.value("ac", p.acLineStatus);
        p.batteryFlag = j.value("flag", p.batteryFlag);
        p.batteryLifePercent = j.value("percent", p.batteryLifePercent);
        p.batteryLifeTime = j.value("lifeTime", p.batteryLifeTime);
        p.batteryFullLifeTime = j.value("fullLifeTime", p.batteryFullLifeTime);
        p.backupBatteryFlag = j.value("backupFlag", p.backupBatteryFlag);
        p.backupBatteryLifePercent = j.value("backupPercent", p.backupBatteryLifePercent);
        system_.SetPower(p);
      }
    } else if (cmd == "unplug") {
      faults_.Unplug();
    } else if (cmd == "replug") {
      faults_.Replug();
    } else if (cmd == "delay") {
      faults_.Delay(j.at("ms").get<int>(), name);
    } else if (cmd == "clear") {
      faults_.Clear();
      if (dialler_) dialler_->ClearFaults();
    } else if (cmd == "unlock" || cmd == "control" || cmd == "refuse") {
      if (!dialler_) throw std::runtime_error("the emulator does not dial a connection manager");
      if (cmd == "unlock") {
        dialler_->Unlock();
      } else if (cmd == "refuse") {
        dialler_->RefuseSessions(j.value("count", 1));
      } else {
        std::string action = j.at("action").get<std::string>();
        if (action == "drop") {
          dialler_->DropControl();
        } else if (action == "stall") {
          dialler_->Stall(true);
        } else if (action == "resume") {
          dialler_->Stall(false);
        } else {
          throw std::runtime_error("unknown control action \"" + action + "\"");
        }
      }
    } else {
      throw std::runtime_error("unknown command \"" + cmd + "\"");
    }
    reply["ok"] = true;
  } catch (const std::exception& e) {
    reply["ok"] = false;
    reply["error"] = e.what();
  }
  // A parse error quotes the bytes it stopped at, which need not be UTF-8: they are
  // replaced rather than thrown over, which would end the control thread and the emulator.
  return reply.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace wmemu
