#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "wincompat/testhooks.h"
#include "wincompat/winbase.h"

namespace {

#define EXPECT_LAST_ERROR(e) EXPECT_EQ(GetLastError(), static_cast<DWORD>(e))

TEST(ThreadState, LastErrorAndLocaleArePerThread) {
  SetLastError(1201);
  EXPECT_EQ(GetThreadLocale(), 0x0409u);  // English by default
  ASSERT_TRUE(SetThreadLocale(LANG_SYSTEM_DEFAULT));
  std::thread([] {
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(GetThreadLocale(), 0x0409u);
    SetLastError(10054);
  }).join();
  EXPECT_EQ(GetLastError(), 1201u);
  EXPECT_EQ(GetThreadLocale(), static_cast<LCID>(LANG_SYSTEM_DEFAULT));
  SetThreadLocale(0x0409);
}

TEST(Events, SignalAcrossThreadsResetAndTimeouts) {
  HANDLE autoEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  ASSERT_NE(autoEvent, nullptr);
  // A time-out really waits (a lower bound only: a slow machine waits longer).
  const auto t0 = std::chrono::steady_clock::now();
  const DWORD tick0 = GetTickCount();
  EXPECT_EQ(WaitForSingleObject(autoEvent, 50), WAIT_TIMEOUT);
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(45));
  EXPECT_GE(GetTickCount() - tick0, 45u);

  std::thread setter([&] {
    Sleep(20);
    SetEvent(autoEvent);
  });
  EXPECT_EQ(WaitForSingleObject(autoEvent, 10000), WAIT_OBJECT_0);
  setter.join();
  EXPECT_EQ(WaitForSingleObject(autoEvent, 0), WAIT_TIMEOUT);  // auto-reset: consumed

  HANDLE manual = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, INFINITE), WAIT_OBJECT_0);  // stays signaled
  ResetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 10), WAIT_TIMEOUT);
  // A manual-reset event releases every waiter.
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] { woken += WaitForSingleObject(manual, INFINITE) == WAIT_OBJECT_0; });
  Sleep(20);
  SetEvent(manual);
  for (auto& w : waiters) w.join();
  EXPECT_EQ(woken.load(), 3);

  EXPECT_TRUE(CloseHandle(autoEvent));
  EXPECT_TRUE(CloseHandle(manual));
  int notAHandle = 0;
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(&notAHandle));
  EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
  EXPECT_FALSE(SetEvent(nullptr));
}

TEST(DebugOutput, HookSeesEveryLineExactlyAndTheFileSinkKeepsThem) {
  std::vector<std::string> lines;
  wincompat::SetDebugLineHook([&](const std::string& l) { lines.push_back(l); });
  char path[] = "/tmp/wcdebugXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  setenv("QWBDCAWM_DEBUG", path, 1);
  OutputDebugStringW(u"[QWBDCAWM]CDataTableWMTask::NextItem(+)\n");
  OutputDebugStringW(u"[Open]WM>> new CRapiBase ");  // no line feed added
  OutputDebugStringW(u"\uC548\uB155");               // Korean text arrives as UTF-8
  OutputDebugStringA("[x]narrow\n");
  OutputDebugStringW(u"");
  OutputDebugStringW(nullptr);
  unsetenv("QWBDCAWM_DEBUG");
  OutputDebugStringW(u"hook only");
  wincompat::SetDebugLineHook(nullptr);
  OutputDebugStringW(u"nobody");

  const std::vector<std::string> expected = {"[QWBDCAWM]CDataTableWMTask::NextItem(+)\n",
                                             "[Open]WM>> new CRapiBase ",
                                             "\xEC\x95\x88\xEB\x85\x95",
                                             "[x]narrow\n",
                                             "",
                                             "hook only"};
  EXPECT_EQ(lines, expected);
  std::stringstream file;
  file << std::ifstream(path).rdbuf();
  EXPECT_EQ(file.str(),
            "[QWBDCAWM]CDataTableWMTask::NextItem(+)\n[Open]WM>> new CRapiBase "
            "\xEC\x95\x88\xEB\x85\x95[x]narrow\n");
  unlink(path);
}

// What a child process writes to standard error with QWBDCAWM_DEBUG set to `sink` (or unset).
std::string ChildStderr(const char* sink) {
  int fds[2];
  if (pipe(fds) != 0) return "<pipe>";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDERR_FILENO);
    sink ? setenv("QWBDCAWM_DEBUG", sink, 1) : unsetenv("QWBDCAWM_DEBUG");
    OutputDebugStringW(u"[QWBDCAWM]line one\n");
    OutputDebugStringA("two");
    _exit(0);
  }
  close(fds[1]);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = read(fds[0], buf, sizeof(buf))) > 0;) out.append(buf, size_t(n));
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return out;
}

