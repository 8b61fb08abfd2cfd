#include "tests/platform/rapi/FakeDevice.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace rapitest {

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  rapi2::Writer w;
  for (uint32_t v : words) w.u32(v);
  return w.Finish();
}

namespace {

uint32_t CommandOf(const std::vector<uint8_t>& request) {
  rapi2::Reader r(request);
  uint32_t cmd = 0;
  r.u32(&cmd);
  return cmd;
}

}  // namespace

FakeDevice::FakeDevice(Script script) : script_(std::move(script)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listenFd_, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
  socklen_t len = sizeof(sa);
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len);
  port_ = ntohs(sa.sin_port);
  ::listen(listenFd_, 16);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

FakeDevice::~FakeDevice() {
  stop_ = true;
  uint64_t one = 1;
  ssize_t unused = ::write(wakeFd_, &one, sizeof(one));
  (void)unused;
  acceptThread_.join();
  {
    std::lock_guard lk(mu_);
    for (int fd : fds_) ::shutdown(fd, SHUT_RDWR);
  }
  for (auto& t : threads_) t.join();
  for (int fd : fds_) ::close(fd);
  ::close(listenFd_);
  ::close(wakeFd_);
}

std::vector<std::vector<uint8_t>> FakeDevice::Requests() {
  std::lock_guard lk(mu_);
  return requests_;
}

bool FakeDevice::WaitClosed(int n, int ms) {
  std::unique_lock lk(mu_);
  return cv_.wait_for(lk, std::chrono::milliseconds(ms), [&] { return closed_ >= n; });
}

void FakeDevice::AcceptLoop() {
  while (!stop_) {
    pollfd p[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (::poll(p, 2, -1) <= 0 || (p[1].revents & POLLIN)) continue;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard lk(mu_);
    fds_.push_back(fd);
    int index = connections_++;
    threads_.emplace_back([this, fd, index] { Serve(fd, index); });
  }
}

void FakeDevice::Serve(int fd, int index) {
  for (bool first = true;; first = false) {
    std::vector<uint8_t> request;
    if (rapi2::RecvFrame(fd, &request, -1) != rapi2::IoResult::kOk) break;
    Answer a;
    // A new session opens with a version query; the scripts only see what the test calls.
    if (first && CommandOf(request) == rapi2::kGetVersionEx && request.size() == 4) {
      rapi2::Writer w;
      w.u32(0).u32(1).u32(276).u32(276).u32(5).u32(2).u32(1234).u32(3).zeros(256);
      a.bytes = w.Finish();
    } else {
      {
        std::lock_guard lk(mu_);
        requests_.push_back(request);
      }
      a = script_(request, index);
    }
    if (!a.bytes.empty() &&
        rapi2::SendAll(fd, a.bytes.data(), a.bytes.size()) != rapi2::IoResult::kOk) {
      break;
    }
    if (a.close) break;
  }
  ::shutdown(fd, SHUT_RDWR);
  std::lock_guard lk(mu_);
  ++closed_;
  cv_.notify_all();
}

}  // namespace rapitest
