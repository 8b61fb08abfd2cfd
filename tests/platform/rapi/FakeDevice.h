// A scripted RAPI2 device for the client's tests: listens on a loopback port, reads request
// frames and answers each with whatever the test's script says, including frames that lie.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/rapi/Rapi2Wire.h"
#include "wincompat/rapi.h"

namespace rapitest {

// What the device does with one request.
struct Answer {
  std::vector<uint8_t> bytes;  // written as they are (a whole frame, or anything else)
  bool close = false;          // close the connection after writing
};

// The request payload (command word first) and the index of its connection (0 = first).
using Script = std::function<Answer(const std::vector<uint8_t>& request, int connection)>;

// Block and stream invocations of the device's service library.
inline HRESULT Block(const char16_t* fn, std::vector<uint8_t> in, DWORD* cb, BYTE** out) {
  return CeRapiInvoke(u"QWBRapiServer", fn, static_cast<DWORD>(in.size()),
                      in.empty() ? nullptr : in.data(), cb, out, nullptr, 0);
}
inline HRESULT Stream(const char16_t* fn, IRAPIStream** stream) {
  return CeRapiInvoke(u"QWBRapiServer", fn, 0, nullptr, nullptr, nullptr, stream, 0);
}

// A reply frame of 32-bit words.
std::vector<uint8_t> Words(std::initializer_list<uint32_t> words);

class FakeDevice {
 public:
  // Answers the version query; every other request goes to the script.
  explicit FakeDevice(Script script);
  ~FakeDevice();
  FakeDevice(const FakeDevice&) = delete;
  FakeDevice& operator=(const FakeDevice&) = delete;

  std::string Address() const { return "tcp:127.0.0.1:" + std::to_string(port_); }
  // Every request the script saw, in order.
  std::vector<std::vector<uint8_t>> Requests();
  int Connections() const { return connections_; }
  // Waits until `n` connections have closed (either side); false after `ms`.
  bool WaitClosed(int n, int ms);

 private:
  void AcceptLoop();
  void Serve(int fd, int index);

  Script script_;
  int listenFd_ = -1;
  int wakeFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread acceptThread_;
  std::mutex mu_;
  std::condition_variable cv_;
  int closed_ = 0;
  std::vector<int> fds_;
  std::vector<std::thread> threads_;
  std::vector<std::vector<uint8_t>> requests_;
};

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_.c_str(), old_->c_str(), 1) : ::unsetenv(name_.c_str()); }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace rapitest
