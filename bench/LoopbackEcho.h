// A loopback TCP peer that answers every RAPI2 frame with a fixed reply: the floor that the
// transport alone sets under an end-to-end measurement.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "platform/rapi/Rapi2Wire.h"

namespace benchutil {

inline sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  return addr;
}

inline void NoDelay(int fd) {
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// Answers every frame it receives with a reply of `replySize` bytes.
struct EchoServer {
  int listenFd = socket(AF_INET, SOCK_STREAM, 0), port = 0;
  std::thread thread;
  explicit EchoServer(size_t replySize) {
    sockaddr_in addr = Loopback(0);
    socklen_t len = sizeof addr;
    bind(listenFd, reinterpret_cast<sockaddr*>(&addr), len);
    listen(listenFd, 1);
    getsockname(listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    thread = std::thread([this, replySize] {
      int fd = accept(listenFd, nullptr, nullptr);
      if (fd < 0) return;
      NoDelay(fd);
      std::vector<uint8_t> reply = rapi2::Writer().u32(0).u32(0).zeros(replySize).Finish();
      std::vector<uint8_t> request;
      while (rapi2::RecvFrame(fd, &request, -1) == rapi2::IoResult::kOk)
        if (rapi2::SendAll(fd, reply.data(), reply.size()) != rapi2::IoResult::kOk) break;
      close(fd);
    });
  }
  ~EchoServer() {
    shutdown(listenFd, SHUT_RDWR);
    close(listenFd);
    if (thread.joinable()) thread.join();
  }
};

}  // namespace benchutil
