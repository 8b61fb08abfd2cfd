#include "platform/rapi/DeviceAddress.h"

#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/rapi/ManagerClient.h"

namespace qwb::rapi {
namespace {

constexpr int kDefaultTimeoutMs = 30000;

// Waits for a non-blocking connect to finish. 0 when connected, else the Win32 error.
DWORD FinishConnect(int fd, std::chrono::steady_clock::time_point deadline, int cancelFd) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return ERROR_TIMEOUT;
    pollfd p[2] = {{fd, POLLOUT, 0}, {cancelFd, POLLIN, 0}};
    int r = ::poll(p, cancelFd >= 0 ? 2 : 1, static_cast<int>(left.count()));
    if (r < 0) {
      if (errno == EINTR) continue;
      return ERROR_CONNECTION_UNAVAIL;
    }
    if (r == 0) return ERROR_TIMEOUT;
    if (cancelFd >= 0 && (p[1].revents & POLLIN)) return ERROR_CONNECTION_UNAVAIL;
    int soError = 0;
    socklen_t len = sizeof(soError);
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
      return ERROR_CONNECTION_UNAVAIL;
    }
    return 0;
  }
}

// Connects one socket; on success it is switched back to blocking mode.
DWORD ConnectOne(int fd, const sockaddr* sa, socklen_t len,
                 std::chrono::steady_clock::time_point deadline, int cancelFd) {
  DWORD err = 0;
  if (::connect(fd, sa, len) != 0) {
    if (errno == EINPROGRESS || errno == EINTR) {
      err = FinishConnect(fd, deadline, cancelFd);
    } else {
      err = ERROR_CONNECTION_UNAVAIL;
    }
  }
  if (err == 0) {
    int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  }
  return err;
}

void SetNoDelay(int fd) {
  // One small request, one reply: waiting to coalesce writes only adds latency.
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
}

// A session with a phone, obtained from the connection manager: the phone opens a new
// connection for it and the manager passes it over.
int ConnectPhone(const DeviceAddress& address, int timeoutMs, int cancelFd, DWORD* error) {
  const std::string request =
      nlohmann::json{{"request", "session"}, {"device", address.phone}}.dump(
          -1, ' ', false, nlohmann::json::error_handler_t::replace);
  connectproto::Reply reply =
      connectproto::Ask(connectproto::ManagerSocketPath(), request, timeoutMs, cancelFd);
  if (!reply.ok) {
    if (reply.error == connectproto::kErrorLocked) {
      *error = ERROR_INVALID_PASSWORD;
    } else if (reply.error == connectproto::kErrorTimeout) {
      *error = ERROR_TIMEOUT;
    } else {
      *error = ERROR_CONNECTION_UNAVAIL;
    }
    return -1;
  }
  if (reply.fd < 0) {
    *error = ERROR_CONNECTION_UNAVAIL;
    return -1;
  }
  int flags = ::fcntl(reply.fd, F_GETFL);
  ::fcntl(reply.fd, F_SETFL, flags & ~O_NONBLOCK);
  SetNoDelay(reply.fd);
  *error = 0;
  return reply.fd;
}

}  // namespace

bool ParseDeviceAddress(const std::string& text, DeviceAddress* out) {
  return addr::Parse(text, out);
}

DeviceAddress DeviceAddressFromEnvironment() {
  DeviceAddress a;
  const char* v = std::getenv("QWBDCAWM_DEVICE");
  if (v) ParseDeviceAddress(v, &a);
  return a;
}

int ReceiveTimeoutFromEnvironment() {
  const char* v = std::getenv("QWBDCAWM_RAPI_TIMEOUT_MS");
  if (!v || !*v) return kDefaultTimeoutMs;
  char* end = nullptr;
  long ms = std::strtol(v, &end, 10);
  if (*end != '\0' || ms <= 0 || ms > 24L * 3600 * 1000) return kDefaultTimeoutMs;
  return static_cast<int>(ms);
}

int ConnectDevice(const DeviceAddress& address, int timeoutMs, int cancelFd, DWORD* error) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  *error = ERROR_CONNECTION_UNAVAIL;
  if (address.kind == DeviceAddress::kPhone) return ConnectPhone(address, timeoutMs, cancelFd, error);
  if (address.kind == DeviceAddress::kUnix) {
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    if (address.path.size() >= sizeof(sa.sun_path)) return -1;
    std::memcpy(sa.sun_path, address.path.data(), address.path.size());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    *error = ConnectOne(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa), deadline, cancelFd);
    if (*error != 0) {
      ::close(fd);
      return -1;
    }
    return fd;
  }
  if (address.kind != DeviceAddress::kTcp) return -1;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &list) != 0) return -1;
  int fd = -1;
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
    if (fd < 0) continue;
    *error = ConnectOne(fd, ai->ai_addr, ai->ai_addrlen, deadline, cancelFd);
    if (*error == 0) break;
    ::close(fd);
    fd = -1;
    if (*error == ERROR_TIMEOUT) break;
  }
  ::freeaddrinfo(list);
  if (fd >= 0) SetNoDelay(fd);
  return fd;
}

}  // namespace qwb::rapi
