#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <functional>
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
  EXPECT_EQ(WaitForSingleObject(autoEvent, 50), WAIT_TIMEOUT);

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
  EXPECT_TRUE(CloseHandle(autoEvent));
  EXPECT_TRUE(CloseHandle(manual));
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
  OutputDebugStringW(nullptr);
  unsetenv("QWBDCAWM_DEBUG");
  OutputDebugStringW(u"hook only");
  wincompat::SetDebugLineHook(nullptr);
  OutputDebugStringW(u"nobody");

  const std::vector<std::string> expected = {"[QWBDCAWM]CDataTableWMTask::NextItem(+)\n",
                                             "[Open]WM>> new CRapiBase ",
                                             "\xEC\x95\x88\xEB\x85\x95",
                                             "[x]narrow\n",
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

TEST(Modules, ExecutableAndLibraryPaths) {
  char exe[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  ASSERT_GT(n, 0);
  WCHAR buf[PATH_MAX];
  const DWORD len = GetModuleFileNameW(nullptr, buf, PATH_MAX);
  std::string utf8(len * 3, '\0');
  utf8.resize(size_t(WideCharToMultiByte(CP_UTF8, 0, buf, int(len), utf8.data(), int(utf8.size()),
                                         nullptr, nullptr)));
  EXPECT_EQ(utf8, std::string(exe, size_t(n)));

  // A library finds its own file from one of its addresses.
  const std::u16string lib =
      std::u16string(WCPROBE_DIR, WCPROBE_DIR + sizeof(WCPROBE_DIR) - 1) + u"/libwcprobe.so";
  HMODULE probe = LoadLibraryW(lib.c_str());
  ASSERT_NE(probe, nullptr);
  auto answer = reinterpret_cast<int (*)()>(
      reinterpret_cast<void*>(GetProcAddress(probe, "WcProbeAnswer")));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  HMODULE self = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(answer), &self));
  EXPECT_EQ(std::u16string(buf, GetModuleFileNameW(self, buf, PATH_MAX)), lib);
  EXPECT_TRUE(FreeLibrary(probe));
}

}  // namespace

namespace {

std::u16string W(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Local files: create, write, read, times, the find calls and the error numbers of failures.
TEST(LocalFiles, CreateReadWriteTimesFindAndDelete) {
  char tmpl[] = "/tmp/qwb-localfiles-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  const std::u16string file = W(dir + "/a.bin");
  HANDLE h = CreateFileW(file.c_str(), GENERIC_ALL, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "hello", 5, &n, nullptr));
  EXPECT_EQ(n, 5u);
  const FILETIME when{0x5D3B4000u, 0x01C96BC8u};  // 2009-01-01 00:00 UTC
  ASSERT_TRUE(SetFileTime(h, nullptr, &when, &when));
  FILETIME c{}, a{}, w{};
  ASSERT_TRUE(GetFileTime(h, &c, &a, &w));
  EXPECT_EQ(w.dwLowDateTime, when.dwLowDateTime);
  EXPECT_EQ(w.dwHighDateTime, when.dwHighDateTime);
  EXPECT_TRUE(CloseHandle(h));

  h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buf[16] = {};
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "hello");
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(n, 0u);  // end of file
  CloseHandle(h);

  WIN32_FIND_DATAW fd{};
  HANDLE f = FindFirstFileW(file.c_str(), &fd);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  EXPECT_EQ(fd.nFileSizeLow, 5u);
  EXPECT_EQ(std::u16string(fd.cFileName), u"a.bin");
  EXPECT_EQ(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(FindNextFileW(f, &fd));
  EXPECT_LAST_ERROR(ERROR_NO_MORE_FILES);
  EXPECT_TRUE(FindClose(f));
  f = FindFirstFileW(W(dir).c_str(), &fd);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  EXPECT_NE(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
  FindClose(f);
  f = FindFirstFileW(W(dir + "/*.*").c_str(), &fd);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  FindClose(f);

  struct Failure {
    const char* what;
    std::function<bool()> call;
    DWORD error;
  } failures[] = {
      {"open missing", [&] {
         return CreateFileW(W(dir + "/none").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr) != INVALID_HANDLE_VALUE;
       }, ERROR_FILE_NOT_FOUND},
      {"create new over a file", [&] {
         return CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr) !=
                INVALID_HANDLE_VALUE;
       }, ERROR_FILE_EXISTS},
      {"open a folder", [&] {
         return CreateFileW(W(dir).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr) !=
                INVALID_HANDLE_VALUE;
       }, ERROR_ACCESS_DENIED},
      {"find missing", [&] { return FindFirstFileW(W(dir + "/none").c_str(), &fd) != INVALID_HANDLE_VALUE; },
       ERROR_FILE_NOT_FOUND},
      {"delete a folder", [&] { return DeleteFileW(W(dir).c_str()) != FALSE; }, ERROR_ACCESS_DENIED},
      {"read a closed handle", [&] { return ReadFile(h, buf, 1, &n, nullptr) != FALSE; },
       ERROR_INVALID_HANDLE},
  };
  for (const Failure& x : failures) {
    SCOPED_TRACE(x.what);
    EXPECT_FALSE(x.call());
    EXPECT_LAST_ERROR(x.error);
  }
  EXPECT_TRUE(DeleteFileW(file.c_str()));
  EXPECT_FALSE(DeleteFileW(file.c_str()));
  EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
  rmdir(dir.c_str());
}

// Folders, copies and sizes as the photo cache uses them.
TEST(LocalFiles, FoldersCopiesAndSizes) {
  std::string dir = testing::TempDir() + "qwbcopyXXXXXX";
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const std::u16string sub = W(dir + "/a"), deep = W(dir + "/b/c");
  EXPECT_TRUE(CreateDirectoryW(sub.c_str(), nullptr));
  EXPECT_FALSE(CreateDirectoryW(sub.c_str(), nullptr));
  EXPECT_LAST_ERROR(ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryW(deep.c_str(), nullptr));  // one level at a time
  EXPECT_LAST_ERROR(ERROR_PATH_NOT_FOUND);

  const std::u16string from = W(dir + "/a/from.bin"), to = W(dir + "/a/to.bin");
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 + i / 977);
  HANDLE h = CreateFileW(from.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr));
  DWORD high = 7;
  EXPECT_EQ(GetFileSize(h, &high), 200000u);
  EXPECT_EQ(high, 0u);
  CloseHandle(h);

  EXPECT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE));
  h = CreateFileW(to.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::string copied(bytes.size() + 10, '\0');
  ASSERT_TRUE(ReadFile(h, copied.data(), static_cast<DWORD>(copied.size()), &n, nullptr));
  copied.resize(n);
  EXPECT_EQ(copied, bytes);
  CloseHandle(h);
  EXPECT_FALSE(CopyFileW(from.c_str(), to.c_str(), TRUE));
  EXPECT_LAST_ERROR(ERROR_FILE_EXISTS);
  EXPECT_FALSE(CopyFileW(W(dir + "/none").c_str(), to.c_str(), FALSE));
  EXPECT_LAST_ERROR(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(CopyFileW(sub.c_str(), to.c_str(), FALSE));  // a folder is not copied
  EXPECT_LAST_ERROR(ERROR_ACCESS_DENIED);
  EXPECT_EQ(GetFileSize(nullptr, nullptr), INVALID_FILE_SIZE);
  EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);

  DeleteFileW(from.c_str());
  DeleteFileW(to.c_str());
  rmdir((dir + "/a").c_str());
  rmdir(dir.c_str());
}

}  // namespace
