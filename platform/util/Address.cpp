#include "platform/util/Address.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace addr {

bool Parse(const std::string& text, Address* out) {
  *out = Address{};
  if (text.rfind("phone:", 0) == 0) {
    out->phone = text.substr(6);
    out->kind = Address::kPhone;
    return true;
  }
  if (text.rfind("unix:", 0) == 0) {
    if (text.size() == 5) return false;
    out->path = text.substr(5);
    out->kind = Address::kUnix;
    return true;
  }
  if (text.rfind("tcp:", 0) != 0) return false;
  std::string rest = text.substr(4);
  size_t colon = rest.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == rest.size()) return false;
  std::string host = rest.substr(0, colon);
  std::string port = rest.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  if (host.empty() || port.find_first_not_of("0123456789") != std::string::npos ||
      port.size() > 5 || std::atoi(port.c_str()) > 65535)
    return false;
  out->host = host;
  out->port = port;
  out->kind = Address::kTcp;
  return true;
}

namespace {

// Connects a non-blocking socket within timeoutMs and makes it blocking; false on failure
// (the socket is left open for the caller to close).
bool ConnectWithin(int fd, const sockaddr* sa, socklen_t len, int timeoutMs, std::string* error) {
  bool ok = ::connect(fd, sa, len) == 0;
  if (!ok && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    int soError = 0;
    socklen_t size = sizeof soError;
    int ready = ::poll(&p, 1, timeoutMs);
    if (ready == 0) {
      *error = "timed out";
      return false;
    }
    ok = ready == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &size) == 0 &&
         soError == 0;
    if (!ok) errno = soError ? soError : errno;
  }
  if (!ok) {
    *error = std::strerror(errno);
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return true;
}

}  // namespace

int ConnectStream(const Address& address, int timeoutMs, std::string* error) {
  if (address.kind == Address::kUnix) {
    sockaddr_un sa{};
    if (address.path.size() >= sizeof sa.sun_path) {
      *error = "socket path too long";
      return -1;
    }
    sa.sun_family = AF_UNIX;
    std::memcpy(sa.sun_path, address.path.c_str(), address.path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
      *error = std::strerror(errno);
      return -1;
    }
    if (!ConnectWithin(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa, timeoutMs, error)) {
      ::close(fd);
      return -1;
    }
    return fd;
  }
  if (address.kind != Address::kTcp) {
    *error = "not a tcp: or unix: address";
    return -1;
  }
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (int r = ::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &list); r != 0) {
    *error = ::gai_strerror(r);
    return -1;
  }
  int fd = -1;
  for (addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) {
    fd = ::socket(ai->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
      *error = std::strerror(errno);
      continue;
    }
    if (!ConnectWithin(fd, ai->ai_addr, ai->ai_addrlen, timeoutMs, error)) {
      ::close(fd);
      fd = -1;
    }
  }
  ::freeaddrinfo(list);
  return fd;
}

}  // namespace addr
