#include "Rapi2Wire.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace rapi2 {

namespace {
constexpr size_t kKeptBuffers = 4;
constexpr size_t kKeptCapacity = 1u << 20;

struct KeptBuffers {
  KeptBuffers() { list.reserve(kKeptBuffers); }
  std::vector<std::vector<uint8_t>> list;
};
thread_local KeptBuffers t_kept;
}  // namespace

std::vector<uint8_t> TakeBuffer() {
  std::vector<std::vector<uint8_t>>& kept = t_kept.list;
  if (kept.empty()) return {};
  std::vector<uint8_t> b = std::move(kept.back());
  kept.pop_back();
  b.clear();
  return b;
}

void GiveBuffer(std::vector<uint8_t>&& buffer) {
  std::vector<std::vector<uint8_t>>& kept = t_kept.list;
  if (buffer.capacity() == 0 || buffer.capacity() > kKeptCapacity || kept.size() >= kKeptBuffers)
    return;
  kept.push_back(std::move(buffer));
}

Writer& Writer::u32(uint32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  buf_.insert(buf_.end(), b, b + 4);
  return *this;
}

Writer& Writer::str(const char16_t* s) {
  if (!s) return u32(0);
  return str(std::u16string_view(s));
}

Writer& Writer::str(std::u16string_view s) {
  u32(static_cast<uint32_t>((s.size() + 1) * 2));
  for (char16_t c : s) {
    buf_.push_back(uint8_t(c));
    buf_.push_back(uint8_t(c >> 8));
  }
  return zeros(2);
}

Writer& Writer::counted(std::u16string_view s) {
  u32(static_cast<uint32_t>(s.size()));
  for (char16_t c : s) {
    buf_.push_back(uint8_t(c));
    buf_.push_back(uint8_t(c >> 8));
  }
  return *this;
}

Writer& Writer::bytes(const void* p, size_t n) {
  if (n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    buf_.insert(buf_.end(), b, b + n);
  }
  return *this;
}

Writer& Writer::zeros(size_t n) {
  buf_.insert(buf_.end(), n, 0);
  return *this;
}

std::vector<uint8_t> Writer::Finish(size_t trailing) {
  uint32_t n = static_cast<uint32_t>(buf_.size() - 4 + trailing);
  buf_[0] = uint8_t(n);
  buf_[1] = uint8_t(n >> 8);
  buf_[2] = uint8_t(n >> 16);
  buf_[3] = uint8_t(n >> 24);
  return std::move(buf_);
}

bool Reader::u32(uint32_t* v) {
  if (!ok_ || n_ - off_ < 4) return fail();
  const uint8_t* b = p_ + off_;
  *v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
  off_ += 4;
  return true;
}

bool Reader::i32(int32_t* v) {
  uint32_t u;
  if (!u32(&u)) return false;
  *v = static_cast<int32_t>(u);
  return true;
}

bool Reader::u64(uint64_t* v) {
  uint32_t lo, hi;
  if (!u32(&lo) || !u32(&hi)) return false;
  *v = uint64_t(hi) << 32 | lo;
  return true;
}

bool Reader::str(std::u16string* s, bool* isNull) {
  uint32_t b;
  if (!u32(&b)) return false;
  if (isNull) *isNull = (b == 0);
  s->clear();
  if (b == 0) return true;
  if (b % 2 != 0 || n_ - off_ < b) return fail();
  const uint8_t* p = p_ + off_;
  for (uint32_t i = 0; i + 1 < b; i += 2) {
    char16_t c = char16_t(p[i] | p[i + 1] << 8);
    if (c == 0) break;
    s->push_back(c);
  }
  off_ += b;
  return true;
}

bool Reader::counted(std::u16string* s) {
  uint32_t n;
  if (!u32(&n)) return false;
  s->clear();
  if (n > (n_ - off_) / 2) return fail();
  const uint8_t* p = p_ + off_;
  for (uint32_t i = 0; i < n; ++i) s->push_back(char16_t(p[2 * i] | p[2 * i + 1] << 8));
  off_ += size_t(n) * 2;
  if (!s->empty() && s->back() == 0) s->pop_back();
  return true;
}

bool Reader::bytes(size_t n, const uint8_t** out) {
  if (!ok_ || n_ - off_ < n) return fail();
  *out = p_ + off_;
  off_ += n;
  return true;
}

bool Reader::skip(size_t n) {
  const uint8_t* unused;
  return bytes(n, &unused);
}

IoResult SendAll(int fd, const void* p, size_t n) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  while (n > 0) {
    ssize_t w = ::send(fd, b, n, MSG_NOSIGNAL);
    if (w < 0) {
      if (errno == EINTR) continue;
      return (errno == EPIPE || errno == ECONNRESET) ? IoResult::kClosed : IoResult::kError;
    }
    b += w;
    n -= static_cast<size_t>(w);
  }
  return IoResult::kOk;
}