TEST(DebugOutput, DiscardedByDefaultShownOnStderrWhenAsked) {
  EXPECT_EQ(ChildStderr(nullptr), "");
  EXPECT_EQ(ChildStderr("stderr"), "[QWBDCAWM]line one\ntwo");
}

TEST(Environment, SizesAndMissingVariables) {
  setenv("WC_TEST_VAR", "\xED\x95\x9C-value", 1);  // a Korean syllable and ASCII
  EXPECT_EQ(GetEnvironmentVariableW(u"WC_TEST_VAR", nullptr, 0), 8u);  // needed, NUL included
  WCHAR buf[8];
  EXPECT_EQ(GetEnvironmentVariableW(u"WC_TEST_VAR", buf, 7), 8u);
  EXPECT_EQ(GetEnvironmentVariableW(u"WC_TEST_VAR", buf, 8), 7u);
  EXPECT_EQ(std::u16string(buf), u"\uD55C-value");
  unsetenv("WC_TEST_VAR");
  SetLastError(0);
  EXPECT_EQ(GetEnvironmentVariableW(u"WC_TEST_VAR", buf, 8), 0u);
  EXPECT_LAST_ERROR(ERROR_ENVVAR_NOT_FOUND);
}

TEST(Modules, ExecutablePathAndTheDllNameRule) {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  ASSERT_GT(n, 0);
  WCHAR buf[PATH_MAX];
  const DWORD len = GetModuleFileNameW(nullptr, buf, PATH_MAX);
  std::string utf8(len * 3, '\0');
  utf8.resize(size_t(WideCharToMultiByte(CP_UTF8, 0, buf, int(len), utf8.data(), int(utf8.size()),
                                         nullptr, nullptr)));
  EXPECT_EQ(utf8, std::string(exe, size_t(n)));
  WCHAR tiny[4];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(nullptr, tiny, 4), 4u);  // truncated and terminated
  EXPECT_EQ(tiny[3], 0);
  EXPECT_LAST_ERROR(ERROR_INSUFFICIENT_BUFFER);

  // The probe is neither beside this executable nor on the loader path...
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(u"wcprobe.dll"), nullptr);
  EXPECT_LAST_ERROR(ERROR_MOD_NOT_FOUND);
  // ...but it is beside the caller library, which finds it by the bare DLL name.
  const std::u16string dir(WCPROBE_DIR, WCPROBE_DIR + sizeof(WCPROBE_DIR) - 1);
  HMODULE caller = LoadLibraryW((dir + u"/wccaller.dll").c_str());
  ASSERT_NE(caller, nullptr);
  const auto proc = [](HMODULE m, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(m, name));
  };
  auto loadProbe = reinterpret_cast<HMODULE (*)()>(proc(caller, "WcCallerLoadProbe"));
  ASSERT_NE(loadProbe, nullptr);
  HMODULE probe = loadProbe();
  ASSERT_NE(probe, nullptr);
  auto answer = reinterpret_cast<int (*)()>(proc(probe, "WcProbeAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  SetLastError(0);
  EXPECT_EQ(proc(probe, "NoSuchExport"), nullptr);
  EXPECT_LAST_ERROR(ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(std::u16string(buf, GetModuleFileNameW(probe, buf, PATH_MAX)), dir + u"/libwcprobe.so");
  // A module finds itself from one of its addresses.
  HMODULE self = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(answer), &self));
  EXPECT_EQ(std::u16string(buf, GetModuleFileNameW(self, buf, PATH_MAX)), dir + u"/libwcprobe.so");
  EXPECT_TRUE(FreeLibrary(probe));
  EXPECT_TRUE(FreeLibrary(caller));
}

TEST(LocalMemory, ZeroInitAndZeroSizedBlocks) {
  auto* p = static_cast<unsigned char*>(LocalAlloc(LPTR, 4096));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(p), 4096), std::string(4096, '\0'));
  EXPECT_EQ(LocalFree(p), nullptr);
  void* empty = LocalAlloc(LMEM_FIXED, 0);
  EXPECT_NE(empty, nullptr);
  LocalFree(empty);
  EXPECT_EQ(LocalFree(nullptr), nullptr);
}

}  // namespace
