// The emulator's request reader: a client (any program on the machine or the network) sends
// whatever bytes it likes on a RAPI2 connection. The emulator serves them on a demo phone
// image; beyond "no crash", everything it sends back is a sequence of well-formed frames,
// never more frames than requests, and the same emulator keeps serving the next connection.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "platform/rapi/Rapi2Wire.h"

namespace {

namespace fs = std::filesystem;

void Check(bool condition) {
  if (!condition) std::abort();
}

fs::path g_dir;
std::unique_ptr<wmemu::Emulator> g_emu;
std::string g_socket;
long g_runs = 0;

// A fresh image every so many inputs, so that what the inputs write stays bounded.
void StartEmulator() {
  if (g_emu) g_emu->Stop();
  g_emu.reset();
  std::error_code ec;
  fs::remove_all(g_dir, ec);
  wmemu::Emulator::CreateImage(g_dir / "image", "empty", "Aster W1");
  g_emu = wmemu::Emulator::Open(g_dir / "image");
  g_socket = (g_dir / "s").string();
  g_emu->Listen("unix:" + g_socket);
}

int Connect() {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::strncpy(a.sun_path, g_socket.c_str(), sizeof a.sun_path - 1);
  Check(fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0);
  return fd;
}

// How many complete request frames the input holds.
size_t RequestFrames(const uint8_t* data, size_t size) {
  size_t frames = 0, off = 0;
  while (size - off >= 4) {
    uint32_t n;
    std::memcpy(&n, data + off, 4);
    if (n > size - off - 4) break;
    off += 4 + n;
    ++frames;
  }
  return frames;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  char pattern[] = "/tmp/qwb-fuzz-emu-XXXXXX";
  Check(mkdtemp(pattern) != nullptr);
  g_dir = pattern;
  StartEmulator();
  std::atexit([] {
    if (g_emu) g_emu->Stop();
    g_emu.reset();
    std::error_code ec;
    fs::remove_all(g_dir, ec);
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (++g_runs % 5000 == 0) StartEmulator();
  const int fd = Connect();
  // The emulator reads while it answers, so a write larger than the socket buffers still
  // goes through; a stream function may stop reading, which ends the write early.
  rapi2::SendAll(fd, data, size);
  ::shutdown(fd, SHUT_WR);
  std::vector<uint8_t> out;
  uint8_t buffer[65536];
  for (;;) {
    ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    out.insert(out.end(), buffer, buffer + n);
  }
  ::close(fd);

  // Replies are frames; a stream function's raw bytes may follow the stream's first frame,
  // so only the frames before the first stream reply are counted.
  size_t frames = 0, off = 0;
  while (out.size() - off >= 4) {
    uint32_t n;
    std::memcpy(&n, out.data() + off, 4);
    if (n > rapi2::kMaxFrame || n > out.size() - off - 4) break;
    off += 4 + n;
    ++frames;
  }
  Check(frames <= RequestFrames(data, size) + 1);
  return 0;
}
