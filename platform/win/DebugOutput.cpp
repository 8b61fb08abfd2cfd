// The debug sink behind OutputDebugStringW/A and the console sink.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/win/WinInternal.h"
#include "wincompat/testhooks.h"
#include "wincompat/winbase.h"

namespace {

std::mutex g_debugMu;
wincompat::DebugLineHook g_debugHook;

std::mutex g_consoleMu;
std::function<void(const std::string&)> g_consoleSink;

void WriteAll(int fd, const std::string& s) {
  size_t off = 0;
  while (off < s.size()) {
    const ssize_t n = ::write(fd, s.data() + off, s.size() - off);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    off += static_cast<size_t>(n);
  }
}

// The sink is looked up on every line so that a host may switch it at run time.
void EmitDebugLine(const std::string& line) {
  wincompat::DebugLineHook hook;
  {
    std::lock_guard lock(g_debugMu);
    hook = g_debugHook;
  }
  if (hook) hook(line);
  const char* where = std::getenv("QWBDCAWM_DEBUG");
  if (!where || !*where) return;
  std::lock_guard lock(g_debugMu);
  if (std::strcmp(where, "stderr") == 0) {
    WriteAll(STDERR_FILENO, line);
    return;
  }
  const int fd = ::open(where, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  WriteAll(fd, line);
  ::close(fd);
}

}  // namespace

namespace wincompat {

void SetDebugLineHook(DebugLineHook hook) {
  std::lock_guard lock(g_debugMu);
  g_debugHook = std::move(hook);
}

bool DebugOutputWanted() {
  {
    std::lock_guard lock(g_debugMu);
    if (g_debugHook) return true;
  }
  const char* where = std::getenv("QWBDCAWM_DEBUG");
  return where && *where;
}

void SetConsoleSink(std::function<void(const std::string& text)> sink) {
  std::lock_guard lock(g_consoleMu);
  g_consoleSink = std::move(sink);
}

void ConsoleWrite(const std::string& text) {
  std::function<void(const std::string&)> sink;
  {
    std::lock_guard lock(g_consoleMu);
    sink = g_consoleSink;
  }
  if (sink) {
    sink(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace wincompat

void WINAPI OutputDebugStringW(LPCWSTR lpOutputString) {
  if (!lpOutputString) return;
  EmitDebugLine(wincompat::detail::Narrow(lpOutputString));
}

void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
  if (!lpOutputString) return;
  EmitDebugLine(lpOutputString);
}
