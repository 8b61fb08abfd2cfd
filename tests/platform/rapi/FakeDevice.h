// A scripted RAPI2 device for the client's tests: listens on a loopback port, reads request
// frames and answers each with whatever the test's script says, including frames that lie.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/rapi/Rapi2Wire.h"

namespace rapitest {

// What the device does with one request.
struct Answer {
  std::vector<uint8_t> bytes;  // written as they are (a whole frame, or anything else)
  int delayMs = 0;             // before writing
  bool close = false;          // close the connection after writing
  bool echo = false;           // after writing, echo every raw byte back (a stream function)
  bool silent = false;         // write nothing and keep the connection open
};

// The request payload (command word first) and the index of its connection (0 = first).
using Script = std::function<Answer(const std::vector<uint8_t>& request, int connection)>;

// A complete reply frame: the payload built by the writer, length prefix included.
std::vector<uint8_t> Frame(rapi2::Writer w);
// A reply frame of 32-bit words.
std::vector<uint8_t> Words(std::initializer_list<uint32_t> words);
// The answer to the version query every new session starts with.
Answer VersionAnswer();
// The command word of a request payload.
uint32_t CommandOf(const std::vector<uint8_t>& request);

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
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();

 private:
  std::string name_;
  std::string old_;
  bool had_;
};

}  // namespace rapitest
