// Test helpers: a phone image in a temporary folder, an emulator serving it on a loopback
// port, and a minimal RAPI2 client built on the shared frame codec.
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "platform/rapi/Rapi2Wire.h"

namespace wmemu::test {

inline std::filesystem::path TempDir(const std::string& tag) {
  static std::mt19937_64 rng(std::random_device{}());
  auto p = std::filesystem::temp_directory_path() /
           ("wmemu-" + tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(rng()));
  std::filesystem::create_directories(p);
  return p;
}

// Connects to "tcp:127.0.0.1:PORT"; -1 on failure.
inline int ConnectTcp(const std::string& address) {
  size_t colon = address.rfind(':');
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(std::stoi(address.substr(colon + 1))));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

class Client {
 public:
  explicit Client(const std::string& address) : fd_(ConnectTcp(address)) {}
  ~Client() {
    if (fd_ >= 0) ::close(fd_);
  }
  Client(const Client&) = delete;
  int fd() const { return fd_; }

  // Sends the frame and returns the reply payload (empty + ok() false on transport failure).
  std::vector<uint8_t> Call(rapi2::Writer& w) {
    std::vector<uint8_t> frame = w.Finish();
    ok_ = rapi2::SendAll(fd_, frame.data(), frame.size()) == rapi2::IoResult::kOk;
    std::vector<uint8_t> reply;
    if (ok_) ok_ = rapi2::RecvFrame(fd_, &reply, 5000) == rapi2::IoResult::kOk;
    return reply;
  }
  bool ok() const { return ok_; }

  // A call of `cmd` with its arguments (integers as u32, strings as str, nullptr as a NULL
  // string); returns the reply payload.
  template <typename... Args>
  std::vector<uint8_t> Cmd(uint32_t cmd, const Args&... args) {
    rapi2::Writer w;
    w.u32(cmd);
    (Put(w, args), ...);
    return Call(w);
  }
  std::vector<uint8_t> CreateFile(std::u16string_view path, uint32_t access, uint32_t share,
                                  uint32_t disposition) {
    return Cmd(rapi2::kCreateFile, path, access, share, disposition, 0x80u, 0u);
  }
  std::vector<uint8_t> Write(uint32_t h, const std::string& data) {
    rapi2::Writer w;
    w.u32(rapi2::kWriteFile).u32(h).u32(static_cast<uint32_t>(data.size()));
    w.bytes(data.data(), data.size());
    return Call(w);
  }
  std::vector<uint8_t> Invoke(std::u16string_view dll, std::u16string_view fn,
                              const std::vector<uint8_t>& in, uint32_t mode = 0) {
    rapi2::Writer w;
    w.u32(rapi2::kRapiInvoke).u32(0).str(dll).str(fn).u32(static_cast<uint32_t>(in.size()));
    w.bytes(in.data(), in.size()).u32(mode);
    return Call(w);
  }

 private:
  static void Put(rapi2::Writer& w, uint32_t v) { w.u32(v); }
  static void Put(rapi2::Writer& w, const char16_t* s) { w.str(s); }
  static void Put(rapi2::Writer& w, std::u16string_view s) { w.str(s); }

  int fd_;
  bool ok_ = false;
};

// Word i (little-endian u32) of a payload.
inline uint32_t Word(const std::vector<uint8_t>& p, size_t i) {
  if (p.size() < 4 * i + 4) return 0xDEADBEEF;
  return uint32_t(p[4 * i]) | uint32_t(p[4 * i + 1]) << 8 | uint32_t(p[4 * i + 2]) << 16 |
         uint32_t(p[4 * i + 3]) << 24;
}

// The words of a payload, to compare whole replies in one line; a partial last word shows
// as 0xDEADBEEF so a stray byte cannot pass.
inline std::vector<uint32_t> Words(const std::vector<uint8_t>& p) {
  std::vector<uint32_t> w;
  for (size_t i = 0; 4 * i < p.size(); ++i) w.push_back(Word(p, i));
  return w;
}
using W = std::vector<uint32_t>;

// A temporary image served on an ephemeral loopback port.
class EmuFixture : public ::testing::Test {
 protected:
  void StartWith(const std::string& preset, const std::string& model = "Aster W1") {
    dir_ = TempDir(preset);
    Emulator::CreateImage(dir_, preset, model);
    emu_ = Emulator::Open(dir_);
    address_ = emu_->Listen("tcp:127.0.0.1:0");
  }
  void SetUp() override { StartWith("empty"); }
  void TearDown() override {
    if (emu_) emu_->Stop();
    emu_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::unique_ptr<Client> Connect() { return std::make_unique<Client>(address_); }

  std::filesystem::path dir_;
  std::unique_ptr<Emulator> emu_;
  std::string address_;
};

}  // namespace wmemu::test