IoResult SendAll(int fd, const void* p, size_t n, const void* q, size_t m) {
  iovec io[2] = {{const_cast<void*>(p), n}, {const_cast<void*>(q), m}};
  iovec* at = io;
  int count = 2;
  while (count > 0) {
    if (at->iov_len == 0) {
      ++at;
      --count;
      continue;
    }
    msghdr msg{};
    msg.msg_iov = at;
    msg.msg_iovlen = static_cast<size_t>(count);
    ssize_t w = ::sendmsg(fd, &msg, MSG_NOSIGNAL);
    if (w < 0) {
      if (errno == EINTR) continue;
      return (errno == EPIPE || errno == ECONNRESET) ? IoResult::kClosed : IoResult::kError;
    }
    for (size_t done = static_cast<size_t>(w); done > 0;) {
      const size_t step = std::min(done, at->iov_len);
      at->iov_base = static_cast<uint8_t*>(at->iov_base) + step;
      at->iov_len -= step;
      done -= step;
      if (at->iov_len == 0 && done > 0) {
        ++at;
        --count;
      }
    }
  }
  return IoResult::kOk;
}

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point DeadlineOf(int timeoutMs) {
  return Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
}

// Waits until fd has bytes to read (or its peer has gone): by `deadline` when timeoutMs >= 0,
// open-ended otherwise. Every read that finds nothing queued waits here.
IoResult WaitReadable(int fd, int timeoutMs, Clock::time_point deadline) {
  for (;;) {
    int wait = -1;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return IoResult::kTimeout;
      wait = static_cast<int>(left.count());
    }
    pollfd pfd{fd, POLLIN, 0};
    const int r = ::poll(&pfd, 1, wait);
    if (r > 0) return IoResult::kOk;
    if (r == 0) return IoResult::kTimeout;
    if (errno != EINTR) return IoResult::kError;
  }
}

// Reads exactly n bytes. With a time limit, bytes already queued are taken without a poll
// first (the body of a frame is there as soon as its length word is, and a reply mostly waits
// for us), and the rest must come within timeoutMs. `openEnded` makes the wait for the first
// byte open-ended, a blocking read with no poll before it (a server waiting for its peer's
// next request); the time limit then starts when that byte has come. A non-blocking socket
// waits in WaitReadable wherever a blocking one would wait in its read.
IoResult Receive(int fd, uint8_t* b, size_t n, int timeoutMs, bool openEnded) {
  Clock::time_point deadline = DeadlineOf(timeoutMs);
  bool waitOpen = openEnded || timeoutMs < 0;
  while (n > 0) {
    const ssize_t got = ::recv(fd, b, n, waitOpen ? 0 : MSG_DONTWAIT);
    if (got > 0) {
      b += got;
      n -= static_cast<size_t>(got);
      if (waitOpen && timeoutMs >= 0) {
        waitOpen = false;
        deadline = DeadlineOf(timeoutMs);
      }
      continue;
    }
    if (got == 0) return IoResult::kClosed;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK)
      return errno == ECONNRESET ? IoResult::kClosed : IoResult::kError;
    const IoResult r = WaitReadable(fd, waitOpen ? -1 : timeoutMs, deadline);
    if (r != IoResult::kOk) return r;
  }
  return IoResult::kOk;
}

}  // namespace

IoResult RecvAll(int fd, void* p, size_t n, int timeoutMs) {
  return Receive(fd, static_cast<uint8_t*>(p), n, timeoutMs, false);
}

IoResult RecvNext(int fd, void* p, size_t n, int timeoutMs) {
  return Receive(fd, static_cast<uint8_t*>(p), n, timeoutMs, true);
}

namespace {

// The payload of a frame whose length word `len` was read; the frame is due by `deadline`
// (none when timeoutMs < 0).
IoResult RecvPayload(int fd, const uint8_t (&len)[4], std::vector<uint8_t>* payload,
                     int timeoutMs, Clock::time_point deadline, uint32_t maxFrame) {
  IoResult r;
  uint32_t n = uint32_t(len[0]) | uint32_t(len[1]) << 8 | uint32_t(len[2]) << 16 |
               uint32_t(len[3]) << 24;
  if (n > maxFrame || n > kMaxFrame) return IoResult::kTooLarge;
  // The buffer grows with the bytes that came, never ahead of them by more than a step: a
  // peer that announces a large frame and then stops costs that step, not the announced size.
  // A buffer that held an earlier frame is read over as it is, not cleared and zero-filled
  // again first.
  constexpr size_t kStep = 1u << 20;
  size_t have = 0;
  while (have < n) {
    int left = -1;
    if (timeoutMs >= 0) {
      auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (ms.count() <= 0) {
        payload->clear();
        return IoResult::kTimeout;
      }
      left = static_cast<int>(ms.count());
    }
    const size_t step = std::min<size_t>(kStep, n - have);
    if (payload->size() < have + step) payload->resize(have + step);
    r = RecvAll(fd, payload->data() + have, step, left);
    if (r != IoResult::kOk) {
      payload->clear();
      return r;
    }
    have += step;
  }
  payload->resize(n);
  return IoResult::kOk;
}

}  // namespace

IoResult RecvFrame(int fd, std::vector<uint8_t>* payload, int timeoutMs, uint32_t maxFrame) {
  const Clock::time_point deadline = DeadlineOf(timeoutMs);
  uint8_t len[4];
  IoResult r = RecvAll(fd, len, 4, timeoutMs);
  if (r != IoResult::kOk) return r;
  return RecvPayload(fd, len, payload, timeoutMs, deadline, maxFrame);
}

IoResult RecvNextFrame(int fd, std::vector<uint8_t>* payload, int timeoutMs, uint32_t maxFrame) {
  uint8_t len[4];
  IoResult r = RecvNext(fd, len, sizeof len, timeoutMs);
  if (r != IoResult::kOk) return r;
  return RecvPayload(fd, len, payload, timeoutMs, DeadlineOf(timeoutMs), maxFrame);
}

}  // namespace rapi2
