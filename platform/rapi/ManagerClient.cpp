#include "platform/rapi/ManagerClient.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

namespace connectproto {
namespace {

Reply Failed(const char* code, std::string message) {
  Reply r;
  r.error = code;
  r.message = std::move(message);
  return r;
}

void CloseFd(int* fd) {
  if (*fd >= 0) ::close(*fd);
  *fd = -1;
}

}  // namespace

std::string ManagerSocketPath() {
  const char* v = std::getenv("QWBDCAWM_CONNECTD");
  if (v && *v) return v;
  return DefaultListenPath();
}

std::string DefaultListenPath() {
  const char* run = std::getenv("XDG_RUNTIME_DIR");
  if (run && *run) return std::string(run) + "/qwbdcawm/connectd.sock";
  return "/run/qwbdcawm/connectd.sock";
}

Reply Ask(const std::string& socketPath, const std::string& requestJson, int timeoutMs,
          int cancelFd) {
  sockaddr_un sa{};
  sa.sun_family = AF_UNIX;
  if (socketPath.empty() || socketPath.size() >= sizeof sa.sun_path)
    return Failed(kErrorNoManager, "bad manager socket path " + socketPath);
  std::memcpy(sa.sun_path, socketPath.data(), socketPath.size());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Failed(kErrorNoManager, std::strerror(errno));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    std::string why = std::strerror(errno);
    ::close(fd);
    return Failed(kErrorNoManager, "no connection manager at " + socketPath + ": " + why);
  }
  std::string line = requestJson + "\n";
  if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
    ::close(fd);
    return Failed(kErrorNoManager, "the connection manager closed the request");
  }
  // The reply is one line; the descriptor, if any, comes with its first byte.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string text;
  int passed = -1;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      CloseFd(&passed);
      ::close(fd);
      return Failed(kErrorTimeout, "the connection manager did not answer in time");
    }
    pollfd p[2] = {{fd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
    int r = ::poll(p, cancelFd >= 0 ? 2 : 1, static_cast<int>(left.count()));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) continue;
    if (cancelFd >= 0 && (p[1].revents & POLLIN)) {
      CloseFd(&passed);
      ::close(fd);
      return Failed(kErrorTimeout, "abandoned");
    }
    char buf[512];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    iovec iov{buf, sizeof buf};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n = ::recvmsg(fd, &msg, MSG_CMSG_CLOEXEC);
    if (n < 0 && errno == EINTR) continue;
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); n >= 0 && c; c = CMSG_NXTHDR(&msg, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
      size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
      for (size_t i = 0; i < count; ++i) {
        int got;
        std::memcpy(&got, CMSG_DATA(c) + i * sizeof(int), sizeof got);
        if (passed < 0) {
          passed = got;
        } else {
          ::close(got);
        }
      }
    }
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
    if (text.find('\n') != std::string::npos || text.size() > 65536) break;
  }
  ::close(fd);
  size_t nl = text.find('\n');
  if (nl == std::string::npos) {
    CloseFd(&passed);
    return Failed(kErrorNoManager, "the connection manager hung up without an answer");
  }
  Reply reply;
  reply.line = text.substr(0, nl);
  nlohmann::json j = nlohmann::json::parse(reply.line, nullptr, false);
  if (!j.is_object()) {
    CloseFd(&passed);
    return Failed(kErrorNoManager, "the connection manager answered something unreadable");
  }
  try {
    reply.ok = j.value("ok", false);
    if (!reply.ok) {
      reply.error = j.value("error", std::string(kErrorBadRequest));
      reply.message = j.value("message", reply.error);
    }
  } catch (const std::exception&) {
    reply.ok = false;
    reply.error = kErrorNoManager;
    reply.message = "the connection manager answered something unreadable";
  }
  if (reply.ok) {
    reply.fd = passed;
  } else {
    CloseFd(&passed);
  }
  return reply;
}

}  // namespace connectproto
